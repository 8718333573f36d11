// The window in a session manager's session: the manager opens and saves
// the song in the session's folder and is told when it has unsaved changes.
#include <QCoreApplication>
#include <QFileInfo>
#include <QStatusBar>

#include "session/nsm_client.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/program_name.h"
#include "ui/main_form.h"

namespace {
constexpr char kSongExtension[] = ".loop";
}  // namespace

void MainForm::StartSession() {
    NsmClient::Handlers handlers;
    handlers.open = [this](const std::string& path, const std::string&, const std::string&) {
        return OpenSessionSong(path + kSongExtension);
    };
    handlers.save = [this] { return SaveSessionSong(); };
    handlers.announced = [this](const std::string& manager) {
        statusBar()->showMessage(
            QStringLiteral("In a session of %1").arg(QString::fromStdString(manager)), 10000);
    };
    handlers.refused = [this](const std::string& error) {
        reportError_("The session manager did not take Trellon into its session: " + error);
    };
    const std::string executable =
        QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    std::string error;
    session_ = NsmClient::FromEnvironment(
        kProgramTitle, executable,
        [this](std::function<void()> work) {
            QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
        },
        std::move(handlers), &error);
    if (!error.empty()) reportError_(error);
}

std::string MainForm::OpenSessionSong(const std::string& path) {
    // The session asks; nothing is asked of the user. What the song had
    // unsaved is the session's to keep or leave.
    try {
        WaitForWork();
        if (!QFileInfo::exists(QString::fromStdString(path))) {
            // A new client of the session: the bundled song, kept there
            // first; the song shown stays when it cannot be.
            std::shared_ptr<Song> song = ReadSongFile(DefaultSongPath());
            song->SetBpm(120 * 10000);
            WriteSongFile(*song, path);
        }
        std::string notice;
        engine_->OpenSong(path, &notice);
        if (!notice.empty()) statusBar()->showMessage(QString::fromStdString(notice), 10000);
    } catch (const std::exception& e) {
        return ErrorText(e);
    }
    saveCommand_->setEnabled(true);
    ShowDocument();
    return {};
}

std::string MainForm::SaveSessionSong() {
    if (FilePath().empty()) return "The session has not opened a song in Trellon yet.";
    try {
        WaitForWork();
        engine_->SaveSong(FilePath());
    } catch (const std::exception& e) {
        return ErrorText(e);
    }
    ShowDocument();
    return {};
}
