// What every window test stands on: the real library, a folder of its own,
// a virtual sound device that can refuse buffers like a missing sound card,
// WAV files written by the test, and the windows' error reports recorded.
#pragma once

#include <QApplication>
#include <QTest>
#include <deque>
#include <filesystem>
#include <functional>

#include "common/audio_fixture.h"
#include "output/av_module.h"
#include "sound/virtual_device.h"
#include "support/app_error.h"
#include "support/file_dialogs.h"
#include "support/prompts.h"

// The virtual device, able to refuse buffers like a missing sound card.
class TestDevice : public VirtualDevice {
  public:
    bool refuse = false;
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override {
        return refuse ? nullptr : VirtualDevice::CreateBuffer(desc);
    }
    std::string LastError() const override {
        return refuse ? "Tried the test device: it refuses every buffer." : "";
    }
};

// File dialogs that give the answers a test queued, in order.
class ScriptedDialogs : public FileDialogs {
  public:
    std::deque<std::string> answers;    // "" answers as a cancel
    std::vector<std::string> shown;     // "open loop Loop", "save loop Loop"
    std::vector<std::string> proposed;  // what each dialog started with
    void ShowOpenFileDialog(std::string& fileName, const std::string& extension,
                            const std::string& description, QWidget*) override {
        Answer("open", fileName, extension, description);
    }
    void ShowSaveFileDialog(std::string& fileName, const std::string& extension,
                            const std::string& description, QWidget*) override {
        Answer("save", fileName, extension, description);
    }
    // With whilePreviewing set, the answer is played first, as a user pressing
    // Play would, and whilePreviewing runs while it plays.
    std::function<void()> whilePreviewing;
    void ShowAudioFileDialog(std::string& fileName, const std::string& description,
                             const std::string&,
                             const std::function<void(const std::string&)>& play,
                             QWidget*) override {
        Answer("audio", fileName, "", description);
        if (whilePreviewing && !fileName.empty()) {
            play(fileName);
            whilePreviewing();
        }
    }

    void ShowFolderDialog(std::string& folder, const std::string& title, QWidget*) override {
        Answer("folder", folder, "", title);
    }

  private:
    void Answer(const std::string& kind, std::string& fileName, const std::string& extension,
                const std::string& description) {
        shown.push_back(kind + " " + extension + " " + description);
        proposed.push_back(fileName);
        fileName.clear();
        if (!answers.empty()) {
            fileName = answers.front();
            answers.pop_front();
        }
    }
};

// Prompts answered from a script; what was asked is kept.
class ScriptedPrompts : public Prompts {
  public:
    std::deque<SaveChoice> saveAnswers;  // when empty: Cancel
    std::deque<bool> answers;            // when empty: No
    std::vector<std::string> asked;      // every question and note, in order
    SaveChoice AskToSaveChanges(const std::string& name, QWidget*) override {
        asked.push_back("Save changes to \u201C" + name + "\u201D?");
        if (saveAnswers.empty()) return SaveChoice::kCancel;
        SaveChoice c = saveAnswers.front();
        saveAnswers.pop_front();
        return c;
    }
    std::function<void()> onAsk;  // runs while a question is shown
    bool Ask(const std::string& question, QWidget*) override {
        asked.push_back(question);
        if (onAsk) onAsk();
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void Tell(const std::string& note, QWidget*) override { asked.push_back(note); }
    std::deque<OverwriteChoice> overwriteAnswers;  // when empty: Cancel
    OverwriteChoice AskToOverwrite(const std::string& name, QWidget*) override {
        asked.push_back("\u201C" + name + "\u201D has changed on disk");
        if (overwriteAnswers.empty()) return OverwriteChoice::kCancel;
        OverwriteChoice c = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return c;
    }
    std::deque<KitChoice> kitAnswers;  // when empty: Add
    KitChoice AskHowToAddKit(const std::string& question, QWidget*) override {
        asked.push_back(question);
        if (kitAnswers.empty()) return KitChoice::kAdd;
        KitChoice c = kitAnswers.front();
        kitAnswers.pop_front();
        return c;
    }
    std::deque<std::string> texts;  // when empty: cancelled
    bool AskText(const std::string& question, std::string& text, QWidget*) override {
        asked.push_back(question + " [" + text + "]");
        if (texts.empty()) return false;
        text = texts.front();
        texts.pop_front();
        return true;
    }
};

class WindowTest : public AudioLibrary {
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

    std::string Folder(const std::string& name) const { return *folder_ / name; }

    // A WAV file in the test's folder whose value i (channels interleaved) is f(i).
    std::string WriteWav(const std::string& name, LONG frames,
                         const std::function<AudioSample(LONG)>& f, SHORT channels = 1) {
        ComPtr<IWav> w = MakeWav(frames, channels);
        SafeArrayPtr image;
        EXPECT_EQ(w->ToByteArray(image.Out()), S_OK);
        auto* v = reinterpret_cast<AudioSample*>(image.Bytes() + 44);
        for (LONG i = 0; i < frames * channels; ++i) v[i] = f(i);
        const std::string path = Folder(name);
        WriteText(path, std::string(reinterpret_cast<const char*>(image.Bytes()), image.Count()));
        return path;
    }

    // Plays frames on the device and runs the notifications that came due.
    void Advance(long frames) {
        Device().AdvanceFrames(frames);
        Settle();
        QApplication::processEvents();
    }
    // Waits for what the notifications started elsewhere (the engine's
    // player) and takes in what it posted.
    virtual void Settle() {}
    AvSystem& Av() { return GetAvSystem(); }

    std::unique_ptr<TempDir> folder_;
    std::vector<std::string> errors_;
};
