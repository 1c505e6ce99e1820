// What the texture manager's white-box tests share: a windowed Direct3D 9
// device of the test program's own (set up once by the environment that
// texture_test.cpp registers), pixel read-back and write helpers, a device
// whose creation methods fail on request, and the fixtures. Leaks are counted
// by the device's reference count (every Direct3D resource holds one) and by
// the bytes in use on the process heap (records and system-memory surfaces
// live there).
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "method_slots.h"
#include "read_back.h"
#include "sprites/ColourKey.h"
#include "sprites/TextureManager.h"

using namespace korrin;

namespace texture_test {

using Pixels = std::vector<std::uint32_t>;

constexpr DWORD kRed = 0x0000FF;  // host colours: red in the low byte
constexpr DWORD kBlue = 0xFF0000;
constexpr std::uint16_t kRedKey = 0x7C00;  // X1R5G5B5 red

// --- the device ---------------------------------------------------------------------------

struct Direct3D {
    HMODULE library;
    IDirect3D9* d3d;
    HWND window;
    IDirect3DDevice9* device;
    D3DPRESENT_PARAMETERS params;
    D3DCAPS9 caps;
};
inline Direct3D g;

class DeviceEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g.library = LoadLibraryA("d3d9.dll");
        ASSERT_NE(g.library, nullptr);
        using Create9 = IDirect3D9*(WINAPI*)(UINT);
        auto create = reinterpret_cast<Create9>(reinterpret_cast<void*>(GetProcAddress(g.library, "Direct3DCreate9")));
        ASSERT_NE(create, nullptr);
        g.d3d = create(D3D_SDK_VERSION);
        ASSERT_NE(g.d3d, nullptr);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KorrinTextureTest";
        RegisterClassA(&windowClass);
        g.window = CreateWindowA("KorrinTextureTest", "texture test", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(g.window, nullptr);
        g.params = {};
        g.params.BackBufferWidth = 64;
        g.params.BackBufferHeight = 64;
        g.params.BackBufferFormat = D3DFMT_UNKNOWN;
        g.params.BackBufferCount = 1;
        g.params.SwapEffect = D3DSWAPEFFECT_COPY;
        g.params.hDeviceWindow = g.window;
        g.params.Windowed = TRUE;
        g.params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(g.d3d->CreateDevice(0, D3DDEVTYPE_HAL, g.window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &g.params,
                                      &g.device),
                  D3D_OK);
        g.device->GetDeviceCaps(&g.caps);
        ASSERT_NE(CreateColourKeyTable(), nullptr);
    }
    void TearDown() override {
        FreeColourKeyTable();
        if (g.device) g.device->Release();
        if (g.d3d) g.d3d->Release();
        if (g.window) DestroyWindow(g.window);
    }
};

inline ULONG DeviceReferences() {
    g.device->AddRef();
    return g.device->Release();
}

// Waits until the device has carried out every call made so far (the
// runtime may run them, releases included, on a thread of its own).
inline void DrainDevice() {
    IDirect3DQuery9* query = nullptr;
    if (SUCCEEDED(g.device->CreateQuery(D3DQUERYTYPE_EVENT, &query))) {
        query->Issue(D3DISSUE_END);
        while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) Sleep(1);
        query->Release();
    }
}

// Bytes in use on the process heap, where records and system-memory surfaces live.
inline SIZE_T HeapBytesInUse() {
    DrainDevice();
    HANDLE heap = GetProcessHeap();
    SIZE_T total = 0;
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    HeapUnlock(heap);
    return total;
}

