// Sprite import on a windowed screen: BMP, TGA (types 2 and 10), PNG, JPEG and
// TIFF files, BMP images in memory, alpha sprites from 8-bit images, and every
// refusal (missing, icon, malformed, null) leaving no sprite behind.
// BMP, TGA and icon files are written here; PNG, JPEG and TIFF fixtures are
// made at build time into KORRIN_IMPORT_FIXTURES.
#include <windows.h>
#include <d3d9.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "image_files.h"
#include "read_back.h"
#include "screen_fixture.h"
#include "texture_ops.h"

using host::Call;
using host::Int;

namespace {

// Pixel colour of the 40x30 test pattern (0x00RRGGBB): black top-left block,
// then colours that vary along both axes.
DWORD Pattern(int x, int y) {
    if (x < 8 && y < 6) return 0;
    return (static_cast<DWORD>(x * 6) << 16) | (static_cast<DWORD>(y * 8) << 8) | 0xC0;
}

// A bottom-up 24-bit BMP file image of Pattern.
Bytes MakeBmp24(int width, int height) { return TrueColourBmp(width, height, 24, Pattern); }

// A 24-bit TGA of Pattern, top-down, uncompressed (type 2) or run-length (10).
Bytes MakeTga(int width, int height, bool runLength) {
    Tga tga(runLength ? 10 : 2, width, height, 24);
    tga.descriptor = 0x20;  // top-down
    Bytes& b = tga.data;
    for (int y = 0; y < height; ++y) {
        int x = 0;
        while (x < width) {
            const DWORD c = Pattern(x, y);
            if (runLength) {
                int run = 1;
                while (x + run < width && run < 128 && Pattern(x + run, y) == c) ++run;
                b.push_back(static_cast<BYTE>(0x80 | (run - 1)));
                x += run;
            } else {
                ++x;
            }
            b.push_back(static_cast<BYTE>(c));
            b.push_back(static_cast<BYTE>(c >> 8));
            b.push_back(static_cast<BYTE>(c >> 16));
        }
    }
    return Write(tga);
}

// A one-entry 1x1 32-bit icon file.
Bytes MakeIcon() {
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, 1);
    b.insert(b.end(), {1, 1, 0, 0});
    Put16(b, 1);
    Put16(b, 32);
    Put32(b, 40 + 4 + 4);
    Put32(b, 22);
    Put32(b, 40);
    Put32(b, 1);
    Put32(b, 2);
    Put16(b, 1);
    Put16(b, 32);
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    Put32(b, 0xFF00FF00u);
    Put32(b, 0);
    return b;
}

std::string TempFile(const char* name, const Bytes& bytes) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "korrin_import_" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    EXPECT_EQ(written, bytes.size()) << path;
    return path;
}

std::string Fixture(const char* name) { return std::string(KORRIN_IMPORT_FIXTURES) + name; }

// A bottom-up 32-bit BMP file image (BI_RGB) whose fourth bytes are `alpha(x, y)`.
template <class Alpha>
Bytes MakeBmp32(int width, int height, Alpha alpha) {
    return TrueColourBmp(width, height, 32,
                         [&](int x, int y) { return Pattern(x, y) | (static_cast<DWORD>(alpha(x, y)) << 24); });
}

// The texels of a texture object's drawable texture, 16- or 32-bit each.
std::vector<DWORD> Texels(KorrinTextureObject* texture) {
    IDirect3DTexture9* drawn = Ops(texture).GetDrawTexture(texture);
    if (!drawn) return {};
    return readback::ReadTexture(Call<IDirect3DDevice9*>("__GetD3DDevice9"), drawn).pixels;
}

// An 0x00RRGGBB colour as the A1R5G5B5 texel of an opaque pixel.
DWORD To1555(DWORD c) {
    return 0x8000 | (((c >> 19) & 31) << 10) | (((c >> 11) & 31) << 5) | ((c >> 3) & 31);
}

// Each channel of two 0xAARRGGBB colours within `tolerance`.
bool Near(DWORD a, DWORD b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > tolerance)
            return false;
    return true;
}

// A 16-bit texel widened to 0x00RRGGBB.
DWORD From1555(DWORD t) {
    return (((t >> 10) & 31) << 19) | (((t >> 5) & 31) << 11) | ((t & 31) << 3);
}

class Import : public WindowedScreenTest<> {
protected:

