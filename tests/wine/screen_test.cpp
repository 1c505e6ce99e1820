// Screens and frames: opening in a host window and full screen, the hook on
// the host window's procedure, closing, clearing, pacing statistics, the
// picture's placement in the window, and recovery of a lost device (with the
// stand-in d3d9.dll of tests/standins/d3d9_lost.cpp).
//
// Under Wine the display, as GDI reads it, shows what the last Present but one
// put there, and GDI's own painting of a window (its messages handled) may
// cover the presented picture: every picture read from the display is
// presented twice and read before any message is handled.
#include <windows.h>
#include <d3d9.h>
#include <wrl/client.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "host.h"
#include "method_slots.h"
#include "read_back.h"

using host::Call;
using host::Int;
using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kProbe = WM_APP + 1;

// --- host windows ------------------------------------------------------------

std::map<HWND, std::map<UINT, int>> hostMessages;  // messages each host window's own procedure got

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++hostMessages[window][message];
    return DefWindowProcA(window, message, wParam, lParam);
}

// A popup host window at (0, 0) with a client area of width x height and no
// background brush (erasing would paint over the presented picture).
HWND MakeHostWindow(int width, int height) {
    static ATOM atom = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = HostProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = "KorrinTestHost";
        return RegisterClassA(&windowClass);
    }();
    EXPECT_NE(atom, 0);
    HWND window = CreateWindowExA(0, "KorrinTestHost", "host", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    return window;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// What the display shows at a point of the window's client area, in host
// order (red low). The display is read rather than the window: under Wine a
// window's own pixels do not show a Present until its messages are handled.
COLORREF WindowPixel(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    HDC dc = GetDC(nullptr);
    const COLORREF pixel = GetPixel(dc, point.x, point.y);
    ReleaseDC(nullptr, dc);
    return pixel;
}

// --- the library's device ------------------------------------------------------

IDirect3DDevice9* Device() { return static_cast<IDirect3DDevice9*>(Call<void*>("__GetD3DDevice9")); }

IDirect3DDevice9* OpenWindowed(HWND window, int x, int y, int width, int height, int stretch = 0, int right = 0,
                               int bottom = 0) {
    return static_cast<IDirect3DDevice9*>(
        Call<void*>("OpenWindowedScreen", static_cast<void*>(window), x, y, width, height, stretch, right, bottom));
}

// The back buffer's pixels (X8R8G8B8 or A8R8G8B8), alpha masked off.
struct Picture : readback::Picture {
    DWORD At(UINT x, UINT y) const { return readback::Picture::At(x, y) & 0xFFFFFF; }
    bool All(DWORD colour) const {
        return std::all_of(pixels.begin(), pixels.end(), [&](DWORD p) { return (p & 0xFFFFFF) == colour; });
    }
};

Picture ReadBackBuffer(IDirect3DDevice9* device) {
    Picture picture;
    static_cast<readback::Picture&>(picture) = readback::ReadBackBuffer(device);
    EXPECT_TRUE(readback::Wide(picture.format)) << picture.format;
    return picture;
}

// Milliseconds on the performance counter.
double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

// Intervals between the ends of `frames` + 1 calls of FlipBuffers2(mode).
std::vector<double> FrameIntervals(int mode, int frames) {
    std::vector<double> intervals;
    EXPECT_EQ(Call<int>("FlipBuffers2", mode), 1);
    double last = Now();
    for (int i = 0; i < frames; ++i) {
        EXPECT_EQ(Call<int>("FlipBuffers2", mode), 1);
        const double now = Now();
        intervals.push_back(now - last);
        last = now;
    }
    return intervals;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Describe(const std::vector<double>& values) {
    std::string text;
    for (double v : values) text += std::to_string(static_cast<int>(v)) + " ";
    return text;
}

// Counts the windows of class "DXScreenClass" into *counter.
BOOL CALLBACK CountScreenClassWindow(HWND window, LPARAM counter) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "DXScreenClass") ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

// Windows of class "DXScreenClass" belonging to this thread.
int ScreenClassWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountScreenClassWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// A procedure the program puts in front of a hooked window's.
WNDPROC subclassed;
int subclassMessages;
LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbe) ++subclassMessages;
    return CallWindowProcA(subclassed, window, message, wParam, lParam);
}

