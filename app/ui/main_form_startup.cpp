// Start-up: the window's load handler.
#include <QCoreApplication>

#include "support/paths.h"
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
    song_ = std::make_shared<Song>();
    renderer_.TicksPerLoop = 32;
    SetNumTracks(1);
    if (programFolder_.empty())
        programFolder_ = QCoreApplication::applicationDirPath().toStdString();
    const std::string path = CombinePath(programFolder_, kDefaultSongName);
    try {
        OpenSongFile(path);
    } catch (const std::exception& e) {
        // Without the default song the program starts on an empty one: one
        // row, loop 0 with a track for it.
        reportError_(e.what());
        song_->SetBpm(120 * 10000);
        Report([&] {
            StoreRowsInLoop(*song_->Sequence(0));
            SetSelectedLoopIndex(0);
        });
    }
    song_->SetBpm(120 * 10000);
    LayoutTickIndicators();
}