    // The back buffer as 0x00RRGGBB pixels, row by row.
    std::vector<DWORD> BackBuffer() {
        IDirect3DSurface9* back = nullptr;
        IDirect3DSurface9* copy = nullptr;
        std::vector<DWORD> pixels;
        if (SUCCEEDED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) &&
            SUCCEEDED(device_->CreateOffscreenPlainSurface(kScreenWidth, kScreenHeight, D3DFMT_X8R8G8B8,
                                                           D3DPOOL_SYSTEMMEM, &copy, nullptr)) &&
            SUCCEEDED(device_->GetRenderTargetData(back, copy))) {
            D3DLOCKED_RECT locked;
            if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
                for (int y = 0; y < kScreenHeight; ++y)
                    for (int x = 0; x < kScreenWidth; ++x)
                        pixels.push_back(reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) +
                                                                        y * locked.Pitch)[x] &
                                         0xFFFFFF);
                copy->UnlockRect();
            }
        }
        if (copy) copy->Release();
        if (back) back->Release();
        return pixels;
    }

    // Sprite `number` holds the 40x30 pattern in a 16-bit texture, black keyed out.
    static void ExpectPattern16(int number) {
        ASSERT_EQ(Call<int>("SpriteWidth", number), 40);
        ASSERT_EQ(Call<int>("SpriteHeight", number), 30);
        EXPECT_EQ(Call<int>("SpriteDepth", number), 16);
        const std::vector<DWORD> texels = Texels(TextureOf(number));
        ASSERT_EQ(texels.size(), 40u * 30u);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const DWORD c = Pattern(x, y);
                ASSERT_EQ(texels[y * 40 + x], c ? To1555(c) : 0u) << x << "," << y;
            }
    }

    // Sprite `number` is 40x30 and near the pattern (lossy formats compare loosely,
    // away from the black block's edges).
    static void ExpectPatternNear(int number, int tolerance) {
        ASSERT_EQ(Call<int>("SpriteWidth", number), 40);
        ASSERT_EQ(Call<int>("SpriteHeight", number), 30);
        const std::vector<DWORD> texels = Texels(TextureOf(number));
        ASSERT_EQ(texels.size(), 40u * 30u);
        for (int y = 0; y < 30; y += 3)
            for (int x = 0; x < 40; x += 3) {
                if (x < 11 && y < 9) continue;
                EXPECT_TRUE(Near(From1555(texels[y * 40 + x]), Pattern(x, y), tolerance))
                    << x << "," << y << " got " << std::hex << From1555(texels[y * 40 + x]) << " want "
                    << Pattern(x, y);
            }
    }

};

}  // namespace

TEST_F(Import, BmpFileGivesSixteenBitSpriteWithBlackKeyedOut) {
    const std::string file = TempFile("pattern.bmp", MakeBmp24(40, 30));
    const int texture = Call<int>("LoadSprite", 0, file.c_str());
    ASSERT_NE(texture, 0);
    EXPECT_EQ(reinterpret_cast<void*>(texture), Call<void*>("SpriteID", 0));
    ExpectPattern16(0);
}

TEST_F(Import, BmpInMemoryGivesHandleAndPixels) {
    const Bytes image = MakeBmp24(40, 30);
    const int handle = Call<int>("CatchSprite", -1, static_cast<const void*>(image.data()));
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Call<int>("IsSprite", handle), handle);
    EXPECT_EQ(Call<int>("SpriteWidth", handle), 40);
    ExpectPattern16(handle);
    EXPECT_NE(Call<int>("CatchSprite2", 3, static_cast<const void*>(image.data()), 12), 0);
    EXPECT_EQ(Call<int>("SpriteDepth", 3), 32);
}

TEST_F(Import, TgaUncompressedAndRunLength) {
    ASSERT_NE(Call<int>("LoadSprite", 1, TempFile("plain.tga", MakeTga(40, 30, false)).c_str()), 0);
    ExpectPattern16(1);
    ASSERT_NE(Call<int>("LoadSprite", 2, TempFile("rle.tga", MakeTga(40, 30, true)).c_str()), 0);
    ExpectPattern16(2);
    const Bytes memory = MakeTga(40, 30, true);
    ASSERT_NE(Call<int>("CatchSprite", 4, static_cast<const void*>(memory.data())), 0);
    ExpectPattern16(4);
}

TEST_F(Import, JpegTiffAndPngFiles) {
    ASSERT_NE(Call<int>("LoadSprite", 1, Fixture("pattern.jpg").c_str()), 0);
    ExpectPatternNear(1, 24);
    ASSERT_NE(Call<int>("LoadSprite", 2, Fixture("pattern.tif").c_str()), 0);
    ExpectPatternNear(2, 8);
    ASSERT_NE(Call<int>("LoadSprite", 3, Fixture("pattern.png").c_str()), 0);
    ExpectPatternNear(3, 8);
}

