// The groove edits through the engine: each changes the song and what is
// heard, comes back byte for byte with Undo, and a new loop length takes
// over at the end of the pass playing.
#include "common/engine_fixture.h"
#include "song/song_file.h"

namespace {

std::vector<bool> TicksOf(const LoopTrack& t) {
    std::vector<bool> v;
    for (int i = 0; i < t.NumTicks(); ++i) v.push_back(t.Value(std::uint8_t(i)));
    return v;
}

}  // namespace

TEST_F(EngineTest, ALoopsLengthIsAnEditAndTakesOverAtTheEndOfThePass) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const ByteArray original = Written(song);
    const std::vector<AudioSample> whole = ValuesOf(engine.LoopWav().get());
    const std::vector<bool> row1 = TicksOf(*song.LoopSlots()[0]->Track(1));
    engine.Play();
    for (int i = 0; i < 30; ++i) Advance(1000);

    // Twelve ticks of eighth triplets: a 3/4 bar at 120 bpm.
    engine.SetLoopFormat(0, {12, 3});
    EXPECT_EQ(engine.TicksPerLoop(), 12);
    EXPECT_EQ(song.LoopSlots()[0]->Track(1)->NumTicks(), 12) << "kept in the records too";
    const std::vector<AudioSample> waltz = ValuesOf(engine.LoopWav().get());
    EXPECT_EQ(waltz.size(), 2u * 88200) << "three beats at 120 bpm";
    EXPECT_EQ(waltz, RenderedApart(song, 0));
    EXPECT_EQ(engine.QueuedLoop(), 0);
    while (Played().size() < whole.size() + 2 * waltz.size() + 10) Advance(1000);
    const std::vector<AudioSample> played = Played();
    EXPECT_TRUE(Part(played, 0, whole.size()) == whole) << "the pass under way ends whole";
    EXPECT_TRUE(Part(played, whole.size(), waltz.size()) == waltz);
    EXPECT_TRUE(Part(played, whole.size() + waltz.size(), waltz.size()) == waltz);
    EXPECT_EQ(ErrorOf([&] { engine.SetTick(0, 1, 12, true); }), kErrSubscriptOutOfRange);
    engine.SetTick(0, 1, 11, true);
    engine.Stop();

    // Undone: the ticks past the shorter end come back.
    engine.Undo().Undo();
    engine.Undo().Undo();
    EXPECT_EQ(TicksOf(*song.LoopSlots()[0]->Track(1)), row1);
    EXPECT_EQ(Written(song), original);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), whole);
    EXPECT_FALSE(engine.IsModified());
    EXPECT_EQ(ErrorOf([&] { engine.SetLoopFormat(0, {65, 4}); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetLoopFormat(0, {16, 5}); }), kErrInvalidArgument);

    // A 64-tick phrase of sixteenths is saved and opened with its ticks.
    engine.SetLoopFormat(0, {64, 4});
    engine.SetTick(0, 0, 63, true);
    engine.SaveSong(Folder("long.loop"));
    engine.OpenSong(Folder("long.loop"));
    EXPECT_EQ(engine.FormatOf(0), (LoopFormat{64, 4}));
    EXPECT_TRUE(engine.GetSong()->LoopSlots()[0]->Track(0)->Value(63));
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()).size(), 2 * whole.size());

    // An arrangement's export takes each loop at its own length.
    engine.SetArrangement({{0, 1}, {1, 2}});
    engine.Export({.arrangement = true, .times = 2}, Folder("arranged.wav"));
    EXPECT_EQ(std::filesystem::file_size(Folder("arranged.wav")),
              44u + 2 * (2 * whole.size() + 2 * whole.size()) * 2)
        << "twice through: 64 ticks of loop 0, then two passes of loop 1's 32";
}

