// The song as a document in the window: the status bar that says whether
// it differs from its file, the Edit menu, the offer to save it before it
// is lost, the recent files, the folder the dialogs start in, keeping it
// for recovery, and long work shown with its progress.
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include "session/nsm_client.h"
#include "song/song_file.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "ui/main_form.h"

namespace {
constexpr int kRecentFiles = 8;
// Work that ends sooner shows no progress.
constexpr qint64 kShowWorkAfterMs = 500;
}  // namespace

void MainForm::ShowDocument() {
    if (!documentLabel_) return;
    documentLabel_->setText(QString::fromStdString(DocumentName()));
    modifiedLabel_->setText(IsModified() ? QStringLiteral("Modified") : QString());
    if (session_) session_->SetDirty(IsModified());
    const std::string problem =
        !recoveryUnusable_.empty() ? recoveryUnusable_ : engine_->RecoveryProblem();
    recoveryLabel_->setText(problem.empty() ? QString() : QStringLiteral("Not kept for recovery"));
    recoveryLabel_->setToolTip(QString::fromStdString(problem));
    UndoStack& undo = engine_->Undo();
    undoCommand_->setEnabled(undo.CanUndo());
    redoCommand_->setEnabled(undo.CanRedo());
    undoCommand_->setText(
        QStringLiteral("&Undo") +
        (undo.CanUndo() ? " " + QString::fromStdString(undo.UndoText()) : QString()));
    redoCommand_->setText(
        QStringLiteral("&Redo") +
        (undo.CanRedo() ? " " + QString::fromStdString(undo.RedoText()) : QString()));
}

void MainForm::ShowWork() {
    const BackgroundWork* work = engine_->Work();
    if (!work) {
        workTimer_.stop();
        workLabel_->hide();
        workProgress_->hide();
        workCancel_->hide();
        return;
    }
    if (!workTimer_.isActive()) {
        // Shown only when it takes a while.
        workTimer_.setProperty("started", QDateTime::currentMSecsSinceEpoch());
        workTimer_.start(100);
        return;
    }
    if (QDateTime::currentMSecsSinceEpoch() - workTimer_.property("started").toLongLong() <
        kShowWorkAfterMs)
        return;
    workLabel_->setText(QString::fromStdString(work->Title() + "..."));
    workProgress_->setValue(int(work->Done() * 1000));
    workLabel_->show();
    workProgress_->show();
    workCancel_->show();
}

void MainForm::WaitForWork() {
    // The window goes on (playback, lights, repaints) while the work ends.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!engine_->Work()) loop.quit();
    });
    poll.start(10);
    if (engine_->Work()) loop.exec();
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
    if (!FilePath().empty()) return FolderOfPath(FilePath());
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

void MainForm::ForgetRecentFile(const std::string& path) {
    if (!settings_) return;
    QStringList recent = settings_->value("RecentFiles").toStringList();
    if (recent.removeAll(QString::fromStdString(path)) == 0) return;
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
        ForgetRecentFile(path);
        prompts_->Tell(Quoted(FileNameOfPath(path)) + " is no longer there (" + path +
                           "), so it has been taken off the list of recent songs.",
                       this);
        return;
    }
    if (!MaySongBeDiscarded()) return;
    Run([&] { engine_->Stop(); });
    OpenInBackground(path);
}

void MainForm::SetRecoveryFolder(const std::string& folder) {
    engine_->SetRecovery(std::make_unique<SongRecovery>(folder));
    engine_->SetOpenMarks(folder);
}

void MainForm::AutosaveNow() {
    engine_->AutosaveNow();
}

void MainForm::OfferRecovery() {
    SongRecovery* recovery = engine_->Recovery();
    if (!recovery) return;
    // Newest first, each until the user has answered for it: No drops it
    // and goes on to the next, Yes restores it and keeps the rest for the
    // next start. Whatever is not answered (a signal, a crash meanwhile)
    // stays.
    for (const SongRecovery::Orphan& orphan : recovery->Orphans()) {
        if (ending_) return;
        // Another program offering it already has it.
        const FileLock claimed = recovery->Claim(orphan);
        if (!claimed.Held()) continue;
        const std::string name =
            orphan.songPath.empty() ? "Untitled" : FileNameOfPath(orphan.songPath);
        const std::string when =
            QDateTime::fromSecsSinceEpoch(orphan.keptAt).toString("d MMM, HH:mm").toStdString();
        const bool restore = prompts_->Ask("Trellon ended without saving " + Quoted(name) +
                                               ". Restore the song as it was at " + when + "?",
                                           this);
        if (ending_) return;
        if (!restore) {
            recovery->Remove(orphan);
            continue;
        }
        const bool restored = Run([&] {
            std::string notice;
            engine_->ShowSong(ReadSongFile(orphan.autosave, &notice), orphan.songPath);
            if (!notice.empty()) reportError_(notice);
            saveCommand_->setEnabled(true);
            // What was restored is not what its file holds, and it is kept
            // as this session's before the one it came from goes.
            engine_->ChangedOutsideUndo();
            engine_->KeepForRecovery();
        });
        if (restored) recovery->Remove(orphan);
        return;
    }
}
