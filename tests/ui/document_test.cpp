// The song as a document: the question before it is discarded, undo and
// redo, recent files, the song named at start-up, and recovery.
#include "common/song_fixture.h"
#include "common/ui_fixture.h"
#include "song/song_file.h"

namespace {

enum class Way { kNew, kOpen, kExit, kClose };

// A copy of the default song in a folder of its own, which a test may take
// away to make saving fail.
std::string SongIn(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/mine.loop";
    std::filesystem::copy_file(DEFAULT_SONG_PATH, path,
                               std::filesystem::copy_options::overwrite_existing);
    return path;
}

// The autosave of the one session keeping a song in folder; "" for none.
std::string KeptIn(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".loop") return e.path().string();
    return "";
}

bool Tick(const std::string& path, int track, int tick) {
    return ReadSongFile(path)->Sequence(0)->Track(track)->Value(std::uint8_t(tick));
}

}  // namespace

TEST_F(MainWindow, EveryWayToDiscardAModifiedSongAsksFirst) {
    UseDefaultSong();
    const std::string other = SongIn(Folder("other"));
    for (Way command : {Way::kNew, Way::kOpen, Way::kExit, Way::kClose}) {
        for (int answer = 0; answer < 4; ++answer) {  // Save, Discard, Cancel, Save that fails
            SCOPED_TRACE("command " + std::to_string(int(command)) + ", answer " +
                         std::to_string(answer));
            const std::string path = SongIn(Folder("songs"));
            MainForm& form = Start(path);
            const bool was = form.Row(2)->Value(5);
            ClickTick(2, 5);
            ASSERT_TRUE(form.IsModified());
            prompts_->saveAnswers = {answer == 1   ? SaveChoice::kDiscard
                                     : answer == 2 ? SaveChoice::kCancel
                                                   : SaveChoice::kSave};
            if (answer == 3) std::filesystem::remove_all(Folder("songs"));
            dialogs_->answers = {other};
            errors_.clear();
            switch (command) {
                case Way::kNew:
                    form.NewCommand()->trigger();
                    break;
                case Way::kOpen:
                    form.OpenCommand()->trigger();
                    break;
                case Way::kExit:
                    form.ExitCommand()->trigger();
                    break;
                case Way::kClose:
                    form.close();  // as the window manager's close request does
                    break;
            }
            Finish();
            EXPECT_EQ(prompts_->asked,
                      std::vector<std::string>{"Save changes to \u201Cmine.loop\u201D?"});
            const bool went = answer == 0 || answer == 1;  // the command went through
            if (answer == 0) {
                EXPECT_EQ(Tick(path, 2, 5), !was) << "saved first";
            } else if (answer == 1) {
                EXPECT_EQ(Tick(path, 2, 5), was) << "discarded";
            } else if (answer == 3) {
                EXPECT_EQ(errors_.size(), 1u) << "the failed save is reported";
            }
            if (!went) {
                // Nothing is lost: the same song, still modified, still shown.
                EXPECT_TRUE(form.IsModified());
                EXPECT_EQ(form.Row(2)->Value(5), !was);
                EXPECT_EQ(form.FilePath(), path);
                EXPECT_TRUE(form.isVisible());
                EXPECT_EQ(dialogs_->shown.size(), 0u);
            } else if (command == Way::kNew) {
                EXPECT_EQ(form.FilePath(), "");
                EXPECT_FALSE(form.Row(2)->Value(5));
            } else if (command == Way::kOpen) {
                EXPECT_EQ(form.FilePath(), other);
            } else {
                EXPECT_FALSE(form.isVisible());
            }
            form_.reset();
        }
    }
}

