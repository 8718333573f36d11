// MIDI files out and in through the engine: an exported loop checked
// against the file layout by a reader of the test's own, imported back tick
// for tick; swing and humanize as heard; an import's grid, length, channel
// and tracks added for notes no track plays, all one undoable edit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>

#include "common/engine_fixture.h"
#include "exchange/midi_export.h"
#include "exchange/midi_import.h"

namespace {

// A Standard MIDI File as its layout says, read without the program's reader.
struct SmfEvent {
    std::uint64_t tick;
    std::vector<std::uint8_t> bytes;
};
struct Smf {
    int format = -1, tracks = -1, division = -1;
    std::vector<std::vector<SmfEvent>> events;
};

Smf ReadSmf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), {});
    Smf smf;
    auto be = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | b.at(at + i);
        return v;
    };
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "MThd");
    EXPECT_EQ(be(4, 4), 6u);
    smf.format = int(be(8, 2));
    smf.tracks = int(be(10, 2));
    smf.division = int(be(12, 2));
    std::size_t at = 14;
    while (at < b.size()) {
        EXPECT_EQ(std::string(b.begin() + long(at), b.begin() + long(at) + 4), "MTrk");
        const std::size_t end = at + 8 + be(at + 4, 4);
        at += 8;
        std::vector<SmfEvent> track;
        std::uint64_t tick = 0;
        while (at < end) {
            std::uint32_t delta = 0;
            do delta = delta << 7 | (b.at(at) & 0x7F);
            while (b.at(at++) & 0x80);
            tick += delta;
            const std::uint8_t status = b.at(at);
            std::size_t n = status == 0xFF ? 3 + b.at(at + 2) : (status & 0xF0) == 0xC0 ? 2 : 3;
            track.push_back(
                {tick, std::vector<std::uint8_t>(b.begin() + long(at), b.begin() + long(at + n))});
            at += n;
        }
        EXPECT_EQ(at, end);
        // Every track ends with an end of track.
        EXPECT_EQ(track.back().bytes, (std::vector<std::uint8_t>{0xFF, 0x2F, 0x00}));
        smf.events.push_back(std::move(track));
    }
    return smf;
}

// The note ons of a track: tick -> (key, velocity), in order.
std::vector<std::tuple<std::uint64_t, int, int>> NoteOns(const std::vector<SmfEvent>& track) {
    std::vector<std::tuple<std::uint64_t, int, int>> ons;
    for (const SmfEvent& e : track)
        if (e.bytes[0] == 0x99) ons.emplace_back(e.tick, e.bytes[1], e.bytes[2]);
    return ons;
}

class MidiExchange : public EngineTest {
  protected:
    // What the song's loop k holds: (track, tick) -> velocity.
    std::map<std::pair<int, int>, int> Hits(std::uint8_t k) {
        std::map<std::pair<int, int>, int> hits;
        const auto& loop = *engine_->GetSong()->Sequence(k);
        for (int j = 0; j < int(loop.Tracks().size()); ++j)
            for (int i = 0; i < loop.Format().ticks; ++i)
                if (loop.Tracks()[std::size_t(j)]->Value(std::uint8_t(i)))
                    hits[{j, i}] = loop.Tracks()[std::size_t(j)]->Velocity(std::uint8_t(i));
        return hits;
    }
};

}  // namespace

