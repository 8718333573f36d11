// The File menu: New, Open, Save and Save As. Songs are read and written
// by the engine on a worker; the window shows the work and goes on.
#include <QFileInfo>

#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "ui/main_form.h"

namespace {
constexpr char kExtension[] = "loop";
constexpr char kDescription[] = "Loop";
}  // namespace

void MainForm::NewCommand_Click() {
    if (!MaySongBeDiscarded()) return;
    Run([&] { engine_->New(); });
}

void MainForm::OpenCommand_Click() {
    if (!MaySongBeDiscarded()) return;
    Run([&] { engine_->Stop(); });
    std::string path = DialogFolder();
    // Another drum machine's songs open too, as new songs.
    dialogs_->ShowOpenFileDialog(path, "loop h2song", "Songs", this);
    if (path.empty()) return;
    RememberFolderOf(path);
    OpenInBackground(path);
}

void MainForm::OpenSongFile(const std::string& path) {
    if (!MayOpen(path)) return;
    try {
        // The current song is not touched until the whole file has been read.
        std::string notice;
        engine_->OpenSong(path, &notice);
        if (!notice.empty()) reportError_(notice);
    } catch (const AppError& e) {
        // A song that cannot be had leaves its list of recent files.
        if (e.Number() == kErrFileNotFound) ForgetRecentFile(path);
        throw;
    }
    saveCommand_->setEnabled(true);
    AddRecentFile(path);
}

bool MainForm::MayOpen(const std::string& path) {
    if (!engine_->OpenElsewhere(path)) return true;
    return prompts_->Ask(Quoted(FileNameOfPath(path)) +
                             " is open in another Trellon window. Whichever saves last replaces "
                             "what the other saved. Open it here too?",
                         this);
}

void MainForm::OpenInBackground(const std::string& path) {
    if (!MayOpen(path)) return;
    Run([&] {
        engine_->OpenSongInBackground(path, [this, path](const std::string& error) {
            if (!error.empty()) {
                if (!QFileInfo::exists(QString::fromStdString(path))) ForgetRecentFile(path);
                reportError_(error);
                return;
            }
            saveCommand_->setEnabled(true);
            AddRecentFile(path);
        });
    });
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
    if (FilePath().empty()) return SaveAs();
    // What another program (or another Trellon) saved there is not lost
    // without a question.
    if (engine_->ChangedOnDisk()) {
        switch (prompts_->AskToOverwrite(DocumentName(), this)) {
            case OverwriteChoice::kOverwrite:
                break;
            case OverwriteChoice::kSaveAs:
                return SaveAs();
            case OverwriteChoice::kCancel:
                return false;
        }
    }
    return SaveTo(FilePath());
}

bool MainForm::SaveAs() {
    engine_->Pause();
    std::string path = FilePath().empty() ? DialogFolder() : FilePath();
    dialogs_->ShowSaveFileDialog(path, kExtension, kDescription, this);
    engine_->UnPause();
    if (path.empty()) return false;
    RememberFolderOf(path);
    return SaveTo(path);
}

bool MainForm::SaveTo(const std::string& path) {
    auto saved = std::make_shared<bool>(false);
    const bool started = Run([&] {
        engine_->SaveSongInBackground(path, [this, path, saved](const std::string& error) {
            if (!error.empty()) {
                reportError_(error);
                return;
            }
            *saved = true;
            AddRecentFile(path);
        });
    });
    if (!started) return false;
    // The caller goes on once the file is written (or not).
    WaitForWork();
    return *saved;
}
