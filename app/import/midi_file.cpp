#include "import/midi_file.h"

#include <algorithm>

#include "import/input_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"

namespace {

constexpr std::size_t kMaxNotes = 1'000'000;
constexpr std::uint64_t kMaxDelta = 0x0FFFFFFF;

// Reads bytes front to back; every refusal says the byte it stopped at.
class Cursor {
  public:
    Cursor(const std::string& bytes, const std::string& name) : bytes_(bytes), name_(name) {}
    std::size_t At() const { return at_; }
    std::size_t Left() const { return end_ - at_; }
    [[noreturn]] void Refuse(const std::string& what) const {
        ThrowError(kErrInvalidFileFormat, Quoted(name_) +
                                              " is not a MIDI file that can be read: " + what +
                                              " (at byte " + Thousands((long long)at_) + ")");
    }
    std::uint8_t Byte(const char* what) {
        if (at_ >= end_) Refuse(std::string(what) + " is cut off");
        return std::uint8_t(bytes_[at_++]);
    }
    std::uint32_t Big(int n, const char* what) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | Byte(what);
        return v;
    }
    std::uint32_t Variable(const char* what) {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = Byte(what);
            v = v << 7 | (b & 0x7F);
            if (!(b & 0x80)) return v;
        }
        Refuse(std::string(what) + " is longer than 4 bytes");
    }
    void Skip(std::uint64_t n, const char* what) {
        if (n > end_ - at_) Refuse(std::string(what) + " runs past the end of its chunk");
        at_ += std::size_t(n);
    }
    std::string Bytes(std::uint64_t n, const char* what) {
        const std::size_t at = at_;
        Skip(n, what);
        return bytes_.substr(at, std::size_t(n));
    }
    std::string Tag() {
        if (Left() < 4) Refuse("a chunk is cut off");
        std::string tag = bytes_.substr(at_, 4);
        at_ += 4;
        return tag;
    }
    // Reading stops at end (a chunk's end), until Unbound.
    void Bound(std::size_t end) { end_ = end; }
    void Unbound() { end_ = bytes_.size(); }

  private:
    const std::string& bytes_;
    const std::string& name_;
    std::size_t at_ = 0;
    std::size_t end_ = bytes_.size();
};

int DataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

void ReadTrack(Cursor& in, MidiFileContent& out, bool& sawTempo, bool& sawMeter) {
    std::uint64_t tick = 0;
    std::uint8_t running = 0;
    bool ended = false;
    while (!ended && in.Left() > 0) {
        const std::uint32_t delta = in.Variable("a delta-time");
        tick += delta;
        if (in.Left() == 0) in.Refuse("an event is cut off");
        std::uint8_t status = in.Byte("an event");
        std::uint8_t first = 0;
        bool haveFirst = false;
        if (status < 0x80) {
            if (!running) in.Refuse("a data byte comes without a status");
            first = status;
            haveFirst = true;
            status = running;
        }
        if (status < 0xF0) {
            running = status;
            std::uint8_t data[2] = {first, 0};
            for (int i = haveFirst ? 1 : 0; i < DataBytes(status); ++i)
                data[i] = in.Byte("an event");
            for (int i = 0; i < DataBytes(status); ++i)
                if (data[i] & 0x80) in.Refuse("a data byte has its top bit set");
            if ((status & 0xF0) == 0x90 && data[1] > 0) {
                if (out.notes.size() >= kMaxNotes) in.Refuse("it holds more than a million notes");
                out.notes.push_back({tick, std::uint8_t(status & 0x0F), data[0], data[1]});
            }
            continue;
        }
        running = 0;  // meta and system exclusive events end running status
        if (status == 0xFF) {
            const std::uint8_t type = in.Byte("a meta event");
            const std::uint32_t length = in.Variable("a meta event's length");
            const std::string data = in.Bytes(length, "a meta event");
            if (type == 0x51 && data.size() == 3 && !sawTempo) {
                const std::uint32_t micros = std::uint32_t(std::uint8_t(data[0])) << 16 |
                                             std::uint32_t(std::uint8_t(data[1])) << 8 |
                                             std::uint8_t(data[2]);
                if (micros > 0) out.bpm = 60'000'000.0 / micros;
                sawTempo = true;
            }
            if (type == 0x58 && data.size() >= 2 && !sawMeter) {
                const int unitPower = std::uint8_t(data[1]);
                if (data[0] > 0 && unitPower <= 6) {
                    out.beatsPerBar = std::uint8_t(data[0]);
                    out.beatUnit = 1 << unitPower;
                }
                sawMeter = true;
            }
            if (type == 0x2F) ended = true;
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            in.Skip(in.Variable("a system exclusive event's length"), "a system exclusive event");
            continue;
        }
        in.Refuse("status " + std::to_string(status) + " does not belong in a file");
    }
    out.endTick = std::max(out.endTick, tick);
}

}  // namespace