TEST_F(MidiExchange, AnExportedLoopFollowsTheLayoutAndComesBackTickForTickAndVelocityForVelocity) {
    Engine& e = OpenDefaultSong();
    e.SetVelocity(0, 0, 0, 45);
    e.SetVelocity(0, 1, 4, 101);
    const auto hits = Hits(0);
    ASSERT_GT(hits.size(), 10u);
    ExportChoice choice;
    choice.format = ExportChoice::Format::kMidi;
    choice.times = 2;
    const std::string out = Folder("groove.mid");
    ASSERT_TRUE(e.Export(choice, out));

    const Smf smf = ReadSmf(out);
    EXPECT_EQ(smf.format, 1);
    EXPECT_EQ(smf.tracks, 2);
    EXPECT_EQ(smf.division, 480);
    ASSERT_EQ(smf.events.size(), 2u);
    // The tempo track: the song's tempo in microseconds a quarter, and 4/4
    // for 32 sixteenths (two bars).
    const double bpm = double(e.GetSong()->Bpm()) / 10000.0;
    bool tempo = false, meter = false;
    for (const SmfEvent& ev : smf.events[0]) {
        if (ev.bytes[1] == 0x51)
            tempo = (ev.bytes[3] << 16 | ev.bytes[4] << 8 | ev.bytes[5]) ==
                    int(std::lround(60e6 / bpm));
        if (ev.bytes[1] == 0x58) meter = ev.bytes[3] == 8 && ev.bytes[4] == 2;
    }
    EXPECT_TRUE(tempo);
    EXPECT_TRUE(meter);
    // Every hit twice (two passes of 32 x 120 ticks), on channel 10, at its
    // track's note and velocity, each a tick long.
    std::vector<std::tuple<std::uint64_t, int, int>> expected;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 32; ++i)
            for (const auto& [at, velocity] : hits)
                if (at.second == i)
                    expected.emplace_back(pass * 3840 + i * 120, MidiNoteOf(*e.GetSong(), at.first),
                                          velocity);
    EXPECT_EQ(NoteOns(smf.events[1]), expected);
    for (const SmfEvent& ev : smf.events[1])
        if (ev.bytes[0] == 0x89) {
            EXPECT_TRUE(std::count_if(expected.begin(), expected.end(), [&](const auto& on) {
                return std::get<0>(on) + 1 == ev.tick && std::get<1>(on) == ev.bytes[1];
            }));
        }
    EXPECT_EQ(smf.events[1].back().tick, 2 * 3840u);

    // Read back into another loop: the same hits, one edit.
    const auto before = Hits(6);
    const MidiFileContent file = ReadMidiFile(out);
    EXPECT_TRUE(e.UnplayedMidiNotes(6, file, "groove.mid").empty());
    const std::string said = e.ImportMidi(6, file, "groove.mid", false);
    // Two passes are four bars: the loop holds 64 ticks, both passes.
    EXPECT_EQ(e.FormatOf(6).ticks, 64);
    for (const auto& [at, velocity] : hits) {
        EXPECT_EQ(Hits(6)[at], velocity);
        EXPECT_EQ(Hits(6)[std::make_pair(at.first, at.second + 32)], velocity);
    }
    EXPECT_EQ(Hits(6).size(), 2 * hits.size());
    EXPECT_NE(
        said.find("Imported " + std::to_string(2 * hits.size()) + " notes into loop 6 (64 ticks)"),
        std::string::npos)
        << said;
    e.Undo().Undo();
    EXPECT_EQ(Hits(6), before);
}

TEST_F(MidiExchange, SwingAndHumanizeMoveTheNotesAsTheyAreHeardAndMutedTracksAreLeftOut) {
    Engine& e = OpenDefaultSong();
    e.SetSwing(25);
    e.SetTrackMute(1, true);
    ExportChoice choice;
    choice.format = ExportChoice::Format::kMidi;
    const std::string out = Folder("swung.mid");
    ASSERT_TRUE(e.Export(choice, out));
    const int mutedNote = MidiNoteOf(*e.GetSong(), 1);
    std::size_t count = 0;
    for (const auto& [tick, key, velocity] : NoteOns(ReadSmf(out).events[1])) {
        // An odd sixteenth is late by a quarter of a sixteenth: 30 ticks.
        EXPECT_TRUE(tick % 120 == 0 || tick % 120 == 30) << tick;
        if (tick % 120 == 30) {
            EXPECT_EQ(tick / 120 % 2, 1u);
        }
        EXPECT_NE(key, mutedNote);
        ++count;
    }
    EXPECT_GT(count, 0u);

    // Humanize: each note within its reach, the same at every export.
    e.SetSwing(0);
    Humanize h;
    h.timing = 10;
    h.velocity = 20;
    h.seed = 7;
    e.SetHumanize(h);
    ASSERT_TRUE(e.Export(choice, out));
    const auto first = NoteOns(ReadSmf(out).events[1]);
    ASSERT_TRUE(e.Export(choice, Folder("again.mid")));
    EXPECT_EQ(NoteOns(ReadSmf(Folder("again.mid")).events[1]), first);
    const double reach = 10 / 1000.0 * double(e.GetSong()->Bpm()) / 10000.0 / 60.0 * 480;
    int moved = 0;
    for (const auto& [tick, key, velocity] : first) {
        const long off = long(tick % 120) > 60 ? long(tick % 120) - 120 : long(tick % 120);
        EXPECT_LE(std::abs(off), std::lround(reach)) << tick;
        moved += off != 0;
    }
    EXPECT_GT(moved, int(first.size()) / 2);
}