TEST_F(MainWindow, UndoAndRedoFromTheMenuAndKeysAndTheRowsFollow) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    auto song = form.GetSong();
    const auto original = Written(*song);
    auto heard = [&] { return ValuesOf(form.LoopWav().get()); };
    auto rendered = [&](int loop) { return ValuesOf(RenderedLoop(*form.GetSong(), loop).get()); };
    EXPECT_FALSE(form.UndoCommand()->isEnabled());

    // Two clicks, then undo both with the keys.
    const bool a = form.Row(1)->Value(3), b = form.Row(4)->Value(30);
    ClickTick(1, 3);
    ClickTick(4, 30);
    EXPECT_EQ(form.UndoCommand()->text(), "&Undo Tick " + QString(b ? "Off" : "On"));
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form.Row(4)->Value(30), b);
    EXPECT_EQ(song->Sequence(0)->Track(4)->Value(30), b);
    EXPECT_EQ(heard(), rendered(0));
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.Row(1)->Value(3), a);
    EXPECT_FALSE(form.IsModified()) << "back where the file is";
    EXPECT_EQ(Written(*song), original);
    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.Row(1)->Value(3), !a);
    EXPECT_TRUE(form.IsModified());
    EXPECT_EQ(heard(), rendered(0));

    // An edit undone from another loop is shown where it was made.
    Press(Qt::Key_2, Qt::KeypadModifier);
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.SelectedLoopIndex(), 0);
    EXPECT_EQ(form.windowTitle(), "Trellon 0");
    EXPECT_EQ(form.Row(1)->Value(3), a);

    // A sample load, undone and redone, in the row, the song and the sound.
    form.Row(0)->SetValue(0, true);  // kick on the first tick
    const ComPtr<IWav> kick = song->SampleAt(0)->Wav();
    form.LoadSample(0, WriteWav(
                           "boom.wav", 300, [](LONG i) { return AudioSample(i * 50); }, 2));
    EXPECT_EQ(form.Row(0)->SampleButton()->text(), "boom");
    EXPECT_EQ(heard(), rendered(0));
    const auto withBoom = heard();
    form.UndoCommand()->trigger();
    EXPECT_EQ(song->SampleAt(0)->Wav(), kick);
    EXPECT_EQ(song->SampleAt(0)->Caption(), u"Kick");
    EXPECT_EQ(form.Row(0)->SampleButton()->text(), "Kick");
    EXPECT_EQ(heard(), rendered(0));
    form.RedoCommand()->trigger();
    EXPECT_EQ(heard(), withBoom);

    // New, undone: the loops, the file and the selection come back.
    Press(Qt::Key_5, Qt::KeypadModifier);
    const auto loop5 = heard();
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    form.NewCommand()->trigger();
    EXPECT_EQ(form.FilePath(), "");
    EXPECT_EQ(song->LoopSlots()[5], nullptr);
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.FilePath(), SongPath());
    EXPECT_EQ(form.SelectedLoopIndex(), 5);
    EXPECT_EQ(heard(), loop5);
    EXPECT_TRUE(errors_.empty());
    // Opening a song starts afresh: nothing to undo.
    prompts_->saveAnswers = {SaveChoice::kDiscard};
    form.OpenSongFile(SongPath());
    EXPECT_FALSE(form.UndoCommand()->isEnabled());
}

TEST_F(MainWindow, RecentFilesKeepTheLastEightAndDropThoseThatAreGone) {
    UseDefaultSong();
    MainForm& form = Start();
    std::vector<std::string> paths;
    for (int i = 0; i < 9; ++i) {
        paths.push_back(SongIn(Folder("s" + std::to_string(i))));
        form.OpenSongFile(paths.back());
    }
    std::vector<std::string> want(paths.rbegin(), paths.rbegin() + 8);
    EXPECT_EQ(form.RecentFiles(), want);
    ASSERT_EQ(form.RecentMenu()->actions().size(), 8);
    EXPECT_EQ(form.RecentMenu()->actions()[0]->text(), "mine.loop");
    // The list outlives the window (kept in the settings).
    form_.reset();
    MainForm& again = Start();
    EXPECT_EQ(again.RecentFiles(), want);
    // A file that is gone leaves the list with a note; a present one opens.
    std::filesystem::remove(paths[3]);
    again.RecentMenu()->actions()[5]->trigger();  // paths[3]
    ASSERT_EQ(prompts_->asked.size(), 1u);
    EXPECT_NE(prompts_->asked[0].find("is no longer there"), std::string::npos);
    EXPECT_EQ(again.RecentFiles().size(), 7u);
    again.RecentMenu()->actions()[1]->trigger();  // paths[7]
    Finish();
    EXPECT_EQ(again.FilePath(), paths[7]);
    EXPECT_EQ(again.RecentFiles().front(), paths[7]);
    // The open dialog starts in the song's folder.
    again.OpenCommand()->trigger();
    EXPECT_EQ(dialogs_->proposed.back(), Folder("s7"));
}

TEST_F(MainWindow, StartsOnTheSongNamedAtStartUpOrReportsItAndUsesTheTemplate) {
    UseDefaultSong();
    Song slow;
    slow.SetBpm(950000);
    AddTracks(*slow.Sequence(0), 3, 32);
    WriteSong(slow, Folder("slow.loop"));
    MainForm& form = Start(Folder("slow.loop"));
    EXPECT_EQ(form.FilePath(), Folder("slow.loop"));
    EXPECT_EQ(form.GetSong()->Bpm(), 950000) << "its own tempo";
    EXPECT_EQ(form.DocumentLabel()->text(), "slow.loop");
    EXPECT_TRUE(errors_.empty());
    form_.reset();

    MainForm& fallback = Start(Folder("nothing.loop"));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("nothing.loop"), std::string::npos) << errors_[0];
    EXPECT_EQ(fallback.FilePath(), "");
    EXPECT_EQ(fallback.NumTracks(), 10);
    EXPECT_EQ(fallback.GetSong()->Bpm(), 120 * 10000);
}