// A texture object freed at the end of the scope.
struct Held {
    TextureObject* object;
    explicit Held(TextureObject* made) : object(made) {}
    ~Held() {
        if (object) FreeTexture(object);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    TextureObject* operator->() const { return object; }
    operator TextureObject*() const { return object; }
};

inline TextureObject* Make(int kind, int width = 16, int height = 8, int textureFlag = 0) {
    return CreateTexture(g.device, width, height, kind, textureFlag);
}

// --- pixels ----------------------------------------------------------------------------------

// Every pixel of a surface (render targets read back through the device).
inline Pixels ReadSurface(IDirect3DSurface9* surface) {
    const readback::Picture picture = readback::ReadSurface(g.device, surface);
    return Pixels(picture.pixels.begin(), picture.pixels.end());
}

// The Direct3D texture's level 0, as it would be drawn.
inline Pixels ReadTexture(TextureObject* object) {
    IDirect3DSurface9* level = nullptr;
    if (!object->texture || FAILED(object->texture->GetSurfaceLevel(0, &level))) {
        ADD_FAILURE() << "no texture";
        return {};
    }
    Pixels pixels = ReadSurface(level);
    level->Release();
    return pixels;
}

// The pixel copy, through a read-only normal lock.
inline Pixels ReadPixelCopy(TextureObject* object) {
    void* bits = nullptr;
    int pitch = 0;
    Pixels pixels;
    if (!LockPixels(object, 1, 0, &bits, &pitch)) {
        ADD_FAILURE() << "read lock failed";
        return pixels;
    }
    const bool wide = GetBitsPerPixel(object) == 32;
    for (int y = 0; y < object->height; ++y) {
        const BYTE* row = static_cast<const BYTE*>(bits) + y * pitch;
        for (int x = 0; x < object->width; ++x)
            pixels.push_back(wide ? reinterpret_cast<const std::uint32_t*>(row)[x]
                                  : reinterpret_cast<const std::uint16_t*>(row)[x]);
    }
    UnlockPixels(object, 1);
    return pixels;
}

// Writes pattern(x, y) into every pixel through a normal write lock; returns
// UnlockPixels' result.
template <class Pattern>
inline int WritePixels(TextureObject* object, Pattern pattern) {
    void* bits = nullptr;
    int pitch = 0;
    if (!LockPixels(object, 0, 0, &bits, &pitch)) {
        ADD_FAILURE() << "write lock failed";
        return 0;
    }
    const bool wide = GetBitsPerPixel(object) == 32;
    for (int y = 0; y < object->height; ++y) {
        BYTE* row = static_cast<BYTE*>(bits) + y * pitch;
        for (int x = 0; x < object->width; ++x) {
            if (wide)
                reinterpret_cast<std::uint32_t*>(row)[x] = pattern(x, y);
            else
                reinterpret_cast<std::uint16_t*>(row)[x] = static_cast<std::uint16_t>(pattern(x, y));
        }
    }
    return UnlockPixels(object, 0);
}

// 16-bit words that exercise the key: both forms of black, white, pure
// channels, the least blue, then a scramble.
inline std::uint32_t Words(int x, int y) {
    static const std::uint16_t words[] = {0x0000, 0x8000, 0x7FFF, 0x001F, 0x0001, 0x7C00,
                                          0xFFFF, 0x03E0, 0xFC00, 0x0421, 0x7C00, 0x0000};
    const unsigned i = static_cast<unsigned>(y * 16 + x);
    if (i < sizeof words / sizeof words[0]) return words[i];
    return (i * 2654435761u) >> 16;
}

// A 16 x 8 texture object of `kind` holding Words; null when it cannot be made.
inline TextureObject* MakeWithWords(int kind) {
    TextureObject* object = Make(kind);
    if (object) WritePixels(object, Words);
    return object;
}

// 32-bit pixels with every alpha byte different.
inline std::uint32_t Wide(int x, int y) { return (static_cast<std::uint32_t>(x * 16 + y) << 24) | ((x * 37 + y * 11) & 0xFFFFFF); }

// What the texture holds for a 16-bit word under a key.
inline std::uint32_t Keyed(std::uint32_t word, std::uint16_t key) {
    word &= 0x7FFF;
    return word == key ? word : word | 0x8000;
}

inline Pixels Expected(int width, int height, std::uint32_t (*pattern)(int, int), std::uint16_t key) {
    Pixels pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(Keyed(pattern(x, y), key));
    return pixels;
}

// Colour bits only (X1R5G5B5 surfaces may read back with bit 15 set).
inline Pixels ColourBits(Pixels pixels) {
    for (auto& p : pixels) p &= 0x7FFF;
    return pixels;
}

inline Pixels Pattern16(int width, int height) {
    Pixels pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(Words(x, y) & 0x7FFF);
    return pixels;
}

inline Pixels Pattern32(int width, int height) {
    Pixels pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(Wide(x, y));
    return pixels;
}

// --- a device that fails on request -------------------------------------------------------------

// Patched copies of the device's and a texture's method tables.
constexpr int kMaxSlots = 256;

struct Injection {
    bool failTexture, failRenderTargetTexture, failTarget, failPlain, failSurfaceLevel;
    int textureCalls, targetCalls, plainCalls, levelCalls;
};
inline Injection injection;
inline void** realDeviceMethods;
inline void* hookedDeviceMethods[kMaxSlots];
inline void* hookedTextureMethods[kMaxSlots];
inline void** realTextureMethods;  // of the texture given hookedTextureMethods

using CreateTextureMethod = HRESULT(__stdcall*)(IDirect3DDevice9*, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                                IDirect3DTexture9**, HANDLE*);
using CreateRenderTargetMethod = HRESULT(__stdcall*)(IDirect3DDevice9*, UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD,
                                                     BOOL, IDirect3DSurface9**, HANDLE*);
using CreatePlainMethod = HRESULT(__stdcall*)(IDirect3DDevice9*, UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**,
                                              HANDLE*);

// The patched table holds only the COM methods: an implementation's object
// may have further virtual functions after them (its destructor, for one), so
// the texture gets its own table back before anything else is called on it.
inline HRESULT __stdcall FailingGetSurfaceLevel(IDirect3DTexture9* self, UINT, IDirect3DSurface9** surface) {
    *reinterpret_cast<void***>(self) = realTextureMethods;
    ++injection.levelCalls;
    *surface = nullptr;
    return D3DERR_INVALIDCALL;
}

inline HRESULT __stdcall HookedCreateTexture(IDirect3DDevice9* self, UINT width, UINT height, UINT levels, DWORD usage,
                                      D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) {
    ++injection.textureCalls;
    if (injection.failTexture || (injection.failRenderTargetTexture && (usage & D3DUSAGE_RENDERTARGET))) {
        *texture = nullptr;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    const HRESULT result = reinterpret_cast<CreateTextureMethod>(realDeviceMethods[deviceMethodSlots.createTexture])(
        self, width, height, levels, usage, format, pool, texture, shared);
    if (SUCCEEDED(result) && injection.failSurfaceLevel) {
        void**& methods = *reinterpret_cast<void***>(*texture);
        realTextureMethods = methods;
        std::memcpy(hookedTextureMethods, methods, textureMethodSlots.count * sizeof(void*));
        hookedTextureMethods[textureMethodSlots.getSurfaceLevel] = reinterpret_cast<void*>(FailingGetSurfaceLevel);
        methods = hookedTextureMethods;
    }
    return result;
}

inline HRESULT __stdcall HookedCreateRenderTarget(IDirect3DDevice9* self, UINT width, UINT height, D3DFORMAT format,
                                           D3DMULTISAMPLE_TYPE samples, DWORD quality, BOOL lockable,
                                           IDirect3DSurface9** surface, HANDLE* shared) {
    ++injection.targetCalls;
    if (injection.failTarget) {
        *surface = nullptr;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    return reinterpret_cast<CreateRenderTargetMethod>(realDeviceMethods[deviceMethodSlots.createRenderTarget])(
        self, width, height, format, samples, quality, lockable, surface, shared);
}

inline HRESULT __stdcall HookedCreatePlain(IDirect3DDevice9* self, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DSurface9** surface, HANDLE* shared) {
    ++injection.plainCalls;
    if (injection.failPlain) {
        *surface = nullptr;
        return E_OUTOFMEMORY;
    }
    return reinterpret_cast<CreatePlainMethod>(realDeviceMethods[deviceMethodSlots.createOffscreenPlainSurface])(
        self, width, height, format, pool, surface, shared);
}

// Points the device at a copy of its method table whose creation methods
// count their calls and fail as `injection` says, for the life of the scope.
class HookedDevice {
public:
    HookedDevice() {
        injection = {};
        void**& methods = *reinterpret_cast<void***>(g.device);
        realDeviceMethods = methods;
        std::memcpy(hookedDeviceMethods, methods, deviceMethodSlots.count * sizeof(void*));
        hookedDeviceMethods[deviceMethodSlots.createTexture] = reinterpret_cast<void*>(HookedCreateTexture);
        hookedDeviceMethods[deviceMethodSlots.createRenderTarget] = reinterpret_cast<void*>(HookedCreateRenderTarget);
        hookedDeviceMethods[deviceMethodSlots.createOffscreenPlainSurface] = reinterpret_cast<void*>(HookedCreatePlain);
        methods = hookedDeviceMethods;
    }
    ~HookedDevice() {
        *reinterpret_cast<void***>(g.device) = realDeviceMethods;
        injection = {};
    }
    HookedDevice(const HookedDevice&) = delete;
    HookedDevice& operator=(const HookedDevice&) = delete;
};

// --- fixtures ---------------------------------------------------------------------------------------

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(g.device, nullptr) << "no Direct3D 9 device";
        ASSERT_NE(colourKeyTable, nullptr);
        ASSERT_LE(deviceMethodSlots.count, kMaxSlots);
        ASSERT_LE(textureMethodSlots.count, kMaxSlots);
        references = DeviceReferences();
    }
    void TearDown() override { EXPECT_EQ(DeviceReferences(), references) << "Direct3D objects left behind"; }
    ULONG references = 0;
};

class Create : public TextureTest {};
class ColourKey : public TextureTest {};
class PixelAccess : public TextureTest {};
class LongLock : public TextureTest {};
class RenderTarget : public TextureTest {};
class DeviceReset : public TextureTest {};
class OptimizeKind2 : public TextureTest {};
class Leaks : public TextureTest {};

}  // namespace texture_test
