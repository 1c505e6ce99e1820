// Benchmark: sprites per second drawn through korrin's DisplayTransparentSprite
// and DisplaySprite3D, against the same Direct3D calls issued directly on the
// library's device (texture, cached states set once, one DrawPrimitiveUP of a
// four-vertex strip per sprite). Rounds of the library and the direct path
// alternate in one run and the medians are compared, so the ratio is what
// counts on a shared, noisy machine: the goal is the library within 10% of the
// direct calls (ratio >= 0.90).
#include <windows.h>
#include <d3d9.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

template <class R, class... A>
using CommandProc = R(__stdcall*)(A...);
HMODULE korrin;
template <class R, class... A>
CommandProc<R, A...> Command(const char* name) {
    return reinterpret_cast<CommandProc<R, A...>>(reinterpret_cast<void*>(GetProcAddress(korrin, name)));
}

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct PlainVertex { float x, y, z, rhw, u, v; };
struct ColouredVertex { float x, y, z, rhw; DWORD diffuse; float u, v; };

constexpr int kSprites = 400;  // per round
constexpr int kRounds = 9;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    korrin = LoadLibraryA("korrin.dll");
    if (!korrin) return 1;
    HWND window = CreateWindowExA(0, "STATIC", "benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520,
                                  nullptr, nullptr, nullptr, nullptr);
    Command<void*>("InitSprite")();
    Command<int>("InitSprite3D")();
    auto* device = static_cast<IDirect3DDevice9*>(
        Command<void*, void*, int, int, int, int, int, int, int>("OpenWindowedScreen")(window, 0, 0, 640, 480, 0, 0, 0));
    if (!device) return 2;
    Command<int, int, int, int>("CreateSprite")(0, 32, 32);
    Command<int, int, int, int, int>("CreateSprite2")(1, 64, 64, 12);
    Command<int, int, int>("CreateSprite3D")(1, 1);
    Command<int, int>("SetFrameRate")(0);
    auto displayTransparent = Command<int, int, int, int>("DisplayTransparentSprite");
    auto display3D = Command<int, int, int, int>("DisplaySprite3D");
    auto start3D = Command<int>("Start3D");
    auto stop3D = Command<int>("Stop3D");
    auto spriteID = Command<void*, int>("SpriteID");
    auto flip = Command<int, int>("FlipBuffers2");

    // The Direct3D textures the library draws with, for the direct path.
    struct Ops { void* f[5]; IDirect3DTexture9*(__stdcall* GetDrawTexture)(void*); };
    void* object0 = spriteID(0);
    void* object1 = spriteID(1);
    IDirect3DTexture9* texture0 = (*static_cast<Ops**>(object0))->GetDrawTexture(object0);
    IDirect3DTexture9* texture1 = (*static_cast<Ops**>(object1))->GetDrawTexture(object1);

    auto position = [](int i, int* x, int* y) {
        *x = (i * 37) % 600;
        *y = (i * 53) % 440;
    };
    auto library2D = [&] {
        for (int i = 0; i < kSprites; ++i) {
            int x, y;
            position(i, &x, &y);
            displayTransparent(0, x, y);
        }
    };
    auto direct2D = [&] {
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        for (int i = 0; i < kSprites; ++i) {
            int x, y;
            position(i, &x, &y);
            const float l = x - 0.5f, t = y - 0.5f, r = l + 32, b = t + 32;
            const PlainVertex quad[4] = {{l, t, 0, 1, 0, 0}, {r, t, 0, 1, 1, 0}, {l, b, 0, 1, 0, 1}, {r, b, 0, 1, 1, 1}};
            device->SetTexture(0, texture0);
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(PlainVertex));
        }
    };
    auto library3D = [&] {
        start3D();
        for (int i = 0; i < kSprites; ++i) {
            int x, y;
            position(i, &x, &y);
            display3D(1, x, y);
        }
        stop3D();
    };
    auto direct3D = [&] {
        start3D();  // the same states; the sprites are then drawn directly
        for (int i = 0; i < kSprites; ++i) {
            int x, y;
            position(i, &x, &y);
            const float l = x - 0.5f, t = y - 0.5f, r = l + 64, b = t + 64;
            const ColouredVertex quad[4] = {{l, t, 0, 1, 0xFFFFFFFF, 0, 0}, {r, t, 0, 1, 0xFFFFFFFF, 1, 0},
                                            {l, b, 0, 1, 0xFFFFFFFF, 0, 1}, {r, b, 0, 1, 0xFFFFFFFF, 1, 1}};
            device->SetTexture(0, texture1);
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColouredVertex));
        }
        stop3D();
    };
    // Waits until the device has carried out everything issued so far (the
    // driver may run behind the calls); an event query tells.
    IDirect3DQuery9* query = nullptr;
    device->CreateQuery(D3DQUERYTYPE_EVENT, &query);
    auto finish = [&] {
        if (!query) return;
        query->Issue(D3DISSUE_END);
        while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
        }
    };
    // One timed round: the sprites, then the frame is ended and shown, and the
    // clock stops once the device has done the work, so no round pays for
    // another's.
    auto timed = [&](auto&& draw) {
        finish();
        const double start = Now();
        draw();
        flip(0);
        finish();
        return Now() - start;
    };

    std::vector<double> lib2D, dir2D, lib3D, dir3D;
    timed(library2D);  // warm up both paths
    timed(direct2D);
    for (int round = 0; round < kRounds; ++round) {
        lib2D.push_back(timed(library2D));
        dir2D.push_back(timed(direct2D));
        lib3D.push_back(timed(library3D));
        dir3D.push_back(timed(direct3D));
    }
    const double l2 = kSprites / Median(lib2D), d2 = kSprites / Median(dir2D);
    const double l3 = kSprites / Median(lib3D), d3 = kSprites / Median(dir3D);
    std::printf("DisplayTransparentSprite: %.0f sprites/s, direct Direct3D calls: %.0f sprites/s, ratio %.2f\n", l2, d2,
                l2 / d2);
    std::printf("DisplaySprite3D:          %.0f sprites/s, direct Direct3D calls: %.0f sprites/s, ratio %.2f\n", l3, d3,
                l3 / d3);
    std::printf("goal: ratio >= 0.90 (the library within 10%% of the direct calls)\n");
    if (query) query->Release();
    Command<int>("Sprite_End")();
    FreeLibrary(korrin);
    return 0;
}