// --- Present as the device is asked for it ----------------------------------------

struct PresentCall {
    bool wholeSource, wholeDestination;  // null rectangles
    RECT source, destination;
};
std::vector<PresentCall> presents;
HRESULT presentResult = D3D_OK;  // returned in place of presenting when not D3D_OK

using PresentMethod = HRESULT(__stdcall*)(IDirect3DDevice9*, const RECT*, const RECT*, HWND, const RGNDATA*);
PresentMethod realPresent;

HRESULT __stdcall RecordingPresent(IDirect3DDevice9* self, const RECT* source, const RECT* destination, HWND window,
                                   const RGNDATA* dirty) {
    presents.push_back({!source, !destination, source ? *source : RECT{}, destination ? *destination : RECT{}});
    if (presentResult != D3D_OK) return presentResult;
    return realPresent(self, source, destination, window, dirty);
}

// Points a device at a copy of its method table whose Present records its
// rectangles and fails as presentResult says, for the life of the scope
// (which must end before the device is released).
class PresentRecorder {
public:
    explicit PresentRecorder(IDirect3DDevice9* device)
        : device_(device), original_(*reinterpret_cast<void***>(device)),
          table_(original_, original_ + deviceMethodSlots.count) {
        realPresent = reinterpret_cast<PresentMethod>(original_[deviceMethodSlots.present]);
        table_[deviceMethodSlots.present] = reinterpret_cast<void*>(RecordingPresent);
        *reinterpret_cast<void***>(device_) = table_.data();
        presents.clear();
        presentResult = D3D_OK;
    }
    ~PresentRecorder() {
        *reinterpret_cast<void***>(device_) = original_;
        presentResult = D3D_OK;
    }
    PresentRecorder(const PresentRecorder&) = delete;
    PresentRecorder& operator=(const PresentRecorder&) = delete;

private:
    IDirect3DDevice9* device_;
    void** original_;
    std::vector<void*> table_;
};

// The x87 unit's control word (precision, rounding, exception masks).
unsigned short X87ControlWord() {
    unsigned short word;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}
void SetX87ControlWord(unsigned short word) { __asm__ __volatile__("fldcw %0" : : "m"(word)); }

// InitSprite before, Sprite_End and the host windows gone after.
class Screen : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Call<void*>("InitSprite"), nullptr); }
    void TearDown() override {
        EXPECT_EQ(Int("Sprite_End"), 0);
        for (HWND window : windows_) DestroyWindow(window);
        PumpMessages();
        Call<int>("SetFrameRate", 60);
    }
    HWND Host(int width, int height) {
        windows_.push_back(MakeHostWindow(width, height));
        // Give the display time to show the window before anything is presented.
        for (int i = 0; i < 10; ++i) {
            PumpMessages();
            Sleep(30);
        }
        return windows_.back();
    }

private:
    std::vector<HWND> windows_;
};

}  // namespace

