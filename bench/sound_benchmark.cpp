// Sound loading benchmark: CatchSound2 of a six-second Ogg Vorbis stream
// against decoding the same stream with bare libvorbisfile into memory, and
// CatchSound2 of the same samples as a WAVE image against a plain memcpy of
// its data chunk (and against a copy into newly allocated memory, which pays
// the page faults a new buffer pays). Rounds alternate in one run; the best
// round of each is reported (the machine is shared: slower rounds measure the
// other programs), with the ratio library / bare.
//
//     sound_benchmark.exe [fixture folder, default ..\sound-fixtures\]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "bench_host.h"

namespace {

using Bytes = std::vector<unsigned char>;

template <class R, class... A>
R Call(const char* name, A... args) {
    auto entry = reinterpret_cast<R(__stdcall*)(A...)>(reinterpret_cast<void*>(GetProcAddress(korrin, name)));
    if (!entry) {
        std::fprintf(stderr, "sound_benchmark: %s is not exported\n", name);
        std::exit(1);
    }
    return entry(args...);
}

bool ReadAll(const std::string& path, Bytes* bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + got);
    std::fclose(file);
    return !bytes->empty();
}

struct Memory {
    const unsigned char* data;
    size_t size, position;
};

size_t ReadMemory(void* out, size_t itemSize, size_t items, void* source) {
    auto* m = static_cast<Memory*>(source);
    size_t count = std::min(items, (m->size - m->position) / itemSize);
    std::memcpy(out, m->data + m->position, count * itemSize);
    m->position += count * itemSize;
    return count;
}
int SeekMemory(void* source, ogg_int64_t offset, int whence) {
    auto* m = static_cast<Memory*>(source);
    const ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->position : m->size;
    if (base + offset < 0 || base + offset > static_cast<ogg_int64_t>(m->size)) return -1;
    m->position = static_cast<size_t>(base + offset);
    return 0;
}
long TellMemory(void* source) { return static_cast<long>(static_cast<Memory*>(source)->position); }

// The whole stream decoded into memory with libvorbisfile alone; the bytes.
size_t DecodeBare(const Bytes& stream) {
    Memory memory = {stream.data(), stream.size(), 0};
    OggVorbis_File file;
    const ov_callbacks callbacks = {ReadMemory, SeekMemory, nullptr, TellMemory};
    if (ov_open_callbacks(&memory, &file, nullptr, 0, callbacks) != 0) return 0;
    const size_t bytes = static_cast<size_t>(ov_pcm_total(&file, -1)) * 2 * ov_info(&file, -1)->channels;
    char* pcm = static_cast<char*>(std::malloc(bytes));
    size_t written = 0;
    int section = 0;
    while (pcm && written < bytes) {
        const long got = ov_read(&file, pcm + written, static_cast<int>(std::min<size_t>(4096, bytes - written)), 0,
                                 2, 1, &section);
        if (got <= 0) break;
        written += static_cast<size_t>(got);
    }
    std::free(pcm);
    ov_clear(&file);
    return written;
}

double Best(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "..\\sound-fixtures\\";
    Bytes ogg, wave;
    if (!ReadAll(folder + "bench.ogg", &ogg) || !ReadAll(folder + "bench.wav", &wave) || wave.size() < 44) {
        std::fprintf(stderr, "sound_benchmark: no bench.ogg and bench.wav in %s\n", folder.c_str());
        return 1;
    }
    korrin = LoadLibraryA("korrin.dll");
    if (!korrin) {
        std::fprintf(stderr, "sound_benchmark: korrin.dll could not be loaded\n");
        return 1;
    }
    if (!Call<void*>("InitSound")) {
        std::fprintf(stderr, "sound_benchmark: InitSound failed\n");
        return 1;
    }
    const int oggSize = static_cast<int>(ogg.size()), waveSize = static_cast<int>(wave.size());
    const size_t waveData = wave.size() - 44;
    Bytes copy(waveData);
    std::vector<double> library, bare, waveLoad, waveCopy, freshCopy;
    size_t decoded = 0;
    const int rounds = 15;
    for (int round = 0; round < rounds; ++round) {
        LONGLONG start = Ticks();
        // Loading under the same number releases the buffer of the round before.
        if (!Call<int>("CatchSound2", 0, static_cast<const void*>(ogg.data()), oggSize)) {
            std::fprintf(stderr, "sound_benchmark: CatchSound2 refused the Ogg stream\n");
            return 1;
        }
        library.push_back(Seconds(Ticks() - start));
        start = Ticks();
        decoded = DecodeBare(ogg);
        bare.push_back(Seconds(Ticks() - start));

        start = Ticks();
        if (!Call<int>("CatchSound2", 1, static_cast<const void*>(wave.data()), waveSize)) {
            std::fprintf(stderr, "sound_benchmark: CatchSound2 refused the WAVE image\n");
            return 1;
        }
        waveLoad.push_back(Seconds(Ticks() - start));
        start = Ticks();
        std::memcpy(copy.data(), wave.data() + 44, waveData);
        waveCopy.push_back(Seconds(Ticks() - start));
        // The same copy into memory just allocated, as a new sound buffer is.
        start = Ticks();
        void* fresh = VirtualAlloc(nullptr, waveData, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (fresh) {
            std::memcpy(fresh, wave.data() + 44, waveData);
            VirtualFree(fresh, 0, MEM_RELEASE);
        }
        freshCopy.push_back(Seconds(Ticks() - start));
    }
    volatile unsigned char sink = copy[waveData / 2];
    (void)sink;
    const double l = Best(library) * 1000, b = Best(bare) * 1000, w = Best(waveLoad) * 1000,
                 c = Best(waveCopy) * 1000, f = Best(freshCopy) * 1000;
    std::printf("CatchSound2, Ogg Vorbis (%zu bytes of PCM): %.2f ms, bare libvorbisfile into memory: %.2f ms, "
                "ratio %.2f\n",
                decoded, l, b, l / b);
    std::printf("CatchSound2, WAVE (%zu bytes of PCM): %.3f ms, memcpy of the data: %.3f ms, ratio %.1f "
                "(memcpy into newly allocated memory: %.3f ms, ratio %.1f)\n",
                waveData, w, c, c > 0 ? w / c : 0.0, f, f > 0 ? w / f : 0.0);
    Call<int>("Sprite_End");
    return 0;
}