MidiFileContent ParseMidiFile(const std::string& bytes, const std::string& name) {
    Cursor in(bytes, name);
    if (in.Left() < 4 || bytes.compare(0, 4, "MThd") != 0)
        in.Refuse("it does not start with \"MThd\"");
    in.Tag();
    const std::uint32_t headerLength = in.Big(4, "the header");
    if (headerLength < 6) in.Refuse("its header is shorter than 6 bytes");
    MidiFileContent out;
    const std::size_t headerStart = in.At();
    out.format = int(in.Big(2, "the header"));
    const std::uint32_t tracks = in.Big(2, "the header");
    const std::uint32_t division = in.Big(2, "the header");
    if (out.format > 1)
        in.Refuse("it is of format " + std::to_string(out.format) +
                  " (patterns apart); formats 0 and 1 are read");
    if (division & 0x8000) in.Refuse("its times are in SMPTE frames, not ticks per quarter note");
    if (division == 0) in.Refuse("it gives 0 ticks per quarter note");
    out.ticksPerQuarter = int(division);
    in.Skip(headerLength - (in.At() - headerStart), "the header");

    bool sawTempo = false, sawMeter = false;
    std::uint32_t read = 0;
    while (read < tracks) {
        if (in.Left() == 0)
            in.Refuse("it ends after " + std::to_string(read) + " of its " +
                      std::to_string(tracks) + " tracks");
        const std::string tag = in.Tag();
        const std::uint32_t length = in.Big(4, "a chunk's length");
        if (length > in.Left())
            in.Refuse("track " + std::to_string(read + 1) + " runs past the end of the file");
        if (tag != "MTrk") {  // chunks of other kinds are passed over
            in.Skip(length, "a chunk");
            continue;
        }
        in.Bound(in.At() + length);
        const std::size_t end = in.At() + length;
        ReadTrack(in, out, sawTempo, sawMeter);
        in.Unbound();
        in.Skip(end - in.At(), "a track");
        ++read;
    }
    std::stable_sort(out.notes.begin(), out.notes.end(),
                     [](const MidiFileNote& a, const MidiFileNote& b) { return a.tick < b.tick; });
    return out;
}

MidiFileContent ReadMidiFile(const std::string& path) {
    return ParseMidiFile(ReadInputFile(path, 16 << 20, "a MIDI file"), FileNameOfPath(path));
}

namespace {

void PutBig(std::vector<std::uint8_t>& out, std::uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) out.push_back(std::uint8_t(v >> (8 * i)));
}

void PutVariable(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = std::uint8_t(v & 0x7F);
        v >>= 7;
    } while (v && n < 4);
    while (n-- > 0) out.push_back(std::uint8_t(groups[n] | (n ? 0x80 : 0)));
}

}  // namespace

std::vector<std::uint8_t> WriteMidiFile(int ticksPerQuarter,
                                        std::vector<std::vector<MidiFileEvent>> tracks,
                                        std::uint64_t endTick) {
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd'};
    PutBig(out, 6, 4);
    PutBig(out, 1, 2);
    PutBig(out, std::uint32_t(tracks.size()), 2);
    PutBig(out, std::uint32_t(ticksPerQuarter), 2);
    for (auto& track : tracks) {
        std::stable_sort(
            track.begin(), track.end(),
            [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; });
        std::vector<std::uint8_t> body;
        std::uint64_t now = 0;
        auto put = [&](std::uint64_t tick, const std::vector<std::uint8_t>& bytes) {
            if (tick - now > kMaxDelta)
                ThrowOverflow("A gap of " + Thousands((long long)(tick - now)) +
                              " ticks between MIDI events is longer than a MIDI file holds");
            PutVariable(body, std::uint32_t(tick - now));
            now = tick;
            body.insert(body.end(), bytes.begin(), bytes.end());
        };
        for (const MidiFileEvent& e : track) put(e.tick, e.bytes);
        put(std::max(now, endTick), {0xFF, 0x2F, 0x00});
        if (body.size() > 0xFFFFFFFFu)
            ThrowOverflow("A MIDI track longer than 4 GB cannot be written");
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        PutBig(out, std::uint32_t(body.size()), 4);
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}