TEST_F(Screen, OpensInTheHostWindowAndClearsInHostColourOrder) {
    HWND host = Host(96, 64);
    IDirect3DDevice9* device = OpenWindowed(host, 0, 0, 80, 60);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Device(), device);
    EXPECT_EQ(Call<void*>("ScreenID"), static_cast<void*>(host));

    Picture picture = ReadBackBuffer(device);
    EXPECT_EQ(picture.width, 80u);
    EXPECT_EQ(picture.height, 60u);
    EXPECT_TRUE(picture.All(0x000000)) << "cleared to black on opening";

    const struct { int host; DWORD direct3D; } colours[] = {
        {0x0000FF, 0xFF0000}, {0x00FF00, 0x00FF00}, {0xFF0000, 0x0000FF}, {0x123456, 0x563412}};
    for (const auto& colour : colours) {
        EXPECT_EQ(Call<int>("ClearScreen", colour.host), 1);
        picture = ReadBackBuffer(device);
        EXPECT_TRUE(picture.All(colour.direct3D)) << std::hex << colour.host << " read " << picture.At(0, 0);
    }
    EXPECT_EQ(Int("FlipBuffers"), 1);

    // Active while the host window is in the foreground, not while another is.
    SetForegroundWindow(host);
    PumpMessages();
    EXPECT_EQ(Int("IsScreenActive"), 1);
    HWND other = Host(16, 16);
    SetForegroundWindow(other);
    PumpMessages();
    EXPECT_EQ(Int("IsScreenActive"), 0) << "another window is in the foreground";
    SetForegroundWindow(host);
    PumpMessages();
    EXPECT_EQ(Int("IsScreenActive"), 1);
}

TEST_F(Screen, RefusesWhatIsNotAWindowOrASize) {
    HWND host = Host(64, 64);
    HWND gone = MakeHostWindow(8, 8);
    DestroyWindow(gone);
    const LONG procedure = GetWindowLongA(host, GWL_WNDPROC);

    ASSERT_NE(OpenWindowed(host, 0, 0, 32, 32), nullptr);
    EXPECT_EQ(OpenWindowed(gone, 0, 0, 32, 32), nullptr);
    EXPECT_EQ(Device(), nullptr) << "the open screen was closed first";
    EXPECT_EQ(OpenWindowed(reinterpret_cast<HWND>(0x1234), 0, 0, 32, 32), nullptr);
    EXPECT_EQ(OpenWindowed(nullptr, 0, 0, 32, 32), nullptr);

    HWND fresh = Host(64, 64);
    const LONG freshProcedure = GetWindowLongA(fresh, GWL_WNDPROC);
    for (auto size : {std::make_pair(0, 32), std::make_pair(32, 0), std::make_pair(-1, 32), std::make_pair(32, -5)}) {
        EXPECT_EQ(OpenWindowed(fresh, 0, 0, size.first, size.second), nullptr) << size.first << "x" << size.second;
        EXPECT_EQ(Device(), nullptr);
    }
    EXPECT_EQ(GetWindowLongA(fresh, GWL_WNDPROC), freshProcedure) << "a refused size leaves the window alone";
    EXPECT_NE(GetWindowLongA(host, GWL_WNDPROC), procedure) << "an opened window stays hooked";
    EXPECT_EQ(Int("ClearScreen"), 0);
}

TEST(NoScreen, CommandsRefuseAndRatesAreSettings) {
    EXPECT_EQ(Int("Sprite_End"), 0);
    HWND host = MakeHostWindow(32, 32);
    EXPECT_EQ(OpenWindowed(host, 0, 0, 32, 32), nullptr) << "no InitSprite";
    EXPECT_EQ(Call<void*>("OpenScreen", 1024, 768, 32, "no InitSprite"), nullptr);
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(Call<int>("ClearScreen", 0xFF), 0);
    EXPECT_EQ(Int("FlipBuffers"), 0);
    EXPECT_EQ(Call<int>("FlipBuffers2", 2), 0);
    EXPECT_EQ(Int("IsScreenActive"), 0);
    EXPECT_EQ(Call<int>("SetRefreshRate", 75), 1);
    EXPECT_EQ(Call<int>("SetFrameRate", 0), 1);
    EXPECT_EQ(Call<int>("SetFrameRate", 60), 1);
    EXPECT_EQ(Int("CloseScreen"), 0);
    DestroyWindow(host);
}

