#!/usr/bin/env python3
"""Writes the sound fixtures into a folder: WAVE files through Python's wave
module and through sox (with the raw PCM that sox reads back from each), Ogg
Vorbis streams encoded by oggenc from raw PCM, and what oggdec decodes from
each stream (raw 16-bit little-endian signed PCM), so that the tests compare
the library's buffers with an independent decoder.

    sound_fixtures.py FOLDER [bench]

Every signal is computed, not random: the same files come out on every run.
"bench" adds the several-second streams of the sound benchmark.
"""
import math
import os
import struct
import subprocess
import sys
import wave


def lcg(seed):
    """A small deterministic noise source in -1 .. 1."""
    state = seed
    while True:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        yield state / 0x3FFFFFFF - 1.0


def pcm16(samples):
    return b"".join(struct.pack("<h", max(-32768, min(32767, int(round(s * 32767))))) for s in samples)


def interleave(*channels):
    return [s for frame in zip(*channels) for s in frame]


def tone(frames, rate, frequency, amplitude):
    return [amplitude * math.sin(2 * math.pi * frequency * i / rate) for i in range(frames)]


def transients(frames, rate, seed):
    """A soft tone broken every 0.2 s by a sudden loud burst of noise: the
    encoder answers the bursts with short blocks and the rest with long ones."""
    noise = lcg(seed)
    out = []
    for i in range(frames):
        t = i / rate
        s = 0.05 * math.sin(2 * math.pi * 220 * t)
        phase = t % 0.2
        if 0.1 <= phase < 0.106:
            s += 0.9 * next(noise)
        out.append(s)
    return out


def music(frames, rate, seed, detune):
    """Chords that change every half second, with a little noise."""
    noise = lcg(seed)
    notes = [220.0, 277.2, 329.6, 246.9, 311.1, 370.0, 196.0, 293.7]
    out = []
    for i in range(frames):
        t = i / rate
        base = notes[int(t * 2) % len(notes)] * detune
        s = 0.3 * math.sin(2 * math.pi * base * t) + 0.2 * math.sin(2 * math.pi * base * 1.5 * t)
        s += 0.1 * math.sin(2 * math.pi * base * 2.01 * t) + 0.02 * next(noise)
        out.append(s)
    return out


def write_wave(path, channels, rate, width, data):
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        w.writeframes(data)


def write_ogg(folder, name, channels, rate, data, serial=1, decode=True):
    raw = os.path.join(folder, name + ".in.raw")
    ogg = os.path.join(folder, name + ".ogg")
    with open(raw, "wb") as f:
        f.write(data)
    subprocess.run(["oggenc", "--quiet", "-r", "-B", "16", "-C", str(channels), "-R", str(rate),
                    "--raw-endianness", "0", "-q", "4", "-s", str(serial), "-o", ogg, raw], check=True)
    os.remove(raw)
    if decode:
        subprocess.run(["oggdec", "--quiet", "-R", "-b", "16", "-e", "0", "-s", "1",
                        "-o", os.path.join(folder, name + ".raw"), ogg], check=True)
    return ogg


def with_list_chunk(path):
    """Puts a LIST INFO chunk of odd size (and its pad byte) before the data
    chunk, as editors and recorders do."""
    with open(path, "rb") as f:
        image = f.read()
    text = b"korrin\0"  # 7 bytes: the chunk is 19 bytes long and padded
    info = b"INFO" + b"ISFT" + struct.pack("<I", len(text)) + text
    chunk = b"LIST" + struct.pack("<I", len(info)) + info + b"\0"
    at = image.index(b"data", 12)
    image = image[:at] + chunk + image[at:]
    image = image[:4] + struct.pack("<I", len(image) - 8) + image[8:]
    with open(path, "wb") as f:
        f.write(image)


