// The tracks in the window: a track's sound chosen with its button,
// dropped on it or imported with a drum kit; tracks added, renamed and
// removed. Sounds are imported on a worker; every change is an edit of
// the engine.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "forms/twips.h"
#include "import/audio_import.h"
#include "import/drum_kit.h"
#include "import/kit_archive.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "ui/main_form.h"

namespace {

// The local files an event carries.
std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}

}  // namespace

void MainForm::FitClientArea() {
    const FilledSquare* last = TickIndicator(NumTickIndicators() - 1);
    const int needed = last ? last->geometry().bottom() + 10 : 0;
    client_->setFixedHeight(std::max(TwipsToPixels(3900), needed));
}

void MainForm::ChooseSample(LONG track) {
    std::string path =
        settings_ ? settings_->value("LastSampleFolder").toString().toStdString() : std::string();
    // A sound listened to in the dialog took the output over; it ends with
    // the dialog. Without one, what played goes on.
    bool listened = false;
    dialogs_->ShowAudioFileDialog(
        path, "Audio files", ImportableFilePatterns(),
        [&](const std::string& file) {
            listened = true;
            PreviewSample(file);
        },
        this);
    if (listened) Run([&] { engine_->Stop(); });
    if (path.empty()) return;
    if (settings_)
        settings_->setValue("LastSampleFolder", QString::fromStdString(FolderOfPath(path)));
    ReplaceSample(track, path);
}

void MainForm::PreviewSample(const std::string& path) {
    Run([&] {
        Doing("play " + Quoted(FileNameOfPath(path)),
              [&] { engine_->Preview(ImportAudioFile(path).wav); });
    });
}

void MainForm::ReplaceSample(LONG track, const std::string& path) {
    Run([&] {
        if (!Row(track)) ThrowSubscriptOutOfRange("Track " + std::to_string(track) + " has no row");
        engine_->ImportInBackground(
            "Importing " + Quoted(FileNameOfPath(path)), {path},
            [this, track](std::vector<Engine::Imported> results) {
                const Engine::Imported& r = results.at(0);
                if (!r.error.empty()) {
                    reportError_(r.error);
                    return;
                }
                Run([&] { engine_->SetSample(track, r.sound.wav, r.sound.caption); });
            });
    });
}

void MainForm::RenameTrack(LONG track) {
    const std::shared_ptr<Sample> sample = GetSong()->SampleAt(track);
    std::string name = Utf8FromUtf16(sample->Caption());
    if (!prompts_->AskText("Name of track " + std::to_string(track + 1) + ":", name, this)) return;
    Run([&] { engine_->RenameTrack(track, Utf16FromUtf8(name)); });
}

void MainForm::AddTrack() {
    Run([&] { engine_->AddTrack(); });
}

void MainForm::AddTracksFromFiles(const std::vector<std::string>& paths) {
    // As many as the song has room for; the rest is said.
    std::vector<std::string> taken = paths;
    std::string tooMany;
    const LONG room = Engine::kMaxTracks - GetSong()->NumTracks();
    if (LONG(taken.size()) > room) {
        taken.resize(std::size_t(std::max<LONG>(room, 0)));
        tooMany = "\nA song holds at most 64 tracks in the window.";
    }
    Run([&] {
        engine_->ImportInBackground(
            taken.size() == 1 ? "Importing " + Quoted(FileNameOfPath(taken[0]))
                              : "Importing " + std::to_string(taken.size()) + " files",
            taken, [this, tooMany](std::vector<Engine::Imported> results) {
                std::vector<ImportedAudio> sounds;
                std::string failed;
                for (const Engine::Imported& r : results) {
                    if (r.error.empty())
                        sounds.push_back(r.sound);
                    else
                        failed += "\n" + r.error;
                }
                Run([&] { engine_->AddTracks(sounds); });
                if (!failed.empty() || !tooMany.empty())
                    reportError_("Not every file became a track:" + failed + tooMany);
            });
    });
}

void MainForm::RemoveTrack(LONG track) {
    Run([&] { engine_->RemoveTrack(track); });
}

void MainForm::ImportDrumKitCommand_Click() {
    std::string path =
        settings_ ? settings_->value("LastKitFolder").toString().toStdString() : std::string();
    dialogs_->ShowOpenFileDialog(path, "xml h2drumkit", "Drum kit", this);
    if (path.empty()) return;
    if (settings_) settings_->setValue("LastKitFolder", QString::fromStdString(FolderOfPath(path)));
    ImportDrumKit(path);
}