TEST_F(Screen, MessagesReachTheHostProcedureOnceAfterRepeatedOpenings) {
    HWND first = Host(48, 48);
    const LONG own = GetWindowLongA(first, GWL_WNDPROC);
    ASSERT_NE(OpenWindowed(first, 0, 0, 32, 32), nullptr);
    EXPECT_NE(GetWindowLongA(first, GWL_WNDPROC), own) << "hooked";
    ASSERT_NE(OpenWindowed(first, 0, 0, 32, 32), nullptr);
    hostMessages.clear();
    for (UINT message : {kProbe, static_cast<UINT>(WM_PAINT), static_cast<UINT>(WM_ERASEBKGND)}) {
        SendMessageA(first, message, 0, 0);
        EXPECT_EQ(hostMessages[first][message], 1) << "message " << message;
    }

    // The program subclasses the hooked window, then opens on it once more.
    subclassed = reinterpret_cast<WNDPROC>(GetWindowLongA(first, GWL_WNDPROC));
    SetWindowLongA(first, GWL_WNDPROC, reinterpret_cast<LONG>(SubclassProc));
    ASSERT_NE(OpenWindowed(first, 0, 0, 32, 32), nullptr);
    hostMessages.clear();
    SendMessageA(first, kProbe, 0, 0);
    EXPECT_EQ(subclassMessages, 1);
    EXPECT_EQ(hostMessages[first][kProbe], 1);

    // A second window: each keeps its own procedure.
    HWND second = Host(48, 48);
    ASSERT_NE(OpenWindowed(second, 0, 0, 32, 32), nullptr);
    hostMessages.clear();
    SendMessageA(first, kProbe, 0, 0);
    SendMessageA(second, kProbe, 0, 0);
    SendMessageA(second, kProbe, 0, 0);
    EXPECT_EQ(hostMessages[first][kProbe], 1);
    EXPECT_EQ(hostMessages[second][kProbe], 2);

    // After CloseScreen the hook stays and still hands every message on.
    EXPECT_EQ(Int("CloseScreen"), 0);
    hostMessages.clear();
    SendMessageA(second, WM_PAINT, 0, 0);
    SendMessageA(second, kProbe, 0, 0);
    EXPECT_EQ(hostMessages[second][WM_PAINT], 1);
    EXPECT_EQ(hostMessages[second][kProbe], 1);
}

TEST_F(Screen, PaintMessagesShowTheLastFrameAgain) {
    HWND host = Host(64, 64);
    ASSERT_NE(OpenWindowed(host, 0, 0, 64, 64), nullptr);
    Call<int>("SetFrameRate", 0);
    EXPECT_EQ(Call<int>("ClearScreen", 0x00FF00), 1);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    EXPECT_EQ(WindowPixel(host, 32, 32), RGB(0, 255, 0));

    // Drawn but not flipped: only the repaints show it.
    EXPECT_EQ(Call<int>("ClearScreen", 0x0000FF), 1);
    SendMessageA(host, WM_PAINT, 0, 0);
    SendMessageA(host, WM_ERASEBKGND, 0, 0);
    EXPECT_EQ(WindowPixel(host, 32, 32), RGB(255, 0, 0));
}

TEST_F(Screen, CloseScreenReleasesTheDeviceAndEverythingRefuses) {
    HWND host = Host(48, 48);
    IDirect3DDevice9* device = OpenWindowed(host, 0, 0, 32, 32);
    ASSERT_NE(device, nullptr);
    device->AddRef();
    EXPECT_EQ(Int("CloseScreen"), 0);
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(device->Release(), 0u) << "the library kept a reference (device or back buffer)";
    EXPECT_EQ(Call<int>("ClearScreen", 0), 0);
    EXPECT_EQ(Int("FlipBuffers"), 0);
    EXPECT_EQ(Int("IsScreenActive"), 0);
    EXPECT_EQ(Call<void*>("ScreenID"), static_cast<void*>(host)) << "the last screen's window";
    EXPECT_EQ(Int("CloseScreen"), 0) << "again: nothing to close";

    // Sprite_End closes an open screen the same way.
    device = OpenWindowed(host, 0, 0, 32, 32);
    ASSERT_NE(device, nullptr);
    device->AddRef();
    EXPECT_EQ(Int("Sprite_End"), 0);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(Device(), nullptr);
}

