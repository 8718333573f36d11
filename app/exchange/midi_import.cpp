#include "exchange/midi_import.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "exchange/midi_export.h"
#include "support/app_error.h"
#include "support/text_format.h"

std::string DrumNoteName(int note) {
    static const char* const kNames[] = {"Acoustic Bass Drum",
                                         "Bass Drum 1",
                                         "Side Stick",
                                         "Acoustic Snare",
                                         "Hand Clap",
                                         "Electric Snare",
                                         "Low Floor Tom",
                                         "Closed Hi-Hat",
                                         "High Floor Tom",
                                         "Pedal Hi-Hat",
                                         "Low Tom",
                                         "Open Hi-Hat",
                                         "Low-Mid Tom",
                                         "Hi-Mid Tom",
                                         "Crash Cymbal 1",
                                         "High Tom",
                                         "Ride Cymbal 1",
                                         "Chinese Cymbal",
                                         "Ride Bell",
                                         "Tambourine",
                                         "Splash Cymbal",
                                         "Cowbell",
                                         "Crash Cymbal 2",
                                         "Vibraslap",
                                         "Ride Cymbal 2",
                                         "Hi Bongo",
                                         "Low Bongo",
                                         "Mute Hi Conga",
                                         "Open Hi Conga",
                                         "Low Conga",
                                         "High Timbale",
                                         "Low Timbale",
                                         "High Agogo",
                                         "Low Agogo",
                                         "Cabasa",
                                         "Maracas",
                                         "Short Whistle",
                                         "Long Whistle",
                                         "Short Guiro",
                                         "Long Guiro",
                                         "Claves",
                                         "Hi Wood Block",
                                         "Low Wood Block",
                                         "Mute Cuica",
                                         "Open Cuica",
                                         "Mute Triangle",
                                         "Open Triangle"};
    if (note >= 35 && note <= 81) return kNames[note - 35];
    return "Note " + std::to_string(note);
}

namespace {

constexpr int kMaxTracks = 64;

}  // namespace

MidiLoopImport PlanMidiImport(const MidiFileContent& file, const Song& song, std::uint8_t k,
                              bool addTracks, const std::string& name) {
    if (file.notes.empty())
        ThrowError(kErrInvalidArgument, Quoted(name) + " holds no note to import");
    MidiLoopImport plan;
    const auto& loops = song.LoopSlots();
    plan.format = k < loops.size() && loops[k] ? loops[k]->Format() : LoopFormat{};
    if (!loops.empty() && loops[0] && (k >= loops.size() || !loops[k]))
        plan.format = loops[0]->Format();  // a loop not made yet takes loop 0's
    const int tpb = plan.format.ticksPerBeat;

    // The channel the song listens to; else channel 10 (drums) when the file
    // uses it, else all of them.
    plan.channel = song.MidiChannel();
    if (plan.channel == 0)
        for (const MidiFileNote& n : file.notes)
            if (n.channel == 9) plan.channel = 10;
    std::vector<const MidiFileNote*> notes;
    for (const MidiFileNote& n : file.notes) {
        if (plan.channel && n.channel != plan.channel - 1) {
            ++plan.otherChannel;
            continue;
        }
        notes.push_back(&n);
    }
    if (notes.empty())
        ThrowError(kErrInvalidArgument, Quoted(name) + " holds no note on channel " +
                                            std::to_string(plan.channel) +
                                            ", which the song listens to");

    // Whole bars of the file, as many as the loop holds.
    const double barQuarters = double(file.beatsPerBar) * 4.0 / file.beatUnit;
    const double barTicks = barQuarters * tpb;
    const std::uint64_t last = notes.back()->tick;
    const double lastQuarter = double(last) / file.ticksPerQuarter;
    int ticks = LoopFormat::kMaxTicks;
    if (barTicks >= 1 && barTicks == std::floor(barTicks)) {
        const long long bars =
            std::max(1LL, (long long)(std::floor(lastQuarter / barQuarters)) + 1);
        const long long fit = std::max(1LL, LoopFormat::kMaxTicks / (long long)barTicks);
        ticks = int(
            std::min<long long>(LoopFormat::kMaxTicks, std::min(bars, fit) * (long long)barTicks));
    }
    plan.format.ticks = std::uint8_t(ticks);

    // Which track plays each note: the first whose note it is.
    std::map<int, int> trackOf;
    const int existing = song.NumTracks();
    for (int j = existing - 1; j >= 0; --j) trackOf[MidiNoteOf(song, j)] = j;
    std::set<int> missing;
    for (const MidiFileNote* n : notes)
        if (!trackOf.count(n->key)) missing.insert(n->key);
    plan.unmapped.assign(missing.begin(), missing.end());
    int count = existing;
    if (addTracks)
        for (int key : plan.unmapped) {
            if (count >= kMaxTracks) break;
            trackOf[key] = count++;
            plan.added.push_back(DrumNoteName(key));
        }

    plan.tracks.assign(std::size_t(count), LoopTrack());
    for (LoopTrack& t : plan.tracks) t.SetNumTicks(plan.format.ticks);
    for (const MidiFileNote* n : notes) {
        const auto at = trackOf.find(n->key);
        if (at == trackOf.end()) {
            ++plan.unplayed;
            continue;
        }
        const long long tick = std::llround(double(n->tick) * tpb / double(file.ticksPerQuarter));
        if (tick >= ticks) {
            ++plan.pastEnd;
            continue;
        }
        LoopTrack& row = plan.tracks[std::size_t(at->second)];
        const auto i = std::uint8_t(tick);
        // Two notes on one tick: the louder stays.
        if (row.Value(i) && row.Velocity(i) >= n->velocity) {
            ++plan.placed;
            continue;
        }
        row.SetValue(i, true);
        row.SetVelocity(i, n->velocity);
        ++plan.placed;
    }
    return plan;
}

std::string MidiImportSummary(const MidiLoopImport& p, std::uint8_t k) {
    std::string text = "Imported " + Thousands((long long)p.placed) +
                       (p.placed == 1 ? " note" : " notes") + " into loop " + std::to_string(k) +
                       " (" + std::to_string(p.format.ticks) + " ticks)";
    std::vector<std::string> left;
    if (p.pastEnd) left.push_back(Thousands((long long)p.pastEnd) + " after the loop's end");
    if (p.otherChannel)
        left.push_back(Thousands((long long)p.otherChannel) + " on channels other than " +
                       std::to_string(p.channel));
    if (p.unplayed) {
        std::string keys;
        for (std::size_t i = p.added.size(); i < p.unmapped.size(); ++i) {
            const int key = p.unmapped[i];
            if (!keys.empty()) keys += ", ";
            keys += std::to_string(key) + " (" + DrumNoteName(key) + ")";
        }
        left.push_back(Thousands((long long)p.unplayed) + " of notes no track plays: " + keys);
    }
    if (!p.added.empty())
        text += "; added " + std::to_string(p.added.size()) +
                (p.added.size() == 1 ? " track" : " tracks") + " without a sound";
    for (std::size_t i = 0; i < left.size(); ++i)
        text += (i == 0 ? ". Left out: " : "; ") + left[i];
    return text + ".";
}
