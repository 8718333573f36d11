// Exporting from the window: the loop shown or the arrangement, as WAV or
// FLAC, rendered on a thread of its own behind a progress dialog that can
// cancel it. What it writes is what `Trellon --render` writes for the same
// choice.
#include <QApplication>

#include "output/av_module.h"
#include "song/song_export.h"
#include "support/text_format.h"
#include "ui/main_form.h"

void MainForm::ExportCommand_Click() {
    if (IsExporting()) return;
    ExportChoice choice;
    choice.arrangement = ArrangementMode() && !song_->Arrangement().empty();
    choice.loop = SelectedLoopIndex();
    if (!musicDialogs_->ChooseExport(choice, !song_->Arrangement().empty(), this)) return;
    const std::string name = Quoted(DocumentName());
    if (!Report([&] { CheckExport(*song_, choice, name); })) return;

    const bool flac = choice.format == ExportChoice::Format::kFlac;
    std::string path = DialogFolder();
    dialogs_->ShowSaveFileDialog(path, flac ? "flac" : "wav", flac ? "FLAC audio" : "WAV audio",
                                 this);
    if (path.empty()) return;
    RememberFolderOf(path);

    // The thread renders a copy: the song goes on being edited meanwhile.
    exportPath_ = path;
    exportDone_ = 0;
    exportCancel_ = false;
    exportFinished_ = false;
    exportError_.clear();
    exportThread_ = std::thread([this, song = DetachedCopy(*song_), choice, path] {
        try {
            ExportSong(song, choice, path, [this](double done) {
                exportDone_ = done;
                return !exportCancel_;
            });
        } catch (const std::exception& e) {
            exportError_ = ErrorText(e);
        }
        exportFinished_ = true;
    });
    exportProgress_ =
        std::make_unique<QProgressDialog>(QString::fromStdString("Exporting " + name + "..."),
                                          QStringLiteral("Cancel"), 0, 1000, this);
    exportProgress_->setWindowModality(Qt::WindowModal);
    exportProgress_->setMinimumDuration(300);
    connect(exportProgress_.get(), &QProgressDialog::canceled, this,
            [this] { exportCancel_ = true; });
    exportTimer_.start(50);
}

void MainForm::FinishExport() {
    if (!exportFinished_) {
        if (exportProgress_) exportProgress_->setValue(int(exportDone_ * 1000));
        return;
    }
    exportTimer_.stop();
    exportThread_.join();
    exportProgress_.reset();
    if (!exportError_.empty()) reportError_(exportError_);
}