TEST_F(Screen, RefreshRateIsASettingOnlyWithoutAScreen) {
    // A refresh rate of 1 Hz would hold every frame for a second; the opening
    // replaces it with the display's (60 when the adapter reports 0).
    EXPECT_EQ(Call<int>("SetRefreshRate", 1), 1);
    HWND host = Host(32, 32);
    ASSERT_NE(OpenWindowed(host, 0, 0, 32, 32), nullptr);
    EXPECT_EQ(Call<int>("SetRefreshRate", 1), 0);
    Call<int>("SetFrameRate", 0);
    const std::vector<double> intervals = FrameIntervals(1, 6);
    EXPECT_LT(Median(intervals), 500) << Describe(intervals);
    EXPECT_GE(Median(intervals), 15) << "60 Hz: at least 16 ms per frame; " << Describe(intervals);
}

TEST_F(Screen, FramesArePacedToTheFrameRate) {
    HWND host = Host(32, 32);
    ASSERT_NE(OpenWindowed(host, 0, 0, 32, 32), nullptr);

    // Each wait ends at least 33 ms after the previous one. Present's own
    // time varies, and a slow one eats into the next frame's wait, so the
    // median interval is what is compared.
    Call<int>("SetFrameRate", 30);
    for (int mode : {1, 2}) {
        const std::vector<double> intervals = FrameIntervals(mode, 10);
        EXPECT_GE(Median(intervals), 30) << "mode " << mode << ": " << Describe(intervals);
    }

    // Mode 0 with no frame rate waits for nothing: no 16 ms floor.
    Call<int>("SetFrameRate", 0);
    const std::vector<double> intervals = FrameIntervals(0, 20);
    EXPECT_LT(*std::min_element(intervals.begin(), intervals.end()), 12) << Describe(intervals);
}

TEST_F(Screen, StretchedOrUnscaledInALargerWindow) {
    HWND host = Host(256, 192);
    SetForegroundWindow(host);
    Call<int>("SetFrameRate", 0);
    // 64 x 48 screen: blue with a red top-left quadrant.
    auto draw = [] {
        IDirect3DDevice9* device = Device();
        ASSERT_NE(device, nullptr);
        const D3DRECT quadrant = {0, 0, 32, 24};
        EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FF, 0, 0), D3D_OK);
        EXPECT_EQ(device->Clear(1, &quadrant, D3DCLEAR_TARGET, 0x00FF0000, 0, 0), D3D_OK);
        EXPECT_EQ(Int("FlipBuffers"), 1);
        EXPECT_EQ(Int("FlipBuffers"), 1);
    };
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    // The display shows a Present with some delay (more on a loaded machine):
    // present again until the pixel shows the expected colour, for up to 3 s.
    auto WindowPixelSettled = [&](HWND window, int x, int y, COLORREF expected) {
        COLORREF seen = WindowPixel(window, x, y);
        for (int attempt = 0; attempt < 30 && seen != expected; ++attempt) {
            Sleep(100);
            Int("FlipBuffers");
            seen = WindowPixel(window, x, y);
        }
        return seen;
    };

    struct Probe {
        int x, y;
        COLORREF colour;
    };
    struct Layout {
        const char* what;
        int viewX, viewY, stretch, right, bottom;
        std::vector<Probe> probes;
    };
    const Layout layouts[] = {
        {"stretched over the whole client area: the quadrant covers 128 x 96", 0, 0, 1, 0, 0,
         {{10, 10, red}, {120, 90, red}, {136, 100, blue}, {250, 186, blue}}},
        {"stretched into the client area less the right and bottom offsets", 0, 0, 1, 128, 96,
         {{60, 44, red}, {68, 52, blue}, {124, 92, blue}}},
        {"unscaled at (viewX, viewY) = (100, 50)", 100, 50, 0, 0, 0,
         {{102, 52, red}, {130, 72, red}, {134, 76, blue}, {162, 96, blue}}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        ASSERT_NE(OpenWindowed(host, layout.viewX, layout.viewY, 64, 48, layout.stretch, layout.right, layout.bottom),
                  nullptr);
        draw();
        for (const Probe& p : layout.probes)
            EXPECT_EQ(WindowPixelSettled(host, p.x, p.y, p.colour), p.colour) << "at " << p.x << "," << p.y;
    }
}