TEST_F(Import, PngWithAlphaKeepsAlphaInThirtyTwoBitSprite) {
    const std::string file = Fixture("alpha.png");
    EXPECT_EQ(Call<int>("LoadSprite2", 1, file.c_str(), 8), 0) << "flag 8 needs 4";
    EXPECT_EQ(Call<int>("IsSprite", 1), 0);
    ASSERT_NE(Call<int>("LoadSprite2", 1, file.c_str(), 12), 0);
    EXPECT_EQ(Call<int>("SpriteDepth", 1), 32);
    const std::vector<DWORD> texels = Texels(TextureOf(1));
    ASSERT_EQ(texels.size(), 4u * 2u);
    // Left half opaque red, right half green at half alpha.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const DWORD want = x < 2 ? 0xFFFF0000u : 0x8000FF00u;
            EXPECT_TRUE(Near(texels[y * 4 + x], want, 2)) << x << "," << y << " " << std::hex << texels[y * 4 + x];
        }
}

TEST_F(Import, AlphaSpriteFromEightBitImage) {
    const Bytes image = GreyBmp({0, 128, 255, 2});
    for (int pass = 0; pass < 2; ++pass) {
        const int result = pass == 0 ? Call<int>("LoadSprite2", 5, TempFile("grey.bmp", image).c_str(), 2)
                                     : Call<int>("CatchSprite2", 5, static_cast<const void*>(image.data()), 2);
        ASSERT_NE(result, 0) << "pass " << pass;
        EXPECT_EQ(Call<int>("SpriteDepth", 5), 8);
        EXPECT_EQ(Call<int>("SpriteWidth", 5), 4);
        const std::vector<DWORD> main = Texels(TextureOf(5));
        const DWORD wantMain[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0xFFFFFFFFu};
        ASSERT_EQ(main.size(), 4u);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(main[x], wantMain[x]) << "main " << x;
        const auto* record = reinterpret_cast<const BYTE*>(Call<int>("IsSprite", 5));
        ASSERT_NE(record, nullptr);
        auto* alphaTexture = *reinterpret_cast<KorrinTextureObject* const*>(record + 68);
        ASSERT_NE(alphaTexture, nullptr);
        const std::vector<DWORD> alpha = Texels(alphaTexture);
        const DWORD wantAlpha[4] = {0xFFFFFFFFu, 0, 0, 0xFDFDFDFDu};
        ASSERT_EQ(alpha.size(), 4u);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(alpha[x], wantAlpha[x]) << "alpha " << x;
    }
    // Only 8-bit images make alpha sprites.
    EXPECT_EQ(Call<int>("LoadSprite2", 6, TempFile("pattern.bmp", MakeBmp24(40, 30)).c_str(), 2), 0);
    EXPECT_EQ(Call<int>("LoadSprite2", 6, Fixture("alpha.png").c_str(), 2), 0);
    EXPECT_EQ(Call<int>("IsSprite", 6), 0);
}