void MainForm::ImportDrumKit(const std::string& path) {
    DrumKit kit;
    // A packed kit is unpacked for as long as its samples are being read.
    std::shared_ptr<KitArchive> archive;
    if (!Run([&] {
            if (IsKitArchivePath(path)) archive = KitArchive::Unpack(path);
            kit = ReadDrumKit(archive ? archive->Description() : path);
        }))
        return;
    const std::string name = Quoted(kit.name.empty() ? FileNameOfPath(path) : kit.name);
    // Over a song that has sounds: its tracks' sounds replaced, or the kit
    // added as tracks of its own.
    bool hasSounds = false;
    for (const auto& sample : GetSong()->SampleSlots()) hasSounds |= sample && sample->Wav();
    KitChoice how = KitChoice::kReplace;
    if (hasSounds) {
        how = prompts_->AskHowToAddKit(
            "Replace the sounds of the song's tracks with those of " + name +
                " (the patterns stay: track 1 plays the kit's first instrument), or add the "
                "kit as new tracks?",
            this);
        if (how == KitChoice::kCancel) return;
    }
    const LONG room = how == KitChoice::kReplace ? Engine::kMaxTracks
                                                 : Engine::kMaxTracks - GetSong()->NumTracks();
    // As many instruments as the tracks hold; what is left out is said.
    std::vector<std::string> samples, names;
    std::vector<int> notes;
    std::string leftOut;
    for (const std::string& outside : kit.outside)
        leftOut += "\n" + outside + ": outside the kit's folder";
    if (archive)
        for (const std::string& skipped : archive->Skipped())
            leftOut += "\n" + skipped + ": not a file of the kit's folder (passed over)";
    for (const DrumKit::Instrument& instrument : kit.instruments) {
        if (LONG(samples.size()) >= room) {
            leftOut += "\n" + std::to_string(kit.instruments.size() - samples.size()) +
                       " instruments more than the song's 64 tracks hold";
            break;
        }
        samples.push_back(instrument.sample);
        names.push_back(instrument.name);
        notes.push_back(instrument.note);
    }
    Run([&] {
        engine_->ImportInBackground(
            "Importing " + name, samples,
            [this, names, notes, name, how, leftOut,
             archive](std::vector<Engine::Imported> results) {
                std::vector<ImportedAudio> sounds;
                std::string failed = leftOut;
                for (std::size_t i = 0; i < results.size(); ++i) {
                    if (!results[i].error.empty()) {
                        failed += "\n" + names[i] + ": " + results[i].error;
                        continue;
                    }
                    // Instruments keep their names as captions.
                    sounds.push_back(results[i].sound);
                    if (!names[i].empty()) sounds.back().caption = Utf16FromUtf8(names[i]);
                    // And the notes the kit plays them with.
                    sounds.back().midiNote = notes[i];
                }
                Run([&] {
                    if (how == KitChoice::kAdd)
                        engine_->AddTracks(sounds);
                    else
                        engine_->ImportDrumKit(sounds);
                });
                if (!failed.empty())
                    reportError_("Not every instrument of " + name + " could be loaded:" + failed);
            });
    });
}

std::unique_ptr<QMenu> MainForm::SampleButtonMenu(LONG track) {
    auto menu = std::make_unique<QMenu>(this);
    menu->addAction(QStringLiteral("&Replace..."), this, [this, track] { ChooseSample(track); });
    menu->addAction(QStringLiteral("Re&name..."), this, [this, track] { RenameTrack(track); });
    AddRowCommands(*menu, track);
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Remove Track"), this, [this, track] { RemoveTrack(track); })
        ->setEnabled(GetSong()->NumTracks() > 1);
    return menu;
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
    // A song opens, a MIDI file comes into the loop shown, a kit is imported.
    if (files.size() == 1) {
        const std::string& file = files.front();
        const QString suffix = QFileInfo(QString::fromStdString(file)).suffix().toLower();
        if (suffix == "mid" || suffix == "midi") return ImportMidiFile(file);
        if (suffix == "h2drumkit" || FileNameOfPath(file) == "drumkit.xml")
            return ImportDrumKit(file);
        if (suffix == "loop" || suffix == "h2song") {
            if (!MaySongBeDiscarded()) return;
            Run([&] { engine_->Stop(); });
            return OpenInBackground(file);
        }
    }
    // One file on a row gives that track its sound; more files, or files
    // dropped elsewhere, become new tracks.
    const QPoint at = client_->mapFrom(this, event->position().toPoint());
    LONG row = -1;
    for (LONG i = 0; i < NumTracks(); ++i)
        if (Row(i)->geometry().contains(at)) row = i;
    if (files.size() == 1 && row >= 0)
        ReplaceSample(row, files.front());
    else
        AddTracksFromFiles(files);
}
