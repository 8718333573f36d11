// The main window as a user meets it: started on a song file in a folder
// of its own, playing through a virtual device, with scripted file dialogs
// and the error reports recorded.
#pragma once

#include <QApplication>
#include <QTest>
#include <deque>
#include <filesystem>
#include <functional>

#include "app_error.h"
#include "audio_fixture.h"
#include "av_module.h"
#include "file_streams.h"
#include "main_form.h"
#include "sound/virtual_device.h"

// The virtual device, able to refuse buffers like a missing sound card.
class TestDevice : public VirtualDevice {
  public:
    bool refuse = false;
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override {
        return refuse ? nullptr : VirtualDevice::CreateBuffer(desc);
    }
};

class ScriptedDialogs : public FileDialogs {
  public:
    std::deque<std::string> answers;  // "" answers as a cancel
    std::vector<std::string> shown;   // "open loop Loop", "save loop Loop"
    void ShowOpenFileDialog(std::string& fileName, const std::string& extension,
                            const std::string& description, QWidget*) override {
        Answer("open", fileName, extension, description);
    }
    void ShowSaveFileDialog(std::string& fileName, const std::string& extension,
                            const std::string& description, QWidget*) override {
        Answer("save", fileName, extension, description);
    }

  private:
    void Answer(const std::string& kind, std::string& fileName, const std::string& extension,
                const std::string& description) {
        shown.push_back(kind + " " + extension + " " + description);
        fileName.clear();
        if (!answers.empty()) {
            fileName = answers.front();
            answers.pop_front();
        }
    }
};

class MainWindow : public AudioLibrary {
  protected:
    static TestDevice& Device() {
        static std::shared_ptr<TestDevice> device = [] {
            auto d = std::make_shared<TestDevice>();
            SetDefaultSoundDevice(d);
            return d;
        }();
        return *device;
    }
    void SetUp() override {
        AudioLibrary::SetUp();
        Device().refuse = false;
        folder_ = std::make_unique<TempDir>();
    }
    void TearDown() override {
        form_.reset();
        QApplication::processEvents();
    }

    std::string Folder(const std::string& name) const { return *folder_ / name; }
    std::string SongPath() const { return Folder(kDefaultSongName); }
    void UseDefaultSong() {
        std::filesystem::copy_file(DEFAULT_SONG_PATH, SongPath(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    static void WriteSong(const Song& song, const std::string& path) {
        auto out = CreateFileForWriting(path);
        song.WriteToFile(*out);
        out->Commit();
    }

    // A WAV file in the test's folder whose value i (channels interleaved) is f(i).
    std::string WriteWav(const std::string& name, LONG frames,
                         const std::function<AudioSample(LONG)>& f, SHORT channels = 1) {
        ComPtr<IWav> w = MakeWav(frames, channels);
        SAFEARRAY* image = nullptr;
        EXPECT_EQ(w->ToByteArray(&image), S_OK);
        auto* v = reinterpret_cast<AudioSample*>(static_cast<char*>(image->pvData) + 44);
        for (LONG i = 0; i < frames * channels; ++i) v[i] = f(i);
        const std::string path = Folder(name);
        WriteText(path,
                  std::string(static_cast<char*>(image->pvData), image->rgsabound[0].cElements));
        SafeArrayDestroy(image);
        return path;
    }
    // Starts the window as the program does, on the song in its folder.
    MainForm& Start() {
        form_ = std::make_unique<MainForm>();
        form_->SetProgramFolder(folder_->path());
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        form_->SetFileDialogs(std::move(dialogs));
        form_->SetErrorReporter([this](const std::string& d) { errors_.push_back(d); });
        form_->Load();
        form_->show();
        form_->activateWindow();
        QApplication::processEvents();
        return *form_;
    }

    // Plays frames on the device and runs the notifications that came due.
    void Advance(long frames) {
        Device().AdvanceFrames(frames);
        QApplication::processEvents();
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
    AvSystem& Av() { return *GetAvSystem(); }

    std::unique_ptr<TempDir> folder_;
    std::unique_ptr<MainForm> form_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::vector<std::string> errors_;
};

// A loop of song rendered apart from the window, on copies of its loops.
inline ComPtr<IWav> RenderedLoop(const Song& song, int index) {
    Song fresh;
    fresh.SetBpm(song.Bpm());
    for (std::size_t i = 0; i < song.SampleSlots().size(); ++i)
        if (song.SampleSlots()[i]) *fresh.SampleAt(std::int32_t(i)) = *song.SampleSlots()[i];
    SequenceLoop& loop = *fresh.Sequence(index);
    loop.Clear();
    for (const auto& t : song.LoopSlots().at(std::size_t(index))->Tracks())
        loop.Tracks().push_back(std::make_shared<LoopTrack>(*t));
    LoopRenderer r;
    r.NumTracks = fresh.NumTracks();
    r.SelectedLoopIndex = std::uint8_t(index);
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
