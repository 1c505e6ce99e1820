// Import benchmark: LoadSprite2 of a 1024 x 1024 PNG and JPEG file, into a
// 16-bit sprite (flags 0) and a 32-bit one (flags 12), against the least work
// that gives the same sprite: the file read into memory, decoded by the bare
// decoder (libpng's or libjpeg's own API, straight into BGR rows) and uploaded
// once into a texture of the sprite's size and format (created, locked,
// filled, unlocked). Each figure is the fastest of several repetitions, so
// that other work on the machine does not count; the goal is the library
// within 1.2 times the bare path.
//
// The library's import, step by step: the file is read and decoded into rows,
// the rows are copied into a DIB section, the sprite and its texture are
// created, and then, for a 16-bit sprite, GDI copies the DIB section into the
// sprite's pixel copy (converting the depth) and the texture is re-keyed from
// that copy; a 32-bit sprite is filled from the DIB section's bits directly.
// For 16-bit sprites the steps after decoding are also timed one by one,
// through public commands and the texture object's operations.
#include <windows.h>
#include <d3d9.h>

#include <png.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_host.h"
#include "windows_helpers.h"

namespace {

constexpr int kRepetitions = 20;

// BGR rows, top-down, 3 bytes per pixel and no padding.
struct Rows {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
};

bool DecodePngBare(const std::vector<unsigned char>& file, Rows* rows) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    image.format = PNG_FORMAT_BGR;
    rows->width = static_cast<int>(image.width);
    rows->height = static_cast<int>(image.height);
    rows->pixels.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, rows->pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

bool DecodeJpegBare(const std::vector<unsigned char>& file, Rows* rows) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    rows->width = static_cast<int>(info.output_width);
    rows->height = static_cast<int>(info.output_height);
    rows->pixels.resize(static_cast<size_t>(rows->width) * rows->height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rows->pixels.data() + static_cast<size_t>(info.output_scanline) * rows->width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// One upload: a managed texture of the image's size, A1R5G5B5 (opaque, as a
// 16-bit sprite keeps it) or A8R8G8B8, filled from the rows.
IDirect3DTexture9* Upload(IDirect3DDevice9* device, const Rows& rows, bool wide) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(rows.width, rows.height, 1, 0, wide ? D3DFMT_A8R8G8B8 : D3DFMT_A1R5G5B5,
                                     D3DPOOL_MANAGED, &texture, nullptr)))
        return nullptr;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        texture->Release();
        return nullptr;
    }
    for (int y = 0; y < rows.height; ++y) {
        const unsigned char* from = rows.pixels.data() + static_cast<size_t>(y) * rows.width * 3;
        unsigned char* to = static_cast<unsigned char*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        if (wide) {
            auto* out = reinterpret_cast<DWORD*>(to);
            for (int x = 0; x < rows.width; ++x, from += 3)
                out[x] = 0xFF000000u | (static_cast<DWORD>(from[2]) << 16) | (from[1] << 8) | from[0];
        } else {
            auto* out = reinterpret_cast<WORD*>(to);
            for (int x = 0; x < rows.width; ++x, from += 3)
                out[x] = static_cast<WORD>(0x8000 | ((from[2] >> 3) << 10) | ((from[1] >> 3) << 5) | (from[0] >> 3));
        }
    }
    texture->UnlockRect(0);
    return texture;
}

// Waits until the device has carried out everything issued so far.
void Finish(IDirect3DDevice9* device) {
    IDirect3DQuery9* query = nullptr;
    if (FAILED(device->CreateQuery(D3DQUERYTYPE_EVENT, &query))) return;
    query->Issue(D3DISSUE_END);
    while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
    }
    query->Release();
}

// A bottom-up 24-bit DIB section holding the rows, as the library's loader
// makes one from decoded rows.
HBITMAP MakeDibSection(const Rows& rows) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = rows.width;
    info.bmiHeader.biHeight = rows.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) return bitmap;
    GdiFlush();
    const int pitch = (rows.width * 3 + 3) & ~3;
    for (int y = 0; y < rows.height; ++y)
        std::memcpy(static_cast<unsigned char*>(bits) + static_cast<size_t>(rows.height - 1 - y) * pitch,
                    rows.pixels.data() + static_cast<size_t>(y) * rows.width * 3, rows.width * 3);
    return bitmap;
}