def write_sox_wave(folder, name, channels, rate, bits, frames, list_chunk=False):
    """A WAVE file written by sox (WAVE_FORMAT_EXTENSIBLE above 16 bits, as
    sox chooses), and the raw PCM that sox reads back from it."""
    path = os.path.join(folder, name + ".wav")
    subprocess.run(["sox", "-r", str(rate), "-n", "-r", str(rate), "-b", str(bits), "-c", str(channels), path,
                    "synth", "%ds" % frames, "sine", "440", "sine", "660", "gain", "-3"], check=True)
    subprocess.run(["sox", path, "-t", "raw", os.path.join(folder, name + ".raw")], check=True)
    if list_chunk:
        with_list_chunk(path)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    rate = 44100

    # 2 s of 16-bit stereo at 44100 Hz, left and right different.
    frames = 2 * rate
    write_wave(os.path.join(folder, "stereo16.wav"), 2, rate, 2,
               pcm16(interleave(tone(frames, rate, 440, 0.5), tone(frames, rate, 660, 0.25))))
    # 8-bit mono at 11025 Hz, an odd number of bytes.
    write_wave(os.path.join(folder, "mono8.wav"), 1, 11025, 1,
               bytes((128 + int(100 * math.sin(i / 7.0))) & 255 for i in range(1237)))
    # A tenth of a second, for playing to the end.
    write_wave(os.path.join(folder, "short.wav"), 1, 22050, 2, pcm16(tone(2205, 22050, 300, 0.5)))

    # sox's files at every sample width, one with a LIST chunk at each
    # width that sox writes differently (plain up to 16 bits, extensible above).
    write_sox_wave(folder, "sox_mono8", 1, 11025, 8, 1237)
    write_sox_wave(folder, "sox_stereo16_list", 2, 22050, 16, 1000, True)
    write_sox_wave(folder, "sox_mono24", 1, 22050, 24, 1001)
    write_sox_wave(folder, "sox_stereo24_list", 2, 44100, 24, 999, True)
    write_sox_wave(folder, "sox_stereo32", 2, 48000, 32, 1000)

    # Exactly 1000 frames, mono and stereo.
    write_ogg(folder, "mono1000", 1, rate, pcm16(tone(1000, rate, 500, 0.5)))
    write_ogg(folder, "stereo1000", 2, rate, pcm16(interleave(tone(1000, rate, 500, 0.5),
                                                              tone(1000, rate, 750, 0.5))))
    # Long and short blocks mixed, mono and stereo.
    frames = int(1.5 * rate)
    write_ogg(folder, "mixed_mono", 1, rate, pcm16(transients(frames, rate, 7)))
    write_ogg(folder, "mixed_stereo", 2, rate, pcm16(interleave(transients(frames, rate, 11),
                                                                transients(frames, rate, 13))))

    # Two chained streams: 20000 mono frames, then 20001 stereo frames. The
    # length counts 40001 frames of the first stream's single channel, an odd
    # number of 16-bit words, which stereo frames of 4 bytes never fill: the
    # last word is left over for a read that cannot succeed.
    parts = [write_ogg(folder, "chain_mono", 1, rate, pcm16(tone(20000, rate, 400, 0.5)), 21, False),
             write_ogg(folder, "chain_stereo", 2, rate, pcm16(interleave(tone(20001, rate, 600, 0.5),
                                                                         tone(20001, rate, 800, 0.5))), 22, False)]
    with open(os.path.join(folder, "chained.ogg"), "wb") as chained:
        for part in parts:
            with open(part, "rb") as f:
                chained.write(f.read())
            os.remove(part)

    if len(sys.argv) > 2 and sys.argv[2] == "bench":
        frames = 6 * rate
        data = pcm16(interleave(music(frames, rate, 3, 1.0), music(frames, rate, 5, 1.003)))
        write_ogg(folder, "bench", 2, rate, data)
        write_wave(os.path.join(folder, "bench.wav"), 2, rate, 2, data)


if __name__ == "__main__":
    main()
