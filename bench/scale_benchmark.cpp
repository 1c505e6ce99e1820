// Scale benchmark: N sprites per frame (N = 100, 1,000, 10,000) of 8x8 and
// 32x32 pixels, in every display mode that batches, drawn three ways on the
// library's device in one run:
//   korrin  - the display command per sprite, as a host calls it;
//   direct  - what one unbatched command amounts to, issued directly: the
//             texture and a four-vertex strip per sprite (blended modes also
//             set and restore their stage-0 operations per sprite);
//   limit   - the device's limit: all N quads of the frame built into one
//             array and drawn with the texture by one triangle-list draw.
// A fourth column draws the limit through one dynamic vertex buffer (written
// with NOOVERWRITE, DISCARD when full) instead of from user memory, to show
// which of the two the device prefers.
//
// Rounds of the paths alternate (the order turns every round, so a drift of
// the machine's speed hits every path alike). A round draws enough frames of
// N sprites for some 10,000 sprites and is timed in counter ticks from the
// first call until the device has carried out the last one (an event query
// tells); the frame is presented outside the clock. The library's round ends
// with Stop3D, a command that draws what is queued. The figures printed are
// medians over the rounds; each ratio is the median of the per-round ratios
// (neighbouring rounds saw nearly the same load). Goal: korrin >= 0.9x the
// limit at 1,000 and 10,000 sprites per frame.
//
// The direct paths need the Direct3D textures the sprites draw with. They are
// read from the texture objects' records: asking for them through
// GetDrawTexture would tell the library that the host draws on the device
// itself, and it would stop batching.
#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_host.h"

namespace {

constexpr int kScreenWidth = 640, kScreenHeight = 480;
constexpr int kCounts[] = {100, 1000, 10000};
constexpr int kSides[] = {8, 32};
constexpr int kSpritesPerRound = 10000;

struct Vertex {  // XYZRHW | DIFFUSE | TEX1; the plain modes use the first 24 bytes' layout below
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};
struct PlainVertex {  // XYZRHW | TEX1
    float x, y, z, rhw, u, v;
};
constexpr DWORD kPlainFormat = D3DFVF_XYZRHW | D3DFVF_TEX1;
constexpr DWORD kColouredFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

enum class Source { Sprite16, Alpha, Sprite3D };

// One batched mode: the command and what it amounts to on the device.
struct Mode {
    const char* command;
    int extra;  // -1: (number, x, y); else (number, x, y, extra)
    Source source;
    DWORD sourceBlend, destBlend;
    bool coloured;   // coloured vertices (with `diffuse`), else plain
    DWORD diffuse;
    DWORD colourOp;  // stage-0 colour operation while drawing, 0: left alone
    DWORD alphaOp;   // stage-0 alpha operation while drawing, 0: left alone
    bool threeD;     // between Start3D and Stop3D
};

const Mode kModes[] = {
    {"DisplaySprite", -1, Source::Sprite16, D3DBLEND_ONE, D3DBLEND_ZERO, false, 0, 0, 0, false},
    {"DisplayTransparentSprite", -1, Source::Sprite16, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, false, 0, 0, 0, false},
    {"DisplayTranslucentSprite", 128, Source::Sprite16, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, true, 0x80FFFFFF,
     D3DTOP_MODULATE, D3DTOP_MODULATE, false},
    {"DisplayAlphaSprite", -1, Source::Alpha, D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCALPHA, true, 0xFFFFFFFF,
     D3DTOP_MODULATE, D3DTOP_SELECTARG1, false},
    {"DisplaySolidSprite", 0x00FF8040, Source::Sprite16, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, true, 0x00FF8040,
     D3DTOP_MODULATE, 0, false},
    {"DisplayShadowSprite", -1, Source::Sprite16, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, true, 0x80000000,
     D3DTOP_MODULATE, D3DTOP_MODULATE, false},
    {"DisplaySprite3D", -1, Source::Sprite3D, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, true, 0xFFFFFFFF, 0, 0, true},
};

// The sprites of one size and their Direct3D textures.
struct Sprites {
    int side;
    int sprite16, alpha, sprite3D;
    IDirect3DTexture9* texture16;
    IDirect3DTexture9* alphaTexture;
    IDirect3DTexture9* texture32;  // the 3D sprite's (made from a 32-bit sprite)
};

IDirect3DDevice9* device;
IDirect3DQuery9* query;
IDirect3DVertexBuffer9* vertexBuffer;
UINT vertexBufferBytes, vertexBufferUsed;
CommandProc<int> start3D, stop3D;
CommandProc<int, int> flip;
std::vector<Vertex> listed;  // the limit's vertices, 6 per quad

void Finish() { WaitForDevice(query); }

int NumberFor(const Mode& mode, const Sprites& s) {
    return mode.source == Source::Sprite16 ? s.sprite16 : mode.source == Source::Alpha ? s.alpha : s.sprite3D;
}

IDirect3DTexture9* TextureFor(const Mode& mode, const Sprites& s) {
    return mode.source == Source::Sprite16 ? s.texture16 : mode.source == Source::Alpha ? s.alphaTexture : s.texture32;
}

// The four corners of sprite i in strip order.
void Corners(const Mode& mode, int i, int side, Vertex quad[4]) {
    int x, y;
    SpritePosition(i, side, &x, &y);
    const float l = x - 0.5f, t = y - 0.5f, r = l + side, b = t + side;
    const DWORD c = mode.diffuse;
    quad[0] = {l, t, 0, 1, c, 0, 0};
    quad[1] = {r, t, 0, 1, c, 1, 0};
    quad[2] = {l, b, 0, 1, c, 0, 1};
    quad[3] = {r, b, 0, 1, c, 1, 1};
}

UINT Stride(const Mode& mode) { return mode.coloured ? sizeof(Vertex) : sizeof(PlainVertex); }

// Writes corners k of `quad` into `to` in the mode's layout.
BYTE* Put(const Mode& mode, const Vertex& v, BYTE* to) {
    if (mode.coloured) {
        std::memcpy(to, &v, sizeof v);
        return to + sizeof v;
    }
    const PlainVertex p = {v.x, v.y, v.z, v.rhw, v.u, v.v};
    std::memcpy(to, &p, sizeof p);
    return to + sizeof p;
}

// ---- the three paths ---------------------------------------------------------------

void KorrinFrame(const Mode& mode, const Sprites& s, int count) {
    const int number = NumberFor(mode, s);
    if (mode.threeD) start3D();
    DisplaySprites(mode.command, mode.extra, number, s.side, count);
    stop3D();  // draws what is queued
}

// The library's cached states as the direct paths leave them behind.
struct SavedStates {
    DWORD blend, source, dest, format;
};

SavedStates BeginDirect() {
    SavedStates saved = {};
    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &saved.blend);
    device->GetRenderState(D3DRS_SRCBLEND, &saved.source);
    device->GetRenderState(D3DRS_DESTBLEND, &saved.dest);
    device->GetFVF(&saved.format);
    return saved;
}