// The texture object's operations a host may call (by position).
struct TextureOps {
    void* first[9];
    HDC(__stdcall* OpenDC)(void*);
    int(__stdcall* CloseDC)(void*, int);
};

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? std::string(argv[1]) + "\\" : std::string();
    korrin = LoadLibraryA("korrin.dll");
    if (!korrin) return 1;
    HWND window = CreateWindowExA(0, "STATIC", "import benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 340, 260,
                                  nullptr, nullptr, nullptr, nullptr);
    Command<void*>("InitSprite")();
    auto* device = static_cast<IDirect3DDevice9*>(
        Command<void*, void*, int, int, int, int, int, int, int>("OpenWindowedScreen")(window, 0, 0, 320, 240, 0, 0, 0));
    if (!device) return 2;
    auto loadSprite2 = Command<int, int, const char*, int>("LoadSprite2");
    auto freeSprite = Command<int, int>("FreeSprite");

    struct File {
        const char* name;
        bool (*decode)(const std::vector<unsigned char>&, Rows*);
    };
    const File files[] = {{"import-1024.png", DecodePngBare}, {"import-1024.jpg", DecodeJpegBare}};
    std::printf("1024x1024 image files, fastest of %d; ratio = LoadSprite2 time / bare time\n", kRepetitions);
    for (const File& file : files) {
        const std::string path = folder + file.name;
        for (int flags : {0, 12}) {
            double library = 1e30, bare = 1e30, decodeOnly = 1e30, upload = 1e30;
            double dib = 1e30, create = 1e30, copy = 1e30;  // the library's steps after decoding
            // The library's import, timed; false when it fails.
            auto timeLibrary = [&] {
                Finish(device);
                const LONGLONG start = Ticks();
                const int loaded = loadSprite2(1, path.c_str(), flags);
                Finish(device);
                library = std::min(library, Seconds(Ticks() - start));
                freeSprite(1);
                return loaded != 0;
            };
            for (int i = 0; i < kRepetitions; ++i) {
                // The two paths take turns at going first.
                if (i % 2 == 0 && !timeLibrary()) {
                    std::printf("%s: LoadSprite2 failed\n", file.name);
                    return 3;
                }
                LONGLONG start = Ticks();
                Rows rows;
                const std::vector<unsigned char> bytes = ReadFileBytes(path.c_str());
                if (!file.decode(bytes, &rows)) {
                    std::printf("%s: the bare decoder failed\n", file.name);
                    return 4;
                }
                const LONGLONG decoded = Ticks();
                IDirect3DTexture9* texture = Upload(device, rows, flags == 12);
                Finish(device);
                const LONGLONG end = Ticks();
                decodeOnly = std::min(decodeOnly, Seconds(decoded - start));
                upload = std::min(upload, Seconds(end - decoded));
                bare = std::min(bare, Seconds(end - start));
                if (!texture) return 5;
                texture->Release();
                if (i % 2 == 1 && !timeLibrary()) return 3;

                // The library's own steps after decoding, through public
                // commands and the texture object's operations: the DIB
                // section, the sprite, and the GDI copy with the rebuild of
                // the texture that closing the DC runs.
                start = Ticks();
                HBITMAP bitmap = MakeDibSection(rows);
                const LONGLONG made = Ticks();
                const int sprite = Command<int, int, int, int, int>("CreateSprite2")(1, rows.width, rows.height, flags);
                Finish(device);
                const LONGLONG created = Ticks();
                void* object = Command<void*, int>("SpriteID")(1);
                if (!bitmap || !sprite || !object) return 6;
                HDC imageDC = CreateCompatibleDC(nullptr);
                HGDIOBJ old = SelectObject(imageDC, bitmap);
                const TextureOps& ops = **static_cast<TextureOps**>(object);
                HDC dc = ops.OpenDC(object);
                BitBlt(dc, 0, 0, rows.width, rows.height, imageDC, 0, 0, SRCCOPY);
                ops.CloseDC(object, 0);
                Finish(device);
                const LONGLONG copied = Ticks();
                dib = std::min(dib, Seconds(made - start));
                create = std::min(create, Seconds(created - made));
                copy = std::min(copy, Seconds(copied - created));
                SelectObject(imageDC, old);
                DeleteDC(imageDC);
                DeleteObject(bitmap);
                freeSprite(1);
            }
            std::printf("%s flags %-2d  LoadSprite2 %6.1f ms  bare: decoder %6.1f ms, upload %5.1f ms, both %6.1f ms  "
                        "ratio %.2f\n",
                        file.name, flags, library * 1e3, decodeOnly * 1e3, upload * 1e3, bare * 1e3,
                        library / bare);
            if (flags == 0)
                std::printf("    after decoding: DIB section %4.1f ms, CreateSprite2 %4.1f ms (with a black fill the "
                            "import skips), GDI copy and re-keyed upload %4.1f ms\n",
                            dib * 1e3, create * 1e3, copy * 1e3);
            std::fflush(stdout);
        }
    }
    std::printf("goal: ratio <= 1.2\n");
    Command<int>("Sprite_End")();
    FreeLibrary(korrin);
    return 0;
}
