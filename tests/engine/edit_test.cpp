// Every edit through the engine and back with undo: the song changes, the
// loop shown is rendered from the song (and equals a rendering made apart),
// undo and redo give back the song as it was, byte for byte, and whether
// the song is modified follows.
#include "common/engine_fixture.h"

TEST_F(EngineTest, TicksAreEditsRenderedFromTheSongAndUndone) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const ByteArray original = Written(song);
    EXPECT_FALSE(engine.IsModified());
    const bool was = song.LoopSlots()[0]->Track(2)->Value(5);
    engine.SetTick(0, 2, 5, !was);
    EXPECT_EQ(song.LoopSlots()[0]->Track(2)->Value(5), !was);
    EXPECT_TRUE(engine.IsModified());
    EXPECT_EQ(engine.Undo().UndoText(), was ? "Tick Off" : "Tick On");
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 0));
    EXPECT_EQ(engine.LoopWav().get(), song.LoopSlots()[0]->Wav().get());
    engine.SetTick(0, 2, 5, !was);  // the state it has: no edit
    EXPECT_EQ(engine.Undo().Count(), 1u);
    // A tick of another loop, undone while loop 0 is shown, shows its loop.
    engine.SelectLoop(3);
    engine.SetTick(3, 0, 1, !song.LoopSlots()[3]->Track(0)->Value(1));
    engine.SelectLoop(0);
    engine.Undo().Undo();
    EXPECT_EQ(engine.SelectedLoop(), 3);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 3));
    engine.Undo().Undo();
    EXPECT_EQ(Written(song), original);
    EXPECT_FALSE(engine.IsModified()) << "back to what the file holds";
    // Ticks the song cannot hold are refused, and nothing changes.
    EXPECT_EQ(ErrorOf([&] { engine.SetTick(0, 10, 0, true); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { engine.SetTick(0, 0, 32, true); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { engine.SetTick(9, 0, 0, true); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(Written(song), original);
    EXPECT_FALSE(engine.Undo().CanUndo());
}

TEST_F(EngineTest, SoundsTracksAndKitsAreEditsEveryLoopFollows) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const ByteArray original = Written(song);
    const ComPtr<IWav> click = MakeSignal(300, 2, [](LONG i) { return AudioSample(9000 - i); });

    // A new sound on track 0: the loop shown is heard with it at once;
    // other loops are rendered with it when they are shown.
    engine.SelectLoop(2);
    engine.SelectLoop(0);
    engine.SetSample(0, click, u"Click");
    EXPECT_EQ(song.SampleSlots()[0]->Caption(), u"Click");
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 0));
    engine.SelectLoop(2);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 2));
    engine.RenameTrack(0, u"Tock");
    EXPECT_EQ(engine.Undo().UndoText(), "Rename Track");

    // Tracks added and removed: every loop has one track per track.
    engine.AddTrack();
    EXPECT_EQ(engine.NumTracks(), 11);
    for (const auto& loop : song.LoopSlots())
        if (loop) {
            EXPECT_EQ(loop->Tracks().size(), 11u);
        }
    engine.SetTick(2, 10, 4, true);
    engine.RemoveTrack(1);
    EXPECT_EQ(engine.NumTracks(), 10);
    EXPECT_TRUE(song.LoopSlots()[2]->Track(9)->Value(4)) << "the tracks above move down";
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 2));

    // A kit's sounds replace the first tracks' sounds, the loops stay.
    const ByteArray beforeKit = Written(song);
    std::vector<ImportedAudio> kit(3);
    for (int i = 0; i < 3; ++i)
        kit[std::size_t(i)] = {MakeSignal(100 + i, 2, [](LONG) { return AudioSample(500); }),
                               u"Kit " + std::u16string(1, char16_t(u'A' + i))};
    engine.ImportDrumKit(kit);
    EXPECT_EQ(song.SampleSlots()[2]->Caption(), u"Kit C");
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 2));
    engine.Undo().Undo();
    EXPECT_EQ(Written(song), beforeKit);
    engine.Undo().Redo();
    EXPECT_EQ(song.SampleSlots()[0]->Caption(), u"Kit A");

    // Everything undone: the song as it was opened.
    while (engine.Undo().CanUndo()) engine.Undo().Undo();
    EXPECT_EQ(Written(song), original);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, engine.SelectedLoop()));
    // The last track stays; 64 is the most.
    while (engine.NumTracks() < Engine::kMaxTracks) engine.AddTrack();
    EXPECT_EQ(ErrorOf([&] { engine.AddTrack(); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.RemoveTrack(64); }), kErrSubscriptOutOfRange);
}

TEST_F(EngineTest, NewTempoSwingMixAndArrangementAreEditsAndAreHeard) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const ByteArray original = Written(song);
    const std::string path = engine.FilePath();

    // New empties the loops and keeps the sounds and the tempo; undone,
    // the loops and the file come back.
    engine.SelectLoop(4);
    engine.New();
    EXPECT_EQ(engine.FilePath(), "");
    EXPECT_EQ(engine.SelectedLoop(), 0);
    EXPECT_EQ(song.NumTracks(), 10);
    for (auto s : ValuesOf(engine.LoopWav().get())) ASSERT_EQ(s, 0);
    engine.Undo().Undo();
    EXPECT_EQ(engine.FilePath(), path);
    EXPECT_EQ(engine.SelectedLoop(), 4);
    EXPECT_EQ(Written(song), original);

    // The tempo boxes' steps are one edit; the buffer follows the tempo.
    engine.SetTempo(100);
    engine.SetTempo(100.1);
    engine.SetTempo(999);  // clamped to 300
    EXPECT_EQ(song.Bpm(), 300 * 10000);
    EXPECT_EQ(FramesOf(engine.LoopWav().get()), 70560);
    engine.Undo().Undo();
    EXPECT_EQ(song.Bpm(), 120 * 10000);
    EXPECT_EQ(FramesOf(engine.LoopWav().get()), 176400);

    // Swing and every track's mix are heard in the loop shown.
    engine.SetSwing(30);
    EXPECT_EQ(song.Swing(), 3000);
    engine.SetTrackVolume(0, 50);
    engine.SetTrackMute(1, true);
    engine.SetTrackSolo(2, true);
    EXPECT_EQ(song.SampleSlots()[0]->Mix().volume, 50);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 4));
    engine.SetTrackSolo(2, false);
    engine.SetTrackVolume(0, 60);
    engine.SetTrackVolume(0, 70);  // one edit with the step before
    EXPECT_EQ(engine.Undo().UndoText(), "Volume");
    engine.SetArrangement({{1, 2}, {0, 1}});
    EXPECT_EQ(song.Arrangement().size(), 2u);
    while (engine.Undo().CanUndo()) engine.Undo().Undo();
    EXPECT_EQ(Written(song), original);
    EXPECT_EQ(song.Swing(), 0);
    EXPECT_TRUE(song.Arrangement().empty());
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(song, 4));
    EXPECT_FALSE(engine.IsModified());
}