// Null rectangles where the whole back buffer goes into the whole client
// area (stretched or not), so that no implementation takes a slower path for
// a part of the window; StretchedOrUnscaledInALargerWindow shows that the
// picture is the same.
TEST_F(Screen, PresentIsGivenRectanglesOnlyWhereThePictureDoesNotFillTheWindow) {
    struct Case {
        int windowWidth, windowHeight, stretch, right, bottom;
        bool rectangles;
        RECT source, destination;
    };
    const Case cases[] = {
        {64, 48, 0, 0, 0, false, {}, {}},
        {64, 48, 1, 0, 0, false, {}, {}},
        {128, 96, 1, 0, 0, false, {}, {}},
        {128, 96, 0, 0, 0, true, {0, 0, 64, 48}, {0, 0, 64, 48}},
        {128, 96, 1, 28, 16, true, {0, 0, 64, 48}, {0, 0, 100, 80}},
    };
    Call<int>("SetFrameRate", 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.windowWidth << "x" << c.windowHeight << " stretch " << c.stretch
                                        << " offsets " << c.right << "," << c.bottom);
        IDirect3DDevice9* device =
            OpenWindowed(Host(c.windowWidth, c.windowHeight), 0, 0, 64, 48, c.stretch, c.right, c.bottom);
        ASSERT_NE(device, nullptr);
        PresentRecorder recorder(device);
        EXPECT_EQ(Call<int>("FlipBuffers2", 0), 1);
        ASSERT_EQ(presents.size(), 1u);
        EXPECT_EQ(presents[0].wholeSource, !c.rectangles);
        EXPECT_EQ(presents[0].wholeDestination, !c.rectangles);
        if (c.rectangles) {
            EXPECT_TRUE(EqualRect(&presents[0].source, &c.source));
            EXPECT_TRUE(EqualRect(&presents[0].destination, &c.destination));
        }
    }
}

// A Present refused for another reason than a lost device drops that frame
// only; a lost device makes the screen refuse drawing until a frame is shown.
TEST_F(Screen, OnlyALostDeviceMakesAFailedPresentStopTheScreen) {
    IDirect3DDevice9* device = OpenWindowed(Host(64, 48), 0, 0, 64, 48);
    ASSERT_NE(device, nullptr);
    Call<int>("SetFrameRate", 0);
    PresentRecorder recorder(device);
    presentResult = D3DERR_INVALIDCALL;
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 0) << "the frame was not shown";
    EXPECT_EQ(Call<int>("ClearScreen", 0), 1) << "the screen stays active";
    presentResult = D3DERR_DEVICELOST;
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 0);
    EXPECT_EQ(Call<int>("ClearScreen", 0), 0) << "drawing refused while the device is lost";
    presentResult = D3D_OK;
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 1);
    EXPECT_EQ(Call<int>("ClearScreen", 0), 1);
    EXPECT_EQ(presents.size(), 3u);
}

// Opening a screen leaves the host's floating-point state alone: under single
// precision a host's double arithmetic (seconds from the performance
// counter, for one) would silently lose all but 24 bits.
TEST_F(Screen, OpeningKeepsTheHostsFloatingPointPrecision) {
    const unsigned short before = X87ControlWord();
    ASSERT_NE(before & 0x300, 0) << "the test needs more than single precision to start with";
    auto fine = [] {
        volatile double one = 1.0, tiny = 1e-10;
        return one + tiny != one;
    };
    ASSERT_NE(OpenWindowed(Host(64, 48), 0, 0, 64, 48), nullptr);
    EXPECT_EQ(X87ControlWord(), before) << "windowed";
    EXPECT_TRUE(fine()) << "windowed";
    ASSERT_NE(Call<void*>("OpenScreen", 1024, 768, 32, "korrin"), nullptr);
    EXPECT_EQ(X87ControlWord(), before) << "full-screen";
    EXPECT_TRUE(fine()) << "full-screen";
    SetX87ControlWord(before);
}

