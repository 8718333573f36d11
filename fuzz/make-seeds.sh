#!/usr/bin/env bash
# Writes small seed inputs for the fuzz targets into $1/<target>/.
set -euo pipefail
out=$1
for t in fuzz_wav_image fuzz_wav_file fuzz_ogg_file fuzz_ogg_readall fuzz_song_file fuzz_registry \
  fuzz_registrar fuzz_drum_kit fuzz_import fuzz_midi_file fuzz_hydrogen_song \
  fuzz_kit_archive; do
  mkdir -p "$out/$t"
done
python3 - "$out" <<'PY'
import math, struct, sys, zlib
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
# The song with an extension block: an unknown record before the swing,
# and the same block as a newer program would tag it.
def block(version, records):
    body = b"".join(struct.pack("<HI", t, len(p)) + p for t, p in records)
    head = b"TRLX" + struct.pack("<HI", version, len(body)) + body
    return head + struct.pack("<I", zlib.crc32(head) & 0xFFFFFFFF)
extras = [(900, b"\x09\x09"), (2, struct.pack("<H", 2500)), (3, struct.pack("<HBH", 1, 0, 4))]
open(f"{out}/fuzz_song_file/ordered.loop", "wb").write(song() + block(1, extras))
open(f"{out}/fuzz_song_file/newer.loop", "wb").write(song() + block(2, extras))
open(f"{out}/fuzz_import/short.wav", "wb").write(wav(1, 22050, 16, 300))
open(f"{out}/fuzz_import/mono8.wav", "wb").write(wav(1, 8000, 8, 100))
# A registry as registration writes it, and the scripts it runs.
reg = """Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\\CLSID]

[HKEY_CLASSES_ROOT\\CLSID\\{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03}]
@="Calc Class"
"AppID"="{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E00}"

[HKEY_CLASSES_ROOT\\CLSID\\{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03}\\InprocServer32]
@="/usr/lib/a \\"b\\" c\\\\d\\ne\\x01.so"
"ThreadingModel"="Both"

; end of registry
"""
open(f"{out}/fuzz_registry/registry.reg", "w").write(reg)
script = """HKCR
{
    Ovra.Wav.1 = s 'Wav Class'
    {
        CLSID = s '{5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03}'
    }
    Ovra.Wav = s 'Wav Class'
    {
        CurVer = s 'Ovra.Wav.1'
    }
    NoRemove CLSID
    {
        ForceRemove {5B0A8C8E-3E44-4C5B-9C55-0F6B7A1D2E03} = s 'Wav Class'
        {
            ProgID = s 'Ovra.Wav.1'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Both'
            }
            val AppID = s '%APPID%'
            Delete Old
        }
    }
}
"""
open(f"{out}/fuzz_registrar/script.rgs", "w").write(script.replace("%APPID%", "100%% sure"))
kit = """<?xml version="1.0" encoding="UTF-8"?>
<drumkit_info>
  <name>Seed Kit</name>
  <instrumentList>
    <instrument><name>Kick</name>
      <instrumentComponent>
        <layer><filename>kick-soft.wav</filename><min>0</min><max>0.5</max></layer>
        <layer><filename>kick-hard.wav</filename><min>0.5</min><max>1</max></layer>
      </instrumentComponent>
    </instrument>
    <instrument><name>Snare &amp; rim</name>
      <layer><filename>sub/snare.flac</filename><min>0</min><max>1</max></layer>
    </instrument>
    <instrument><name>Hat</name><filename>hat.wav</filename></instrument>
  </instrumentList>
</drumkit_info>
"""
open(f"{out}/fuzz_drum_kit/drumkit.xml", "w").write(kit)
# A format 1 MIDI file: tempo and meter, then drum notes with running status.
def chunk(tag, body):
    return tag + struct.pack(">I", len(body)) + body
tempo = bytes([0, 0xFF, 0x51, 3, 7, 0xA1, 0x20, 0, 0xFF, 0x58, 4, 3, 2, 24, 8, 0, 0xFF, 0x2F, 0])
drums = bytes([0, 0x99, 36, 100, 0x60, 38, 90, 0x81, 0x40, 42, 0, 0, 0xF0, 2, 1, 0xF7,
               0, 0xFF, 0x2F, 0])
open(f"{out}/fuzz_midi_file/drums.mid", "wb").write(
    chunk(b"MThd", struct.pack(">HHH", 1, 2, 96)) + chunk(b"MTrk", tempo) + chunk(b"MTrk", drums))
song = """<?xml version="1.0" encoding="UTF-8"?>
<song><bpm>120</bpm><volume>0.5</volume><swing_factor>0.2</swing_factor>
 <instrumentList>
  <instrument><id>0</id><name>Kick</name><drumkit>Kit</drumkit><pan>0.3</pan><muteGroup>1</muteGroup>
   <instrumentComponent><gain>1</gain>
    <layer><filename>kick.wav</filename><min>0</min><max>1</max><gain>1</gain></layer>
   </instrumentComponent></instrument>
  <instrument><id>1</id><name>Hat</name><pan_L>1</pan_L><pan_R>0.5</pan_R>
   <layer><filename>/k/hat.wav</filename></layer></instrument>
 </instrumentList>
 <patternList><pattern><name>a</name><size>192</size><noteList>
  <note><position>0</position><velocity>0.8</velocity><instrument>0</instrument></note>
  <note><position>16</position><velocity>1</velocity><pan>0.2</pan><instrument>1</instrument></note>
 </noteList></pattern></patternList>
 <virtualPatternList/>
 <patternSequence><group><patternID>a</patternID></group></patternSequence>
</song>
"""
open(f"{out}/fuzz_hydrogen_song/song.h2song", "w").write(song)
PY
oggenc -Q -q 0 -o "$out/fuzz_ogg_file/stereo.ogg" "$out/seed.wav"
# Cut in the middle of the audio pages: a file that ends too soon.
size=$(stat -c %s "$out/fuzz_ogg_file/stereo.ogg")
head -c $((size / 2)) "$out/fuzz_ogg_file/stereo.ogg" >"$out/fuzz_ogg_file/cut.ogg"
cp "$out/fuzz_ogg_file/"*.ogg "$out/fuzz_ogg_readall/"
# Files that once broke the whole-file decode stay regression inputs.
cp "$(dirname "$0")/../tests/data/ogg/"*.ogg "$out/fuzz_ogg_readall/"
cp "$out/fuzz_ogg_file/stereo.ogg" "$out/fuzz_import/stereo.ogg"
sox -q "$out/seed.wav" -r 11025 -c 1 "$out/fuzz_import/mono.flac" trim 0 0.05
sox -q "$out/seed.wav" "$out/fuzz_import/short.aiff" trim 0 0.01
# A packed kit: its description and one sound, gzipped and plain.
mkdir -p "$out/kit/Seed"
cp "$out/fuzz_drum_kit/drumkit.xml" "$out/kit/Seed/drumkit.xml"
head -c 2000 "$out/seed.wav" >"$out/kit/Seed/kick-hard.wav"
tar czf "$out/fuzz_kit_archive/seed.h2drumkit" -C "$out/kit" Seed
tar cf "$out/fuzz_kit_archive/plain.h2drumkit" -C "$out/kit" Seed
rm -r "$out/kit"
rm "$out/seed.wav"
