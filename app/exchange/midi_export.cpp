#include "exchange/midi_export.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include "files/atomic_file.h"
#include "import/midi_file.h"
#include "song/humanize.h"
#include "song/loop_renderer.h"
#include "support/app_error.h"
#include "support/text_format.h"

namespace {

constexpr std::uint64_t kMaxMidiBytes = 256ull << 20;
constexpr std::uint8_t kDrumChannel = 9;  // channel 10

std::vector<std::uint8_t> Meta(std::uint8_t type, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes(3 + data.size());
    bytes[0] = 0xFF;
    bytes[1] = type;
    bytes[2] = std::uint8_t(data.size());
    std::copy(data.begin(), data.end(), bytes.begin() + 3);
    return bytes;
}

std::vector<std::uint8_t> Text(std::uint8_t type, const std::string& text) {
    return Meta(type, std::vector<std::uint8_t>(
                          text.begin(),
                          text.begin() + std::ptrdiff_t(std::min<std::size_t>(text.size(), 127))));
}

// A hit of one pass of a loop: where it falls from the pass's start.
struct PassHit {
    std::uint64_t tick;
    std::uint8_t key, velocity;
};

struct PassNotes {
    std::uint64_t length = 0;  // the pass's length in file ticks
    std::vector<PassHit> hits;
    LoopFormat format;
};

PassNotes NotesOfLoop(const Song& song, std::uint8_t k) {
    const SequenceLoop& loop = *song.LoopSlots()[k];
    PassNotes pass;
    pass.format = loop.Format();
    const std::int64_t step = kMidiExportTicksPerQuarter / pass.format.ticksPerBeat;
    pass.length = std::uint64_t(step) * pass.format.ticks;
    const std::int64_t swing = std::llround(double(step) * song.Swing() / 10000.0);
    const Humanize human = song.GetHumanize();
    // Humanize's milliseconds in file ticks at the song's tempo.
    const double timing =
        human.timing / 1000.0 * (double(song.Bpm()) / 10000.0 / 60.0) * kMidiExportTicksPerQuarter;
    bool anySolo = false;
    for (const auto& s : song.SampleSlots()) anySolo = anySolo || (s && s->Mix().solo);
    const LoopGrid grid(loop);
    for (int i = 0; i < pass.format.ticks; ++i)
        for (int j = 0; j < int(song.SampleSlots().size()); ++j) {
            const auto& sample = song.SampleSlots()[std::size_t(j)];
            if (!sample || !sample->Wav() || sample->Mix().mute || (anySolo && !sample->Mix().solo))
                continue;
            if (!grid.TickOn(j, i)) continue;
            std::int64_t at = i * step + (i % 2 ? swing : 0);
            int velocity = std::clamp(grid.Velocity(j, i), 1, 127);
            if (!human.IsOff()) {
                const std::uint64_t key = HumanizeKey(human.seed, k, j, i);
                at += std::llround(HumanizeTimingShare(key) * timing);
                velocity = HumanizedVelocity(velocity, human, key);
            }
            const std::int64_t length = std::int64_t(pass.length);
            at = ((at % length) + length) % length;  // wrapping round, as heard
            pass.hits.push_back(
                {std::uint64_t(at), std::uint8_t(MidiNoteOf(song, j)), std::uint8_t(velocity)});
        }
    return pass;
}

// The time signature of a pass of format: its length in quarters over a
// power of two; none when no power of two gives whole units.
bool MeterOf(const LoopFormat& f, std::uint8_t* units, std::uint8_t* power) {
    for (int p = 2; p <= 5; ++p) {
        // units of 1/2^p whole notes: ticks / tpb quarters * 2^p / 4
        const int scaled = f.ticks * (1 << p);
        const int per = f.ticksPerBeat * 4;
        if (scaled % per == 0 && scaled / per <= 255 && scaled / per > 0) {
            *units = std::uint8_t(scaled / per);
            *power = std::uint8_t(p);
            return true;
        }
    }
    return false;
}

}  // namespace

