// The main window as a user meets it: started on a song file in a folder
// of its own, playing through a virtual device, with scripted file dialogs
// and the error reports recorded.
#pragma once

#include "common/window_fixture.h"
#include "song/loop_renderer.h"
#include "song/song_file.h"
#include "ui/main_form.h"

// The arrangement editor and the export choice, answered from a script.
class ScriptedMusicDialogs : public MusicDialogs {
  public:
    std::deque<std::vector<ArrangementStep>> arrangements;  // when empty: cancelled
    std::deque<ExportChoice> exports;                       // when empty: cancelled
    bool EditArrangement(std::vector<ArrangementStep>& steps, QWidget*) override {
        if (arrangements.empty()) return false;
        steps = arrangements.front();
        arrangements.pop_front();
        return true;
    }
    bool ChooseExport(ExportChoice& choice, bool, QWidget*) override {
        if (exports.empty()) return false;
        choice = exports.front();
        exports.pop_front();
        return true;
    }
    std::deque<LoopFormat> formats;                         // when empty: cancelled
    std::deque<Humanize> humanizes;                         // when empty: cancelled
    std::deque<std::function<void(TrackSettings&)>> edits;  // when empty: cancelled
    std::vector<TrackSettings> tracksShown;                 // what each track dialog showed
    bool ChooseLoopFormat(LoopFormat& format, QWidget*) override {
        if (formats.empty()) return false;
        format = formats.front();
        formats.pop_front();
        return true;
    }
    bool EditHumanize(Humanize& humanize, QWidget*) override {
        if (humanizes.empty()) return false;
        humanize = humanizes.front();
        humanizes.pop_front();
        return true;
    }
    bool EditTrack(TrackSettings& settings, QWidget*) override {
        tracksShown.push_back(settings);
        if (edits.empty()) return false;
        edits.front()(settings);
        edits.pop_front();
        return true;
    }
};

// The output device dialog, answered from a script.
class ScriptedOutputChooser : public OutputChooser {
  public:
    std::deque<SoundOutput> answers;  // when empty: cancelled
    std::vector<SoundOutput> shown;   // what each dialog started from
    bool ChooseOutput(SoundOutput& output, QWidget*) override {
        shown.push_back(output);
        if (answers.empty()) return false;
        output = answers.front();
        answers.pop_front();
        return true;
    }
};

class MainWindow : public WindowTest {
  protected:
    void Settle() override {
        if (!form_) return;
        form_->GetEngine().GetPlayer().Flush();
        form_->GetEngine().RunPosted();
    }
    ::Player& Out() { return form_->GetEngine().GetPlayer(); }
    // Lets the engine's long work (opening, saving, importing, exporting)
    // end, and the window take in what it brought.
    void Finish() {
        form_->GetEngine().FinishWork();
        QApplication::processEvents();
    }
    // Whether the output plays anything (a loop, the arrangement, a sound).
    bool Streaming() { return Out().IsStreaming(); }
    void TearDown() override {
        form_.reset();
        QApplication::processEvents();
        SetSoundOutput({});
    }

    std::string SongPath() const { return Folder(kDefaultSongName); }
    void UseDefaultSong() {
        std::filesystem::copy_file(DEFAULT_SONG_PATH, SongPath(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    static void WriteSong(const Song& song, const std::string& path) { WriteSongFile(song, path); }

    // Starts the window as the program does, on the song in its folder.
    // The settings and the recovery folder are the test's own.
    MainForm& Start(const std::string& song = "") {
        form_ = std::make_unique<MainForm>();
        form_->SetProgramFolder(folder_->path());
        form_->SetStartupSong(song);
        form_->SetSettings(std::make_unique<QSettings>(QString::fromStdString(SettingsPath()),
                                                       QSettings::IniFormat));
        form_->SetRecoveryFolder(Folder("state"));
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        form_->SetFileDialogs(std::move(dialogs));
        auto music = std::make_unique<ScriptedMusicDialogs>();
        music_ = music.get();
        form_->SetMusicDialogs(std::move(music));
        auto output = std::make_unique<ScriptedOutputChooser>();
        output_ = output.get();
        form_->SetOutputChooser(std::move(output));
        form_->SetOutputFromCommandLine(outputFromCommandLine_);
        auto prompts = std::make_unique<ScriptedPrompts>();
        prompts->answers = std::exchange(startAnswers_, {});
        prompts_ = prompts.get();
        form_->SetPrompts(std::move(prompts));
        form_->SetErrorReporter([this](const std::string& d) { errors_.push_back(d); });
        form_->Load();
        form_->show();
        form_->activateWindow();
        QApplication::processEvents();
        return *form_;
    }

    // A key pressed where the keyboard focus is.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        if (!QApplication::focusWidget()) form_->PlayButton()->setFocus();
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, key, modifiers);
    }
    void ClickTick(LONG row, LONG tick) {
        QTest::mouseClick(form_->Row(row)->Check(tick), Qt::LeftButton);
        QApplication::processEvents();
    }

    std::string SettingsPath() const { return Folder("settings.ini"); }

    std::unique_ptr<MainForm> form_;
    ScriptedDialogs* dialogs_ = nullptr;
    ScriptedPrompts* prompts_ = nullptr;
    ScriptedMusicDialogs* music_ = nullptr;
    ScriptedOutputChooser* output_ = nullptr;
    bool outputFromCommandLine_ = false;
    std::deque<bool> startAnswers_;  // for the questions start-up asks
};

// A loop of song rendered apart from the window, on copies of its loops.
inline ComPtr<IWav> RenderedLoop(const Song& song, int index) {
    Song fresh;
    fresh.SetBpm(song.Bpm());
    fresh.SetSwing(song.Swing());
    fresh.SetMasterLevel(song.MasterLevel());
    fresh.SetHumanize(song.GetHumanize());
    for (std::size_t i = 0; i < song.SampleSlots().size(); ++i)
        if (song.SampleSlots()[i]) *fresh.SampleAt(std::int32_t(i)) = *song.SampleSlots()[i];
    SequenceLoop& loop = *fresh.Sequence(index);
    loop.Clear();
    loop.SetFormat(song.LoopSlots().at(std::size_t(index))->Format());
    for (const auto& t : song.LoopSlots().at(std::size_t(index))->Tracks())
        loop.Tracks().push_back(std::make_shared<LoopTrack>(*t));
    LoopRenderer r;
    r.NumTracks = fresh.NumTracks();
    r.SelectedLoopIndex = std::uint8_t(index);
    r.UseFormatOf(loop);
    r.PrepareLoopWav(fresh);
    r.RenderSelectedLoop(fresh, LoopGrid(loop));
    return r.LoopWav;
}

// The bytes of a Wav's values, as a device plays them.
inline std::vector<unsigned char> BytesOf(IWav* wav) {
    std::vector<AudioSample> v = ValuesOf(wav);
    std::vector<unsigned char> b(v.size() * 2);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
}

// count bytes of v from from on (fewer at its end).
inline std::vector<unsigned char> Slice(const std::vector<unsigned char>& v, std::size_t from,
                                        std::size_t count) {
    if (from >= v.size()) return {};
    return std::vector<unsigned char>(v.begin() + long(from),
                                      v.begin() + long(std::min(v.size(), from + count)));
}
