// Why a command failed: after each family of failures (missing files,
// unknown or damaged data, bad numbers and arguments, no screen, refusals of
// the platform) KorrinLastError gives the command's one-line reason, the
// debugger is sent the same line, and commands that succeed leave both alone.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host.h"
#include "screen_fixture.h"

using host::Call;
using host::Int;

namespace {

// The lines OutputDebugStringA raised while the handler was installed.
std::vector<std::string> debugLines;

LONG CALLBACK CaptureDebugString(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2)
        debugLines.emplace_back(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_SEARCH;
}

std::string LastError() {
    const char* text = Call<const char*>("KorrinLastError");
    return text ? text : "(null)";
}

// Writes `bytes` into the temporary folder; the file's path.
std::string TemporaryFile(const char* name, const std::string& bytes) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + name;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

// A WAVE image: a fmt chunk of `fmtBytes` (PCM fields, then zeros), then two sample bytes.
std::string Wave(unsigned fmtBytes, unsigned rate) {
    auto le = [](unsigned value, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) s += static_cast<char>((value >> (8 * i)) & 0xFF);
        return s;
    };
    std::string fmt = le(1, 2) + le(1, 2) + le(rate, 4) + le(rate * 2, 4) + le(2, 2) + le(16, 2);
    fmt.resize(fmtBytes, '\0');
    const std::string body = "WAVEfmt " + le(fmtBytes, 4) + fmt + "data" + le(2, 4) + std::string(2, '\0');
    return "RIFF" + le(static_cast<unsigned>(body.size()), 4) + body;
}

struct Failure {
    const char* family;
    std::function<std::intptr_t()> call;  // returns the command's result, which must be 0
    std::string reason;                   // the whole line, or its start when it ends in "("
};

class LastErrors : public WindowedScreenTest<64, 48> {
protected:
    void SetUp() override {
        WindowedScreenTest::SetUp();
        handler_ = AddVectoredExceptionHandler(1, CaptureDebugString);
        debugLines.clear();
    }
    void TearDown() override {
        RemoveVectoredExceptionHandler(handler_);
        WindowedScreenTest::TearDown();
    }
    // Each call fails, and leaves its reason in KorrinLastError and in the debugger.
    void ExpectReasons(const std::vector<Failure>& failures) {
        for (const Failure& f : failures) {
            SCOPED_TRACE(f.family);
            debugLines.clear();
            EXPECT_EQ(f.call(), 0) << f.reason;
            const std::string line = LastError();
            if (f.reason.back() == '(')
                EXPECT_EQ(line.substr(0, f.reason.size()), f.reason) << line;
            else
                EXPECT_EQ(line, f.reason);
            ASSERT_EQ(debugLines.size(), 1u) << "one line to the debugger";
            EXPECT_EQ(debugLines[0], line);
        }
    }
    void* handler_ = nullptr;
};

std::intptr_t Result(int value) { return value; }
std::intptr_t Result(void* value) { return reinterpret_cast<std::intptr_t>(value); }

}  // namespace

TEST(BeforeAnyFailure, TheReasonIsEmpty) {
    ASSERT_NE(Call<void*>("InitSprite"), nullptr);
    EXPECT_EQ(LastError(), "");
    Int("Sprite_End");
}

