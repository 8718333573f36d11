#include "exchange/hydrogen_song.h"

#include <expat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "import/audio_import.h"
#include "import/drum_kit.h"
#include "import/input_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"

namespace {

constexpr int kTicksPerQuarter = 48;  // the format's pattern resolution
constexpr int kMaxTracks = 64;
constexpr int kLoops = 10;
constexpr std::size_t kMaxSongBytes = 64u << 20;
constexpr std::size_t kMaxItems = 100'000;  // instruments, patterns, notes, columns

struct Reader {
    HydrogenSong song;
    std::vector<std::string> path;
    std::string text;
    XML_Parser parser = nullptr;
    bool sawRoot = false;
    bool doctype = false;  // stopped at a document type declaration
    bool tooMany = false;  // stopped at more elements than any song holds
    std::size_t items = 0;

    // The element n levels up (0: the one being read).
    const std::string& Up(std::size_t n) const {
        static const std::string none;
        return path.size() > n ? path[path.size() - 1 - n] : none;
    }
    bool In(std::size_t depth, const char* a, const char* b = nullptr) const {
        return path.size() == depth && Up(1) == a && (!b || Up(2) == b);
    }
};

double Number(const std::string& text, double fallback) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::isfinite(v) ? v : fallback;
}

int Integer(const std::string& text, int fallback) {
    const double v = Number(text, fallback);
    return v >= -1e9 && v <= 1e9 ? int(std::lround(v)) : fallback;
}

// The value rounded to the nearest whole number within [low, high]; a
// value out of range is held at its end before it is rounded.
long Rounded(double v, long low, long high) {
    return std::lround(std::clamp(v, double(low), double(high)));
}

std::string Trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    const std::size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

void XMLCALL Start(void* data, const XML_Char* element, const XML_Char**) {
    auto& r = *static_cast<Reader*>(data);
    r.path.emplace_back(element);
    r.text.clear();
    if (r.path.size() == 1) r.sawRoot = r.path[0] == "song";
    if (++r.items > kMaxItems * 64) {
        r.tooMany = true;
        XML_StopParser(r.parser, XML_FALSE);
    }
    auto& s = r.song;
    const std::string& e = r.path.back();
    if (e == "instrument" && r.In(3, "instrumentList", "song")) s.instruments.emplace_back();
    if (e == "layer" && !s.instruments.empty() && r.path.size() >= 4 &&
        (r.Up(1) == "instrument" || r.Up(1) == "instrumentComponent") && r.path[2] == "instrument")
        s.instruments.back().layers.emplace_back();
    if (e == "pattern" && r.In(3, "patternList", "song")) s.patterns.emplace_back();
    if (e == "pattern" && r.In(3, "virtualPatternList", "song")) ++s.virtualPatterns;
    if (e == "note" && r.In(5, "noteList", "pattern") && r.path[1] == "patternList" &&
        !s.patterns.empty())
        s.patterns.back().notes.emplace_back();
    if (e == "group" && r.In(3, "patternSequence", "song")) s.sequence.emplace_back();
}

