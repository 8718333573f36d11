// The File menu: New, Open, Save and Save As.
#include <thread>

#include "common/song_fixture.h"
#include "common/ui_fixture.h"
#include "song/song_file.h"

TEST_F(MainWindow, NewClearsTheLoopsAndKeepsSamplesAndTempo) {
    UseDefaultSong();
    MainForm& form = Start();
    Press(Qt::Key_7, Qt::KeypadModifier);  // makes loop 7: a change
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    form.NewCommand()->trigger();
    EXPECT_EQ(prompts_->asked, std::vector<std::string>{"Save changes to \u201CUntitled\u201D?"});
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(form.FilePath(), "");
    EXPECT_EQ(form.windowTitle(), "Trellon 0");
    EXPECT_TRUE(form.SaveCommand()->isEnabled());
    Song& song = *form.GetSong();
    EXPECT_EQ(song.Bpm(), 120 * 10000);
    EXPECT_EQ(song.SampleAt(0)->Caption(), u"Kick");
    for (std::size_t i = 1; i < song.LoopSlots().size(); ++i)
        EXPECT_EQ(song.LoopSlots()[i], nullptr);
    for (LONG r = 0; r < form.NumTracks(); ++r)
        for (LONG t = 0; t < 32; ++t) ASSERT_FALSE(form.Row(r)->Value(t));
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 176400);
    for (AudioSample s : ValuesOf(form.LoopWav().get())) ASSERT_EQ(s, 0);
}

TEST_F(MainWindow, SaveWritesTheOpenedFileWithTheRowsAsShown) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());  // the song itself, not as a template
    Press(Qt::Key_1, Qt::KeypadModifier);
    const bool before = form.Row(4)->Value(9);
    ClickTick(4, 9);
    form.SaveCommand()->trigger();
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(dialogs_->shown.empty());
    auto saved = ReadSongFile(SongPath());
    EXPECT_EQ(saved->Sequence(1)->Track(4)->Value(9), !before);
    // The other loops as the song holds them, the samples with their audio.
    auto original = ReadSongFile(DEFAULT_SONG_PATH);
    for (int l = 0; l < 6; ++l) {
        if (l == 1) continue;
        for (int t = 0; t < 10; ++t)
            EXPECT_EQ(saved->Sequence(l)->Track(t)->TickBytes(),
                      original->Sequence(l)->Track(t)->TickBytes());
    }
    EXPECT_EQ(ValuesOf(saved->SampleAt(3)->Wav().get()),
              ValuesOf(original->SampleAt(3)->Wav().get()));
    EXPECT_EQ(saved->Bpm(), 120 * 10000);
}

