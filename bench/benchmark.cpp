// Drawing benchmark: sprites per second drawn through korrin's display
// commands, against the same Direct3D calls issued directly on the library's
// device (the texture the library draws with, the states it sets, one
// DrawPrimitiveUP of a four-vertex strip per sprite).
//
// Every mode of the table `kModes` is measured at every quad size of `kSides`.
// Small quads make the rasteriser's fill time small, so that what the library
// adds per call (look-up, clipping, state cache, texture check) shows. Rounds
// of the library and of the direct calls alternate (ABBA, so that a drift of
// the machine's speed hits both alike); each round is timed from the first
// call until the device has carried out the last one, and the frame is shown
// outside the clock. Each pair of neighbouring rounds gives one ratio
// library / direct (the two saw nearly the same load on the machine); the
// figure printed is the mean of the middle half of those ratios (rounds hit
// by other work on the machine fall outside it), with their quartiles, and
// the sprites per second are the medians of each path's rounds. The goal is
// a ratio of at least 0.95.
//
// To add a mode, add a row to kModes: the command, its fourth argument if it
// takes one, the sprite it draws (16-bit, 32-bit or 3D), and the direct
// states and vertex layout that the command amounts to.
#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "bench_host.h"

namespace {

struct PlainVertex { float x, y, z, rhw, u, v; };                    // XYZRHW | TEX1
struct ColouredVertex { float x, y, z, rhw; DWORD diffuse; float u, v; };  // XYZRHW | DIFFUSE | TEX1

// --- what the modes draw -----------------------------------------------------------

// The test sprites of one quad size: numbers of a 16-bit sprite, a 32-bit
// sprite and a 3D sprite made from the 32-bit one, and their textures.
struct SizedSprites {
    int side, count;  // pixels; sprites per round
    int sprite16, sprite32, sprite3D;
    IDirect3DTexture9* texture16;
    IDirect3DTexture9* texture32;
};

enum class Source { Sprite16, Sprite32, Sprite3D };

// The render states one direct round sets before its sprites.
struct DirectStates {
    BOOL alphaBlend;
    D3DBLEND source, dest;
    bool coloured;  // vertex layout: ColouredVertex (with `diffuse`) or PlainVertex
    DWORD diffuse;  // Direct3D colour of coloured vertices
};

struct DrawMode {
    const char* command;  // the exported command drawing one sprite
    int extra;            // -1: called as (number, x, y); else as (number, x, y, extra)
    Source source;
    DirectStates direct;  // what the command amounts to in direct calls
    bool threeD;          // drawn between Start3D and Stop3D (which the direct round calls too)
};

const DrawMode kModes[] = {
    {"DisplaySprite", -1, Source::Sprite16, {TRUE, D3DBLEND_ONE, D3DBLEND_ZERO, false, 0}, false},
    {"DisplayTransparentSprite", -1, Source::Sprite16, {TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, false, 0}, false},
    // Start3D sets the 3D blend factors; the direct round keeps them.
    {"DisplaySprite3D", -1, Source::Sprite3D, {TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, true, 0xFFFFFFFF}, true},
};

// Quad sizes, and sprites per round at each: a round lasts some 10 ms on the
// development machine, well above the steps in which the device reports work
// done (about 0.12 ms under Wine), and short enough that most pairs of rounds
// see the same conditions.
struct QuadSize {
    int side, sprites;
};
constexpr QuadSize kSides[] = {{1, 3000}, {8, 3000}, {32, 1000}};

// --- the measurement ----------------------------------------------------------------

IDirect3DDevice9* device;
IDirect3DQuery9* query;
CommandProc<int> start3D, stop3D;
CommandProc<int, int> flip;

void Finish() { WaitForDevice(query); }

int NumberFor(const DrawMode& mode, const SizedSprites& s) {
    switch (mode.source) {
    case Source::Sprite16: return s.sprite16;
    case Source::Sprite32: return s.sprite32;
    default: return s.sprite3D;
    }
}

IDirect3DTexture9* TextureFor(const DrawMode& mode, const SizedSprites& s) {
    return mode.source == Source::Sprite16 ? s.texture16 : s.texture32;
}

// One library round of `count` sprites; seconds.
double LibraryRound(const DrawMode& mode, const SizedSprites& s, int count) {
    const int number = NumberFor(mode, s);
    Finish();
    const LONGLONG start = Ticks();
    if (mode.threeD) start3D();
    DisplaySprites(mode.command, mode.extra, number, s.side, count);
    if (mode.threeD) stop3D();
    Finish();
    const double seconds = Seconds(Ticks() - start);
    flip(0);
    return seconds;
}

// The same sprites through direct Direct3D calls; seconds. The render states
// the library caches are put back afterwards (outside the clock), so that its
// cache stays true.
double DirectRound(const DrawMode& mode, const SizedSprites& s, int count) {
    DWORD saved[3];
    DWORD savedFormat = 0;
    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &saved[0]);
    device->GetRenderState(D3DRS_SRCBLEND, &saved[1]);
    device->GetRenderState(D3DRS_DESTBLEND, &saved[2]);
    device->GetFVF(&savedFormat);
    IDirect3DTexture9* texture = TextureFor(mode, s);
    const float side = static_cast<float>(s.side);
    const DWORD c = mode.direct.diffuse;
    Finish();
    const LONGLONG start = Ticks();
    // Start3D opens the scene itself (and FlipBuffers ends it); 2D rounds
    // open and end their own.
    if (mode.threeD) {
        start3D();
    } else {
        device->BeginScene();
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, mode.direct.alphaBlend);
        device->SetRenderState(D3DRS_SRCBLEND, mode.direct.source);
        device->SetRenderState(D3DRS_DESTBLEND, mode.direct.dest);
    }
    device->SetFVF(mode.direct.coloured ? D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1 : D3DFVF_XYZRHW | D3DFVF_TEX1);
    for (int i = 0; i < count; ++i) {
        int x, y;
        SpritePosition(i, s.side, &x, &y);
        const float l = x - 0.5f, t = y - 0.5f, r = l + side, b = t + side;
        device->SetTexture(0, texture);
        if (mode.direct.coloured) {
            const ColouredVertex quad[4] = {{l, t, 0, 1, c, 0, 0}, {r, t, 0, 1, c, 1, 0},
                                            {l, b, 0, 1, c, 0, 1}, {r, b, 0, 1, c, 1, 1}};
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColouredVertex));
        } else {
            const PlainVertex quad[4] = {{l, t, 0, 1, 0, 0}, {r, t, 0, 1, 1, 0}, {l, b, 0, 1, 0, 1}, {r, b, 0, 1, 1, 1}};
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(PlainVertex));
        }
    }
    if (mode.threeD) stop3D();
    Finish();
    const double seconds = Seconds(Ticks() - start);
    if (!mode.threeD) device->EndScene();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, saved[0]);
    device->SetRenderState(D3DRS_SRCBLEND, saved[1]);
    device->SetRenderState(D3DRS_DESTBLEND, saved[2]);
    device->SetFVF(savedFormat);
    flip(0);
    return seconds;
}

