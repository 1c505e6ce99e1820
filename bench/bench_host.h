// What every benchmark program shares: korrin.dll's commands bound by name,
// as a host binds them, and the performance counter in integer ticks.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

template <class R, class... A>
using CommandProc = R(__stdcall*)(A...);

HMODULE korrin;  // korrin.dll, loaded by the program's main

// The command `name` of korrin.dll, or null when it is not exported.
template <class R, class... A>
CommandProc<R, A...> Command(const char* name) {
    return reinterpret_cast<CommandProc<R, A...>>(reinterpret_cast<void*>(GetProcAddress(korrin, name)));
}

// The performance counter in its own integer ticks. Clocks are read and
// summed in ticks and turned into seconds only at the end (Seconds): a
// reading converted to double at once would be rounded to the precision the
// x87 unit was left at (24 bits after Direct3D set it up), 2^-12 s here.
inline LONGLONG Ticks() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// A span of counter ticks in seconds.
inline double Seconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

// A visible 640x480 popup window in the foreground, for a windowed screen.
inline HWND BenchmarkWindow(const char* title) {
    HWND window = CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                                  nullptr, nullptr);
    SetForegroundWindow(window);
    return window;
}

// Opens a 640x480 windowed screen filling `window`; false when it fails.
inline bool OpenBenchmarkScreen(HWND window) {
    return Command<void*, void*, int, int, int, int, int, int, int>("OpenWindowedScreen")(window, 0, 0, 640, 480, 0, 0,
                                                                                          0) != nullptr;
}

// Where sprite i of a run of side x side sprites lands on a 640x480 screen:
// spread over it, the same for every path a benchmark compares.
inline void SpritePosition(int i, int side, int* x, int* y) {
    *x = (i * 37) % (640 - side);
    *y = (i * 53) % (480 - side);
}

// Waits until the device has carried out everything issued so far (the
// driver may run behind the calls); an event query tells.
// Displays `count` copies of sprite `number` (of `side` pixels) through the
// display command `command`, at SpritePosition's places; `extra` is the
// command's fourth argument, or < 0 for a command of three.
inline void DisplaySprites(const char* command, int extra, int number, int side, int count) {
    auto draw3 = Command<int, int, int, int>(command);
    auto draw4 = Command<int, int, int, int, int>(command);
    for (int i = 0; i < count; ++i) {
        int x, y;
        SpritePosition(i, side, &x, &y);
        if (extra < 0)
            draw3(number, x, y);
        else
            draw4(number, x, y, extra);
    }
}

inline void WaitForDevice(IDirect3DQuery9* query) {
    if (!query) return;
    query->Issue(D3DISSUE_END);
    while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
    }
}

// The median of some measurements.
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A positive number from the environment variable `name`, else `fallback`.
inline int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

// An 8-bit grey BMP of size x size in memory, for an alpha sprite.
inline std::vector<BYTE> GreyBmp(int size) {
    const int pitch = (size + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    const DWORD offset = sizeof file + sizeof info + 1024;
    file.bfType = 0x4D42;
    file.bfSize = offset + pitch * size;
    file.bfOffBits = offset;
    info.biSize = sizeof info;
    info.biWidth = size;
    info.biHeight = size;
    info.biPlanes = 1;
    info.biBitCount = 8;
    info.biClrUsed = 256;
    std::vector<BYTE> b(offset + pitch * size, 0);
    std::memcpy(b.data(), &file, sizeof file);
    std::memcpy(b.data() + sizeof file, &info, sizeof info);
    for (int i = 0; i < 256; ++i) b[sizeof file + sizeof info + 4 * i] = b[sizeof file + sizeof info + 4 * i + 1] =
        b[sizeof file + sizeof info + 4 * i + 2] = static_cast<BYTE>(i);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) b[offset + y * pitch + x] = static_cast<BYTE>((x * 37 + y * 11) & 0xFF);
    return b;
}

}  // namespace