TEST_F(MainWindow, TheTemplateAndANewSongAreSavedWhereTheUserSaysAndSaveAsMovesTheSong) {
    UseDefaultSong();
    MainForm& form = Start();
    const std::string bundled = ReadText(SongPath());
    // Save on the bundled template asks where, starting in the last folder.
    ClickTick(0, 1);
    form.SaveCommand()->trigger();
    ASSERT_EQ(dialogs_->shown, std::vector<std::string>{"save loop Loop"});
    EXPECT_EQ(ReadText(SongPath()), bundled) << "cancelled: nothing written";
    const std::string mine = Folder("mine.loop");
    dialogs_->answers = {mine};
    form.SaveCommand()->trigger();
    EXPECT_EQ(ReadText(SongPath()), bundled) << "never the program's folder";
    EXPECT_EQ(form.FilePath(), mine);
    EXPECT_FALSE(form.IsModified());
    EXPECT_EQ(form.DocumentLabel()->text(), "mine.loop");
    EXPECT_EQ(ReadSongFile(mine)->Sequence(0)->Track(0)->Value(1), form.Row(0)->Value(1));
    // Now Save writes there without asking.
    ClickTick(0, 2);
    EXPECT_EQ(form.ModifiedLabel()->text(), "Modified");
    form.SaveCommand()->trigger();
    EXPECT_EQ(dialogs_->shown.size(), 2u);
    EXPECT_EQ(ReadSongFile(mine)->Sequence(0)->Track(0)->Value(2), form.Row(0)->Value(2));

    // Save As moves the song to the new file, proposing the current one.
    const std::string other = Folder("other.loop");
    dialogs_->answers = {other};
    ClickTick(0, 3);
    form.SaveAsCommand()->trigger();
    EXPECT_EQ(dialogs_->proposed.back(), mine);
    EXPECT_EQ(form.FilePath(), other);
    ClickTick(0, 4);
    form.SaveCommand()->trigger();
    EXPECT_EQ(dialogs_->shown.size(), 3u);
    EXPECT_EQ(ReadSongFile(other)->Sequence(0)->Track(0)->Value(4), form.Row(0)->Value(4));
    EXPECT_NE(ReadSongFile(mine)->Sequence(0)->Track(0)->Value(4), form.Row(0)->Value(4));

    // After New, Save asks again, in the song's folder; cancelling writes nothing.
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    form.NewCommand()->trigger();
    EXPECT_TRUE(prompts_->asked.empty()) << "nothing to lose after a save";
    EXPECT_EQ(form.FilePath(), "");
    const std::string before = ReadText(other);
    form.SaveCommand()->trigger();
    EXPECT_EQ(dialogs_->shown.size(), 4u);
    EXPECT_EQ(dialogs_->proposed.back(), folder_->path());
    EXPECT_EQ(ReadText(other), before);
    const std::string fresh = Folder("fresh.loop");
    dialogs_->answers = {fresh};
    form.SaveCommand()->trigger();
    auto freshSong = ReadSongFile(fresh);
    EXPECT_EQ(std::count_if(freshSong->LoopSlots().begin(), freshSong->LoopSlots().end(),
                            [](const auto& l) { return l != nullptr; }),
              1);
    EXPECT_EQ(form.FilePath(), fresh);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, SavingWhilePlayingPausesAndGoesOn) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    Advance(1000);
    form.SaveAsCommand()->trigger();  // cancelled
    Advance(1000);
    EXPECT_TRUE(Streaming());
    EXPECT_TRUE(Device().Buffer()->IsPlaying());
    form.SaveCommand()->trigger();
    Advance(1000);
    EXPECT_TRUE(Streaming());
    EXPECT_TRUE(Device().Buffer()->IsPlaying());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, OpenReplacesTheSongAndAFailedOpenChangesNothing) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    // A cancelled dialog only stops playback.
    auto song = form.GetSong();
    form.OpenCommand()->trigger();
    EXPECT_EQ(dialogs_->shown, std::vector<std::string>{"open loop h2song Songs"});
    EXPECT_FALSE(Streaming());
    EXPECT_EQ(form.PlayButton()->text(), "Play");
    EXPECT_EQ(form.GetSong(), song);

    // Files that are not songs are reported and change nothing.
    Press(Qt::Key_1, Qt::KeypadModifier);
    const std::string bad = Folder("bad.loop");
    WriteText(bad, std::string("\x02\x01\x40\x0d\x03\x00", 6));
    dialogs_->answers = {bad, Folder("missing.loop")};
    form.OpenCommand()->trigger();
    Finish();
    form.OpenCommand()->trigger();
    Finish();
    ASSERT_EQ(errors_.size(), 2u);
    EXPECT_EQ(errors_[0],
              "\u201Cbad.loop\u201D is cut short: expected 4 more bytes of the song header");
    EXPECT_NE(errors_[1].find("missing.loop"), std::string::npos) << errors_[1];
    EXPECT_EQ(form.GetSong(), song);
    EXPECT_EQ(form.FilePath(), "");
    EXPECT_EQ(form.windowTitle(), "Trellon 1");
    EXPECT_FALSE(form.IsFillingRows());
    ClickTick(0, 0);
    EXPECT_EQ(song->Sequence(1)->Track(0)->Value(0), form.Row(0)->Value(0));

    // A good file becomes the song, with loop 0 shown and Save writing to it.
    const std::string copy = Folder("copy.loop");
    std::filesystem::copy_file(DEFAULT_SONG_PATH, copy);
    dialogs_->answers = {copy};
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    form.OpenCommand()->trigger();
    Finish();
    EXPECT_NE(form.GetSong(), song);
    EXPECT_FALSE(form.IsModified());
    EXPECT_EQ(form.FilePath(), copy);
    EXPECT_EQ(form.windowTitle(), "Trellon 0");
    EXPECT_EQ(ValuesOf(form.LoopWav().get()), ValuesOf(RenderedLoop(*form.GetSong(), 0).get()));
    EXPECT_EQ(errors_.size(), 2u);
}

TEST_F(MainWindow, AFailedSaveIsReportedAndKeepsTheFile) {
    UseDefaultSong();
    std::filesystem::create_directory(Folder("songs"));
    const std::string path = Folder("songs/mine.loop");
    std::filesystem::copy_file(DEFAULT_SONG_PATH, path);
    MainForm& form = Start();
    form.OpenSongFile(path);
    // The folder goes away: Save cannot create its file.
    std::filesystem::remove_all(Folder("songs"));
    form.SaveCommand()->trigger();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("mine.loop"), std::string::npos) << errors_[0];
    EXPECT_EQ(form.FilePath(), path);
}

TEST_F(MainWindow, SaveAsksBeforeOverwritingAFileChangedOnDiskAndASecondWindowIsTold) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    ClickTick(0, 1);
    // Another program writes the song's file meanwhile.
    Song other;
    other.SetBpm(990000);
    AddTracks(*other.Sequence(0), 2, 32);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WriteSong(other, SongPath());
    const std::string theirs = ReadText(SongPath());
    // Cancel: nothing written. Save As: written where the user says.
    prompts_->overwriteAnswers = {OverwriteChoice::kCancel, OverwriteChoice::kSaveAs,
                                  OverwriteChoice::kOverwrite};
    form.SaveCommand()->trigger();
    EXPECT_EQ(ReadText(SongPath()), theirs);
    EXPECT_EQ(prompts_->asked.back(), "\u201CDuvoDodiz.loop\u201D has changed on disk");
    dialogs_->answers = {Folder("mine.loop")};
    form.SaveCommand()->trigger();
    EXPECT_EQ(ReadText(SongPath()), theirs);
    EXPECT_EQ(form.FilePath(), Folder("mine.loop"));
    EXPECT_FALSE(form.IsModified());
    // A second window on the same song is told before it opens it.
    Engine second;
    second.SetOpenMarks(Folder("state"));
    EXPECT_TRUE(second.OpenElsewhere(Folder("mine.loop")));
    EXPECT_FALSE(second.OpenElsewhere(SongPath()));
    EXPECT_TRUE(errors_.empty());
}