TEST_F(EngineTest, LoopsAndRowsAreCopiedPastedDuplicatedShiftedAndClearedUndoably) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const ByteArray original = Written(song);
    engine.SetLoopFormat(1, {24, 6});
    engine.SetVelocity(1, 0, 0, 40);
    const ByteArray shaped = Written(song);

    engine.CopyLoop(1);
    engine.PasteLoop(4);
    EXPECT_EQ(engine.FormatOf(4), (LoopFormat{24, 6}));
    for (int t = 0; t < song.NumTracks(); ++t)
        EXPECT_EQ(TicksOf(*song.LoopSlots()[4]->Track(t)), TicksOf(*song.LoopSlots()[1]->Track(t)));
    EXPECT_EQ(song.LoopSlots()[4]->Track(0)->Velocity(0), 40);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 1)) << "loop 4 sounds as 1";
    EXPECT_EQ(engine.SelectedLoop(), 4);

    // Duplicate goes into the next loop that holds no tick.
    const std::uint8_t copy = engine.DuplicateLoop(4);
    EXPECT_GT(copy, 4);
    EXPECT_EQ(engine.SelectedLoop(), copy);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 1));

    // A row: copied, pasted onto another track, shifted, and the loop cleared.
    engine.CopyRow(1, 0);
    engine.PasteRow(4, 3);
    EXPECT_EQ(TicksOf(*song.LoopSlots()[4]->Track(3)), TicksOf(*song.LoopSlots()[1]->Track(0)));
    std::vector<bool> before = TicksOf(*song.LoopSlots()[4]->Track(3));
    engine.ShiftRow(4, 3, 1);
    std::vector<bool> after = TicksOf(*song.LoopSlots()[4]->Track(3));
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[(i + 1) % before.size()], before[i]) << i;
    EXPECT_EQ(song.LoopSlots()[4]->Track(3)->Velocity(1), 40) << "the velocity moves with it";
    engine.ShiftRow(4, 3, -1);
    EXPECT_EQ(TicksOf(*song.LoopSlots()[4]->Track(3)), before);
    engine.ClearLoop(4);
    for (const auto& t : song.LoopSlots()[4]->Tracks()) EXPECT_FALSE(t->HasVelocities());
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()),
              std::vector<AudioSample>(ValuesOf(engine.LoopWav().get()).size(), 0));
    EXPECT_EQ(engine.FormatOf(4), (LoopFormat{24, 6})) << "cleared, its length stays";

    while (engine.Undo().UndoText() != "Velocity") engine.Undo().Undo();
    EXPECT_EQ(Written(song), shaped) << "every paste, shift and clear undone";
    while (engine.Undo().CanUndo()) engine.Undo().Undo();
    EXPECT_EQ(Written(song), original);

    // Into another song of fewer tracks: what it cannot hold is said.
    engine.CopyLoop(0);
    const std::vector<bool> first = TicksOf(*song.LoopSlots()[0]->Track(0));
    engine.StartEmpty();
    const std::string notice = engine.PasteLoop(0);
    EXPECT_NE(notice.find("of the copied loop"), std::string::npos) << notice;
    EXPECT_NE(notice.find("left out: this song has 1 track"), std::string::npos) << notice;
    EXPECT_EQ(TicksOf(*engine.GetSong()->LoopSlots()[0]->Track(0)), first);
    engine.Undo().Undo();
    EXPECT_FALSE(engine.IsModified());
}

TEST_F(EngineTest, TrackSoundsMasterLevelAndHumanizeAreEditsKeptInTheSong) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const ByteArray original = Written(song);
    const std::vector<AudioSample> plain = ValuesOf(engine.LoopWav().get());

    const TrackSound open{.pan = -30, .pitch = 250, .start = 10, .reverse = false, .choke = 1};
    engine.SetTrackSound(2, open);
    engine.SetTrackSound(3, TrackSound{.choke = 1});
    engine.SetMasterLevel(-300);
    engine.SetHumanize({.timing = 8, .velocity = 12, .seed = 99});
    EXPECT_EQ(song.SampleSlots()[2]->Sound(), open);
    const std::vector<AudioSample> shaped = ValuesOf(engine.LoopWav().get());
    EXPECT_NE(shaped, plain);
    EXPECT_EQ(shaped, RenderedApart(song, 0));
    EXPECT_EQ(ErrorOf([&] { engine.SetTrackSound(0, {.pan = 101}); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetTrackSound(0, {.choke = 9}); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetTrackSound(0, {.start = 9, .end = 3}); }),
              kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetHumanize({.timing = 21}); }), kErrInvalidArgument);

    // Saved and opened again, it sounds the same.
    engine.SaveSong(Folder("shaped.loop"));
    engine.OpenSong(Folder("shaped.loop"));
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), shaped);
    engine.OpenSong(Folder("DuvoDodiz.loop"));

    // And each one undone, in turn.
    Engine& again = OpenDefaultSong();
    again.SetTrackSound(2, open);
    again.SetMasterLevel(-300);
    again.SetMasterLevel(-400);  // a spin box stepped twice: one edit
    EXPECT_EQ(again.Undo().UndoText(), "Master Level");
    again.Undo().Undo();
    EXPECT_EQ(again.GetSong()->MasterLevel(), 0);
    again.Undo().Undo();
    EXPECT_EQ(Written(*again.GetSong()), original);
    EXPECT_EQ(ValuesOf(again.LoopWav().get()), plain) << "bit for bit as before";

    // An export counts what it clipped, pass by pass.
    again.Export({.loop = 0, .times = 3}, Folder("plain.wav"));
    EXPECT_EQ(again.ExportClipped(), 0u);
    again.SetMasterLevel(1200);
    EXPECT_GT(again.LoopLevel(0).clipped, 0);
    again.Export({.loop = 0, .times = 3}, Folder("loud.wav"));
    EXPECT_EQ(again.ExportClipped(), 3u * std::uint64_t(again.LoopLevel(0).clipped));
}