TEST_F(Screen, FullScreenInTheLibrarysOwnWindow) {
    const int before = ScreenClassWindows();
    IDirect3DDevice9* device = static_cast<IDirect3DDevice9*>(Call<void*>("OpenScreen", 1024, 768, 32, "korrin"));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Device(), device);
    HWND window = static_cast<HWND>(Call<void*>("ScreenID"));
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ(name, "DXScreenClass");
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_POPUP);
    EXPECT_EQ(ScreenClassWindows(), before + 1);

    Picture picture = ReadBackBuffer(device);
    EXPECT_EQ(picture.width, 1024u);
    EXPECT_EQ(picture.height, 768u);
    EXPECT_TRUE(picture.All(0x000000));
    EXPECT_EQ(Call<int>("ClearScreen", 0x0000FF), 1);
    EXPECT_EQ(ReadBackBuffer(device).At(512, 384), 0xFF0000u);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    EXPECT_EQ(Call<int>("FlipBuffers2", 0), 1);

    // 24 bits have no back-buffer format: refused, with no device and no new window.
    EXPECT_EQ(Call<void*>("OpenScreen", 1024, 768, 24, "korrin"), nullptr);
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(ScreenClassWindows(), before + 1);
    EXPECT_EQ(Call<void*>("OpenScreen", 0, 768, 32, "korrin"), nullptr);
    EXPECT_EQ(ScreenClassWindows(), before + 1);
}

// The library unloaded and loaded again finds "DXScreenClass" registered by
// its earlier self, and still opens full-screen screens.
TEST(Reload, FullScreenOpensAfterTheLibraryWasLoadedAgain) {
    for (int round = 0; round < 2; ++round) {
        HMODULE library = LoadLibraryA("korrin.dll");
        ASSERT_NE(library, nullptr);
        auto command = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(library, name)); };
        auto initSprite = reinterpret_cast<void*(__stdcall*)()>(command("InitSprite"));
        auto openScreen = reinterpret_cast<void*(__stdcall*)(int, int, int, const char*)>(command("OpenScreen"));
        auto spriteEnd = reinterpret_cast<int(__stdcall*)()>(command("Sprite_End"));
        ASSERT_TRUE(initSprite && openScreen && spriteEnd);
        ASSERT_NE(initSprite(), nullptr);
        EXPECT_NE(openScreen(1024, 768, 32, "korrin"), nullptr) << "round " << round;
        EXPECT_EQ(spriteEnd(), 0);
        FreeLibrary(library);
        EXPECT_EQ(GetModuleHandleA("korrin.dll"), nullptr);
    }
}

// --- device loss, with the stand-in d3d9.dll beside the program ---------------------

namespace {

struct StandIn {
    void(WINAPI* loseDevice)(LONG milliseconds);
    void(WINAPI* failResets)(int count);
    int(WINAPI* resetCalls)();
};

StandIn FindStandIn() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file(path, length);
    file = file.substr(0, file.find_last_of("\\/") + 1) + "d3d9.dll";
    HMODULE module = GetModuleHandleA(file.c_str());
    StandIn standIn = {};
    if (!module) return standIn;
    standIn.loseDevice = host::Entry<void(WINAPI*)(LONG)>(module, "StandInLoseDevice");
    standIn.failResets = host::Entry<void(WINAPI*)(int)>(module, "StandInFailResets");
    standIn.resetCalls = host::Entry<int(WINAPI*)()>(module, "StandInResetCalls");
    return standIn;
}