void XMLCALL End(void* data, const XML_Char*) {
    auto& r = *static_cast<Reader*>(data);
    auto& s = r.song;
    const std::string e = r.path.back();
    const std::string t = Trimmed(r.text);
    const std::size_t depth = r.path.size();
    if (depth == 2) {
        if (e == "bpm") s.bpm = Number(t, s.bpm);
        if (e == "name") s.name = t;
        if (e == "volume") s.volume = Number(t, 1);
        if (e == "swing_factor") s.swing = Number(t, 0);
        if (e == "humanize_time") s.humanizeTime = Number(t, 0);
        if (e == "humanize_velocity") s.humanizeVelocity = Number(t, 0);
    }
    if (depth == 4 && r.Up(1) == "instrument" && r.path[1] == "instrumentList" &&
        !s.instruments.empty()) {
        auto& in = s.instruments.back();
        if (e == "id") in.id = Integer(t, -1);
        if (e == "name") in.name = t;
        if (e == "drumkit") in.drumkit = t;
        if (e == "filename") in.file = t;
        if (e == "volume") in.volume = Number(t, 1);
        if (e == "gain") in.gain = Number(t, 1);
        if (e == "isMuted") in.muted = t == "true";
        if (e == "isSoloed") in.soloed = t == "true";
        if (e == "pan") in.pan = Number(t, 0);
        if (e == "pan_L") in.panL = Number(t, -1);
        if (e == "pan_R") in.panR = Number(t, -1);
        if (e == "midiOutNote") in.note = Integer(t, -1);
        if (e == "muteGroup") in.muteGroup = Integer(t, -1);
        if (e == "pitchOffset") in.pitch = Number(t, 0);
    }
    if (depth == 5 && r.Up(1) == "instrumentComponent" && e == "gain" && !s.instruments.empty())
        s.instruments.back().componentGain = Number(t, 1);
    if (r.Up(1) == "layer" && depth >= 5 && r.path[2] == "instrument" && !s.instruments.empty() &&
        !s.instruments.back().layers.empty()) {
        auto& l = s.instruments.back().layers.back();
        if (e == "filename") l.file = t;
        if (e == "min") l.min = Number(t, 0);
        if (e == "max") l.max = Number(t, 1);
        if (e == "gain") l.gain = Number(t, 1);
        if (e == "pitch") l.pitch = Number(t, 0);
    }
    if (depth == 4 && r.Up(1) == "pattern" && r.path[1] == "patternList" && !s.patterns.empty()) {
        if (e == "name") s.patterns.back().name = t;
        if (e == "size") s.patterns.back().size = Integer(t, 192);
    }
    if (depth == 6 && r.Up(1) == "note" && r.path[1] == "patternList" && !s.patterns.empty() &&
        !s.patterns.back().notes.empty()) {
        auto& n = s.patterns.back().notes.back();
        if (e == "position") n.position = Integer(t, 0);
        if (e == "instrument") n.instrument = Integer(t, -1);
        if (e == "velocity") n.velocity = Number(t, 0.8);
        if (e == "pan") n.pan = Number(t, 0);
        if (e == "pan_L") n.panL = Number(t, -1);
        if (e == "pan_R") n.panR = Number(t, -1);
        if (e == "pitch") n.pitch = Number(t, 0);
        if (e == "leadlag") n.leadLag = Number(t, 0);
    }
    if (depth == 4 && r.Up(1) == "group" && e == "patternID" && !s.sequence.empty())
        s.sequence.back().push_back(t);
    r.path.pop_back();
    r.text.clear();
}

void XMLCALL Text(void* data, const XML_Char* s, int length) {
    auto& r = *static_cast<Reader*>(data);
    // Only leaf values are read; a few kilobytes is more than any holds.
    if (r.text.size() < 4096) r.text.append(s, std::size_t(length));
}

// Pan as ours (-100 to 100) from the newer -1..1 value or the older pair
// of channel gains.
int PanOf(double pan, double left, double right) {
    if (left >= 0 && right >= 0) {
        const double high = std::max(left, right);
        if (high <= 0 || left == right) return 0;
        const int side = int(Rounded((1.0 - std::min(left, right) / high) * 100.0, 0, 100));
        return right > left ? side : -side;
    }
    return int(Rounded(pan * 100.0, -100, 100));
}

