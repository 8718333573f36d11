// The transport in the window: Play and Stop, selecting the loop shown and
// played, the tick lights that follow playback, and the output device.
#include <QStatusBar>
#include <cmath>

#include "forms/twips.h"
#include "sound/sound_device.h"
#include "support/app_error.h"
#include "ui/main_form.h"

void MainForm::PlayButton_Click() {
    Run([&] { engine_->PlayOrStop(); });
    ShowTransport();
}

void MainForm::SetSelectedLoopIndex(std::uint8_t v) {
    engine_->SetArrangementMode(false);
    engine_->SelectLoop(v);
}

void MainForm::ShowTransport() {
    playButton_->setText(engine_->IsPlaying() ? QStringLiteral("Stop") : QStringLiteral("Play"));
    if (arrangementMode_->isChecked() != engine_->ArrangementMode()) {
        const QSignalBlocker block(arrangementMode_);
        arrangementMode_->setChecked(engine_->ArrangementMode());
    }
    UpdateLoopButtons();
    ShowRecording();
}

void MainForm::TickLit(LONG tick) {
    // The light of the tick being played; the one lit before goes dark.
    if (FilledSquare* unlit = TickIndicator(lastLitTick_))
        unlit->SetFillColor(inactiveGreenLed_->FillColor());
    lastLitTick_ = tick;
    if (FilledSquare* lit = TickIndicator(lastLitTick_))
        lit->SetFillColor(activeGreenLed_->FillColor());
}

void MainForm::LayoutTickIndicators() {
    // All in twips; the rows' pixel measures are whole multiples of them.
    const SequenceControl* last = Row(NumTracks() - 1);
    const SequenceControl* first = Row(0);
    const LONG base =
        static_cast<LONG>(std::nearbyint(static_cast<float>(PixelsToTwips(last->y())) +
                                         static_cast<float>(PixelsToTwips(last->height()))));
    const LONG rowLeft = PixelsToTwips(first->x());
    // One light per tick of the loop shown (the first always stays).
    while (NumTickIndicators() > std::max<LONG>(TicksPerLoop(), 1)) tickIndicators_.pop_back();
    for (LONG i = 0; i < TicksPerLoop(); ++i) {
        if (i >= NumTickIndicators())
            tickIndicators_.push_back(
                std::make_unique<FilledSquare>(tickIndicators_[0]->FillColor(), client_));
        const LONG top = base + 45;
        const LONG left = rowLeft + first->CheckLeft(i) + 15;
        const LONG width = first->CheckWidth() - 90;
        FilledSquare* indicator = TickIndicator(i);
        PlaceInTwips(indicator, left, top, width, width);
        indicator->setVisible(true);
    }
}

void MainForm::ChooseOutputDevice() {
    // Listing another driver's devices needs the sound system free: a
    // device that is not playing is let go (the next Play opens it again).
    if (!engine_->GetPlayer().IsStreaming()) engine_->GetPlayer().ReleaseDevice();
    SoundOutput output = GetSoundOutput();
    if (!outputChooser_->ChooseOutput(output, this)) return;
    SetSoundOutput(output);
    outputFromCommandLine_ = false;
    if (settings_) {
        settings_->setValue("Audio/Driver", QString::fromStdString(output.driver));
        settings_->setValue("Audio/Device", QString::fromStdString(output.device));
    }
    statusBar()->showMessage(QString::fromStdString("Playback uses " + DescribeSoundOutput(output) +
                                                    " from the next Play."),
                             8000);
}