int MidiNoteOf(const Song& song, int track) {
    const auto& slots = song.SampleSlots();
    const int own = std::size_t(track) < slots.size() && slots[std::size_t(track)]
                        ? slots[std::size_t(track)]->MidiNote()
                        : -1;
    return own >= 0 ? own : std::min(36 + track, 127);
}

std::vector<std::uint8_t> SongToMidi(const Song& song, const ExportChoice& choice,
                                     const std::string& name) {
    ExportChoice check = choice;
    check.format = ExportChoice::Format::kFlac;  // no WAV size limit applies
    CheckExport(song, check, name);
    std::map<std::uint8_t, PassNotes> loops;
    ForEachPass(song, choice, [&](std::uint8_t k) {
        if (!loops.count(k)) loops[k] = NotesOfLoop(song, k);
        return true;
    });
    // Counted before anything is laid out: 9 bytes at most per hit.
    std::uint64_t bytes = 0;
    ForEachPass(song, choice, [&](std::uint8_t k) {
        bytes += 16 + 9 * loops[k].hits.size();
        return bytes <= kMaxMidiBytes;
    });
    if (bytes > kMaxMidiBytes)
        ThrowOverflow(name + " played " + Thousands((long long)PassCount(song, choice)) +
                      " passes is longer than a MIDI file holds; export fewer passes");

    std::vector<MidiFileEvent> tempo, drums;
    tempo.push_back({0, Text(0x03, name)});
    // Microseconds a quarter note in 24 bits: tempos below 3.58 bpm are held there.
    const double quarter = 60'000'000.0 / (double(song.Bpm()) / 10000.0);
    const auto micros = std::uint32_t(std::llround(std::clamp(quarter, 1.0, double(0xFFFFFF))));
    tempo.push_back({0, Meta(0x51, {std::uint8_t(micros >> 16), std::uint8_t(micros >> 8),
                                    std::uint8_t(micros)})});
    drums.push_back({0, Text(0x03, "Drums")});
    std::uint64_t start = 0;
    std::uint8_t units = 0, power = 0;
    ForEachPass(song, choice, [&](std::uint8_t k) {
        const PassNotes& pass = loops[k];
        std::uint8_t u = 0, p = 0;
        if (MeterOf(pass.format, &u, &p) && (u != units || p != power)) {
            tempo.push_back({start, Meta(0x58, {u, p, 24, 8})});
            units = u;
            power = p;
        }
        for (const PassHit& h : pass.hits) {
            drums.push_back(
                {start + h.tick, {std::uint8_t(0x90 | kDrumChannel), h.key, h.velocity}});
            drums.push_back({start + h.tick + 1, {std::uint8_t(0x80 | kDrumChannel), h.key, 0}});
        }
        start += pass.length;
        return true;
    });
    // At the same tick a note ends before the next one of its key starts.
    auto rank = [](const MidiFileEvent& e) {
        return e.bytes[0] == 0xFF ? 0 : (e.bytes[0] & 0xF0) == 0x80 ? 1 : 2;
    };
    std::stable_sort(drums.begin(), drums.end(),
                     [&](const MidiFileEvent& a, const MidiFileEvent& b) {
                         return a.tick != b.tick ? a.tick < b.tick : rank(a) < rank(b);
                     });
    return WriteMidiFile(kMidiExportTicksPerQuarter, {std::move(tempo), std::move(drums)}, start);
}

void ExportMidiFile(const Song& song, const ExportChoice& choice, const std::string& out,
                    const std::string& name) {
    const std::vector<std::uint8_t> bytes = SongToMidi(song, choice, name);
    AtomicFile file;
    if (!file.Open(out) && errno == EINVAL)
        ThrowError(kErrFileAccess, "Cannot write to \"" + out +
                                       "\": it is not a regular file (a pipe, device or socket)");
    if (!file.IsOpen() || !file.Write(bytes.data(), bytes.size()) || !file.Commit())
        ThrowError(errno == EACCES || errno == EPERM ? kErrPermissionDenied : kErrFileAccess,
                   "Cannot write \"" + out + "\": " + std::strerror(errno));
}