void EndDirect(const SavedStates& saved) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, saved.blend);
    device->SetRenderState(D3DRS_SRCBLEND, saved.source);
    device->SetRenderState(D3DRS_DESTBLEND, saved.dest);
    device->SetFVF(saved.format);
}

// The states a frame of the mode sets once (Start3D does it for 3D sprites).
void FrameStates(const Mode& mode) {
    if (mode.threeD) {
        start3D();
        return;
    }
    device->SetPixelShader(nullptr);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, mode.sourceBlend);
    device->SetRenderState(D3DRS_DESTBLEND, mode.destBlend);
    device->SetFVF(mode.coloured ? kColouredFormat : kPlainFormat);
}

void StageOn(const Mode& mode) {
    if (!mode.colourOp) return;
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, mode.colourOp);
    if (mode.alphaOp) device->SetTextureStageState(0, D3DTSS_ALPHAOP, mode.alphaOp);
}

void StageOff(const Mode& mode) {
    if (!mode.colourOp) return;
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    if (mode.alphaOp) device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
}

void DirectFrame(const Mode& mode, const Sprites& s, int count) {
    IDirect3DTexture9* texture = TextureFor(mode, s);
    const UINT stride = Stride(mode);
    FrameStates(mode);
    for (int i = 0; i < count; ++i) {
        Vertex quad[4];
        Corners(mode, i, s.side, quad);
        BYTE strip[4 * sizeof(Vertex)];
        BYTE* to = strip;
        for (const Vertex& v : quad) to = Put(mode, v, to);
        StageOn(mode);
        device->SetTexture(0, texture);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, stride);
        StageOff(mode);
    }
    if (mode.threeD) stop3D();
}