TEST_F(Import, RefusalsLeaveNoSpriteAndKeepAnOlderOne) {
    Bytes junk(65536, 0x5A);
    junk[0] = 'B';
    junk[1] = 'M';
    const std::string refused[] = {
        "C:\\korrin\\no such file.bmp",
        TempFile("icon.ico", MakeIcon()),
        TempFile("junk.bmp", Bytes(junk.begin(), junk.begin() + 200)),
        TempFile("junk.dat", Bytes(200, 0x5A)),
        TempFile("empty.png", Bytes()),
    };
    for (const std::string& file : refused) {
        EXPECT_EQ(Call<int>("LoadSprite", 7, file.c_str()), 0) << file;
        EXPECT_EQ(Call<int>("LoadSprite", -1, file.c_str()), 0) << file;
    }
    EXPECT_EQ(Call<int>("IsSprite", 7), 0);
    EXPECT_EQ(Call<int>("CatchSprite", 7, static_cast<const void*>(junk.data())), 0);
    const Bytes icon = MakeIcon();
    Bytes iconBlock(65536, 0);
    std::copy(icon.begin(), icon.end(), iconBlock.begin());
    EXPECT_EQ(Call<int>("CatchSprite", 7, static_cast<const void*>(iconBlock.data())), 0);
    EXPECT_EQ(Call<int>("LoadSprite", 7, static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(Call<int>("CatchSprite2", 7, static_cast<const void*>(nullptr), 0), 0);
    EXPECT_EQ(Call<int>("IsSprite", 7), 0);

    // A failed import leaves the sprite already under the number alone.
    ASSERT_NE(Call<int>("CreateSprite", 8, 5, 5), 0);
    EXPECT_EQ(Call<int>("LoadSprite", 8, refused[0].c_str()), 0);
    EXPECT_EQ(Call<int>("SpriteWidth", 8), 5);
    EXPECT_EQ(Call<int>("LoadSprite2", 8, TempFile("pattern.bmp", MakeBmp24(40, 30)).c_str(), 8), 0);
    EXPECT_EQ(Call<int>("SpriteWidth", 8), 5);
}

TEST(ImportWithoutScreen, Refused) {
    ASSERT_NE(Call<void*>("InitSprite"), nullptr);
    const Bytes image = MakeBmp24(4, 4);
    EXPECT_EQ(Call<int>("CatchSprite", 0, static_cast<const void*>(image.data())), 0);
    EXPECT_EQ(Call<int>("LoadSprite", 0, TempFile("small.bmp", image).c_str()), 0);
    Int("Sprite_End");
}

// Every import path gives back its bitmap, DC and textures: 256x256 images
// would leak a quarter of a megabyte or more per round.
TEST_F(Import, RepeatedImportsDoNotGrowMemory) {
    auto committedBytes = host::CommittedBytes;
    const Bytes image = MakeBmp24(256, 256);
    const std::string file = TempFile("big.bmp", image);
    auto rounds = [&](int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_NE(Call<int>("CatchSprite", 9, static_cast<const void*>(image.data())), 0);
            ASSERT_NE(Call<int>("LoadSprite", 9, file.c_str()), 0);
            const int handle = Call<int>("CatchSprite2", -1, static_cast<const void*>(image.data()), 12);
            ASSERT_NE(handle, 0);
            ASSERT_NE(Call<int>("FreeSprite", handle), 0);
            ASSERT_EQ(Call<int>("CatchSprite2", 10, static_cast<const void*>(image.data()), 2), 0);
            ASSERT_EQ(Call<int>("LoadSprite2", 10, file.c_str(), 8), 0);
        }
        Call<int>("FreeSprite", 9);
    };
    rounds(5);
    const SIZE_T before = committedBytes();
    rounds(40);
    const SIZE_T after = committedBytes();
    EXPECT_LT(after, before + 4 * 1024 * 1024) << "grew from " << before << " to " << after;
}

// Images without alpha, from files and from memory in every format, come out
// fully opaque in 32-bit sprites: every texel's alpha is 255, and
// DisplayTransparentSprite covers a coloured background with the picture.
TEST_F(Import, OpaqueImagesAreOpaqueInThirtyTwoBitSprites) {
    struct Source {
        const char* what;
        Bytes bytes;       // the image
        int tolerance;     // of the colours against Pattern; -1: not the pattern
    };
    const Source sources[] = {
        {"bmp24", MakeBmp24(40, 30), 0},
        {"bmp32", MakeBmp32(40, 30, [](int, int) { return 0; }), 0},  // a reserved byte of zeros
        {"bmp8", GreyBmp({0, 40, 128, 255}), -1},
        {"tga", MakeTga(40, 30, false), 0},
        {"png", ReadFileBytes(Fixture("pattern.png")), 0},
        {"jpg", ReadFileBytes(Fixture("pattern.jpg")), 24},
        {"tif", ReadFileBytes(Fixture("pattern.tif")), 0},
    };
    for (const Source& source : sources) {
        ASSERT_GT(source.bytes.size(), 20u) << source.what;
        for (int pass = 0; pass < 2; ++pass) {
            SCOPED_TRACE(std::string(source.what) + (pass == 0 ? " from a file" : " from memory"));
            const std::string name = std::string("opaque.") + source.what;
            const int result = pass == 0 ? Call<int>("LoadSprite2", 1, TempFile(name.c_str(), source.bytes).c_str(), 12)
                                         : Call<int>("CatchSprite2", 1, static_cast<const void*>(source.bytes.data()), 12);
            ASSERT_NE(result, 0);
            ASSERT_EQ(Call<int>("SpriteDepth", 1), 32);
            const int width = Call<int>("SpriteWidth", 1), height = Call<int>("SpriteHeight", 1);
            const std::vector<DWORD> texels = Texels(TextureOf(1));
            ASSERT_EQ(texels.size(), static_cast<size_t>(width) * height);
            int transparent = 0;
            for (DWORD t : texels) transparent += (t >> 24) != 0xFF;
            EXPECT_EQ(transparent, 0) << "texels not opaque, of " << texels.size();
            if (source.tolerance >= 0) {
                for (int y = 0; y < height; y += 3) {
                    for (int x = 0; x < width; x += 3) {
                        if (source.tolerance != 0 && x < 11 && y < 9) continue;
                        ASSERT_TRUE(Near(texels[y * width + x] & 0xFFFFFF, Pattern(x, y), source.tolerance))
                            << x << "," << y << " " << std::hex << texels[y * width + x];
                    }
                }
            }
            // Drawn over a red background with alpha blending, the picture covers it.
            ASSERT_EQ(Call<int>("ClearScreen", 0x0000FF), 1);
            EXPECT_EQ(Call<int>("DisplayTransparentSprite", 1, 10, 20), 0);
            const std::vector<DWORD> shown = BackBuffer();
            ASSERT_EQ(shown.size(), static_cast<size_t>(kScreenWidth) * kScreenHeight);
            for (int y = 0; y < height; y += 3)
                for (int x = 0; x < width; x += 3) {
                    const DWORD want = texels[y * width + x] & 0xFFFFFF, got = shown[(20 + y) * kScreenWidth + 10 + x];
                    ASSERT_TRUE(Near(got, want, 2)) << x << "," << y << " shows " << std::hex << got << " want " << want;
                }
            Int("FlipBuffers");
        }
    }
}

// An image with alpha keeps it exactly, straight (not premultiplied), from a
// file and from memory.
TEST_F(Import, AlphaOfThirtyTwoBitBmpImagesIsKeptExactly) {
    auto alpha = [](int x, int y) { return (x * 7 + y * 13) % 256; };
    const Bytes image = MakeBmp32(40, 30, alpha);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "from a file" : "from memory");
        const int result = pass == 0 ? Call<int>("LoadSprite2", 2, TempFile("alpha32.bmp", image).c_str(), 12)
                                     : Call<int>("CatchSprite2", 2, static_cast<const void*>(image.data()), 12);
        ASSERT_NE(result, 0);
        const std::vector<DWORD> texels = Texels(TextureOf(2));
        ASSERT_EQ(texels.size(), 40u * 30u);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(texels[y * 40 + x], Pattern(x, y) | (static_cast<DWORD>(alpha(x, y)) << 24))
                    << x << "," << y;
    }
}