TEST_F(MainWindow, ASongLeftByAProgramThatEndedIsOfferedAndRestored) {
    UseDefaultSong();
    const std::string path = SongIn(Folder("songs"));
    MainForm& form = Start(path);
    ClickTick(3, 11);
    Press(Qt::Key_8, Qt::KeypadModifier);
    ClickTick(0, 0);
    form.AutosaveNow();
    Finish();
    const std::string kept = KeptIn(Folder("state"));
    ASSERT_TRUE(std::filesystem::exists(kept));
    const ByteArray edited = Written(*ReadSongFile(kept));
    // Saving makes the kept copy unnecessary.
    form.SaveCommand()->trigger();
    EXPECT_FALSE(std::filesystem::exists(kept));
    ClickTick(3, 12);
    form.AutosaveNow();
    Finish();
    ASSERT_TRUE(std::filesystem::exists(kept));
    const ByteArray latest = Written(*ReadSongFile(kept));
    // As if this process had been killed: its files under another, dead session.
    const std::string own = kept.substr(0, kept.size() - 5);
    const std::string dead = Folder("state/autosave-999999999-00000000000000ff");
    std::filesystem::copy_file(own + ".loop", Folder("kept.loop"));
    std::filesystem::copy_file(own + ".path", Folder("kept.path"));
    auto orphan = [&] {
        std::filesystem::copy_file(Folder("kept.loop"), dead + ".loop");
        std::filesystem::copy_file(Folder("kept.path"), dead + ".path");
    };
    orphan();
    // This window ends cleanly (its own kept song goes with it).
    form.GetEngine().Recovery()->End();
    form_.reset();

    MainForm& declined = Start();
    ASSERT_EQ(prompts_->asked.size(), 1u);
    EXPECT_EQ(prompts_->asked[0].find("Trellon ended without saving \u201Cmine.loop\u201D."), 0u)
        << prompts_->asked[0];
    EXPECT_EQ(declined.FilePath(), "") << "declined: the usual start";
    EXPECT_FALSE(std::filesystem::exists(dead + ".loop"));
    form_.reset();

    orphan();
    // Accepted: the song as it was kept, belonging to its file, modified.
    startAnswers_ = {true};
    Start();
    MainForm& back = *form_;
    EXPECT_EQ(Written(*back.GetSong()), latest);
    EXPECT_NE(latest, edited);
    EXPECT_EQ(back.FilePath(), path);
    EXPECT_TRUE(back.IsModified());
    EXPECT_EQ(back.ModifiedLabel()->text(), "Modified");
    EXPECT_FALSE(std::filesystem::exists(dead + ".loop"));
    // Kept at once as this session's own: a crash now loses nothing.
    EXPECT_EQ(Written(*ReadSongFile(KeptIn(Folder("state")))), latest);
    EXPECT_EQ(back.NumTickIndicators(), 32) << "the lights are laid out under the rows";
    EXPECT_TRUE(back.TickIndicator(31)->isVisible());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, EveryLeftSongIsOfferedNewestFirstAndKeptUntilAnsweredFor) {
    UseDefaultSong();
    const std::string state = Folder("state");
    std::filesystem::create_directories(state);
    // Two programs that crashed, the second a minute later.
    int minute = 0;
    for (const char* id : {"101-0000000000000001", "102-0000000000000002"}) {
        const std::string kept = state + "/autosave-" + id + ".loop";
        std::filesystem::copy_file(DEFAULT_SONG_PATH, kept);
        std::filesystem::last_write_time(
            kept, std::filesystem::file_time_type::clock::now() + std::chrono::minutes(minute++));
        WriteText(state + "/autosave-" + id + ".path", std::string("/music/") + id + ".loop");
    }
    // No to each, newest first: each asked, then each removed.
    startAnswers_ = {false, false};
    Start();
    ASSERT_EQ(prompts_->asked.size(), 2u);
    EXPECT_NE(prompts_->asked[0].find("102-0000000000000002.loop"), std::string::npos);
    EXPECT_NE(prompts_->asked[1].find("101-0000000000000001.loop"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(state + "/autosave-102-0000000000000002.loop"));
    EXPECT_FALSE(std::filesystem::exists(state + "/autosave-101-0000000000000001.loop"))
        << "answered No as well";
    form_.reset();

    std::filesystem::copy_file(DEFAULT_SONG_PATH, state + "/autosave-101-0000000000000001.loop");
    WriteText(state + "/autosave-101-0000000000000001.path", "/music/old.loop");
    // A signal while the question is asked: nothing is removed.
    form_ = std::make_unique<MainForm>();
    form_->SetProgramFolder(folder_->path());
    form_->SetSettings(
        std::make_unique<QSettings>(QString::fromStdString(SettingsPath()), QSettings::IniFormat));
    form_->SetRecoveryFolder(state);
    auto prompts = std::make_unique<ScriptedPrompts>();
    prompts->onAsk = [this] { form_->EndBySignal(); };
    form_->SetPrompts(std::move(prompts));
    form_->Load();
    EXPECT_TRUE(std::filesystem::exists(state + "/autosave-101-0000000000000001.loop"));
}