// The resolution that puts the most of a pattern's notes on the grid,
// 4 ticks a beat first; its length capped at 64 ticks.
LoopFormat FormatOf(const HydrogenSong::Pattern& p) {
    LoopFormat best;
    std::size_t bestOff = ~std::size_t{0};
    for (int tpb : {4, 2, 3, 6, 8}) {
        const long long scaled = (long long)p.size * tpb;
        if (scaled % kTicksPerQuarter != 0) continue;
        std::size_t off = 0;
        for (const auto& n : p.notes)
            if ((long long)n.position * tpb % kTicksPerQuarter != 0) ++off;
        if (off < bestOff) {
            bestOff = off;
            best.ticksPerBeat = std::uint8_t(tpb);
            best.ticks = std::uint8_t(
                std::clamp<long long>(scaled / kTicksPerQuarter, 1, LoopFormat::kMaxTicks));
        }
    }
    if (bestOff == ~std::size_t{0}) {  // a size off every grid: the nearest at 4 a beat
        best.ticksPerBeat = 4;
        best.ticks =
            std::uint8_t(Rounded(double(p.size) * 4 / kTicksPerQuarter, 1, LoopFormat::kMaxTicks));
    }
    return best;
}

bool FileExists(const std::string& path) {
    std::error_code e;
    return std::filesystem::is_regular_file(path, e);
}

// A kit's folder name may name no path of its own.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The sample file of an instrument: in its kit's folder, where kits are
// kept, else beside the song; "" when none is found there.
std::string FindSample(const std::string& file, const std::string& kit,
                       const std::string& songFolder, const std::vector<std::string>& kitFolders) {
    if (file.empty()) return "";
    std::vector<std::string> folders;
    if (PlainName(kit)) {
        folders.push_back(CombinePath(songFolder, kit));
        for (const std::string& root : kitFolders) folders.push_back(CombinePath(root, kit));
    }
    folders.push_back(songFolder);
    // An older song names the file by its whole path: its name is looked
    // for in the kit, never the path itself.
    const std::string named = file[0] == '/' ? FileNameOfPath(file) : file;
    for (const std::string& folder : folders) {
        const std::string candidate = CombinePath(folder, named);
        if (!InsideFolder(candidate, folder)) continue;
        if (FileExists(candidate)) return candidate;
    }
    return "";
}

// The sample the kit itself gives the instrument named name, for a song
// that names no file of its own for it; "" when none.
std::string SampleOfKit(const std::string& name, const std::string& kit,
                        const std::string& songFolder, const std::vector<std::string>& kitFolders,
                        std::map<std::string, DrumKit>& kits) {
    if (!PlainName(kit)) return "";
    if (!kits.count(kit)) {
        DrumKit found;
        std::vector<std::string> folders = {CombinePath(songFolder, kit)};
        for (const std::string& root : kitFolders) folders.push_back(CombinePath(root, kit));
        for (const std::string& folder : folders) {
            const std::string description = CombinePath(folder, "drumkit.xml");
            if (!FileExists(description)) continue;
            try {
                found = ReadDrumKit(description);
            } catch (const std::exception&) {
            }
            break;
        }
        kits[kit] = std::move(found);
    }
    for (const auto& in : kits[kit].instruments)
        if (in.name == name) return in.sample;
    return "";
}

}  // namespace

bool IsHydrogenSongPath(const std::string& path) {
    if (path.size() < 7) return false;
    std::string end = path.substr(path.size() - 7);
    for (char& c : end) c = char(std::tolower((unsigned char)c));
    return end == ".h2song";
}

std::vector<std::string> HydrogenKitFolders() {
    std::vector<std::string> folders;
    if (const char* home = std::getenv("HOME"); home && *home)
        folders.push_back(std::string(home) + "/.hydrogen/data/drumkits");
    folders.push_back("/usr/share/hydrogen/data/drumkits");
    return folders;
}

