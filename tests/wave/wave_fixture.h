// The sample window on WAV files the tests write, playing through the
// virtual device.
#pragma once

#include <QApplication>
#include <QImage>
#include <QTest>
#include <functional>

#include "sound_form.h"
#include "ui_fixture.h"

class SampleWindow : public MainWindow {
  protected:
    // A mono file whose frame i holds f(i).
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
    SoundForm& Open(const std::string& commandLine, LONG screenWidth) {
        sample_ = std::make_unique<SoundForm>();
        sample_->SetErrorReporter([this](const std::string& d) { errors_.push_back(d); });
        sample_->View().SetCompanionPath(Folder("no-companion.wav"));
        sample_->Load(commandLine, screenWidth);
        sample_->show();
        QApplication::processEvents();
        return *sample_;
    }
    void TearDown() override {
        sample_.reset();
        MainWindow::TearDown();
    }
    QImage Shot() { return sample_->grab().toImage(); }

    std::unique_ptr<SoundForm> sample_;
};