// BMP files whose headers promise more than the file holds are refused by the
// library's own checks; none of them may reach the platform's loader, which
// trusts the headers (the first one made it read far outside the file).
TEST_F(Import, BmpFilesWithHostileHeadersAreRefused) {
    const Bytes valid = MakeBmp24(4, 4);  // 102 bytes
    ASSERT_EQ(valid.size(), 102u);
    Bytes farOffset = valid;
    Set32(farOffset, 10, 0x7FFFFFF0);
    Bytes hugeColourTable = valid;
    Set32(hugeColourTable, 46, 0x40000000);
    Bytes wide = valid;
    Set32(wide, 18, 30000);
    Bytes rowsPastTheEnd = valid;
    Set32(rowsPastTheEnd, 10, 60);
    Bytes hugeHeader = valid;
    Set32(hugeHeader, 14, 0x7FFFFFF0);
    const Bytes* hostile[] = {&farOffset, &wide, &rowsPastTheEnd, &hugeHeader};
    for (const Bytes* bytes : hostile) {
        const std::string file = TempFile("hostile.bmp", *bytes);
        EXPECT_EQ(Call<int>("LoadSprite", 3, file.c_str()), 0) << (bytes - &farOffset);
        EXPECT_EQ(Call<int>("LoadSprite2", -1, file.c_str(), 12), 0);
    }
    EXPECT_EQ(Call<int>("IsSprite", 3), 0);

    // A valid file with an optional colour table before its rows still loads,
    // with the same pixels as without one.
    Bytes withTable(valid.begin(), valid.begin() + 54);
    Set32(withTable, 46, 2);
    Set32(withTable, 10, 54 + 8);
    withTable.insert(withTable.end(), 8, 0x11);
    withTable.insert(withTable.end(), valid.begin() + 54, valid.end());
    Set32(withTable, 2, static_cast<unsigned>(withTable.size()));
    ASSERT_NE(Call<int>("LoadSprite", 3, TempFile("table.bmp", withTable).c_str()), 0);
    ASSERT_NE(Call<int>("LoadSprite", 4, TempFile("plain.bmp", valid).c_str()), 0);
    EXPECT_EQ(Texels(TextureOf(3)), Texels(TextureOf(4)));
    // A colour table said to be larger than the file means nothing to a
    // true-colour image: the library's reader loads the pixels instead.
    ASSERT_NE(Call<int>("LoadSprite", 5, TempFile("huge_table.bmp", hugeColourTable).c_str()), 0);
    EXPECT_EQ(Texels(TextureOf(5)), Texels(TextureOf(4)));
}
