// The song file, a ".loop" file: everything needed to play a song again, its
// audio included, in one little-endian binary file with no signature. It is
// the concatenation of
//
//   SongHeader                                                  10 bytes
//   for each loop slot that holds a loop, in increasing index:
//     ItemPrefix, then the loop record
//   for each sample slot that holds a Sample, in increasing index:
//     ItemPrefix, then the sample record
//
//   record       offset size field
//   SongHeader      0    1   loop count      loop records that follow
//                   1    1   sample count    sample records that follow
//                   2    8   bpm             tempo times 10000, signed (120 bpm: 1200000)
//   ItemPrefix      0    1   index           slot of the loop or sample that follows
//                   1    1   reserved        written 0, ignored
//   LoopHeader      0    1   track count     track records that follow
//                   1    1   loop tick count the loop's own NumTicks, kept as read
//   TrackHeader     0    1   tick count      tick bytes that follow
//                   1   15   reserved        written 0, ignored
//   tick bytes      0    n   one per tick    0 off, anything else on (written 255)
//   SampleHeader    0    1   caption length  UTF-16 code units of the caption
//                   1    1   audio flag      1: audio follows; 0: none
//                   2    4   audio length    bytes of audio, signed; 0 without audio
//   caption         0   2n   UTF-16LE        no terminator
//   audio           0    n   a WAV image     the 44-byte header, then the PCM data
//
// A loop record is its LoopHeader and then its tracks, each a TrackHeader
// and its tick bytes; a sample record is its SampleHeader, its caption and
// its audio. Every count and index is one byte, so a song holds at most 255
// loops and 255 samples, a loop 255 tracks and a caption 255 characters;
// the writer refuses more (error 6). Loops are never stored as audio: they
// are rendered again when they are shown.
//
// After the last sample may come one extension block, holding what the
// records above have no place for. A reader of the records alone stops
// before it; a song without anything for it is written without one.
//
//   ExtensionBlock  0    4   tag             "TRLX"
//                   4    2   version         1
//                   6    4   length          bytes of the records that follow
//                  10    n   records         each: type (2), length (4), payload
//                10+n    4   checksum        CRC-32 of bytes 0 to 10+n-1
//   track mix (1)   0    1   count           tracks that follow, from track 0
//                   1   3c   per track       volume in percent (2, 0 to 200),
//                                            flags (1: bit 0 mute, bit 1 solo)
//   swing (2)       0    2   swing           hundredths of a percent of a tick
//                                            by which odd ticks are late (0 to 5000)
//   arrangement (3) 0    2   count           steps that follow
//                   2   3c   per step        loop (1), passes in a row (2, at least 1)
//   velocity (4)    0    4   count           ticks that follow (those that are on
//                                            and play below full velocity)
//                   4   4c   per tick        loop (1), track (1), tick (1),
//                                            velocity (1, 1 to 126)
//   MIDI map (5)    0    1   channel         live notes taken from (0 all, 1 to 16)
//                   1    1   count           tracks that follow, from track 0
//                   2    c   per track       its note (0 to 127; 255: 36 + track)
//   loop format (6) 0    1   count           loops that follow (those not of
//                                            32 ticks at 4 a beat)
//                   1   3c   per loop        loop (1), ticks (1, 1 to 64),
//                                            ticks per beat (1: 2, 3, 4, 6 or 8)
//   track sound (7) 0    1   count           tracks that follow, from track 0
//                   1  14c   per track       pan (2, signed, -100 to 100),
//                                            pitch in cents (2, signed, -2400
//                                            to 2400), start frame (4), end
//                                            frame (4, 0: the sample's end),
//                                            flags (1: bit 0 reverse), choke
//                                            group (1, 0 to 8)
//   master (8)      0    2   level           hundredths of a dB, signed
//                                            (-6000 to 1200)
//   humanize (9)    0    1   timing          milliseconds either way (0 to 20)
//                   1    1   velocity        percent either way (0 to 30)
//                   2    4   seed            of the variation
//
// Records of other types are kept as they came and written back. A block
// that is damaged (checksum, lengths, values out of range) is left out as
// a whole, and the song opens without it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace song_format {

constexpr std::size_t kSongHeaderSize = 10;
constexpr std::size_t kSongHeaderBpm = 2;  // offset of the tempo
constexpr std::size_t kItemPrefixSize = 2;
constexpr std::size_t kLoopHeaderSize = 2;
constexpr std::size_t kTrackHeaderSize = 16;
constexpr std::size_t kSampleHeaderSize = 6;
constexpr std::size_t kSampleHeaderAudioLength = 2;  // offset of the audio length

// The tempos a song file holds, as currency (bpm times 10000): from 1 bpm,
// whose loop of 32 ticks lasts 8 minutes and needs an 85 MB loop buffer,
// to 10,000 bpm, whose tick lasts 1.5 ms (66 frames). Slower tempos ask for
// loop buffers of gigabytes (0.04 bpm: the 2 GB a WAV image can describe),
// and 0 or less renders nothing at all; faster ones leave no room for a
// sound in a tick. The writer refuses a tempo outside these too, so every
// file it writes reads back.
constexpr std::int64_t kMinBpm = 10000;
constexpr std::int64_t kMaxBpm = std::int64_t{10000} * 10000;
// The sample images a song file holds: what an output device plays.
constexpr int kMaxSampleChannels = 8;
constexpr long kMinSampleRate = 1000;
constexpr long kMaxSampleRate = 384000;

// The largest count or index a byte of the file holds.
constexpr long long kMaxCount = 255;
// The value the program writes for a tick that is on.
constexpr std::uint8_t kTickOn = 255;
// The audio flag of a sample with audio.
constexpr std::uint8_t kHasAudio = 1;

constexpr char kExtensionTag[4] = {'T', 'R', 'L', 'X'};
constexpr std::uint16_t kExtensionVersion = 1;
constexpr std::size_t kExtensionHeaderSize = 10;
constexpr std::size_t kExtensionChecksumSize = 4;
constexpr std::size_t kRecordHeaderSize = 6;
constexpr std::uint16_t kRecordTrackMix = 1;
constexpr std::uint16_t kRecordSwing = 2;
constexpr std::uint16_t kRecordArrangement = 3;
constexpr std::uint16_t kRecordVelocity = 4;
constexpr std::uint16_t kRecordMidiMap = 5;
constexpr std::uint16_t kRecordLoopFormat = 6;
constexpr std::uint16_t kRecordTrackSound = 7;
constexpr std::uint16_t kRecordMaster = 8;
constexpr std::uint16_t kRecordHumanize = 9;
constexpr std::uint16_t kLastKnownRecord = kRecordHumanize;
// The largest block a reader takes; anything longer is damaged.
constexpr std::size_t kMaxExtensionSize = 1 << 20;

}  // namespace song_format
