// The tracks of the main window: a track's sound chosen with its button,
// dropped on it or imported with a drum kit; tracks added, renamed and
// removed. Every change is an edit on the undo stack.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "com/bstr.h"
#include "forms/twips.h"
#include "import/audio_import.h"
#include "import/drum_kit.h"
#include "output/av_module.h"
#include "support/app_error.h"
#include "support/integers.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "ui/main_form.h"

namespace {
constexpr LONG kMaxTracks = 64;

// The local files an event carries.
std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}
}  // namespace

TrackLayout MainForm::CaptureTracks() const {
    TrackLayout layout;
    layout.samples = song_->SampleSlots();
    for (const auto& loop : song_->LoopSlots())
        layout.loops.push_back(loop ? std::make_shared<SequenceLoop::TrackList>(loop->Tracks())
                                    : nullptr);
    return layout;
}

void MainForm::ApplyTracks(const TrackLayout& layout) {
    Report([&] {
        song_->SetSampleSlots(layout.samples);
        const auto& loops = song_->LoopSlots();
        for (std::size_t i = 0; i < loops.size(); ++i)
            if (loops[i] && i < layout.loops.size() && layout.loops[i])
                loops[i]->Tracks() = *layout.loops[i];
        RefreshTracks();
    });
}

void MainForm::ChangeTracks(const std::function<void()>& change) {
    Report(change);
    Report([&] { RefreshTracks(); });
}

void MainForm::RefreshTracks() {
    const LONG tracks = MinLong(song_->NumTracks(), kMaxTracks);
    // Every loop has a track per row, as the rows show them.
    for (const auto& loop : song_->LoopSlots()) {
        if (!loop) continue;
        auto& list = loop->Tracks();
        while (LONG(list.size()) > tracks) list.pop_back();
        while (LONG(list.size()) < tracks) {
            auto track = std::make_shared<LoopTrack>();
            track->SetNumTicks(static_cast<std::uint8_t>(TicksPerLoop()));
            list.push_back(std::move(track));
        }
        // Renderings of other loops are made again when they are selected.
        if (loop != song_->LoopSlots()[SelectedLoopIndex()]) loop->SetWav(nullptr);
    }
    SetNumTracks(tracks);
    isFillingRows_ = true;
    try {
        ShowLoopInRows(*song_->Sequence(SelectedLoopIndex()));
    } catch (...) {
        isFillingRows_ = false;
        throw;
    }
    isFillingRows_ = false;
    for (LONG i = 0; i < NumTracks(); ++i) {
        const std::shared_ptr<Sample> sample = song_->SampleAt(i);
        Row(i)->SetCaption(sample->Caption());
        Row(i)->SetSample(sample->Wav());
    }
    if (LoopWav()) renderer_.RenderSelectedLoop(*song_, *this);
    SyncTrackControls();
    UpdateLoopButtons();
    // The lights follow the rows the user added or removed.
    LayoutTickIndicators();
    FitClientArea();
}

void MainForm::FitClientArea() {
    const FilledSquare* last = TickIndicator(NumTickIndicators() - 1);
    const int needed = last ? last->geometry().bottom() + 10 : 0;
    client_->setFixedHeight(std::max(TwipsToPixels(3900), needed));
}

LONG MainForm::AppendTrackToSong() {
    const LONG index = song_->NumTracks();
    if (index >= kMaxTracks)
        ThrowError(kErrInvalidArgument, "A song holds at most 64 tracks in the window");
    song_->SampleAt(index);
    return index;
}

void MainForm::ChooseSample(LONG track) {
    std::string path =
        settings_ ? settings_->value("LastSampleFolder").toString().toStdString() : std::string();
    dialogs_->ShowAudioFileDialog(
        path, "Audio files", ImportableFilePatterns(),
        [this](const std::string& file) { PreviewSample(file); }, this);
    Report([&] { GetAvSystem().StopPlaying(); });
    playButton_->setText(QStringLiteral("Play"));
    if (path.empty()) return;
    if (settings_)
        settings_->setValue("LastSampleFolder", QString::fromStdString(FolderOfPath(path)));
    ReplaceSample(track, path);
}

void MainForm::PreviewSample(const std::string& path) {
    Report([&] {
        ImportedAudio audio = ImportAudioFile(path);
        ComPtr<IWavReader> reader;
        Check(audio.wav->OpenReader(reader.Out()));
        AvSystem& av = GetAvSystem();
        if (av.IsPlaying()) av.StopPlaying();
        playButton_->setText(QStringLiteral("Play"));
        av.PlayAudio(reader.get(), {.EventSink = this, .PlayLoop = false});
    });
}

void MainForm::ReplaceSample(LONG track, const std::string& path) {
    Report([&] {
        if (!Row(track)) ThrowSubscriptOutOfRange("Track " + std::to_string(track) + " has no row");
        ImportedAudio audio = ImportAudioFile(path);
        const std::shared_ptr<Sample> sample = song_->SampleAt(track);
        undo_.push(new SampleEdit(*this, track, {sample->Wav(), sample->Caption()},
                                  {audio.wav, audio.caption}, QStringLiteral("Load Sample")));
    });
}

