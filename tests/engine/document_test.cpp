// The song as a document in the engine, and the long work done on
// workers: saving while the song goes on being edited, opening, importing
// and exporting in the background, cancelling, one piece of work at a
// time, and keeping the song for recovery.
#include <sndfile.h>

#include <fstream>
#include <thread>

#include "common/engine_fixture.h"
#include "song/song_file.h"

namespace {

// A stereo WAV file of frames of a tone, through libsndfile.
std::string ToneFile(const std::string& path, long frames) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> v(std::size_t(frames) * 2);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = short((i * 37) % 20000 - 10000);
    sf_writef_short(f, v.data(), frames);
    sf_close(f);
    return path;
}

}  // namespace

TEST_F(EngineTest, SavingOnAWorkerKeepsWhatWasEditedMeanwhileUnsaved) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    engine.SetTick(0, 0, 1, !song.LoopSlots()[0]->Track(0)->Value(1));
    const ByteArray saved = Written(song);
    const std::string path = Folder("saved.loop");
    std::string outcome = "not yet";
    engine.SaveSongInBackground(path, [&](const std::string& error) { outcome = error; });
    ASSERT_NE(engine.Work(), nullptr);
    EXPECT_EQ(engine.Work()->Title(), "Saving \u201Csaved.loop\u201D");
    // A second piece of long work waits for the first: it is refused.
    EXPECT_EQ(ErrorOf([&] { engine.SaveSongInBackground(Folder("other.loop"), {}); }),
              kErrInvalidArgument);
    // Edited while it is written: the file holds the song as it was.
    engine.SetTick(0, 0, 2, !song.LoopSlots()[0]->Track(0)->Value(2));
    engine.FinishWork();
    EXPECT_EQ(outcome, "");
    EXPECT_EQ(engine.Work(), nullptr);
    EXPECT_EQ(Written(*ReadSongFile(path)), saved);
    EXPECT_EQ(engine.FilePath(), path);
    EXPECT_TRUE(engine.IsModified()) << "the later edit is not in the file";
    EXPECT_FALSE(std::filesystem::exists(Folder("other.loop")));

    // Saved with nothing changed meanwhile: the song equals its file.
    engine.SaveSongInBackground(path, {});
    engine.FinishWork();
    EXPECT_FALSE(engine.IsModified());
    EXPECT_EQ(Written(*ReadSongFile(path)), Written(song));
    EXPECT_TRUE(view_.changes & kChangeWork);
}

TEST_F(EngineTest, OpeningOnAWorkerReplacesTheSongOnlyWhenTheWholeFileIsRead) {
    Engine& engine = OpenDefaultSong();
    auto before = engine.GetSong();
    engine.SetTick(0, 0, 1, !before->LoopSlots()[0]->Track(0)->Value(1));
    WriteText(Folder("bad.loop"), std::string("\x02\x01\x40\x0d\x03\x00", 6));
    std::string outcome = "not yet";
    engine.OpenSongInBackground(Folder("bad.loop"),
                                [&](const std::string& error) { outcome = error; });
    engine.FinishWork();
    EXPECT_EQ(outcome.find("\u201Cbad.loop\u201D is cut short"), 0u) << outcome;
    EXPECT_EQ(engine.GetSong(), before) << "the song that was open stays";
    EXPECT_TRUE(engine.IsModified());

    std::filesystem::copy_file(DEFAULT_SONG_PATH, Folder("copy.loop"));
    engine.OpenSongInBackground(Folder("copy.loop"),
                                [&](const std::string& error) { outcome = error; });
    engine.FinishWork();
    EXPECT_EQ(outcome, "");
    EXPECT_NE(engine.GetSong(), before);
    EXPECT_EQ(engine.FilePath(), Folder("copy.loop"));
    EXPECT_FALSE(engine.IsModified());
    EXPECT_FALSE(engine.Undo().CanUndo()) << "a new document has nothing to undo";
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), RenderedApart(*engine.GetSong(), 0));
}