class DeviceLoss : public Screen {
protected:
    void SetUp() override {
        Screen::SetUp();
        host_ = Host(64, 48);
        SetForegroundWindow(host_);
        PumpMessages();
        device_ = OpenWindowed(host_, 0, 0, 64, 48);
        ASSERT_NE(device_, nullptr);
        standIn_ = FindStandIn();
        ASSERT_TRUE(standIn_.loseDevice && standIn_.failResets && standIn_.resetCalls)
            << "run beside the stand-in d3d9.dll";
        Call<int>("SetFrameRate", 0);
        ASSERT_EQ(Int("FlipBuffers"), 1);
        resetsBefore_ = standIn_.resetCalls();
        // States a reset must bring back, set to something else first.
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
        device_->SetFVF(D3DFVF_XYZ);
    }

    // Reset calls during this test.
    int Resets() const { return standIn_.resetCalls() - resetsBefore_; }

    void ExpectRecovered(int resets) {
        EXPECT_EQ(Resets(), resets);
        DWORD value = 0;
        device_->GetRenderState(D3DRS_ALPHABLENDENABLE, &value);
        EXPECT_EQ(value, static_cast<DWORD>(TRUE));
        device_->GetRenderState(D3DRS_SRCBLEND, &value);
        EXPECT_EQ(value, static_cast<DWORD>(D3DBLEND_SRCALPHA));
        device_->GetRenderState(D3DRS_DESTBLEND, &value);
        EXPECT_EQ(value, static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
        device_->GetFVF(&value);
        EXPECT_EQ(value, 0x144u);
        EXPECT_EQ(Int("IsScreenActive"), 1);
        // The back buffer works again.
        EXPECT_EQ(Call<int>("ClearScreen", 0x0000FF), 1);
        EXPECT_TRUE(ReadBackBuffer(device_).All(0xFF0000));
        EXPECT_EQ(Int("FlipBuffers"), 1);
        EXPECT_EQ(Resets(), resets) << "no further reset";
    }

    HWND host_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    StandIn standIn_ = {};
    int resetsBefore_ = 0;
};

}  // namespace

TEST_F(DeviceLoss, ALostDeviceCostsAbout32MillisecondsThenIsResetOnce) {
    standIn_.loseDevice(-1);
    for (int call = 0; call < 2; ++call) {
        const double start = Now();
        EXPECT_EQ(Int("FlipBuffers"), 0);
        const double waited = Now() - start;
        // The wait is measured in tick counts, whose steps can be coarse
        // (up to ~16 ms): "about 32 ms" is at least 16 ms by the test's clock.
        EXPECT_GE(waited, 16) << "call " << call;
        EXPECT_LT(waited, 400) << "call " << call;
        EXPECT_EQ(Int("IsScreenActive"), 0);
        EXPECT_EQ(Call<int>("ClearScreen", 0xFF), 0) << "drawing refuses while the screen is inactive";
    }
    EXPECT_EQ(Resets(), 0) << "a lost device is not reset";

    standIn_.loseDevice(0);  // can be reset now
    EXPECT_EQ(Int("FlipBuffers"), 1);
    ExpectRecovered(1);
}

TEST_F(DeviceLoss, ADeviceBackWithinTheWaitIsResetInTheSameCall) {
    standIn_.loseDevice(8);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    ExpectRecovered(1);
}

TEST_F(DeviceLoss, AFailedResetIsTriedAgainByTheNextFrame) {
    standIn_.loseDevice(0);
    standIn_.failResets(1);
    EXPECT_EQ(Int("FlipBuffers"), 0);
    EXPECT_EQ(Resets(), 1);
    EXPECT_EQ(Int("IsScreenActive"), 0);
    EXPECT_EQ(Call<int>("ClearScreen", 0xFF), 0);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    ExpectRecovered(2);
}

TEST_F(DeviceLoss, TheDeviceIsReleasedAfterARecovery) {
    standIn_.loseDevice(0);
    EXPECT_EQ(Int("FlipBuffers"), 1);
    device_->AddRef();
    EXPECT_EQ(Int("CloseScreen"), 0);
    EXPECT_EQ(device_->Release(), 0u) << "the new back buffer was released too";
}
