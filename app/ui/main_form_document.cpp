// The song as a document: whether it differs from its file, the status bar
// that says so, the offer to save it before it is lost, the recent files,
// the folder the dialogs start in, and keeping it for recovery.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "output/av_module.h"
#include "song/song_file.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "ui/main_form.h"

namespace {
constexpr int kRecentFiles = 8;
}  // namespace

bool MainForm::IsModified() const {
    return !undo_.isClean() || changedOutsideUndo_;
}

std::string MainForm::DocumentName() const {
    return filePath_.empty() ? "Untitled" : FileNameOfPath(filePath_);
}

void MainForm::MarkSaved(const std::string& path) {
    filePath_ = path;
    undo_.setClean();
    changedOutsideUndo_ = false;
    keptRevision_ = ++revision_;
    if (recovery_) recovery_->Forget();
    UpdateDocumentStatus();
}

void MainForm::ChangedOutsideUndo() {
    changedOutsideUndo_ = true;
    ++revision_;
    UpdateDocumentStatus();
}

void MainForm::UpdateDocumentStatus() {
    if (!documentLabel_) return;
    documentLabel_->setText(QString::fromStdString(DocumentName()));
    modifiedLabel_->setText(IsModified() ? QStringLiteral("Modified") : QString());
}

bool MainForm::MaySongBeDiscarded() {
    if (!IsModified()) return true;
    switch (prompts_->AskToSaveChanges(DocumentName(), this)) {
        case SaveChoice::kSave:
            return Save();
        case SaveChoice::kDiscard:
            return true;
        case SaveChoice::kCancel:
            break;
    }
    return false;
}

std::string MainForm::DialogFolder() const {
    if (!filePath_.empty()) return FolderOfPath(filePath_);
    const QString last = settings_ ? settings_->value("LastFolder").toString() : QString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last.toStdString();
    return QDir::homePath().toStdString();
}

void MainForm::RememberFolderOf(const std::string& path) {
    if (settings_) settings_->setValue("LastFolder", QString::fromStdString(FolderOfPath(path)));
}

std::vector<std::string> MainForm::RecentFiles() const {
    std::vector<std::string> files;
    if (settings_)
        for (const QString& f : settings_->value("RecentFiles").toStringList())
            files.push_back(f.toStdString());
    return files;
}

void MainForm::AddRecentFile(const std::string& path) {
    if (!settings_) return;
    const QString full = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    QStringList recent = settings_->value("RecentFiles").toStringList();
    recent.removeAll(full);
    recent.prepend(full);
    while (recent.size() > kRecentFiles) recent.removeLast();
    settings_->setValue("RecentFiles", recent);
    RebuildRecentMenu();
}

void MainForm::RebuildRecentMenu() {
    recentMenu_->clear();
    for (const std::string& path : RecentFiles()) {
        QAction* a = recentMenu_->addAction(QString::fromStdString(FileNameOfPath(path)));
        a->setToolTip(QString::fromStdString(path));
        connect(a, &QAction::triggered, this, [this, path] { OpenRecent(path); });
    }
    recentMenu_->setEnabled(!recentMenu_->isEmpty());
}

void MainForm::OpenRecent(const std::string& path) {
    if (!QFileInfo::exists(QString::fromStdString(path))) {
        // A file that is gone leaves the list, and the user is told.
        QStringList recent = settings_->value("RecentFiles").toStringList();
        recent.removeAll(QString::fromStdString(path));
        settings_->setValue("RecentFiles", recent);
        RebuildRecentMenu();
        prompts_->Tell(Quoted(FileNameOfPath(path)) + " is no longer there (" + path +
                           "), so it has been taken off the list of recent songs.",
                       this);
        return;
    }
    if (!MaySongBeDiscarded()) return;
    Report([&] { GetAvSystem().StopPlaying(); });
    playButton_->setText(QStringLiteral("Play"));
    Report([&] { OpenSongFile(path); });
}

void MainForm::SetRecoveryFolder(const std::string& folder) {
    recovery_ = std::make_unique<SongRecovery>(folder);
}

void MainForm::AutosaveNow() {
    if (!recovery_ || !IsModified() || revision_ == keptRevision_) return;
    Report([&] {
        StoreRowsInLoop(*song_->Sequence(SelectedLoopIndex()));
        recovery_->Keep(*song_, filePath_);
        keptRevision_ = revision_;
    });
}

void MainForm::OfferRecovery() {
    if (!recovery_) return;
    const std::vector<SongRecovery::Orphan> orphans = recovery_->Orphans();
    if (orphans.empty()) return;
    const SongRecovery::Orphan& newest = orphans.front();
    const std::string name = newest.songPath.empty() ? "Untitled" : FileNameOfPath(newest.songPath);
    const std::string when =
        QDateTime::fromSecsSinceEpoch(newest.keptAt).toString("d MMM, HH:mm").toStdString();
    if (prompts_->Ask("Trellon ended without saving " + Quoted(name) + ". Restore the song as it " +
                          "was at " + when + "?",
                      this)) {
        Report([&] {
            ShowOpenedSong(ReadSongFile(newest.autosave), newest.songPath);
            // What was restored is not what its file holds.
            ChangedOutsideUndo();
        });
    }
    for (const SongRecovery::Orphan& o : orphans) recovery_->Remove(o);
}
