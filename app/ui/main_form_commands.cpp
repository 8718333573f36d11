// The File menu: New, Open, Save and Save As, and reading and writing the
// song file.
#include "output/av_module.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "ui/main_form.h"

namespace {
constexpr char kExtension[] = "loop";
constexpr char kDescription[] = "Loop";
}  // namespace

void MainForm::NewCommand_Click() {
    Report([&] { New(); });
}

void MainForm::New() {
    filePath_.clear();
    renderer_.PrepareLoopWav(*song_);
    song_->ClearLoops();
    SetSelectedLoopIndex(0);
}

void MainForm::OpenCommand_Click() {
    Report([&] { GetAvSystem().StopPlaying(); });
    playButton_->setText(QStringLiteral("Play"));
    std::string path;
    dialogs_->ShowOpenFileDialog(path, kExtension, kDescription, this);
    if (path.empty()) return;
    Report([&] { OpenSongFile(path); });
}

void MainForm::OpenSongFile(const std::string& path) {
    // The current song is not touched until the whole file has been read.
    std::shared_ptr<Song> song = ReadSongFile(path);
    isFillingRows_ = true;
    // What to go back to if the song read cannot be shown.
    const std::shared_ptr<Song> oldSong = song_;
    const std::string oldPath = filePath_;
    const bool oldSave = saveCommand_->isEnabled();
    const std::uint8_t oldLoop = SelectedLoopIndex();
    const ComPtr<IWav> oldWav = LoopWav();
    const LONG oldTickLength = TickLength();
    try {
        filePath_ = path;
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
}

void MainForm::SaveCommand_Click() {
    AvSystem& av = GetAvSystem();
    Report([&] { av.Pause(); });
    if (filePath_.empty()) {
        SaveAs();
        return;
    }
    Report([&] {
        SaveSongFile(filePath_);
        av.UnPause();
    });
}

void MainForm::SaveAsCommand_Click() {
    SaveAs();
}

void MainForm::SaveAs() {
    AvSystem& av = GetAvSystem();
    Report([&] { av.Pause(); });
    std::string path;
    dialogs_->ShowSaveFileDialog(path, kExtension, kDescription, this);
    if (!path.empty()) Report([&] { SaveSongFile(path); });
    Report([&] { av.UnPause(); });
}

void MainForm::SaveSongFile(const std::string& path) {
    // The old file stays as it is until the whole song has been written.
    StoreRowsInLoop(*song_->Sequence(SelectedLoopIndex()));
    WriteSongFile(*song_, path);
}
