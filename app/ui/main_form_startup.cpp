// Start-up: the window's load handler.
#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

#include "song/song_file.h"
#include "sound/sound_device.h"
#include "support/paths.h"
#include "support/program_name.h"
#include "support/window_lookup.h"
#include "ui/main_form.h"

void MainForm::HideInstallerWindow() {
    try {
        WindowCollection windows = TopLevelWindows();
        if (TopLevelWindow* w = windows.FindByCaption(kInstallerCaption, "")) w->SetVisible(false);
    } catch (...) {
        // Start-up goes on whatever happens here.
    }
}

void MainForm::Load() {
    HideInstallerWindow();
    if (!settings_)
        settings_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                kProgramTitle, kProgramTitle);
    if (!engine_->Recovery()) SetRecoveryFolder(SongRecovery::DefaultFolder());
    // The output chosen in an earlier run, unless the command line named one.
    if (!outputFromCommandLine_)
        SetSoundOutput({settings_->value("Audio/Driver").toString().toStdString(),
                        settings_->value("Audio/Device").toString().toStdString()});
    if (programFolder_.empty())
        programFolder_ = QCoreApplication::applicationDirPath().toStdString();
    countInCommand_->setChecked(settings_->value("Live/CountIn", false).toBool());
    LoadSyncSettings();

    // The song named at start-up, else the bundled song as a template: it is
    // shown and played, but Save asks where to keep it.
    bool opened = false;
    if (!startupSong_.empty()) opened = Run([&] { OpenSongFile(startupSong_); });
    if (!opened) ShowDefaultSong();
    RebuildRecentMenu();

    OfferRecovery();
    StartSession();
    std::string why;
    if (engine_->Recovery()->Begin(&why)) {
        const int seconds = settings_->value("Recovery/IntervalSeconds", 60).toInt();
        autosaveTimer_.start(std::max(seconds, 1) * 1000);
    } else {
        // Said once, and kept in sight.
        recoveryUnusable_ = why;
        ShowDocument();
        reportError_(
            "Changes will not be kept for recovery if Trellon ends unexpectedly: the "
            "recovery folder cannot be used (" +
            why + "). Save your work now and then.");
    }
}

std::string MainForm::DefaultSongPath() const {
    // Beside the program (a build, or a folder copied whole), else in
    // the data folder of the prefix it is installed in.
    std::string path = CombinePath(programFolder_, kDefaultSongName);
    const std::string installed =
        CombinePath(CombinePath(programFolder_, "../share/trellon"), kDefaultSongName);
    if (!QFileInfo::exists(QString::fromStdString(path)) &&
        QFileInfo::exists(QString::fromStdString(installed)))
        path = installed;
    return path;
}

void MainForm::ShowDefaultSong() {
    const std::string path = DefaultSongPath();
    try {
        std::string notice;
        engine_->ShowSong(ReadSongFile(path, &notice), "");
        if (!notice.empty()) reportError_(notice);
        saveCommand_->setEnabled(true);
    } catch (const std::exception& e) {
        // Without the default song the program starts on an empty one: one
        // row, loop 0 with a track for it.
        reportError_(ErrorText(e));
        engine_->StartEmpty();
    }
    // The tempo of the start: the loop buffer keeps the length the
    // file's tempo gave it until a new one is made.
    GetSong()->SetBpm(120 * 10000);
    ShowSongSettings();
}
