// Writes seed corpora for the image fuzzers and the WAVE fuzzer:
// `fuzz_seeds bmp|tga|image|wave <folder>`.
// BMP and TGA seeds cover every layout the readers accept and are written byte
// by byte; the image corpus adds PNG, JPEG and TIFF files made by ImageMagick's
// convert when it is there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"

namespace {

bool Save(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// A BMP file image: header size 40 (masks after it) or larger (masks inside).
Bytes BmpSeed(std::uint32_t headerSize, int width, int height, int bits, std::uint32_t compression,
              const std::vector<std::uint32_t>& masks, int paletteEntries, const Bytes& pixels) {
    Bmp bmp(width, height, bits, compression);
    bmp.headerSize = headerSize;
    bmp.masks = masks;
    bmp.coloursUsed = paletteEntries;
    for (int i = 0; i < paletteEntries; ++i)
        bmp.palette.push_back(((i * 13) & 255) << 16 | ((i * 91) & 255) << 8 | ((i * 37) & 255));
    bmp.bits = pixels;
    return Write(bmp);
}

// Rows of `pitch` bytes filled with a pattern.
Bytes Pattern(std::size_t bytes) {
    Bytes b(bytes);
    for (std::size_t i = 0; i < bytes; ++i) b[i] = static_cast<std::uint8_t>(i * 29 + 7);
    return b;
}

bool WriteBmpSeeds(const std::string& folder) {
    bool ok = true;
    ok &= Save(folder + "/bmp24", BmpSeed(40, 5, 3, 24, 0, {}, 0, Pattern(16 * 3)));
    ok &= Save(folder + "/bmp24_topdown", BmpSeed(40, 5, -3, 24, 0, {}, 0, Pattern(16 * 3)));
    ok &= Save(folder + "/bmp8", BmpSeed(40, 5, 3, 8, 0, {}, 16, Pattern(8 * 3)));
    ok &= Save(folder + "/bmp4", BmpSeed(40, 5, 3, 4, 0, {}, 16, Pattern(4 * 3)));
    ok &= Save(folder + "/bmp1", BmpSeed(40, 9, 3, 1, 0, {}, 2, Pattern(4 * 3)));
    ok &= Save(folder + "/bmp_core8", BmpSeed(12, 5, 3, 8, 0, {}, 256, Pattern(8 * 3)));
    ok &= Save(folder + "/bmp16_555", BmpSeed(40, 3, 2, 16, 0, {}, 0, Pattern(8 * 2)));
    ok &= Save(folder + "/bmp16_565", BmpSeed(40, 3, 2, 16, 3, {0xF800, 0x07E0, 0x001F}, 0, Pattern(8 * 2)));
    ok &= Save(folder + "/bmp32", BmpSeed(40, 3, 2, 32, 0, {}, 0, Pattern(12 * 2)));
    ok &= Save(folder + "/bmp32_v5", BmpSeed(124, 3, -2, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0, Pattern(12 * 2)));
    ok &= Save(folder + "/bmp16_v4", BmpSeed(108, 3, 2, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, 0, Pattern(8 * 2)));
    ok &= Save(folder + "/bmp32_alphabitfields",
               BmpSeed(40, 3, 2, 32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0, Pattern(12 * 2)));
    ok &= Save(folder + "/bmp_rle8", BmpSeed(40, 4, 3, 8, 1, {}, 10,
                                         {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 2, 9, 0, 0, 1, 4, 0, 1}));
    ok &= Save(folder + "/bmp_rle4", BmpSeed(40, 4, 2, 4, 2, {}, 16, {4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 1, 0x60, 0, 1}));
    return ok;
}

Bytes TgaSeed(int type, int width, int height, int depth, int descriptor, int mapType, int mapLength, int mapBits,
              const Bytes& data) {
    Tga tga(type, width, height, depth);
    tga.descriptor = descriptor;
    tga.id = {'i', 'd', '!'};
    tga.mapType = mapType;
    tga.mapLength = mapLength;
    tga.mapBits = mapBits;
    tga.map = Pattern(static_cast<std::size_t>(mapLength) * ((mapBits + 7) / 8));
    tga.data = data;
    return Write(tga);
}

bool WriteTgaSeeds(const std::string& folder) {
    bool ok = true;
    ok &= Save(folder + "/tga24", TgaSeed(2, 4, 3, 24, 0, 0, 0, 0, Pattern(36)));
    ok &= Save(folder + "/tga32", TgaSeed(2, 4, 3, 32, 0x28, 0, 0, 0, Pattern(48)));
    ok &= Save(folder + "/tga16", TgaSeed(2, 4, 3, 16, 0x31, 0, 0, 0, Pattern(24)));
    ok &= Save(folder + "/tga_rle24", TgaSeed(10, 4, 3, 24, 0, 0, 0, 0, {0x84, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                                                     0x83, 50, 60, 70}));
    ok &= Save(folder + "/tga_rle32", TgaSeed(10, 2, 2, 32, 0x28, 0, 0, 0, {0x81, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12}));
    ok &= Save(folder + "/tga_grey", TgaSeed(3, 4, 3, 8, 0x20, 0, 0, 0, Pattern(12)));
    ok &= Save(folder + "/tga_grey_rle", TgaSeed(11, 4, 3, 8, 0, 0, 0, 0, {0x85, 9, 0x05, 1, 2, 3, 4, 5, 6}));
    ok &= Save(folder + "/tga_mapped", TgaSeed(1, 4, 3, 8, 0, 1, 6, 24, {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5}));
    ok &= Save(folder + "/tga_mapped_rle", TgaSeed(9, 4, 3, 8, 8, 1, 4, 32, {0x85, 1, 0x05, 0, 1, 2, 3, 0, 1}));
    ok &= Save(folder + "/tga_skipped_map", TgaSeed(2, 2, 2, 24, 0x20, 1, 3, 16, Pattern(12)));
    return ok;
}

// PNG, JPEG and TIFF seeds by convert from a small PPM with alpha; missing
// convert only means fewer seeds.
void WriteLibrarySeeds(const std::string& folder) {
    const std::string header = "P7\nWIDTH 8\nHEIGHT 8\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    Bytes pam(header.begin(), header.end());
    for (int i = 0; i < 64; ++i) pam.insert(pam.end(), {static_cast<std::uint8_t>(i * 4), static_cast<std::uint8_t>(255 - i * 3),
                                                         static_cast<std::uint8_t>((i % 8) * 30), static_cast<std::uint8_t>(i < 32 ? 255 : i * 2)});
    const std::string source = folder + "/source.pam";
    if (!Save(source, pam)) return;
    const char* targets[][2] = {
        {"", "PNG32:rgba.png"}, {"-alpha off", "PNG24:rgb.png"}, {"-alpha off", "PNG8:palette.png"},
        {"-colorspace Gray -alpha off", "grey.png"}, {"-interlace PNG", "PNG32:interlaced.png"},
        {"-alpha off", "baseline.jpg"}, {"-alpha off -interlace JPEG", "progressive.jpg"},
        {"-colorspace Gray -alpha off", "grey.jpg"}, {"-colorspace CMYK -alpha off", "cmyk.jpg"},
        {"-alpha off -compress None", "rgb.tif"}, {"-alpha off -compress LZW", "lzw.tif"}, {"", "rgba.tif"},
        {"-alpha off -type Palette", "palette.tif"}, {"-colorspace Gray -alpha off", "grey.tif"},
        {"-alpha off -define tiff:tile-geometry=16x16", "tiled.tif"},
    };
    for (const auto& target : targets) {
        const std::string name = target[1];
        const std::size_t colon = name.find(':');
        const std::string prefix = colon == std::string::npos ? "" : name.substr(0, colon + 1);
        const std::string file = colon == std::string::npos ? name : name.substr(colon + 1);
        const std::string command = "convert '" + source + "' " + target[0] + " '" + prefix + folder + "/" + file +
                                    "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "fuzz_seeds: no %s\n", file.c_str());
    }
    std::remove(source.c_str());
}

// WAVE images in the layouts the reader walks, and near misses: chunks before
// and after fmt, odd chunks with their pad byte, the 18- and 40-byte fmt
// chunks, a data size past the end, a chunk reaching past the end.
bool WriteWaveSeeds(const std::string& folder) {
    auto tag = [](Bytes& b, const char* text) { b.insert(b.end(), text, text + 4); };
    // A fmt chunk: 16 bytes, 18 with cbSize 0, or 40 of WAVE_FORMAT_EXTENSIBLE.
    auto format = [&](Bytes& b, unsigned channels, unsigned bits, std::uint32_t formatBytes) {
        tag(b, "fmt ");
        Put32(b, formatBytes);
        Put16(b, formatBytes == 40 ? 0xFFFE : 1);
        Put16(b, channels);
        Put32(b, 22050);
        Put32(b, 22050 * channels * bits / 8);
        Put16(b, channels * bits / 8);
        Put16(b, bits);
        if (formatBytes == 18) Put16(b, 0);
        if (formatBytes == 40) {
            Put16(b, 22);
            Put16(b, bits);
            Put32(b, channels == 1 ? 0x4 : 0x3);
            static const std::uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
            b.insert(b.end(), pcm, pcm + 16);
        }
    };
    auto chunk = [&](Bytes& b, const char* name, std::uint32_t bytes, std::uint32_t claimed) {
        tag(b, name);
        Put32(b, claimed);
        const Bytes body = Pattern(bytes + (bytes & 1));
        b.insert(b.end(), body.begin(), body.end());
    };
    auto wave = [&](unsigned channels, unsigned bits, std::uint32_t formatBytes, const char* before,
                    std::uint32_t bytes, std::uint32_t claimed) {
        Bytes b;
        tag(b, "RIFF");
        Put32(b, 0);
        tag(b, "WAVE");
        format(b, channels, bits, formatBytes);
        if (before) chunk(b, before, 7, 7);
        chunk(b, "data", bytes, claimed);
        Set32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
        return b;
    };
    Bytes junkFirst = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    chunk(junkFirst, "JUNK", 5, 5);
    format(junkFirst, 1, 16, 16);
    chunk(junkFirst, "data", 40, 40);
    chunk(junkFirst, "LIST", 3, 3);
    Set32(junkFirst, 4, static_cast<std::uint32_t>(junkFirst.size() - 8));
    return Save(folder + "/stereo16.wav", wave(2, 16, 16, nullptr, 400, 400)) &&
           Save(folder + "/mono8.wav", wave(1, 8, 16, nullptr, 101, 101)) &&
           Save(folder + "/trailing.wav", wave(1, 16, 16, nullptr, 64, 32)) &&
           Save(folder + "/list.wav", wave(2, 16, 16, "LIST", 64, 64)) &&
           Save(folder + "/fact18.wav", wave(1, 16, 18, "fact", 64, 64)) &&
           Save(folder + "/extensible24.wav", wave(2, 24, 40, "LIST", 96, 96)) &&
           Save(folder + "/extensible8.wav", wave(1, 8, 40, nullptr, 33, 33)) &&
           Save(folder + "/junk_first.wav", junkFirst) &&
           Save(folder + "/overlong.wav", wave(1, 8, 16, nullptr, 64, 65)) &&
           Save(folder + "/list_overlong.wav", wave(1, 8, 16, "LIST", 0, 0x7FFFFFFF));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds bmp|tga|image|wave <folder>\n");
        return 2;
    }
    const std::string kind = argv[1], folder = argv[2];
    bool ok;
    if (kind == "bmp") {
        ok = WriteBmpSeeds(folder);
    } else if (kind == "tga") {
        ok = WriteTgaSeeds(folder);
    } else if (kind == "image") {
        ok = WriteBmpSeeds(folder) && WriteTgaSeeds(folder);
        if (ok) WriteLibrarySeeds(folder);
    } else if (kind == "wave") {
        ok = WriteWaveSeeds(folder);
    } else {
        std::fprintf(stderr, "fuzz_seeds: unknown corpus %s\n", argv[1]);
        return 2;
    }
    if (!ok) std::fprintf(stderr, "fuzz_seeds: cannot write into %s\n", argv[2]);
    return ok ? 0 : 1;
}