HydrogenSong ParseHydrogenSong(const std::string& text, const std::string& name) {
    Reader r;
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                        &XML_ParserFree);
    if (!parser) ThrowError(kErrOutOfMemory, "Out of memory");
    r.parser = parser.get();
    XML_SetUserData(parser.get(), &r);
    XML_SetElementHandler(parser.get(), Start, End);
    XML_SetCharacterDataHandler(parser.get(), Text);
    // No document type is read: a song has none, and a declaration of
    // entities (an entity bomb, or one naming an outside file) is refused
    // before anything is expanded.
    XML_SetStartDoctypeDeclHandler(
        parser.get(), [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            auto& reader = *static_cast<Reader*>(data);
            reader.doctype = true;
            XML_StopParser(reader.parser, XML_FALSE);
        });
    const auto refuse = [&](const std::string& what) {
        ThrowError(kErrInvalidFileFormat,
                   Quoted(name) + " is not a song that can be opened: " + what);
    };
    if (text.size() > 0x7FFFFFFF ||
        XML_Parse(parser.get(), text.data(), int(text.size()), 1) != XML_STATUS_OK) {
        if (r.doctype) refuse("it declares a document type, which a song never does");
        if (r.tooMany) refuse("it holds more elements than any song");
        refuse(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
               std::to_string(XML_GetCurrentLineNumber(parser.get())));
    }
    if (!r.sawRoot) refuse("it does not start with <song>");
    const auto& s = r.song;
    std::size_t notes = 0;
    for (const auto& p : s.patterns) notes += p.notes.size();
    if (s.instruments.size() > kMaxItems || s.patterns.size() > kMaxItems ||
        notes > kMaxItems * 10 || s.sequence.size() > kMaxItems)
        refuse("it holds more instruments, patterns or notes than any song");
    return std::move(r.song);
}

namespace {

// Adds "count what" to the list of what was left out, once.
void Leave(std::vector<std::string>& left, std::size_t count, const std::string& one,
           const std::string& many) {
    if (count) left.push_back(count == 1 ? one : Thousands((long long)count) + " " + many);
}

}  // namespace

