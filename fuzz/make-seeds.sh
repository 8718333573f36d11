#!/usr/bin/env bash
# Writes small seed inputs for the fuzz targets into $1/<target>/.
set -euo pipefail
out=$1
mkdir -p "$out/fuzz_wav_image" "$out/fuzz_wav_file" "$out/fuzz_ogg_file" "$out/fuzz_song_file"
python3 - "$out" <<'PY'
import math, struct, sys
out = sys.argv[1]
def wav(channels, rate, bits, frames, extra_before=b"", extra_after=b"", fmt_extra=b""):
    data = b"".join(struct.pack("<h", int(3000 * math.sin(i * 0.3))) for i in range(frames * channels))
    if bits == 8:
        data = bytes((i * 37) & 0xFF for i in range(frames * channels))
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * channels * bits // 8, channels * bits // 8, bits) + fmt_extra
    chunks = b"fmt " + struct.pack("<I", len(fmt)) + fmt + extra_before + b"data" + struct.pack("<I", len(data)) + data + extra_after
    return b"RIFF" + struct.pack("<I", len(chunks) + 4) + b"WAVE" + chunks
seeds = {
    "canonical": wav(2, 44100, 16, 40),
    "mono8": wav(1, 8000, 8, 30),
    "list": wav(1, 22050, 16, 20, extra_before=b"LIST\x04\x00\x00\x00INFO", extra_after=b"smpl\x02\x00\x00\x00ab"),
    "fmt18": wav(2, 48000, 16, 10, fmt_extra=b"\x00\x00"),
}
for name, data in seeds.items():
    for target in ("fuzz_wav_image", "fuzz_wav_file"):
        open(f"{out}/{target}/{name}.wav", "wb").write(data)
open(f"{out}/seed.wav", "wb").write(wav(2, 22050, 16, 4000))
# A song: tempo 120, loops 0 and 2 with two tracks, samples 0 and 3.
def song():
    s = bytes([2, 2]) + struct.pack("<q", 1200000)
    for index, ticks in ((0, 32), (2, 16)):
        s += bytes([index, 0, 2, ticks])
        for t in range(2):
            s += bytes([ticks]) + bytes(15) + bytes((255 if i % (3 + t) == 0 else 0) for i in range(ticks))
    image = wav(2, 44100, 16, 20)
    caption = "Kick".encode("utf-16-le")
    s += bytes([0, 0, 4, 1]) + struct.pack("<i", len(image)) + caption + image
    s += bytes([3, 0, 0, 0]) + struct.pack("<i", 0)
    return s
open(f"{out}/fuzz_song_file/song.loop", "wb").write(song())
PY
oggenc -Q -q 0 -o "$out/fuzz_ogg_file/stereo.ogg" "$out/seed.wav"
head -c 6000 "$out/fuzz_ogg_file/stereo.ogg" > "$out/fuzz_ogg_file/cut.ogg"
rm "$out/seed.wav"