TEST_F(EngineTest, ImportingAndExportingOnWorkersCanBeCancelledAndLeaveNothingBehind) {
    Engine& engine = OpenDefaultSong();
    const ByteArray original = Written(*engine.GetSong());
    const std::string tone = ToneFile(Folder("tone.wav"), 48000 * 20);
    std::vector<Engine::Imported> got;
    bool called = false;
    engine.ImportInBackground("Importing", {tone, Folder("missing.wav")},
                              [&](std::vector<Engine::Imported> results) {
                                  got = std::move(results);
                                  called = true;
                              });
    engine.FinishWork();
    ASSERT_TRUE(called);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(FramesOf(got[0].sound.wav.get()), 44100 * 20) << "resampled to the song's rate";
    EXPECT_EQ(got[0].sound.caption, u"tone");
    EXPECT_NE(got[1].error.find("missing.wav"), std::string::npos) << got[1].error;
    EXPECT_EQ(Written(*engine.GetSong()), original) << "importing alone changes nothing";

    // Cancelled at once: nothing comes back.
    called = false;
    engine.ImportInBackground("Importing", {tone}, [&](auto) { called = true; });
    engine.CancelWork();
    engine.FinishWork();
    EXPECT_FALSE(called);
    EXPECT_EQ(engine.Work(), nullptr);

    // Exported on a worker: what --render writes. Cancelled: no file.
    ExportChoice choice;
    choice.loop = 1;
    choice.times = 2;
    std::string outcome = "not yet";
    engine.ExportInBackground(choice, Folder("two.wav"),
                              [&](const std::string& error) { outcome = error; });
    engine.FinishWork();
    EXPECT_EQ(outcome, "");
    ASSERT_TRUE(ExportSong(*engine.GetSong(), choice, Folder("direct.wav")));
    EXPECT_EQ(ReadText(Folder("two.wav")), ReadText(Folder("direct.wav")));
    choice.times = 500;
    engine.ExportInBackground(choice, Folder("long.wav"),
                              [&](const std::string& error) { outcome = error; });
    engine.CancelWork();
    engine.FinishWork();
    EXPECT_EQ(outcome, "");
    EXPECT_FALSE(std::filesystem::exists(Folder("long.wav")));
    for (const auto& e : std::filesystem::directory_iterator(folder_->path()))
        EXPECT_EQ(e.path().filename().string().find(".long.wav.tmp"), std::string::npos)
            << "no temporary file is left";
    // Loop 7 has no ticks: refused before any work starts.
    choice.loop = 7;
    EXPECT_EQ(ErrorOf([&] { engine.ExportInBackground(choice, Folder("x.wav"), {}); }),
              kErrInvalidArgument);
    EXPECT_EQ(engine.Work(), nullptr);
}

TEST_F(EngineTest, TheSongIsKeptForRecoveryOnAWorkerWhenItChanged) {
    Engine& engine = OpenDefaultSong();
    engine.SetRecovery(std::make_unique<SongRecovery>(Folder("state")));
    ASSERT_TRUE(engine.Recovery()->Begin());
    EXPECT_FALSE(engine.AutosaveNow()) << "an unchanged song is not kept";
    engine.SetTick(0, 0, 1, !engine.GetSong()->LoopSlots()[0]->Track(0)->Value(1));
    EXPECT_TRUE(engine.AutosaveNow());
    engine.FinishWork();
    std::string kept;
    for (const auto& e : std::filesystem::directory_iterator(Folder("state")))
        if (e.path().extension() == ".loop") kept = e.path();
    ASSERT_TRUE(std::filesystem::exists(kept));
    EXPECT_EQ(Written(*ReadSongFile(kept)), Written(*engine.GetSong()));
    EXPECT_FALSE(engine.AutosaveNow()) << "kept already";
    // Saving makes the kept copy unnecessary.
    engine.SaveSong(engine.FilePath());
    EXPECT_FALSE(std::filesystem::exists(kept));
    engine.Recovery()->End();
}