struct Result {
    double library, direct;  // sprites per second: medians of the rounds
    double ratio;            // mean of the middle half of the per-pair ratios library / direct
    double low, high;        // quartiles of the per-pair ratios
};

Result Measure(const DrawMode& mode, const SizedSprites& s, int count, int pairs) {
    LibraryRound(mode, s, count);  // warm up both paths
    DirectRound(mode, s, count);
    std::vector<double> library, direct, ratios;
    for (int pair = 0; pair < pairs; ++pair) {
        double l, d;
        if (pair % 2 == 0) {
            l = LibraryRound(mode, s, count);
            d = DirectRound(mode, s, count);
        } else {
            d = DirectRound(mode, s, count);
            l = LibraryRound(mode, s, count);
        }
        library.push_back(l);
        direct.push_back(d);
        ratios.push_back(d / l);
    }
    std::sort(ratios.begin(), ratios.end());
    const std::size_t low = ratios.size() / 4, high = ratios.size() - ratios.size() / 4;
    double middle = 0;
    for (std::size_t i = low; i < high; ++i) middle += ratios[i];
    return {count / Median(library), count / Median(direct), middle / static_cast<double>(high - low), ratios[low],
            ratios[high - 1]};
}

}  // namespace

void BenchmarkBlendedModesAndCollision(IDirect3DDevice9* device);