std::shared_ptr<Song> ReadHydrogenSong(const std::string& path, std::string* notice,
                                       const Progress& progress,
                                       const std::vector<std::string>& kitFolders) {
    const std::string fileName = FileNameOfPath(path);
    const HydrogenSong h = ParseHydrogenSong(
        ReadInputFile(path, kMaxSongBytes, "a song that can be opened"), fileName);
    if (h.instruments.empty())
        ThrowError(kErrInvalidFileFormat, Quoted(fileName) + " holds no instrument to play");
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::vector<std::string> left;

    auto song = std::make_shared<Song>();
    const double bpm = std::clamp(h.bpm, 30.0, 300.0);
    if (bpm != h.bpm)
        left.push_back("its tempo of " + Thousands(Rounded(h.bpm, -1'000'000'000, 1'000'000'000)) +
                       " bpm (now " + std::to_string(int(bpm)) + ")");
    song->SetBpm(std::llround(bpm * 10) * 1000);
    song->SetSwing(std::uint16_t(Rounded(h.swing * 5000.0, 0, Song::kMaxSwing)));
    // The song's volume is our master level.
    if (h.volume > 0)
        song->SetMasterLevel(int(
            Rounded(2000.0 * std::log10(h.volume), Song::kMinMasterLevel, Song::kMaxMasterLevel)));
    if (h.humanizeTime > 0 || h.humanizeVelocity > 0) left.push_back("its humanize");

    // Instruments become tracks, their ids the notes' references.
    const std::size_t count = std::min<std::size_t>(h.instruments.size(), kMaxTracks);
    Leave(left, h.instruments.size() - count, "an instrument past the 64th",
          "instruments past the 64th");
    std::map<int, int> trackOfId;
    std::map<int, int> chokeOf;  // mute group -> choke group 1 to 8
    std::vector<std::shared_ptr<Sample>> samples;
    std::vector<std::string> missing, failed;
    std::map<std::string, DrumKit> kits;  // read once each, by name
    std::size_t layered = 0;
    for (std::size_t j = 0; j < count; ++j) {
        if (progress && !progress(double(j) / double(count + 1))) ThrowCancelled();
        const auto& in = h.instruments[j];
        trackOfId.emplace(in.id, int(j));
        auto sample = std::make_shared<Sample>();
        sample->SetCaption(
            Utf16FromUtf8(in.name.empty() ? "Track " + std::to_string(j + 1) : in.name));
        if (in.note >= 0 && in.note <= 127) sample->SetMidiNote(in.note);
        // The layer for full velocity, else the loudest.
        const HydrogenSong::Layer *full = nullptr, *loudest = nullptr;
        for (const auto& l : in.layers) {
            if (l.file.empty()) continue;
            if (!full && l.min <= 1.0 && 1.0 <= l.max) full = &l;
            if (!loudest || l.max > loudest->max) loudest = &l;
        }
        const HydrogenSong::Layer* layer = full ? full : loudest;
        if (in.layers.size() > 1) ++layered;
        const std::string file = layer ? layer->file : in.file;
        TrackMix mix;
        const double gain = in.volume * in.gain * in.componentGain * (layer ? layer->gain : 1.0);
        mix.volume = std::uint16_t(Rounded(gain * 100.0, 0, TrackMix::kMaxVolume));
        mix.mute = in.muted;
        mix.solo = in.soloed;
        sample->SetMix(mix);
        TrackSound sound;
        sound.pan = std::int16_t(PanOf(in.pan, in.panL, in.panR));
        sound.pitch = std::int16_t(Rounded((in.pitch + (layer ? layer->pitch : 0.0)) * 100.0,
                                           -TrackSound::kMaxPitch, TrackSound::kMaxPitch));
        if (in.muteGroup >= 0) {
            if (!chokeOf.count(in.muteGroup) && chokeOf.size() < TrackSound::kMaxChokeGroup)
                chokeOf[in.muteGroup] = int(chokeOf.size()) + 1;
            if (chokeOf.count(in.muteGroup)) sound.choke = std::uint8_t(chokeOf[in.muteGroup]);
        }
        sample->SetSound(sound);
        std::string found = FindSample(file, in.drumkit, folder, kitFolders);
        if (found.empty() && file.empty())
            found = SampleOfKit(in.name, in.drumkit, folder, kitFolders, kits);
        if (found.empty()) {
            if (!file.empty()) missing.push_back(in.name + " (" + file + ")");
        } else {
            try {
                sample->SetWav(ImportAudioFile(found).wav);
            } catch (const std::exception& e) {
                failed.push_back(in.name + " (" + ErrorText(e) + ")");
            }
        }
        samples.push_back(std::move(sample));
    }
    song->SetSampleSlots(std::move(samples));

    // Patterns become loops 0 to 9, in order.
    std::map<std::string, int> loopOfName;
    std::size_t offGrid = 0, cut = 0, pannedNotes = 0, pitchedNotes = 0, lostNotes = 0, shifted = 0;
    const std::size_t loops = std::min<std::size_t>(h.patterns.size(), kLoops);
    Leave(left, h.patterns.size() - loops, "a pattern past the tenth", "patterns past the tenth");
    for (std::size_t k = 0; k < loops; ++k) {
        const auto& p = h.patterns[k];
        loopOfName.emplace(p.name, int(k));
        const LoopFormat format = FormatOf(p);
        if ((long long)p.size * format.ticksPerBeat > (long long)format.ticks * kTicksPerQuarter)
            ++cut;
        auto seq = song->Sequence(int(k));
        seq->SetFormat(format);
        SequenceLoop::TrackList tracks;
        for (std::size_t j = 0; j < count; ++j) {
            auto t = std::make_shared<LoopTrack>();
            t->SetNumTicks(format.ticks);
            tracks.push_back(std::move(t));
        }
        for (const auto& n : p.notes) {
            const auto at = trackOfId.find(n.instrument);
            const long long exact = (long long)n.position * format.ticksPerBeat;
            const long long tick = std::llround(double(exact) / kTicksPerQuarter);
            if (at == trackOfId.end() || n.position < 0 || tick >= format.ticks) {
                ++lostNotes;
                continue;
            }
            if (exact % kTicksPerQuarter) ++offGrid;
            if (PanOf(n.pan, n.panL, n.panR) != 0) ++pannedNotes;
            if (n.pitch != 0) ++pitchedNotes;
            if (n.leadLag != 0) ++shifted;
            LoopTrack& row = *tracks[std::size_t(at->second)];
            const int velocity = int(Rounded(n.velocity * 127.0, 1, 127));
            const auto i = std::uint8_t(tick);
            if (row.Value(i) && row.Velocity(i) >= velocity) continue;
            row.SetValue(i, true);
            row.SetVelocity(i, std::uint8_t(velocity));
        }
        seq->Tracks() = std::move(tracks);
    }
    if (loops == 0) {  // a song of no pattern still has its loop 0
        auto seq = song->Sequence(0);
        for (std::size_t j = 0; j < count; ++j) {
            auto t = std::make_shared<LoopTrack>();
            t->SetNumTicks(LoopFormat{}.ticks);
            seq->Tracks().push_back(std::move(t));
        }
    }
    Leave(left, cut, "a pattern longer than 64 ticks (cut there)",
          "patterns longer than 64 ticks (cut there)");
    Leave(left, offGrid, "a note between ticks (moved to the nearest)",
          "notes between ticks (moved to the nearest)");
    Leave(left, pannedNotes, "a note's own pan", "notes' own pan");
    Leave(left, pitchedNotes, "a note's own pitch", "notes' own pitch");
    Leave(left, shifted, "a note's own lead or lag", "notes' own lead or lag");
    Leave(left, lostNotes, "a note past its pattern's end or of no instrument",
          "notes past their pattern's end or of no instrument");

    // The sequence becomes the arrangement: a column plays its first pattern.
    std::vector<ArrangementStep> steps;
    std::size_t layeredColumns = 0, outside = 0, silent = 0;
    for (const auto& column : h.sequence) {
        if (column.empty()) {
            ++silent;
            continue;
        }
        if (column.size() > 1) ++layeredColumns;
        const auto at = loopOfName.find(column[0]);
        if (at == loopOfName.end()) {
            ++outside;
            continue;
        }
        const auto k = std::uint8_t(at->second);
        bool any = false;
        for (const auto& t : song->LoopSlots()[k]->Tracks())
            for (std::uint8_t b : t->TickBytes()) any = any || b;
        if (!any) {
            ++silent;
            continue;
        }
        if (!steps.empty() && steps.back().loop == k && steps.back().repeats < 0xFFFF)
            ++steps.back().repeats;
        else
            steps.push_back({k, 1});
    }
    song->SetArrangement(std::move(steps));
    Leave(left, layeredColumns, "a column of several patterns at once (the first kept)",
          "columns of several patterns at once (the first of each kept)");
    Leave(left, outside, "a column of a pattern not among the first ten",
          "columns of patterns not among the first ten");
    Leave(left, silent, "an empty column", "empty columns");
    Leave(left, std::size_t(h.virtualPatterns), "a virtual pattern", "virtual patterns");
    Leave(left, layered, "an instrument's other velocity layers",
          "instruments' other velocity layers");
    if (!missing.empty()) {
        std::string list;
        for (const auto& m : missing) list += (list.empty() ? "" : ", ") + m;
        left.push_back("samples not found in their kit or beside the song: " + list);
    }
    for (const auto& f : failed) left.push_back("a sample that could not be read: " + f);
    if (notice && !left.empty()) {
        *notice = Quoted(fileName) + " opened as a new song, without:";
        for (std::size_t i = 0; i < left.size(); ++i) *notice += (i ? "; " : " ") + left[i];
        *notice += ".";
    }
    if (progress) progress(1.0);
    return song;
}