void MainForm::RenameTrack(LONG track) {
    const std::shared_ptr<Sample> sample = song_->SampleAt(track);
    std::string name = Utf8FromUtf16(sample->Caption());
    if (!prompts_->AskText("Name of track " + std::to_string(track + 1) + ":", name, this)) return;
    // A caption is at most 255 characters in a song file.
    std::u16string caption = Utf16FromUtf8(name).substr(0, 255);
    if (caption == sample->Caption()) return;
    undo_.push(new SampleEdit(*this, track, {sample->Wav(), sample->Caption()},
                              {sample->Wav(), std::move(caption)}, QStringLiteral("Rename Track")));
}

void MainForm::AddTrack() {
    if (song_->NumTracks() >= kMaxTracks) {
        reportError_("A song holds at most 64 tracks in the window");
        return;
    }
    undo_.push(
        new TrackLayoutEdit(*this, QStringLiteral("Add Track"), [this] { AppendTrackToSong(); }));
}

void MainForm::AddTracksFromFiles(const std::vector<std::string>& paths) {
    // Each file is read before anything changes; those that cannot be read
    // are reported and left out.
    std::vector<ImportedAudio> sounds;
    std::string failed;
    for (const std::string& p : paths) {
        if (song_->NumTracks() + LONG(sounds.size()) >= kMaxTracks) {
            failed += "\nA song holds at most 64 tracks in the window.";
            break;
        }
        try {
            sounds.push_back(ImportAudioFile(p));
        } catch (const std::exception& e) {
            failed += "\n" + ErrorText(e);
        }
    }
    if (!sounds.empty())
        undo_.push(new TrackLayoutEdit(
            *this, sounds.size() == 1 ? QStringLiteral("Add Track") : QStringLiteral("Add Tracks"),
            [this, sounds] {
                for (const ImportedAudio& s : sounds) {
                    const LONG i = AppendTrackToSong();
                    auto sample = std::make_shared<Sample>();
                    sample->SetWav(s.wav);
                    sample->SetCaption(s.caption);
                    auto samples = song_->SampleSlots();
                    samples[std::size_t(i)] = sample;
                    song_->SetSampleSlots(std::move(samples));
                }
            }));
    if (!failed.empty()) reportError_("Not every file became a track:" + failed);
}

void MainForm::RemoveTrack(LONG track) {
    if (song_->NumTracks() <= 1) {
        reportError_("The last track of a song stays");
        return;
    }
    undo_.push(new TrackLayoutEdit(*this, QStringLiteral("Remove Track"),
                                   [this, track] { song_->RemoveTrack(track); }));
}

void MainForm::ImportDrumKitCommand_Click() {
    std::string path =
        settings_ ? settings_->value("LastKitFolder").toString().toStdString() : std::string();
    dialogs_->ShowOpenFileDialog(path, "xml", "Drum kit", this);
    if (path.empty()) return;
    if (settings_) settings_->setValue("LastKitFolder", QString::fromStdString(FolderOfPath(path)));
    ImportDrumKit(path);
}

void MainForm::ImportDrumKit(const std::string& path) {
    DrumKit kit;
    if (!Report([&] { kit = ReadDrumKit(path); })) return;
    // One track per instrument, from the first on, as far as the rows go.
    std::vector<ImportedAudio> sounds;
    std::string failed;
    for (const DrumKit::Instrument& instrument : kit.instruments) {
        if (LONG(sounds.size()) >= kMaxTracks) break;
        try {
            ImportedAudio sound = ImportAudioFile(instrument.sample);
            if (!instrument.name.empty()) sound.caption = Utf16FromUtf8(instrument.name);
            sounds.push_back(std::move(sound));
        } catch (const std::exception& e) {
            failed += "\n" + instrument.name + ": " + ErrorText(e);
        }
    }
    if (!sounds.empty())
        undo_.push(new TrackLayoutEdit(*this, QStringLiteral("Import Drum Kit"), [this, sounds] {
            auto samples = song_->SampleSlots();
            if (samples.size() < sounds.size()) samples.resize(sounds.size());
            for (std::size_t i = 0; i < sounds.size(); ++i) {
                // New sample objects: what was there stays for undo.
                auto sample = std::make_shared<Sample>();
                sample->SetWav(sounds[i].wav);
                sample->SetCaption(sounds[i].caption);
                samples[i] = std::move(sample);
            }
            song_->SetSampleSlots(std::move(samples));
        }));
    if (!failed.empty())
        reportError_("Not every instrument of " + Quoted(kit.name.empty() ? path : kit.name) +
                     " could be loaded:" + failed);
}

std::unique_ptr<QMenu> MainForm::SampleButtonMenu(LONG track) {
    auto menu = std::make_unique<QMenu>(this);
    menu->addAction(QStringLiteral("&Replace..."), this, [this, track] { ChooseSample(track); });
    menu->addAction(QStringLiteral("Re&name..."), this, [this, track] { RenameTrack(track); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Remove Track"), this, [this, track] { RemoveTrack(track); })
        ->setEnabled(song_->NumTracks() > 1);
    return menu;
}

LONG MainForm::RowAt(const QPoint& windowPosition) const {
    const QPoint at = client_->mapFrom(this, windowPosition);
    for (LONG i = 0; i < NumTracks(); ++i)
        if (Row(i)->geometry().contains(at)) return i;
    return -1;
}

void MainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainForm::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainForm::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = LocalFiles(event->mimeData());
    if (files.empty()) return;
    event->acceptProposedAction();
    // One file on a row gives that track its sound; more files, or files
    // dropped elsewhere, become new tracks.
    const LONG row = RowAt(event->position().toPoint());
    if (files.size() == 1 && row >= 0)
        ReplaceSample(row, files.front());
    else
        AddTracksFromFiles(files);
}