int main() {
    korrin = LoadLibraryA("korrin.dll");
    if (!korrin) return 1;
    HWND window = CreateWindowExA(0, "STATIC", "benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520,
                                  nullptr, nullptr, nullptr, nullptr);
    Command<void*>("InitSprite")();
    Command<int>("InitSprite3D")();
    device = static_cast<IDirect3DDevice9*>(
        Command<void*, void*, int, int, int, int, int, int, int>("OpenWindowedScreen")(window, 0, 0, 640, 480, 0, 0, 0));
    if (!device) return 2;
    Command<int, int>("SetFrameRate")(0);
    start3D = Command<int>("Start3D");
    stop3D = Command<int>("Stop3D");
    flip = Command<int, int>("FlipBuffers2");
    auto createSprite2 = Command<int, int, int, int, int>("CreateSprite2");
    auto createSprite3D = Command<int, int, int>("CreateSprite3D");
    auto spriteID = Command<void*, int>("SpriteID");

    // The Direct3D texture a sprite draws with, for the direct path.
    struct Ops { void* f[5]; IDirect3DTexture9*(__stdcall* GetDrawTexture)(void*); };
    auto drawTexture = [&](int number) {
        void* object = spriteID(number);
        return object ? (*static_cast<Ops**>(object))->GetDrawTexture(object) : nullptr;
    };
    std::vector<SizedSprites> sprites;
    const int scale = EnvInt("KORRIN_BENCH_SCALE", 100);  // per cent of kSides' sprite counts
    for (const QuadSize& size : kSides) {
        const int side = size.side;
        SizedSprites s = {side, size.sprites * scale / 100, 100 + side, 200 + side, 300 + side, nullptr, nullptr};
        if (!createSprite2(s.sprite16, side, side, 0) || !createSprite2(s.sprite32, side, side, 12) ||
            !createSprite3D(s.sprite3D, s.sprite32))
            return 3;
        s.texture16 = drawTexture(s.sprite16);
        s.texture32 = drawTexture(s.sprite32);
        if (!s.texture16 || !s.texture32) return 4;
        sprites.push_back(s);
    }
    device->CreateQuery(D3DQUERYTYPE_EVENT, &query);

    // Rounds: enough that two runs agree within a few per cent
    // (KORRIN_BENCH_ROUNDS and KORRIN_BENCH_SCALE override them).
    const int rounds = EnvInt("KORRIN_BENCH_ROUNDS", 240);
    std::printf("%d rounds of each path; ratio = library / direct, mean of the middle half of the pairs "
                "[quartiles]\n", rounds);
    for (const DrawMode& mode : kModes) {
        for (const SizedSprites& s : sprites) {
            const Result r = Measure(mode, s, s.count, rounds);
            std::printf("%-26s %2dx%-2d x%-5d library %7.0f/s  direct %7.0f/s  ratio %.3f [%.3f %.3f]\n",
                        mode.command, s.side, s.side, s.count, r.library, r.direct, r.ratio, r.low, r.high);
            std::fflush(stdout);
        }
    }
    std::printf("goal: ratio >= 0.95 everywhere\n");
    BenchmarkBlendedModesAndCollision(device);
    if (query) query->Release();
    Command<int>("Sprite_End")();
    FreeLibrary(korrin);
    return 0;
}