// The frame's quads as a triangle list at `to`; bytes written.
UINT ListQuads(const Mode& mode, const Sprites& s, int count, BYTE* to) {
    static constexpr int kOrder[6] = {0, 1, 2, 1, 3, 2};
    BYTE* const start = to;
    for (int i = 0; i < count; ++i) {
        Vertex quad[4];
        Corners(mode, i, s.side, quad);
        for (int k : kOrder) to = Put(mode, quad[k], to);
    }
    return static_cast<UINT>(to - start);
}

void LimitFrame(const Mode& mode, const Sprites& s, int count) {
    FrameStates(mode);
    StageOn(mode);
    device->SetTexture(0, TextureFor(mode, s));
    ListQuads(mode, s, count, reinterpret_cast<BYTE*>(listed.data()));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(count) * 2, listed.data(), Stride(mode));
    StageOff(mode);
    if (mode.threeD) stop3D();
}

void BufferFrame(const Mode& mode, const Sprites& s, int count) {
    FrameStates(mode);
    StageOn(mode);
    device->SetTexture(0, TextureFor(mode, s));
    const UINT stride = Stride(mode);
    const UINT bytes = static_cast<UINT>(count) * 6 * stride;
    vertexBufferUsed = (vertexBufferUsed + stride - 1) / stride * stride;
    DWORD flags = D3DLOCK_NOOVERWRITE;
    if (vertexBufferUsed + bytes > vertexBufferBytes) {
        vertexBufferUsed = 0;
        flags = D3DLOCK_DISCARD;
    }
    void* at = nullptr;
    if (SUCCEEDED(vertexBuffer->Lock(vertexBufferUsed, bytes, &at, flags))) {
        ListQuads(mode, s, count, static_cast<BYTE*>(at));
        vertexBuffer->Unlock();
        device->SetStreamSource(0, vertexBuffer, 0, stride);
        device->DrawPrimitive(D3DPT_TRIANGLELIST, vertexBufferUsed / stride, static_cast<UINT>(count) * 2);
        device->SetStreamSource(0, nullptr, 0, 0);
        vertexBufferUsed += bytes;
    }
    StageOff(mode);
    if (mode.threeD) stop3D();
}

enum Path { kKorrin, kDirect, kLimit, kBuffer, kPaths };

// One round of a path: `frames` frames of `count` sprites; counter ticks.
LONGLONG Round(Path path, const Mode& mode, const Sprites& s, int count, int frames) {
    const bool direct = path != kKorrin;
    SavedStates saved = {};
    if (direct) saved = BeginDirect();
    Finish();
    const LONGLONG start = Ticks();
    // The library opens its scene itself; direct 2D rounds open their own.
    if (direct && !mode.threeD) device->BeginScene();
    for (int f = 0; f < frames; ++f) {
        switch (path) {
        case kKorrin: KorrinFrame(mode, s, count); break;
        case kDirect: DirectFrame(mode, s, count); break;
        case kLimit: LimitFrame(mode, s, count); break;
        default: BufferFrame(mode, s, count); break;
        }
    }
    Finish();
    const LONGLONG ticks = Ticks() - start;
    if (direct && !mode.threeD) device->EndScene();
    if (direct) EndDirect(saved);
    flip(0);
    return ticks;
}

// A 16-bit texture object's Direct3D texture, read from its record.
IDirect3DTexture9* RecordTexture(const void* object) {
    return object ? *reinterpret_cast<IDirect3DTexture9* const*>(static_cast<const BYTE*>(object) + 64) : nullptr;
}

}  // namespace

