// The transport: Play and Stop, selecting the loop shown and played,
// replacing the song, and the tick lights that follow playback.
#include <QStatusBar>
#include <cmath>

#include "forms/twips.h"
#include "output/av_module.h"
#include "song/song_export.h"
#include "sound/sound_device.h"
#include "support/app_error.h"
#include "support/integers.h"
#include "ui/main_form.h"

void MainForm::PlayButton_Click() {
    Report([&] {
        AvSystem& av = GetAvSystem();
        if (av.IsPlaying()) {
            playButton_->setText(QStringLiteral("Play"));
            playingArrangement_ = false;
            queuedLoop_ = -1;
            av.StopPlaying();
            UpdateLoopButtons();
            return;
        }
        // In arrangement mode the piece starts with its first pass.
        if (ArrangementMode()) {
            arrangementPasses_ = ExportPasses(*song_, {.arrangement = true});
            if (arrangementPasses_.empty())
                ThrowError(kErrInvalidArgument,
                           "The arrangement is empty: add its loops with Edit... first");
            passPlaying_ = 0;
            ShowLoop(arrangementPasses_[0]);
        }
        playButton_->setText(QStringLiteral("Stop"));
        try {
            renderer_.RenderSelectedLoop(*song_, *this);
            ComPtr<IWavReader> reader;
            Check(LoopWav()->OpenReader(reader.Out()));
            LONG frames = 0;
            Check(LoopWav()->get_NumSamples(&frames));
            // Nothing left queued from before; the end of each reader is its
            // own end, so a loop of another length (another tempo) can follow.
            av.Enqueue(nullptr);
            av.PlayAudio(reader.get(), {.hwnd = static_cast<LONG>(WindowHandle(this)),
                                        .EventSink = this,
                                        .StartPos = 0,
                                        .EndPos = -1,
                                        .PlayLoop = true,
                                        .HalfBufferSize = frames / TicksPerLoop() + 1});
            queuedLoop_ = -1;
            playingArrangement_ = ArrangementMode();
            if (playingArrangement_) QueueNextArrangementPass();
        } catch (...) {
            // Nothing plays: the button offers Play again.
            playButton_->setText(QStringLiteral("Play"));
            playingArrangement_ = false;
            if (av.IsPlaying()) av.StopPlaying();
            throw;
        }
        UpdateLoopButtons();
    });
}

void MainForm::SetSelectedLoopIndex(std::uint8_t v) {
    ShowLoop(v);
    AvSystem& av = GetAvSystem();
    if (av.IsPlaying()) {
        // Takes over at the end of the pass being played.
        ComPtr<IWavReader> reader;
        Check(LoopWav()->OpenReader(reader.Out()));
        av.Enqueue(reader.get());
        queuedLoop_ = v;
    }
    UpdateLoopButtons();
}

void MainForm::ShowLoop(std::uint8_t v) {
    // Selecting a loop the song does not have yet makes it: a change to the song.
    const auto& loops = song_->LoopSlots();
    if (v >= loops.size() || !loops[v]) ChangedOutsideUndo();
    isFillingRows_ = true;
    renderer_.SelectedLoopIndex = v;
    try {
        ShowLoopInRows(*song_->Sequence(v));
    } catch (...) {
        isFillingRows_ = false;  // tick clicks must keep working
        throw;
    }
    isFillingRows_ = false;
    renderer_.LoopWav = song_->Sequence(v)->Wav();
    if (!renderer_.LoopWav) {
        // Never rendered: a new buffer, rendered from the rows.
        renderer_.PrepareLoopWav(*song_);
        renderer_.RenderSelectedLoop(*song_, *this);
    }
    SetCaptionForLoop(v);
}

void MainForm::SetSong(std::shared_ptr<Song> song) {
    song_ = std::move(song);
    SetNumTracks(song_->NumTracks());
    SetSelectedLoopIndex(0);
    for (std::uint8_t i = 0; LONG(i) < NumTracks(); ++i) {
        const std::shared_ptr<Sample> sample = song_->SampleAt(i);
        Row(i)->SetCaption(sample->Caption());
        Row(i)->SetSample(sample->Wav());
    }
    ShowSongSettings();
}

void MainForm::DXCallback(LONG eventid) {
    try {
        AvSystem& av = GetAvSystem();
        // The tick being played lights before the buffer is refilled.
        if (FilledSquare* unlit = TickIndicator(lastLitTick_))
            unlit->SetFillColor(inactiveGreenLed_->FillColor());
        const LONG position = av.PlaybackPosition();
        if (TickLength() > 0) lastLitTick_ = MinLong(TicksPerLoop() - 1, position / TickLength());
        if (FilledSquare* lit = TickIndicator(lastLitTick_))
            lit->SetFillColor(activeGreenLed_->FillColor());
        av.HandleNotification(eventid, false);
        FollowQueue();
    } catch (const std::exception& e) {
        // Playback that cannot go on stops, rather than failing at every tick.
        try {
            if (GetAvSystem().IsPlaying()) GetAvSystem().StopPlaying();
        } catch (const std::exception&) {
        }
        playButton_->setText(QStringLiteral("Play"));
        playingArrangement_ = false;
        queuedLoop_ = -1;
        reportError_(ErrorText(e));
    }
}

void MainForm::LayoutTickIndicators() {
    // All in twips; the rows' pixel measures are whole multiples of them.
    const SequenceControl* last = Row(NumTracks() - 1);
    const SequenceControl* first = Row(0);
    const LONG base =
        static_cast<LONG>(std::nearbyint(static_cast<float>(PixelsToTwips(last->y())) +
                                         static_cast<float>(PixelsToTwips(last->height()))));
    const LONG rowLeft = PixelsToTwips(first->x());
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
    AvSystem& av = GetAvSystem();
    if (!av.IsPlaying()) av.ReleaseDevice();
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
