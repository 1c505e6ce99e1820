// Pixels read back from Direct3D surfaces, and a comparison that explains a
// mismatch: it reports the first differing pixels and saves the actual and
// the expected picture as BMP files named after the running test.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_files.h"

namespace readback {

// A picture row by row: 32-bit formats as read, 16-bit formats as the word.
struct Picture {
    int width = 0, height = 0;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels.at(static_cast<size_t>(y) * width + x); }
    bool empty() const { return pixels.empty(); }
};

inline bool Wide(D3DFORMAT format) { return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8; }

// A pixel of `format` as 8-bit red, green and blue (0x00RRGGBB).
inline DWORD ToRgb(DWORD pixel, D3DFORMAT format) {
    if (Wide(format)) return pixel & 0xFFFFFF;
    auto widen = [](DWORD n, DWORD bits) { return (n * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1); };
    if (format == D3DFMT_R5G6B5)
        return widen((pixel >> 11) & 31, 5) << 16 | widen((pixel >> 5) & 63, 6) << 8 | widen(pixel & 31, 5);
    return widen((pixel >> 10) & 31, 5) << 16 | widen((pixel >> 5) & 31, 5) << 8 | widen(pixel & 31, 5);
}

// Every pixel of a surface: render targets through GetRenderTargetData into
// a system-memory copy, anything else through a read-only lock. A surface
// that cannot be read fails the test and gives an empty picture.
inline Picture ReadSurface(IDirect3DDevice9* device, IDirect3DSurface9* surface) {
    Picture picture;
    D3DSURFACE_DESC desc;
    if (!surface || FAILED(surface->GetDesc(&desc))) {
        ADD_FAILURE() << "no surface to read";
        return picture;
    }
    Microsoft::WRL::ComPtr<IDirect3DSurface9> copy;
    IDirect3DSurface9* source = surface;
    if (desc.Usage & D3DUSAGE_RENDERTARGET) {
        if (!device ||
            FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                       nullptr)) ||
            FAILED(device->GetRenderTargetData(surface, copy.Get()))) {
            ADD_FAILURE() << "the render target cannot be read back";
            return picture;
        }
        source = copy.Get();
    }
    D3DLOCKED_RECT locked;
    if (FAILED(source->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        ADD_FAILURE() << "the surface cannot be locked for reading";
        return picture;
    }
    picture.width = static_cast<int>(desc.Width);
    picture.height = static_cast<int>(desc.Height);
    picture.format = desc.Format;
    const bool wide = Wide(desc.Format);
    for (int y = 0; y < picture.height; ++y) {
        const BYTE* row = static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch;
        for (int x = 0; x < picture.width; ++x)
            picture.pixels.push_back(wide ? reinterpret_cast<const DWORD*>(row)[x]
                                          : reinterpret_cast<const WORD*>(row)[x]);
    }
    source->UnlockRect();
    return picture;
}

inline Picture ReadBackBuffer(IDirect3DDevice9* device) {
    Microsoft::WRL::ComPtr<IDirect3DSurface9> back;
    if (!device || FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) {
        ADD_FAILURE() << "no back buffer";
        return {};
    }
    return ReadSurface(device, back.Get());
}

// Level 0 of a texture, as it would be drawn.
inline Picture ReadTexture(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
    Microsoft::WRL::ComPtr<IDirect3DSurface9> level;
    if (!texture || FAILED(texture->GetSurfaceLevel(0, &level))) {
        ADD_FAILURE() << "no texture to read";
        return {};
    }
    return ReadSurface(device, level.Get());
}

// Writes a picture as a 24-bit bottom-up BMP; false when the file cannot be written.
inline bool SaveBmp(const Picture& picture, const std::string& path) {
    if (picture.width <= 0 || picture.height <= 0) return false;
    const Bytes bmp = TrueColourBmp(picture.width, picture.height, 24,
                                    [&](int x, int y) { return ToRgb(picture.At(x, y), picture.format); });
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bmp.data(), bmp.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

// "<suite>.<test>-<what>.bmp" in the working folder, as a full path.
inline std::string PicturePath(const char* what) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "picture";
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    name += std::string("-") + what + ".bmp";
    char full[MAX_PATH];
    return GetFullPathNameA(name.c_str(), MAX_PATH, full, nullptr) ? std::string(full) : name;
}

// Pixels of `actual` that differ from `expected`: by more than `tolerance` in
// any 8-bit channel, or, with tolerance 0, in any bit of `mask`. A mismatch
// fails the test with the first differences and saves both pictures.
inline int CountMismatches(const Picture& actual, const Picture& expected, int tolerance = 0,
                           DWORD mask = 0xFFFFFFFFu) {
    if (actual.width != expected.width || actual.height != expected.height ||
        actual.pixels.size() != expected.pixels.size()) {
        ADD_FAILURE() << "the picture is " << actual.width << "x" << actual.height << ", expected "
                      << expected.width << "x" << expected.height;
        return expected.width * expected.height > 0 ? expected.width * expected.height : 1;
    }
    int wrong = 0;
    std::string firsts;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            const DWORD a = actual.At(x, y), e = expected.At(x, y);
            bool same = (a & mask) == (e & mask);
            if (tolerance > 0) {
                const DWORD ra = ToRgb(a & mask, actual.format), re = ToRgb(e & mask, expected.format);
                same = true;
                for (int shift = 0; shift < 24; shift += 8)
                    if (std::abs(static_cast<int>((ra >> shift) & 0xFF) - static_cast<int>((re >> shift) & 0xFF)) >
                        tolerance)
                        same = false;
            }
            if (same) continue;
            if (++wrong <= 5) {
                char line[96];
                std::snprintf(line, sizeof line, "\n  (%d,%d) is %08lX, expected %08lX", x, y,
                              static_cast<unsigned long>(a), static_cast<unsigned long>(e));
                firsts += line;
            }
        }
    }
    if (wrong) {
        const std::string actualPath = PicturePath("actual"), expectedPath = PicturePath("expected");
        const bool saved = SaveBmp(actual, actualPath) && SaveBmp(expected, expectedPath);
        ADD_FAILURE() << wrong << " of " << actual.width * actual.height << " pixels differ" << firsts
                      << (saved ? "\n  pictures: " + actualPath + "\n            " + expectedPath
                                : std::string("\n  (the pictures could not be saved)"));
    }
    return wrong;
}

// An empty picture of the size and format of `like`, every pixel `fill`.
inline Picture Blank(const Picture& like, DWORD fill = 0) {
    Picture picture;
    picture.width = like.width;
    picture.height = like.height;
    picture.format = like.format;
    picture.pixels.assign(like.pixels.size(), fill);
    return picture;
}

}  // namespace readback