int main() {
    korrin = LoadLibraryA("korrin.dll");
    if (!korrin) return 1;
    HWND window = CreateWindowExA(0, "STATIC", "scale benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520,
                                  nullptr, nullptr, nullptr, nullptr);
    Command<void*>("InitSprite")();
    Command<int>("InitSprite3D")();
    // The device comes with the screen; the benchmark does not ask for it
    // with __GetD3DDevice9, which would stop the library batching.
    device = static_cast<IDirect3DDevice9*>(Command<void*, void*, int, int, int, int, int, int, int>(
        "OpenWindowedScreen")(window, 0, 0, kScreenWidth, kScreenHeight, 0, 0, 0));
    if (!device) return 2;
    Command<int, int>("SetFrameRate")(0);
    start3D = Command<int>("Start3D");
    stop3D = Command<int>("Stop3D");
    flip = Command<int, int>("FlipBuffers2");
    auto createSprite2 = Command<int, int, int, int, int>("CreateSprite2");
    auto catchSprite2 = Command<int, int, const void*, int>("CatchSprite2");
    auto createSprite3D = Command<int, int, int>("CreateSprite3D");
    auto spriteID = Command<void*, int>("SpriteID");
    auto isSprite = Command<int, int>("IsSprite");
    auto display = Command<int, int, int, int>("DisplaySprite");
    auto displayAlpha = Command<int, int, int, int>("DisplayAlphaSprite");
    auto display3D = Command<int, int, int, int>("DisplaySprite3D");

    std::vector<Sprites> sizes;
    for (int side : kSides) {
        Sprites s = {side, 100 + side, 200 + side, 300 + side, nullptr, nullptr, nullptr};
        const int sprite32 = 400 + side;
        const std::vector<BYTE> bmp = GreyBmp(side);
        if (!createSprite2(s.sprite16, side, side, 0) || !catchSprite2(s.alpha, bmp.data(), 2) ||
            !createSprite2(sprite32, side, side, 12) || !createSprite3D(s.sprite3D, sprite32))
            return 3;
        // One display of each brings its texture up to date.
        display(s.sprite16, 0, 0);
        displayAlpha(s.alpha, 0, 0);
        start3D();
        display3D(s.sprite3D, 0, 0);
        stop3D();
        flip(0);
        s.texture16 = RecordTexture(spriteID(s.sprite16));
        s.texture32 = RecordTexture(spriteID(sprite32));
        const BYTE* record = reinterpret_cast<const BYTE*>(isSprite(s.alpha));
        s.alphaTexture = record ? RecordTexture(*reinterpret_cast<void* const*>(record + 68)) : nullptr;
        if (!s.texture16 || !s.texture32 || !s.alphaTexture) return 4;
        sizes.push_back(s);
    }
    device->CreateQuery(D3DQUERYTYPE_EVENT, &query);
    listed.resize(static_cast<std::size_t>(kCounts[2]) * 6);
    vertexBufferBytes = static_cast<UINT>(kCounts[2]) * 6 * sizeof(Vertex) * 4;
    if (FAILED(device->CreateVertexBuffer(vertexBufferBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                          D3DPOOL_DEFAULT, &vertexBuffer, nullptr)))
        return 5;

    const int rounds = EnvInt("KORRIN_BENCH_ROUNDS", 7);
    std::printf("%d rounds of each path, sprites per second (medians); ratios: korrin / direct per call, "
                "korrin / batched limit, vertex-buffer limit / user-memory limit\n", rounds);
    std::printf("%-25s %5s %6s %10s %10s %10s %10s %7s %7s %7s\n", "mode", "size", "N", "korrin", "direct",
                "limit", "vb limit", "k/dir", "k/lim", "vb/lim");
    for (const Mode& mode : kModes) {
        for (const Sprites& s : sizes) {
            for (int count : kCounts) {
                const int frames = std::max(1, kSpritesPerRound / count);
                const double sprites = static_cast<double>(count) * frames;
                for (int p = 0; p < kPaths; ++p) Round(static_cast<Path>(p), mode, s, count, frames);  // warm-up
                std::vector<double> rate[kPaths], toDirect, toLimit, bufferToLimit;
                for (int r = 0; r < rounds; ++r) {
                    double seconds[kPaths];
                    for (int k = 0; k < kPaths; ++k) {
                        const int p = (k + r) % kPaths;
                        seconds[p] = Seconds(Round(static_cast<Path>(p), mode, s, count, frames));
                    }
                    for (int p = 0; p < kPaths; ++p) rate[p].push_back(sprites / seconds[p]);
                    toDirect.push_back(seconds[kDirect] / seconds[kKorrin]);
                    toLimit.push_back(seconds[kLimit] / seconds[kKorrin]);
                    bufferToLimit.push_back(seconds[kLimit] / seconds[kBuffer]);
                }
                std::printf("%-25s %2dx%-2d %6d %10.0f %10.0f %10.0f %10.0f %7.2f %7.2f %7.2f\n", mode.command,
                            s.side, s.side, count, Median(rate[kKorrin]), Median(rate[kDirect]),
                            Median(rate[kLimit]), Median(rate[kBuffer]), Median(toDirect), Median(toLimit),
                            Median(bufferToLimit));
                std::fflush(stdout);
            }
        }
    }
    std::printf("goal: korrin / limit >= 0.90 at 1,000 and 10,000 sprites per frame\n");
    vertexBuffer->Release();
    if (query) query->Release();
    Command<int>("Sprite_End")();
    FreeLibrary(korrin);
    return 0;
}