TEST_F(EngineTest, ExportRefusesTheSongsOwnFileByAnyName) {
    Engine& engine = OpenDefaultSong();
    const std::string song = engine.FilePath();
    const std::string before = ReadText(song);
    std::filesystem::create_symlink(song, Folder("link.wav"));
    ExportChoice choice;
    for (const std::string& target : {song, Folder("link.wav"), Folder("./DuvoDodiz.loop")}) {
        try {
            engine.ExportInBackground(choice, target, {});
            ADD_FAILURE() << target;
        } catch (const AppError& e) {
            EXPECT_NE(e.Description().find("is the song itself"), std::string::npos)
                << e.Description();
        }
        EXPECT_THROW(engine.Export(choice, target), AppError);
    }
    engine.FinishWork();
    EXPECT_EQ(ReadText(song), before);
    EXPECT_TRUE(engine.Export(choice, Folder("other.wav")));
}

TEST_F(EngineTest, AFileChangedOnDiskOrOpenElsewhereIsNoticed) {
    Engine& engine = OpenDefaultSong();
    engine.SetOpenMarks(Folder("marks"));
    const std::string path = engine.FilePath();
    EXPECT_FALSE(engine.ChangedOnDisk());
    // Another Trellon opening the same song (by another name) sees it open.
    Engine other;
    other.SetOpenMarks(Folder("marks"));
    EXPECT_TRUE(other.OpenElsewhere(Folder("./DuvoDodiz.loop")));
    EXPECT_FALSE(engine.OpenElsewhere(path)) << "open here is not elsewhere";
    other.OpenSong(path);
    // It saves first: this one's file has changed on disk.
    other.SetTempo(99);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    other.SaveSong(path);
    EXPECT_TRUE(engine.ChangedOnDisk());
    EXPECT_FALSE(other.ChangedOnDisk());
    // Saved here after all: the file is this song's again.
    engine.SaveSong(path);
    EXPECT_FALSE(engine.ChangedOnDisk());
    // Once the other has another song, this one is open nowhere else.
    other.OpenSong(DEFAULT_SONG_PATH);
    Engine third;
    third.SetOpenMarks(Folder("marks"));
    EXPECT_TRUE(third.OpenElsewhere(path)) << "still open here";
    engine.New();
    EXPECT_FALSE(third.OpenElsewhere(path));
}

TEST_F(EngineTest, AFailingAutosaveIsSaidOnceAndTriedAgainQuietly) {
    Engine& engine = OpenDefaultSong();
    const std::string state = Folder("state");
    engine.SetRecovery(std::make_unique<SongRecovery>(state));
    ASSERT_TRUE(engine.Recovery()->Begin());
    // The folder goes, and a file takes its place.
    std::filesystem::rename(state, Folder("moved"));
    WriteText(state, "in the way");
    auto edit = [&] {
        engine.SetTick(0, 0, 1, !engine.GetSong()->LoopSlots()[0]->Track(0)->Value(1));
    };
    edit();
    EXPECT_TRUE(engine.AutosaveNow());
    engine.FinishWork();
    ASSERT_EQ(view_.errors.size(), 1u);
    EXPECT_EQ(view_.errors[0].find("Changes are not being kept for recovery"), 0u);
    EXPECT_FALSE(engine.RecoveryProblem().empty());
    EXPECT_FALSE(engine.AutosaveNow()) << "not tried again at once";
    edit();
    EXPECT_TRUE(engine.AutosaveNow()) << "tried again after an edit";
    engine.FinishWork();
    EXPECT_EQ(view_.errors.size(), 1u) << "said once";
    // The folder back: kept again, and the problem is gone.
    std::filesystem::remove(state);
    std::filesystem::rename(Folder("moved"), state);
    edit();
    EXPECT_TRUE(engine.AutosaveNow());
    engine.FinishWork();
    EXPECT_TRUE(engine.RecoveryProblem().empty());
    engine.Recovery()->End();
}