TEST_F(LastErrors, FilesAndTheirContents) {
    const std::string gif = TemporaryFile("korrin-not-an-image.gif", std::string("GIF89a\x02\0\x02\0\0\0\0", 13));
    const std::string icon = TemporaryFile("korrin-icon.ico", std::string("\0\0\1\0\1\0\x10\x10\0\0\1\0", 12));
    const std::string png = TemporaryFile("korrin-damaged.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    const std::string fmt20 = TemporaryFile("korrin-fmt20.wav", Wave(20, 22050));
    const std::string noRate = Wave(16, 0);
    ASSERT_NE(Int("InitSound"), 0);
    ExpectReasons({
        {"missing image", [] { return Result(Call<int>("LoadSprite2", 1, "no-such-ball.png", 0)); },
         "LoadSprite2: cannot open \"no-such-ball.png\""},
        {"short form", [] { return Result(Call<int>("LoadSprite", 1, "no-such-ball.png")); },
         "LoadSprite2: cannot open \"no-such-ball.png\""},
        {"unknown image format", [&] { return Result(Call<int>("LoadSprite2", 1, gif.c_str(), 0)); },
         "LoadSprite2: not a BMP, JPEG, PNG, TGA or TIFF image"},
        {"icon", [&] { return Result(Call<int>("LoadSprite2", 1, icon.c_str(), 0)); },
         "LoadSprite2: icons and cursors are not loaded"},
        {"damaged image", [&] { return Result(Call<int>("LoadSprite2", 1, png.c_str(), 0)); },
         "LoadSprite2: a damaged or unsupported PNG image (or one over 67108864 pixels)"},
        {"missing sound", [] { return Result(Call<int>("LoadSound", 1, "no-such-sound.wav")); },
         "LoadSound: cannot open \"no-such-sound.wav\""},
        {"unknown sound format", [&] { return Result(Call<int>("LoadSound", 1, gif.c_str())); },
         "LoadSound: neither a RIFF WAVE image nor an Ogg Vorbis stream"},
        {"unsupported WAVE layout", [&] { return Result(Call<int>("LoadSound", 1, fmt20.c_str())); },
         "LoadSound: fmt chunk of 20 bytes"},
        {"refused by DirectSound",
         [&] { return Result(Call<int>("CatchSound2", 1, noRate.data(), static_cast<int>(noRate.size()))); },
         "CatchSound2: DirectSound refused 2 bytes of 16-bit, 1-channel sound at 0 Hz ("},
    });
    for (const std::string& path : {gif, icon, png, fmt20}) DeleteFileA(path.c_str());
}

TEST_F(LastErrors, NumbersAndArguments) {
    ASSERT_NE(Call<int>("CreateSprite", 0, 16, 16), 0);
    ExpectReasons({
        {"no sprite", [] { return Result(Call<int>("DisplaySprite", 99, 0, 0)); }, "DisplaySprite: no sprite 99"},
        {"no sprite to blend", [] { return Result(Call<int>("DisplayShadowSprite", 99, 0, 0)); },
         "DisplayShadowSprite: no sprite 99"},
        {"no sprite to free", [] { return Result(Call<int>("FreeSprite", 99)); }, "FreeSprite: no sprite 99"},
        {"no sprite to copy", [] { return Result(Call<int>("CopySprite", 99, 1)); }, "CopySprite2: no sprite 99"},
        {"no sprite to draw into", [] { return Result(Call<int>("UseBuffer", 99)); }, "UseBuffer: no sprite 99"},
        {"no sprite output", [] { return Result(Call<void*>("SpriteOutput", 99)); }, "SpriteOutput: no sprite 99"},
        {"no 3D sprite", [] { return Result(Call<int>("DisplaySprite3D", 7, 0, 0)); },
         "DisplaySprite3D2: no 3D sprite 7"},
        {"no sound", [] { return Result(Call<int>("PlaySound", 5)); }, "PlaySound2: no sound 5"},
        {"size", [] { return Result(Call<int>("CreateSprite2", 1, 0, 8, 0)); }, "CreateSprite2: a size of 0x8"},
        {"flags", [] { return Result(Call<int>("CreateSprite2", 1, 8, 8, 8)); },
         "CreateSprite2: flags 8: a 32-bit sprite (8) needs flags 4 too"},
        {"a handle is no number", [] { return Result(Call<int>("CreateSprite2", -5, 8, 8, 0)); },
         "CreateSprite2: -5 is not a number to create a sprite under"},
        {"grab outside the target", [] { return Result(Call<int>("GrabSprite", 1, 0, 0, 65, 10)); },
         "GrabSprite2: 65x10 at (0, 0) is not inside the 64x48 target"},
        {"32-bit pixels", [] {
             Call<int>("CreateSprite2", 2, 8, 8, 12);
             return Result(Call<int>("SpritePixelCollision", 2, 0, 0, 0, 0, 0));
         },
         "SpritePixelCollision: sprite 2 is 32-bit; pixels are compared in 16-bit sprites"},
        {"refused by the device", [] { return Result(Call<int>("CreateSprite2", 1, 100000, 8, 0)); },
         "CreateSprite2: the device refused a 100000x8 texture"},
    });
}

TEST_F(LastErrors, NoScreen) {
    Int("CloseScreen");
    ExpectReasons({
        {"clear", [] { return Result(Call<int>("ClearScreen", 0)); }, "ClearScreen: no usable screen"},
        {"display", [] { return Result(Call<int>("DisplaySprite", 0, 0, 0)); }, "DisplaySprite: no usable screen"},
        {"create", [] { return Result(Call<int>("CreateSprite", 0, 8, 8)); }, "CreateSprite2: no screen is open"},
        {"load", [] { return Result(Call<int>("LoadSprite2", 0, "ball.png", 0)); },
         "LoadSprite2: no screen is open"},
        {"flip", [] { return Result(Int("FlipBuffers")); },
         "FlipBuffers2: no usable screen (none open, the device lost or the window gone)"},
        {"screen output", [] { return Result(Call<void*>("ScreenOutput")); }, "ScreenOutput: no usable screen"},
        {"window", [] { return Result(Call<void*>("OpenWindowedScreen", nullptr, 0, 0, 64, 48, 0, 0, 0)); },
         "OpenWindowedScreen: no such window"},
    });
}

TEST_F(LastErrors, SuccessLeavesTheReasonAndTheDebuggerAlone) {
    EXPECT_EQ(Call<int>("DisplaySprite", 99, 0, 0), 0);
    ASSERT_EQ(LastError(), "DisplaySprite: no sprite 99");
    debugLines.clear();
    ASSERT_NE(Call<int>("CreateSprite2", 1, 8, 8, 1), 0);  // render-target storage first, then a fallback
    EXPECT_EQ(Call<int>("DisplaySprite", 1, 0, 0), 0);
    EXPECT_EQ(Call<int>("ClearScreen", 0), 1);
    EXPECT_EQ(Call<int>("UseBuffer", 1), 1);
    EXPECT_EQ(Call<int>("UseBuffer", -1), 1);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    EXPECT_EQ(Call<int>("IsSprite", 42), 0) << "a \"no\" answer is no failure";
    EXPECT_EQ(LastError(), "DisplaySprite: no sprite 99");
    EXPECT_TRUE(debugLines.empty());
}

// Run with d3d9 missing (WINEDLLOVERRIDES=d3d9=).
TEST(NoDirect3D, InitSpriteSaysWhatIsMissing) {
    EXPECT_EQ(Call<void*>("InitSprite"), nullptr);
    EXPECT_EQ(LastError(), "InitSprite: cannot load d3d9.dll");
    EXPECT_EQ(Call<void*>("OpenScreen", 640, 480, 32, "no"), nullptr);
    EXPECT_EQ(LastError(), "OpenScreen: no Direct3D (InitSprite first)");
}
