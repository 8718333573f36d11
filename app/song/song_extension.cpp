#include "song/song_extension.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "song/song_format.h"
#include "support/app_error.h"
#include "support/text_format.h"

using namespace song_format;

namespace {

void Put16(ByteArray& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void Put32(ByteArray& out, std::uint32_t v) {
    Put16(out, std::uint16_t(v));
    Put16(out, std::uint16_t(v >> 16));
}
std::uint16_t Get16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(Get16(p)) | std::uint32_t(Get16(p + 2)) << 16;
}

void PutRecord(ByteArray& out, std::uint16_t type, const ByteArray& payload) {
    Put16(out, type);
    Put32(out, std::uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

std::size_t MixCount(const Song& song) {
    // Up to the last track whose mix is not the default.
    std::size_t count = 0;
    const auto& samples = song.SampleSlots();
    for (std::size_t i = 0; i < samples.size() && i < 255; ++i)
        if (samples[i] && !samples[i]->Mix().IsDefault()) count = i + 1;
    return count;
}

// What a read found, applied to the song only when the whole block is good.
struct Found {
    std::vector<std::pair<std::size_t, TrackMix>> mix;
    std::uint16_t swing = 0;
    std::vector<ArrangementStep> arrangement;
    struct Velocity {
        std::uint8_t loop, track, tick, velocity;
    };
    std::vector<Velocity> velocities;
    int midiChannel = 0;
    std::vector<int> midiNotes;
    std::vector<std::pair<std::size_t, LoopFormat>> formats;
    std::vector<std::pair<std::size_t, TrackSound>> sounds;
    int master = 0;
    Humanize humanize;
    std::vector<ExtensionRecord> unknown;
};

// Up to the last track whose note is not the default.
std::size_t MidiNoteCount(const Song& song) {
    std::size_t count = 0;
    const auto& samples = song.SampleSlots();
    for (std::size_t i = 0; i < samples.size() && i < 255; ++i)
        if (samples[i] && samples[i]->MidiNote() >= 0) count = i + 1;
    return count;
}

// Up to the last track whose sound is not the default.
std::size_t SoundCount(const Song& song) {
    std::size_t count = 0;
    const auto& samples = song.SampleSlots();
    for (std::size_t i = 0; i < samples.size() && i < 255; ++i)
        if (samples[i] && !samples[i]->Sound().IsDefault()) count = i + 1;
    return count;
}

// The loops not of the default format.
std::vector<std::pair<std::size_t, LoopFormat>> FormatsOf(const Song& song) {
    std::vector<std::pair<std::size_t, LoopFormat>> out;
    const auto& loops = song.LoopSlots();
    for (std::size_t l = 0; l < loops.size() && l < 256; ++l)
        if (loops[l] && !loops[l]->Format().IsDefault()) out.emplace_back(l, loops[l]->Format());
    return out;
}

// The ticks that are on and play below full velocity.
std::vector<Found::Velocity> VelocitiesOf(const Song& song) {
    std::vector<Found::Velocity> out;
    const auto& loops = song.LoopSlots();
    for (std::size_t l = 0; l < loops.size() && l < 256; ++l) {
        if (!loops[l]) continue;
        const auto& tracks = loops[l]->Tracks();
        for (std::size_t t = 0; t < tracks.size() && t < 256; ++t) {
            const LoopTrack& track = *tracks[t];
            if (!track.HasVelocities()) continue;
            for (std::size_t i = 0; i < track.NumTicks(); ++i)
                if (track.TickBytes()[i] &&
                    track.Velocity(std::uint8_t(i)) < LoopTrack::kFullVelocity)
                    out.push_back({std::uint8_t(l), std::uint8_t(t), std::uint8_t(i),
                                   track.Velocity(std::uint8_t(i))});
        }
    }
    return out;
}

// The reason a record's payload is not what its type says; "" when it is.
std::string ReadRecord(std::uint16_t type, const std::uint8_t* p, std::size_t n, Found& found) {
    switch (type) {
        case kRecordTrackMix: {
            if (n < 1 || n != 1 + 3 * std::size_t(p[0])) return "a track mix of the wrong length";
            for (std::size_t i = 0; i < p[0]; ++i) {
                const std::uint8_t* t = p + 1 + 3 * i;
                TrackMix m;
                m.volume = Get16(t);
                m.mute = t[2] & 1;
                m.solo = t[2] & 2;
                if (m.volume > TrackMix::kMaxVolume || (t[2] & ~3))
                    return "a track mix out of range";
                found.mix.emplace_back(i, m);
            }
            return "";
        }
        case kRecordSwing:
            if (n != 2) return "a swing of the wrong length";
            found.swing = Get16(p);
            return found.swing > Song::kMaxSwing ? "a swing out of range" : "";
        case kRecordArrangement: {
            if (n < 2 || n != 2 + 3 * std::size_t(Get16(p)))
                return "an arrangement of the wrong length";
            for (std::size_t i = 0; i < Get16(p); ++i) {
                const std::uint8_t* s = p + 2 + 3 * i;
                ArrangementStep step{s[0], Get16(s + 1)};
                if (step.repeats < 1) return "an arrangement step of no passes";
                found.arrangement.push_back(step);
            }
            return "";
        }
        case kRecordVelocity: {
            if (n < 4 || n != 4 + 4 * std::size_t(Get32(p)))
                return "velocities of the wrong length";
            for (std::size_t i = 0; i < Get32(p); ++i) {
                const std::uint8_t* v = p + 4 + 4 * i;
                if (v[3] < 1 || v[3] >= LoopTrack::kFullVelocity) return "a velocity out of range";
                found.velocities.push_back({v[0], v[1], v[2], v[3]});
            }
            return "";
        }
        case kRecordMidiMap: {
            if (n < 2 || n != 2 + std::size_t(p[1])) return "a MIDI map of the wrong length";
            if (p[0] > 16) return "a MIDI channel out of range";
            found.midiChannel = p[0];
            for (std::size_t i = 0; i < p[1]; ++i) {
                if (p[2 + i] > 127 && p[2 + i] != 255) return "a MIDI note out of range";
                found.midiNotes.push_back(p[2 + i] == 255 ? -1 : p[2 + i]);
            }
            return "";
        }
        case kRecordLoopFormat: {
            if (n < 1 || n != 1 + 3 * std::size_t(p[0])) return "loop formats of the wrong length";
            for (std::size_t i = 0; i < p[0]; ++i) {
                const std::uint8_t* f = p + 1 + 3 * i;
                const LoopFormat format{f[1], f[2]};
                if (!format.Valid()) return "a loop format out of range";
                found.formats.emplace_back(f[0], format);
            }
            return "";
        }
        case kRecordTrackSound: {
            if (n < 1 || n != 1 + 14 * std::size_t(p[0])) return "track sounds of the wrong length";
            for (std::size_t i = 0; i < p[0]; ++i) {
                const std::uint8_t* t = p + 1 + 14 * i;
                TrackSound s;
                s.pan = std::int16_t(Get16(t));
                s.pitch = std::int16_t(Get16(t + 2));
                s.start = Get32(t + 4);
                s.end = Get32(t + 8);
                s.reverse = t[12] & 1;
                s.choke = t[13];
                if (std::abs(s.pan) > TrackSound::kMaxPan ||
                    std::abs(s.pitch) > TrackSound::kMaxPitch || (t[12] & ~1) ||
                    s.choke > TrackSound::kMaxChokeGroup || (s.end != 0 && s.end <= s.start))
                    return "a track sound out of range";
                found.sounds.emplace_back(i, s);
            }
            return "";
        }
        case kRecordMaster:
            if (n != 2) return "a master level of the wrong length";
            found.master = std::int16_t(Get16(p));
            return found.master < Song::kMinMasterLevel || found.master > Song::kMaxMasterLevel
                       ? "a master level out of range"
                       : "";
        case kRecordHumanize:
            if (n != 6) return "a humanize of the wrong length";
            found.humanize = {p[0], p[1], Get32(p + 2)};
            return found.humanize.timing > Humanize::kMaxTiming ||
                           found.humanize.velocity > Humanize::kMaxVelocity
                       ? "a humanize out of range"
                       : "";
        default:
            found.unknown.push_back({type, ByteArray(p, p + n)});
            return "";
    }
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

bool HasExtension(const Song& song) {
    if (MixCount(song) > 0 || song.Swing() != 0 || !song.Arrangement().empty() ||
        !song.UnknownRecords().empty() || song.MidiChannel() != 0 || MidiNoteCount(song) > 0 ||
        SoundCount(song) > 0 || !FormatsOf(song).empty() || song.MasterLevel() != 0 ||
        !(song.GetHumanize() == Humanize{}))
        return true;
    for (const auto& loop : song.LoopSlots())
        if (loop)
            for (const auto& track : loop->Tracks())
                if (track->HasVelocities()) return true;
    return false;
}

namespace {

// The payload of a known record for what song holds; false when the song
// holds nothing for it.
bool KnownRecord(const Song& song, std::uint16_t type, ByteArray& payload) {
    switch (type) {
        case kRecordTrackMix: {
            const std::size_t count = MixCount(song);
            if (!count) return false;
            payload.push_back(std::uint8_t(count));
            for (std::size_t i = 0; i < count; ++i) {
                const auto& s = song.SampleSlots()[i];
                const TrackMix m = s ? s->Mix() : TrackMix{};
                Put16(payload, m.volume);
                payload.push_back(std::uint8_t((m.mute ? 1 : 0) | (m.solo ? 2 : 0)));
            }
            return true;
        }
        case kRecordSwing:
            if (song.Swing() == 0) return false;
            Put16(payload, song.Swing());
            return true;
        case kRecordArrangement: {
            if (song.Arrangement().empty()) return false;
            const std::size_t n = std::min<std::size_t>(song.Arrangement().size(), 0xFFFF);
            Put16(payload, std::uint16_t(n));
            for (std::size_t i = 0; i < n; ++i) {
                payload.push_back(song.Arrangement()[i].loop);
                Put16(payload, song.Arrangement()[i].repeats);
            }
            return true;
        }
        case kRecordVelocity: {
            const std::vector<Found::Velocity> velocities = VelocitiesOf(song);
            if (velocities.empty()) return false;
            Put32(payload, std::uint32_t(velocities.size()));
            for (const auto& v : velocities)
                payload.insert(payload.end(), {v.loop, v.track, v.tick, v.velocity});
            return true;
        }
        case kRecordMidiMap: {
            const std::size_t count = MidiNoteCount(song);
            if (count == 0 && song.MidiChannel() == 0) return false;
            payload.push_back(std::uint8_t(song.MidiChannel()));
            payload.push_back(std::uint8_t(count));
            for (std::size_t i = 0; i < count; ++i) {
                const auto& s = song.SampleSlots()[i];
                const int note = s ? s->MidiNote() : -1;
                payload.push_back(note < 0 ? 255 : std::uint8_t(note));
            }
            return true;
        }
        case kRecordLoopFormat: {
            const auto formats = FormatsOf(song);
            if (formats.empty()) return false;
            payload.push_back(std::uint8_t(formats.size()));
            for (const auto& [loop, f] : formats)
                payload.insert(payload.end(), {std::uint8_t(loop), f.ticks, f.ticksPerBeat});
            return true;
        }
        case kRecordTrackSound: {
            const std::size_t count = SoundCount(song);
            if (!count) return false;
            payload.push_back(std::uint8_t(count));
            for (std::size_t i = 0; i < count; ++i) {
                const auto& s = song.SampleSlots()[i];
                const TrackSound t = s ? s->Sound() : TrackSound{};
                Put16(payload, std::uint16_t(t.pan));
                Put16(payload, std::uint16_t(t.pitch));
                Put32(payload, t.start);
                Put32(payload, t.end);
                payload.push_back(t.reverse ? 1 : 0);
                payload.push_back(t.choke);
            }
            return true;
        }
        case kRecordMaster:
            if (song.MasterLevel() == 0) return false;
            Put16(payload, std::uint16_t(std::int16_t(song.MasterLevel())));
            return true;
        case kRecordHumanize: {
            const Humanize& h = song.GetHumanize();
            if (h == Humanize{}) return false;
            payload.insert(payload.end(), {h.timing, h.velocity});
            Put32(payload, h.seed);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

ByteArray ExtensionBlock(const Song& song) {
    ByteArray records;
    // In the order the file had them; the known ones it lacked, and the
    // unknown ones not placed, after.
    std::vector<bool> placed(song.UnknownRecords().size(), false);
    bool known[kLastKnownRecord + 1] = {};
    auto emitKnown = [&](std::uint16_t type) {
        if (known[type]) return;
        known[type] = true;
        ByteArray payload;
        if (KnownRecord(song, type, payload)) PutRecord(records, type, payload);
    };
    for (std::uint16_t type : song.RecordOrder()) {
        if (type >= kRecordTrackMix && type <= kLastKnownRecord) {
            emitKnown(type);
            continue;
        }
        for (std::size_t i = 0; i < placed.size(); ++i)
            if (!placed[i] && song.UnknownRecords()[i].type == type) {
                placed[i] = true;
                PutRecord(records, type, song.UnknownRecords()[i].payload);
                break;
            }
    }
    for (std::uint16_t type = kRecordTrackMix; type <= kLastKnownRecord; ++type) emitKnown(type);
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (!placed[i])
            PutRecord(records, song.UnknownRecords()[i].type, song.UnknownRecords()[i].payload);

    ByteArray block(kExtensionTag, kExtensionTag + 4);
    Put16(block, kExtensionVersion);
    Put32(block, std::uint32_t(records.size()));
    block.insert(block.end(), records.begin(), records.end());
    Put32(block, Crc32(block.data(), block.size()));
    // What no reader takes is never written.
    if (block.size() > kMaxExtensionSize)
        ThrowError(kErrOverflow, "The song's mix, swing, arrangement and other settings take " +
                                     Thousands(static_cast<long long>(block.size())) +
                                     " bytes, more than the " + Thousands(kMaxExtensionSize) +
                                     " a song file holds");
    return block;
}

ByteArray BlockToWrite(const Song& song) {
    if (HasExtension(song)) return ExtensionBlock(song);
    return song.UnreadBlock();
}

bool StartsExtensionBlock(const ByteArray& bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), kExtensionTag, 4) == 0;
}

std::string ReadExtensionBlock(const ByteArray& bytes, Song& song) {
    if (!StartsExtensionBlock(bytes)) return "it does not start with its tag";
    if (bytes.size() < kExtensionHeaderSize + kExtensionChecksumSize) return "it is cut short";
    if (Get16(&bytes[4]) > kExtensionVersion) return kNewerExtension;
    if (Get16(&bytes[4]) != kExtensionVersion) return "it is of no version a Trellon wrote";
    const std::size_t length = Get32(&bytes[6]);
    if (length != bytes.size() - kExtensionHeaderSize - kExtensionChecksumSize)
        return "its length is not what the file holds";
    const std::size_t end = kExtensionHeaderSize + length;
    if (Crc32(bytes.data(), end) != Get32(&bytes[end])) return "its checksum does not match";
    Found found;
    bool seen[kLastKnownRecord + 1] = {};
    std::vector<std::uint16_t> order;
    for (std::size_t at = kExtensionHeaderSize; at < end;) {
        if (end - at < kRecordHeaderSize) return "a record is cut short";
        const std::uint16_t type = Get16(&bytes[at]);
        const std::size_t n = Get32(&bytes[at + 2]);
        at += kRecordHeaderSize;
        if (n > end - at) return "a record is longer than the block";
        if (type >= kRecordTrackMix && type <= kLastKnownRecord) {
            if (seen[type]) return "a record comes twice";
            seen[type] = true;
        }
        if (std::string why = ReadRecord(type, &bytes[at], n, found); !why.empty()) return why;
        order.push_back(type);
        at += n;
    }
    // Entries for tracks the song does not have mix nothing.
    for (const auto& [track, mix] : found.mix)
        if (!mix.IsDefault() && track < std::size_t(song.NumTracks()))
            song.SampleAt(std::int32_t(track))->SetMix(mix);
    // Velocities of ticks the song does not have, or that are off, play
    // nothing and are left out.
    const auto& loops = song.LoopSlots();
    for (const auto& v : found.velocities) {
        if (v.loop >= loops.size() || !loops[v.loop]) continue;
        const auto& tracks = loops[v.loop]->Tracks();
        if (v.track >= tracks.size() || v.tick >= tracks[v.track]->NumTicks()) continue;
        if (tracks[v.track]->Value(v.tick)) tracks[v.track]->SetVelocity(v.tick, v.velocity);
    }
    // Notes of tracks the song does not have play nothing.
    for (std::size_t i = 0; i < found.midiNotes.size() && i < std::size_t(song.NumTracks()); ++i)
        if (found.midiNotes[i] >= 0)
            song.SampleAt(std::int32_t(i))->SetMidiNote(found.midiNotes[i]);
    for (std::size_t i = 0; i < found.sounds.size() && i < std::size_t(song.NumTracks()); ++i)
        if (!found.sounds[i].second.IsDefault())
            song.SampleAt(std::int32_t(found.sounds[i].first))->SetSound(found.sounds[i].second);
    // Formats of loops the song does not have shape nothing.
    for (const auto& [loop, format] : found.formats)
        if (loop < loops.size() && loops[loop]) loops[loop]->SetFormat(format);
    song.SetMasterLevel(found.master);
    song.SetHumanize(found.humanize);
    song.SetMidiChannel(found.midiChannel);
    song.SetRecordOrder(std::move(order));
    song.SetSwing(found.swing);
    song.SetArrangement(std::move(found.arrangement));
    song.SetUnknownRecords(std::move(found.unknown));
    return "";
}
