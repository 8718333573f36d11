// The track rows of the main window: making and removing them, showing a
// loop in them, and their tick clicks, which become the engine's edits.
#include "import/audio_import.h"
#include "support/app_error.h"
#include "support/integers.h"
#include "ui/main_form.h"

void MainForm::SetNumTracks(LONG n) {
    n = MaxLong(1, MinLong(n, Engine::kMaxTracks));
    // Removed from the highest index down; row 0 stays.
    while (LONG(rows_.size()) > n) rows_.pop_back();
    const QRect first = rows_[0]->geometry();
    while (LONG(rows_.size()) < n) {
        const LONG i = LONG(rows_.size());
        auto row = std::make_unique<SequenceControl>(client_);
        row->SetShareWidth(true);
        row->SetShareWidth(true);
        row->setObjectName(QStringLiteral("SequenceControl%1").arg(i));
        row->SetNumTicks(TicksPerLoop());
        row->SetTicksPerBeat(engine_->FormatOf(engine_->SelectedLoop()).ticksPerBeat);
        row->setGeometry(first.x(), first.y() + int(i) * first.height(), first.width(),
                         first.height());
        WireRow(*row, i);
        for (QAction* a : rowActions_) row->addAction(a);
        row->setVisible(true);
        rows_.push_back(std::move(row));
    }
    SyncTrackControls();
}

void MainForm::TrackToRow(SequenceControl& row, const LoopTrack& track, const LoopFormat& format) {
    // As many boxes as the loop has ticks, grouped by its beats.
    row.SetNumTicks(format.ticks);
    row.SetTicksPerBeat(format.ticksPerBeat);
    // A row has at least 4 boxes; ticks the track lacks show as off.
    for (LONG t = 0; t < row.NumTicks(); ++t) {
        const bool has = t < track.NumTicks();
        row.SetValue(t, has && track.Value(static_cast<std::uint8_t>(t)));
        row.SetVelocity(t, has ? track.Velocity(static_cast<std::uint8_t>(t)) : 127);
    }
}

void MainForm::ShowLoopInRows(const SequenceLoop& loop) {
    // The boxes the program sets are no clicks.
    isFillingRows_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{isFillingRows_};
    LONG i = 0;
    for (const std::shared_ptr<LoopTrack>& track : loop.Tracks()) {
        SequenceControl* row = Row(i);
        if (!row)
            ThrowSubscriptOutOfRange("The loop has " + std::to_string(loop.Tracks().size()) +
                                     " tracks, more than the window's " +
                                     std::to_string(rows_.size()) + " rows");
        TrackToRow(*row, *track, loop.Format());
        ++i;
    }
    // Rows the loop has no track for show no ticks.
    for (; i < LONG(rows_.size()); ++i) {
        rows_[std::size_t(i)]->SetNumTicks(loop.Format().ticks);
        rows_[std::size_t(i)]->SetTicksPerBeat(loop.Format().ticksPerBeat);
        for (LONG t = 0; t < rows_[std::size_t(i)]->NumTicks(); ++t)
            rows_[std::size_t(i)]->SetValue(t, false);
    }
    // The lights follow the loop's length.
    LayoutTickIndicators();
}

void MainForm::ShowLoop() {
    const std::uint8_t v = engine_->SelectedLoop();
    SetCaptionForLoop(v);
    try {
        ShowLoopInRows(*GetSong()->LoopSlots().at(v));
        shownLoopFits_ = true;
    } catch (const std::exception& e) {
        // Said once, when the loop comes into view; clicks go on.
        if (shownLoopFits_) reportError_(ErrorText(e));
        shownLoopFits_ = false;
    }
    UpdateLoopButtons();
}

void MainForm::ShowTracks() {
    SetNumTracks(engine_->NumTracks());
    const std::shared_ptr<Song>& song = GetSong();
    for (LONG i = 0; i < NumTracks(); ++i) {
        const auto& samples = song->SampleSlots();
        const std::shared_ptr<Sample> sample =
            std::size_t(i) < samples.size() ? samples[std::size_t(i)] : nullptr;
        Row(i)->SetCaption(sample ? sample->Caption() : std::u16string());
        Row(i)->SetSample(sample ? sample->Wav() : nullptr);
    }
    SyncTrackControls();
    // The lights follow the rows.
    LayoutTickIndicators();
    FitClientArea();
}

void MainForm::SequenceControl_TickChange(LONG rowIndex, short tickIndex) {
    if (isFillingRows_) return;
    SequenceControl* row = Row(rowIndex);
    if (!row) return;
    const bool on = row->Value(tickIndex);
    try {
        engine_->SetTick(engine_->SelectedLoop(), rowIndex, tickIndex, on);
    } catch (const std::exception& e) {
        // The song has no such tick: the box goes back to what the song holds.
        isFillingRows_ = true;
        row->SetValue(tickIndex, !on);
        isFillingRows_ = false;
        reportError_(ErrorText(e));
    }
}

void MainForm::LoadSample(LONG trackIndex, const std::string& path) {
    // Any audio file, in the song's sample format; the caption is the
    // file's name without its extension.
    ImportedAudio audio = ImportAudioFile(path);
    if (!Row(trackIndex))
        ThrowSubscriptOutOfRange("Track " + std::to_string(trackIndex) + " has no row");
    engine_->SetSample(trackIndex, audio.wav, audio.caption);
}
