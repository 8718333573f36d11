// The track rows of the main window: making and removing them, showing a
// loop in them, copying them back into the song, and their tick clicks.
#include "com/bstr.h"
#include "import/audio_import.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/integers.h"
#include "support/paths.h"
#include "ui/edit_commands.h"
#include "ui/main_form.h"

void MainForm::SetNumTracks(LONG n) {
    n = MaxLong(1, MinLong(n, 64));
    // Removed from the highest index down; row 0 stays.
    while (LONG(rows_.size()) > n) rows_.pop_back();
    const QRect first = rows_[0]->geometry();
    while (LONG(rows_.size()) < n) {
        const LONG i = LONG(rows_.size());
        auto row = std::make_unique<SequenceControl>(client_);
        row->setObjectName(QStringLiteral("SequenceControl%1").arg(i));
        row->SetNumTicks(TicksPerLoop());
        row->setGeometry(first.x(), first.y() + int(i) * first.height(), first.width(),
                         first.height());
        WireRow(*row, i);
        row->setVisible(true);
        rows_.push_back(std::move(row));
    }
    renderer_.NumTracks = n;
    SyncTrackControls();
}

void MainForm::TrackToRow(SequenceControl& row, const LoopTrack& track) {
    row.SetNumTicks(track.NumTicks());
    // A row has at least 4 boxes; ticks the track lacks show as off.
    for (LONG t = 0; t < row.NumTicks(); ++t)
        row.SetValue(t, t < track.NumTicks() && track.Value(static_cast<std::uint8_t>(t)));
}

std::shared_ptr<LoopTrack> MainForm::RowToTrack(const SequenceControl& row) const {
    auto track = std::make_shared<LoopTrack>();
    track->SetNumTicks(static_cast<std::uint8_t>(row.NumTicks()));
    for (LONG t = 0; t < LONG(track->NumTicks()); ++t)
        track->SetValue(static_cast<std::uint8_t>(t), row.Value(t));
    return track;
}

void MainForm::ShowLoopInRows(SequenceLoop& loop) {
    LONG i = 0;
    for (const std::shared_ptr<LoopTrack>& track : loop.Tracks()) {
        SequenceControl* row = Row(i);
        if (!row)
            ThrowSubscriptOutOfRange("The loop has " + std::to_string(loop.Tracks().size()) +
                                     " tracks, more than the window's " +
                                     std::to_string(rows_.size()) + " rows");
        row->SetSample(song_->SampleAt(i)->Wav());
        TrackToRow(*row, *track);
        ++i;
    }
    // Rows the loop has no track for show no ticks: what they showed belongs
    // to another loop and must not be rendered or saved into this one.
    for (; i < LONG(rows_.size()); ++i)
        for (LONG t = 0; t < rows_[std::size_t(i)]->NumTicks(); ++t)
            rows_[std::size_t(i)]->SetValue(t, false);
}

void MainForm::StoreRowsInLoop(SequenceLoop& loop) {
    loop.Clear();
    for (LONG i = 0; i < NumTracks(); ++i) loop.Tracks().push_back(RowToTrack(*Row(i)));
}

bool MainForm::TickOn(int row, int tick) const {
    const SequenceControl* r = Row(row);
    const QCheckBox* box = r ? r->Check(tick) : nullptr;
    return box && box->isChecked();
}

void MainForm::SequenceControl_TickChange(LONG rowIndex, short tickIndex) {
    if (isFillingRows_) return;
    SequenceControl* row = Row(rowIndex);
    if (!row) return;
    const bool on = row->Value(tickIndex);
    try {
        // The song must hold the tick before the click becomes an edit.
        song_->Sequence(SelectedLoopIndex())
            ->Track(rowIndex)
            ->Value(static_cast<std::uint8_t>(tickIndex));
    } catch (const std::exception& e) {
        // The song has no such tick: the box goes back to what the song holds.
        isFillingRows_ = true;
        row->SetValue(tickIndex, !on);
        isFillingRows_ = false;
        reportError_(ErrorText(e));
        return;
    }
    undo_.push(new TickEdit(*this, SelectedLoopIndex(), rowIndex, tickIndex, on));
}

void MainForm::ApplyTick(std::uint8_t loop, LONG track, short tick, bool on) {
    Report([&] {
        // The change is shown where it is made.
        if (loop != SelectedLoopIndex()) SetSelectedLoopIndex(loop);
        song_->Sequence(loop)->Track(track)->SetValue(static_cast<std::uint8_t>(tick), on);
        if (SequenceControl* row = Row(track)) {
            isFillingRows_ = true;
            row->SetValue(tick, on);
            isFillingRows_ = false;
        }
        renderer_.RenderSelectedLoop(*song_, *this);
    });
    UpdateLoopButtons();
}

void MainForm::LoadSample(LONG trackIndex, const std::string& path) {
    // Any audio file, in the song's sample format; the caption is the
    // file's name without its extension.
    ImportedAudio audio = ImportAudioFile(path);
    if (!Row(trackIndex))
        ThrowSubscriptOutOfRange("Track " + std::to_string(trackIndex) + " has no row");
    const std::shared_ptr<Sample>& sample = song_->SampleAt(trackIndex);
    undo_.push(new SampleEdit(*this, trackIndex, {sample->Wav(), sample->Caption()},
                              {audio.wav, audio.caption}, QStringLiteral("Load Sample")));
}

void MainForm::ApplySample(LONG track, const ComPtr<IWav>& wav, const std::u16string& caption) {
    Report([&] {
        if (SequenceControl* row = Row(track)) {
            row->SetSample(wav);
            row->SetCaption(caption);
        }
        const std::shared_ptr<Sample>& sample = song_->SampleAt(track);
        sample->SetWav(wav);
        sample->SetCaption(caption);
        // Other loops sound the new sample when they are selected next.
        for (const auto& loop : song_->LoopSlots())
            if (loop && loop != song_->LoopSlots()[SelectedLoopIndex()]) loop->SetWav(nullptr);
        if (LoopWav()) renderer_.RenderSelectedLoop(*song_, *this);
    });
}
