// The File menu: New, Open, Save and Save As, and reading and writing the
// song file.
#include "output/av_module.h"
#include "output/paused_playback.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "ui/edit_commands.h"
#include "ui/main_form.h"

namespace {
constexpr char kExtension[] = "loop";
constexpr char kDescription[] = "Loop";
}  // namespace

void MainForm::NewCommand_Click() {
    if (!MaySongBeDiscarded()) return;
    undo_.push(new NewSongEdit(*this));  // owned by the stack
}

void MainForm::ApplyNew() {
    Report([&] { New(); });
}

void MainForm::New() {
    filePath_.clear();
    renderer_.PrepareLoopWav(*song_);
    song_->ClearLoops();
    SetSelectedLoopIndex(0);
    UpdateDocumentStatus();
}

void MainForm::RestoreLoops(std::vector<std::shared_ptr<SequenceLoop>> loops,
                            const std::string& path, std::uint8_t selected) {
    Report([&] {
        song_->SetLoopSlots(std::move(loops));
        filePath_ = path;
        SetSelectedLoopIndex(selected);
    });
    UpdateDocumentStatus();
}

void MainForm::OpenCommand_Click() {
    if (!MaySongBeDiscarded()) return;
    Report([&] { GetAvSystem().StopPlaying(); });
    playButton_->setText(QStringLiteral("Play"));
    std::string path = DialogFolder();
    dialogs_->ShowOpenFileDialog(path, kExtension, kDescription, this);
    if (path.empty()) return;
    RememberFolderOf(path);
    Report([&] { OpenSongFile(path); });
}

void MainForm::OpenSongFile(const std::string& path) {
    try {
        // The current song is not touched until the whole file has been read.
        ShowOpenedSong(ReadSongFile(path), path);
    } catch (const AppError& e) {
        // A song that cannot be had leaves its list of recent files.
        if (e.Number() == kErrFileNotFound) {
            QStringList recent =
                settings_ ? settings_->value("RecentFiles").toStringList() : QStringList();
            if (recent.removeAll(QString::fromStdString(path)) > 0)
                settings_->setValue("RecentFiles", recent);
        }
        throw;
    }
    AddRecentFile(path);
}

void MainForm::ShowOpenedSong(std::shared_ptr<Song> song, const std::string& savePath) {
    isFillingRows_ = true;
    // What to go back to if the song read cannot be shown.
    const std::shared_ptr<Song> oldSong = song_;
    const std::string oldPath = filePath_;
    const bool oldSave = saveCommand_->isEnabled();
    const std::uint8_t oldLoop = SelectedLoopIndex();
    const ComPtr<IWav> oldWav = LoopWav();
    const LONG oldTickLength = TickLength();
    try {
        filePath_ = savePath;
        saveCommand_->setEnabled(true);
        SetSong(song);
        isFillingRows_ = false;
        renderer_.PrepareLoopWav(*song_);
        renderer_.RenderSelectedLoop(*song_, *this);
    } catch (...) {
        filePath_ = oldPath;
        saveCommand_->setEnabled(oldSave);
        try {
            SetSong(oldSong);
            SetSelectedLoopIndex(oldLoop);
        } catch (...) {
        }
        renderer_.LoopWav = oldWav;
        renderer_.TickLength = oldTickLength;
        isFillingRows_ = false;
        throw;
    }
    // A new document: nothing to undo, nothing owed to its file.
    undo_.clear();
    MarkSaved(savePath);
}

void MainForm::SaveCommand_Click() {
    Save();
}

void MainForm::SaveAsCommand_Click() {
    SaveAs();
}

bool MainForm::Save() {
    // A song without a file of its own (new, or the bundled template) is
    // saved where the user says.
    if (filePath_.empty()) return SaveAs();
    PausedPlayback paused(GetAvSystem());
    return Report([&] { SaveSongFile(filePath_); });
}

bool MainForm::SaveAs() {
    PausedPlayback paused(GetAvSystem());
    std::string path = filePath_.empty() ? DialogFolder() : filePath_;
    dialogs_->ShowSaveFileDialog(path, kExtension, kDescription, this);
    if (path.empty()) return false;
    RememberFolderOf(path);
    return Report([&] { SaveSongFile(path); });
}

void MainForm::SaveSongFile(const std::string& path) {
    // The old file stays as it is until the whole song has been written.
    StoreRowsInLoop(*song_->Sequence(SelectedLoopIndex()));
    WriteSongFile(*song_, path);
    MarkSaved(path);
    AddRecentFile(path);
}