TEST_F(MidiExchange, AnImportFollowsTheGridTheBarsAndTheDrumChannelAndAddsTracksForUnplayedNotes) {
    Engine& e = OpenDefaultSong();
    const LONG tracks = e.NumTracks();
    MidiFileContent file;
    file.ticksPerQuarter = 96;
    file.beatsPerBar = 3;  // 3/4: 12 sixteenths a bar
    const int snare = MidiNoteOf(*e.GetSong(), 1);
    file.notes = {{0, 9, std::uint8_t(MidiNoteOf(*e.GetSong(), 0)), 100},
                  {22, 9, 60, 70},                     // nearest sixteenth: 1
                  {100, 9, std::uint8_t(snare), 50},   // 4.17: 4
                  {100, 9, std::uint8_t(snare), 90},   // the same tick: the louder stays
                  {120, 0, std::uint8_t(snare), 127},  // channel 1: not the drums
                  {5 * 288 + 10, 9, 61, 80}};          // the sixth bar: past 60 ticks
    EXPECT_EQ(e.UnplayedMidiNotes(3, file, "in.mid"), (std::vector<int>{60, 61}));
    const auto before = Hits(3);
    const std::string said = e.ImportMidi(3, file, "in.mid", true);
    // Five whole bars of 3/4 are as many as 64 ticks hold.
    EXPECT_EQ(e.FormatOf(3).ticks, 60);
    EXPECT_EQ(e.NumTracks(), tracks + 2);
    EXPECT_EQ(e.GetSong()->SampleAt(tracks)->Caption(), u"Hi Bongo");
    EXPECT_EQ(e.GetSong()->SampleAt(tracks)->MidiNote(), 60);
    EXPECT_EQ(e.GetSong()->SampleAt(tracks + 1)->Caption(), u"Low Bongo");
    const auto hits = Hits(3);
    EXPECT_EQ(hits, (std::map<std::pair<int, int>, int>{
                        {{0, 0}, 100}, {{int(tracks), 1}, 70}, {{1, 4}, 90}}));
    EXPECT_NE(said.find("added 2 tracks without a sound"), std::string::npos) << said;
    EXPECT_NE(said.find("1 after the loop's end"), std::string::npos) << said;
    EXPECT_NE(said.find("1 on channels other than 10"), std::string::npos) << said;

    // One edit: Undo takes the tracks and the loop back.
    e.Undo().Undo();
    EXPECT_EQ(e.NumTracks(), tracks);
    EXPECT_EQ(Hits(3), before);
    e.Undo().Redo();
    EXPECT_EQ(e.NumTracks(), tracks + 2);
    EXPECT_EQ(Hits(3), hits);
    e.Undo().Undo();

    // Without adding, the unplayed notes are named and left out.
    const std::string left = e.ImportMidi(3, file, "in.mid", false);
    EXPECT_EQ(e.NumTracks(), tracks);
    EXPECT_NE(left.find("2 of notes no track plays: 60 (Hi Bongo), 61 (Low Bongo)"),
              std::string::npos)
        << left;
    // A file of no note is refused, the song untouched.
    EXPECT_EQ(ErrorOf([&] { e.ImportMidi(3, MidiFileContent{}, "empty.mid", false); }),
              kErrInvalidArgument);
}
