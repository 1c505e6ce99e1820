// The colour-key shader on Wine's Direct3D 9: the device accepts the program,
// and drawing through it discards exactly the pixels whose 5-bit colour equals
// the key, for every value of every channel.
#include <d3d9.h>
#include <wrl/client.h>

#include <cstdio>

#include "host.h"
#include "read_back.h"
#include "render/ColourKeyShaderCode.h"

using Microsoft::WRL::ComPtr;

namespace {

struct Vertex {
    float x, y, z, rhw, u, v;
};

class ColourKeyShader : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "shader", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        HMODULE d3d9 = LoadLibraryA("d3d9.dll");
        ASSERT_NE(d3d9, nullptr);
        auto create = host::Entry<IDirect3D9*(WINAPI*)(UINT)>(d3d9, "Direct3DCreate9");
        d3d_.Attach(create(D3D_SDK_VERSION));
        ASSERT_TRUE(d3d_);
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = 32;
        pp.BackBufferHeight = 4;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.hDeviceWindow = window_;
        pp.Windowed = TRUE;
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
        std::size_t count = 0;
        const std::uint32_t* code = korrin::ColourKeyShaderCode(&count);
        ASSERT_EQ(device_->CreatePixelShader(reinterpret_cast<const DWORD*>(code), &shader_), D3D_OK)
            << "Direct3D accepts the program";
    }
    void TearDown() override { DestroyWindow(window_); }

    // A 32 by 1 X1R5G5B5 texture whose column n has value n in `channel`
    // (0 blue, 1 green, 2 red) and `other` in the two other channels.
    ComPtr<IDirect3DTexture9> Ramp(int channel, int other) {
        ComPtr<IDirect3DTexture9> texture;
        EXPECT_EQ(device_->CreateTexture(32, 1, 1, 0, D3DFMT_X1R5G5B5, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        auto* row = static_cast<WORD*>(locked.pBits);
        for (int n = 0; n < 32; ++n) {
            int c[3] = {other, other, other};
            c[channel] = n;
            row[n] = static_cast<WORD>(c[0] | (c[1] << 5) | (c[2] << 10));
        }
        texture->UnlockRect(0);
        return texture;
    }

    // Draws the texture over a background through the shader keyed on
    // `key` (8-bit channels, already as they read after 5-bit storage) and
    // returns the 32 pixels of the first row.
    void Draw(IDirect3DTexture9* texture, const float key[3], DWORD out[32]) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(1, 2, 3), 0.0f, 0);
        device_->BeginScene();
        const float trans[4] = {key[0], key[1], key[2], 0.0f};
        device_->SetPixelShader(shader_.Get());
        device_->SetPixelShaderConstantF(0, trans, 1);
        device_->SetTexture(0, texture);
        device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        const Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0, 0}, {31.5f, -0.5f, 0, 1, 1, 0},
                                {-0.5f, 0.5f, 0, 1, 0, 1}, {31.5f, 0.5f, 0, 1, 1, 1}};
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        device_->EndScene();
        const readback::Picture back = readback::ReadBackBuffer(device_.Get());
        ASSERT_GE(back.width, 32);
        for (int i = 0; i < 32; ++i) out[i] = back.At(i, 0) & 0xFFFFFF;
    }

    HWND window_ = nullptr;
    ComPtr<IDirect3D9> d3d_;
    ComPtr<IDirect3DDevice9> device_;
    ComPtr<IDirect3DPixelShader9> shader_;
};

// A 5-bit value as it reads after 8-bit widening, the way the display
// commands load the key: ((v >> 3) << 3) + (v >> 5) of v = n << 3 | n >> 2.
float Widened(int n) {
    const int v = (n << 3) | (n >> 2);
    return static_cast<float>(((v >> 3) << 3) + (v >> 5)) / 255.0f;
}

}  // namespace

TEST_F(ColourKeyShader, DiscardsExactlyTheKeyForEveryChannelValue) {
    const int other = 9;
    for (int channel = 0; channel < 3; ++channel) {
        ComPtr<IDirect3DTexture9> texture = Ramp(channel, other);
        for (int key = 0; key < 32; ++key) {
            float rgb[3];  // red, green, blue as the constant holds them
            const int channelOfRgb[3] = {2, 1, 0};
            for (int i = 0; i < 3; ++i) rgb[i] = Widened(channelOfRgb[i] == channel ? key : other);
            DWORD pixels[32];
            Draw(texture.Get(), rgb, pixels);
            for (int n = 0; n < 32; ++n) {
                const bool background = pixels[n] == 0x010203u;
                EXPECT_EQ(background, n == key)
                    << "channel " << channel << " key " << key << " value " << n << " pixel " << std::hex << pixels[n];
            }
        }
    }
}

TEST_F(ColourKeyShader, KeptPixelsShowTheTexel) {
    ComPtr<IDirect3DTexture9> texture = Ramp(2, 31);  // red ramp over full green and blue
    const float noMatch[3] = {Widened(0), Widened(0), Widened(0)};
    DWORD pixels[32];
    Draw(texture.Get(), noMatch, pixels);
    for (int n = 0; n < 32; ++n) {
        const int red = static_cast<int>((pixels[n] >> 16) & 0xFF);
        EXPECT_NEAR(red, (n << 3) | (n >> 2), 2) << n;
        EXPECT_GE(pixels[n] & 0xFF, 0xF7u) << n;
    }
}
