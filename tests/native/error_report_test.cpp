// Fatal-error report texts: exact formats, fallbacks and truncation.
#include "frame/ErrorReport.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace korrin;

TEST(ErrorReport, MainModuleDivisionByZero) {
    char title[64], text[512];
    BuildReportTexts(0xC0000094u, ErrorPosition{"Main Module", 123}, title, sizeof title, text, sizeof text);
    EXPECT_STREQ(title, "ERROR in Line:123");
    EXPECT_STREQ(text, "Module: Main Module\rDescription:Attempted division by zero\rQuit ?");
}

TEST(ErrorReport, UnknownPositionFallsBack) {
    char title[64], text[512];
    BuildReportTexts(0xC0000005u, ErrorPosition{nullptr, 77}, title, sizeof title, text, sizeof text);
    EXPECT_STREQ(title, "ERROR in Line:-1");
    EXPECT_EQ(std::string(text), std::string("Module: OnError line support disabled\rDescription:") +
                                     "An attemped read or write to/from an address to which that process isn't allowed" +
                                     "\rQuit ?");
}

TEST(ErrorReport, DescriptionsByCode) {
    EXPECT_STREQ(DescribeException(0), "No Error");
    EXPECT_STREQ(DescribeException(0xC000013Au), "CONTROL_C_EXIT Lets the debugger know the user hit Ctrl-C. ");
    EXPECT_STREQ(DescribeException(0x80000003u), "BREAKPOINT A breakpoint was encountered.");
    EXPECT_STREQ(DescribeException(0xE06D7363u), "UNKNOWN Error");
    EXPECT_STREQ(DescribeException(0xC00000FDu),
                 "Stack overflow.Can occur during errant recursion, or when a function creates a particularly large "
                 "array on the stack.");
}

TEST(ErrorReport, ExtremeLinesAndSmallBuffersStayTerminated) {
    char title[64], text[16];
    BuildReportTexts(0x80000004u, ErrorPosition{"DS8", INT_MIN}, title, sizeof title, text, sizeof text);
    EXPECT_STREQ(title, "ERROR in Line:-2147483648");
    EXPECT_STREQ(text, "Module: DS8\rDes");
    char tiny[1];
    BuildReportTexts(0, ErrorPosition{"DS8", 0}, tiny, sizeof tiny, tiny, sizeof tiny);
    EXPECT_EQ(tiny[0], '\0');
}