// ---- blended modes, the colour filter and pixel collision ---------------------------------
//
// Each blended mode and the RGB filter, at 1x1, 8x8 and 32x32, against the
// Direct3D calls the mode stands for issued directly: the cached states once
// per round, then per quad the stage-0 operations, the texture, one
// DrawPrimitiveUP of a four-vertex strip and the stage-0 restore. Pixel
// collision of two overlapping 256x256 sprites with no solid pixel in common
// (the whole overlap is scanned) against a plain loop over the same two
// locked pixel copies. The goals: ratio >= 0.95 for the modes, >= 0.9 for
// the collision scan.

namespace {

struct TextureOps {
    void* f[5];
    IDirect3DTexture9*(__stdcall* GetDrawTexture)(void*);
    void* g;
    int(__stdcall* LockPixels)(void*, int, int, void**, int*);
    int(__stdcall* UnlockPixels)(void*, int);
};
double Sum(const std::vector<double>& values) {
    double total = 0;
    for (double v : values) total += v;
    return total;
}

const TextureOps& OpsOf(void* object) { return **static_cast<TextureOps**>(object); }
IDirect3DTexture9* DrawTextureOf(void* object) { return object ? OpsOf(object).GetDrawTexture(object) : nullptr; }

}  // namespace

void BenchmarkBlendedModesAndCollision(IDirect3DDevice9* device) {
    auto createSprite = Command<int, int, int, int, int>("CreateSprite2");
    auto catchSprite = Command<int, int, const void*, int>("CatchSprite2");
    auto spriteID = Command<void*, int>("SpriteID");
    auto isSprite = Command<int, int>("IsSprite");
    auto flip = Command<int, int>("FlipBuffers2");
    auto translucent = Command<int, int, int, int, int>("DisplayTranslucentSprite");
    auto alpha = Command<int, int, int, int>("DisplayAlphaSprite");
    auto solid = Command<int, int, int, int, int>("DisplaySolidSprite");
    auto shadow = Command<int, int, int, int>("DisplayShadowSprite");
    auto filter = Command<int, int, int, int, int, int, int, int>("DisplayRGBFilter");
    auto pixelCollision = Command<int, int, int, int, int, int, int>("SpritePixelCollision");
    if (!translucent || !alpha || !solid || !shadow || !filter || !pixelCollision) {
        std::printf("blended modes: not exported\n");
        return;
    }

    IDirect3DQuery9* query = nullptr;
    device->CreateQuery(D3DQUERYTYPE_EVENT, &query);
    auto finish = [&] {
        if (!query) return;
        query->Issue(D3DISSUE_END);
        while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
        }
    };
    auto timed = [&](auto&& draw) {
        finish();
        const LONGLONG start = Ticks();
        draw();
        flip(0);
        finish();
        return Seconds(Ticks() - start);
    };
    auto position = [](int i, int* x, int* y) {
        *x = (i * 37) % 600;
        *y = (i * 53) % 440;
    };
    // Sets the stage-0 operations of a mode, draws one quad of coloured vertices, restores.
    auto directQuad = [&](IDirect3DTexture9* texture, int x, int y, int size, DWORD diffuse, DWORD alphaOp) {
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        if (alphaOp) device->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
        const float l = x - 0.5f, t = y - 0.5f, r = l + size, b = t + size;
        const ColouredVertex quad[4] = {
            {l, t, 0, 1, diffuse, 0, 0}, {r, t, 0, 1, diffuse, 1, 0}, {l, b, 0, 1, diffuse, 0, 1}, {r, b, 0, 1, diffuse, 1, 1}};
        device->SetTexture(0, texture);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColouredVertex));
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        if (alphaOp) device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    };
    auto directStates = [&](DWORD source, DWORD dest, DWORD format) {
        device->SetPixelShader(nullptr);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, source);
        device->SetRenderState(D3DRS_DESTBLEND, dest);
        device->SetFVF(format);
    };
    constexpr DWORD kColoured = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

    // Rounds long enough for a coarse clock (it may advance only with the
    // scheduler's tick here), and totals rather than medians: every reading's
    // error is at most a tick, so the sums of many long rounds are what counts.
    constexpr int kQuads = 10000, kModeRounds = 7;
    std::printf("blended modes, %d quads per round (goal: ratio >= 0.95):\n", kQuads);
    for (int size : {1, 8, 32}) {
        // A 16-bit sprite (kind 2) and an alpha sprite of this size.
        const int plain = 20 + size, alphaSprite = 60 + size;
        createSprite(plain, size, size, 0);
        const std::vector<BYTE> bmp = GreyBmp(size);
        catchSprite(alphaSprite, bmp.data(), 2);
        IDirect3DTexture9* plainTexture = DrawTextureOf(spriteID(plain));
        const auto* record = reinterpret_cast<const BYTE*>(isSprite(alphaSprite));
        IDirect3DTexture9* alphaTexture =
            record ? DrawTextureOf(*reinterpret_cast<void* const*>(record + 68)) : nullptr;

        struct Mode {
            const char* name;
            std::function<void(int, int)> library;
            std::function<void()> states;
            std::function<void(int, int)> direct;
        };
        const Mode modes[] = {
            {"DisplayTranslucentSprite", [&](int x, int y) { translucent(plain, x, y, 128); },
             [&] { directStates(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, kColoured); },
             [&](int x, int y) { directQuad(plainTexture, x, y, size, 0x80FFFFFF, D3DTOP_MODULATE); }},
            {"DisplayAlphaSprite", [&](int x, int y) { alpha(alphaSprite, x, y); },
             [&] { directStates(D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCALPHA, kColoured); },
             [&](int x, int y) { directQuad(alphaTexture, x, y, size, 0xFFFFFFFF, D3DTOP_SELECTARG1); }},
            {"DisplaySolidSprite", [&](int x, int y) { solid(plain, x, y, 0x00FF8040); },
             [&] { directStates(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, kColoured); },
             [&](int x, int y) { directQuad(plainTexture, x, y, size, 0x00FF8040, 0); }},
            {"DisplayShadowSprite", [&](int x, int y) { shadow(plain, x, y); },
             [&] { directStates(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, kColoured); },
             [&](int x, int y) { directQuad(plainTexture, x, y, size, 0x80000000, D3DTOP_MODULATE); }},
            {"DisplayRGBFilter", [&](int x, int y) { filter(x, y, size, size, 4, 8, 12); },
             [&] { directStates(D3DBLEND_ONE, D3DBLEND_ONE, D3DFVF_XYZRHW | D3DFVF_DIFFUSE); },
             [&](int x, int y) {
                 const DWORD colour = 12 + 8 * 256 + 4 * 65536;
                 const float l = x - 0.5f, t = y - 0.5f, r = l + size, b = t + size;
                 struct { float x, y, z, rhw; DWORD diffuse; } quad[4] = {
                     {l, t, 0, 1, colour}, {r, t, 0, 1, colour}, {l, b, 0, 1, colour}, {r, b, 0, 1, colour}};
                 device->SetTexture(0, nullptr);
                 device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
                 device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
                 device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
                 device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
             }},
        };
        for (const Mode& mode : modes) {
            auto library = [&] {
                for (int i = 0; i < kQuads; ++i) {
                    int x, y;
                    position(i, &x, &y);
                    mode.library(x, y);
                }
            };
            auto direct = [&] {
                mode.states();
                for (int i = 0; i < kQuads; ++i) {
                    int x, y;
                    position(i, &x, &y);
                    mode.direct(x, y);
                }
            };
            std::vector<double> lib, dir;
            timed(library);
            timed(direct);
            for (int round = 0; round < kModeRounds; ++round) {
                lib.push_back(timed(library));
                dir.push_back(timed(direct));
            }
            const double l = kQuads * kModeRounds / Sum(lib), d = kQuads * kModeRounds / Sum(dir);
            std::printf("  %-24s %2dx%-2d: %7.0f quads/s, direct: %7.0f quads/s, ratio %.2f\n", mode.name, size,
                        size, l, d, l / d);
        }
    }

    // Pixel collision: solid on even columns in the first sprite, on odd
    // columns in the second, overlapping exactly. Video sprites (flags 1)
    // keep their pixel copy in system memory, so a lock costs little and the
    // scan is what is measured; managed sprites (flags 0) are read from a
    // render-target copy, which Wine reads back from the GPU at every lock.
    constexpr int kSide = 256, kCalls = 2000, kCollisionRounds = 4;
    for (int flags : {1, 0}) {
        const int n1 = 100 + 2 * flags, n2 = n1 + 1;
        createSprite(n1, kSide, kSide, flags);
        createSprite(n2, kSide, kSide, flags);
        void* first = spriteID(n1);
        void* second = spriteID(n2);
        for (int k = 0; k < 2; ++k) {
            void* object = k ? second : first;
            void* bits = nullptr;
            int pitch = 0;
            if (!OpsOf(object).LockPixels(object, 0, 0, &bits, &pitch)) return;
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x)
                    reinterpret_cast<WORD*>(static_cast<BYTE*>(bits) + y * pitch)[x] = (x % 2 == k) ? 0x7FFF : 0;
            OpsOf(object).UnlockPixels(object, 0);
        }
        const int calls = kCalls;
        int found = 0;
        auto library = [&] {
            for (int i = 0; i < calls; ++i) found += pixelCollision(n1, 0, 0, n2, 0, 0);
        };
        void *bits1 = nullptr, *bits2 = nullptr;
        int pitch1 = 0, pitch2 = 0;
        volatile WORD keyWord = 0;  // read per scan, so no scan is hoisted out of the loop
        auto scan = [&] {
            const WORD key = keyWord;
            for (int y = 0; y < kSide; ++y) {
                const WORD* a = reinterpret_cast<const WORD*>(static_cast<const BYTE*>(bits1) + y * pitch1);
                const WORD* b = reinterpret_cast<const WORD*>(static_cast<const BYTE*>(bits2) + y * pitch2);
                for (int x = 0; x < kSide; ++x)
                    if (a[x] != key && b[x] != key) return 1;
            }
            return 0;
        };
        auto lock = [&] {
            OpsOf(first).LockPixels(first, 1, 0, &bits1, &pitch1);
            OpsOf(second).LockPixels(second, 1, 0, &bits2, &pitch2);
        };
        auto unlock = [&] {
            OpsOf(first).UnlockPixels(first, 1);
            OpsOf(second).UnlockPixels(second, 1);
        };
        // The same work by hand (lock both, scan, unlock, as the command must
        // on every call), and the scan alone over copies locked once.
        auto lockedLoop = [&] {
            for (int i = 0; i < calls; ++i) {
                lock();
                found += scan();
                unlock();
            }
        };
        auto scanLoop = [&] {
            for (int i = 0; i < calls; ++i) found += scan();
        };
        std::vector<double> lib, locked, scanned;
        auto time = [&](auto&& run, std::vector<double>& into) {
            const LONGLONG start = Ticks();
            run();
            into.push_back(Seconds(Ticks() - start));
        };
        for (int round = 0; round < kCollisionRounds; ++round) {  // the order turns each round
            if (round % 2) time(library, lib);
            time(lockedLoop, locked);
            if (!(round % 2)) time(library, lib);
            lock();
            time(scanLoop, scanned);
            unlock();
        }
        const double pixels = static_cast<double>(kSide) * kSide * calls * kCollisionRounds / 1e6;
        const double l = pixels / Sum(lib), p = pixels / Sum(locked), q = pixels / Sum(scanned);
        std::printf("SpritePixelCollision 256x256 %s sprites, no common solid pixel: %.0f MP/s; plain loop with the "
                    "same locks: %.0f MP/s, ratio %.2f; the scan alone: %.0f MP/s, ratio %.2f%s\n",
                    flags ? "video" : "managed", l, p, l / p, q, l / q,
                    found ? " (a collision was found: wrong)" : "");
    }
    std::printf("goal: ratio >= 0.90 against the plain loop\n");
    if (query) query->Release();
}
