// The sample window on WAV files the tests write, playing through the
// virtual device.
#pragma once

#include <QApplication>
#include <QImage>
#include <QTest>

#include "common/window_fixture.h"
#include "wave/sound_form.h"

class SampleWindow : public WindowTest {
  protected:
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
        QApplication::processEvents();
    }
    QImage Shot() { return sample_->grab().toImage(); }

    std::unique_ptr<SoundForm> sample_;
};
