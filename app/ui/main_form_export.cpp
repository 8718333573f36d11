// Exporting from the window: the loop shown or the arrangement, as WAV or
// FLAC (the mix, or one file per track into a folder) or as a MIDI file,
// rendered by the engine on a worker while the window goes on, with its
// progress and Cancel in the status bar. What it writes is what
// `Trellon --render` writes for the same choice.
#include "support/text_format.h"
#include "ui/main_form.h"

void MainForm::ExportCommand_Click() {
    Export(ExportChoice::Format::kWav);
}

void MainForm::ExportMidiCommand_Click() {
    Export(ExportChoice::Format::kMidi);
}

void MainForm::Export(ExportChoice::Format format) {
    if (exporting_) return;
    ExportChoice choice;
    const std::shared_ptr<Song>& song = GetSong();
    choice.arrangement = ArrangementMode() && !song->Arrangement().empty();
    choice.loop = SelectedLoopIndex();
    choice.format = format;
    if (!musicDialogs_->ChooseExport(choice, !song->Arrangement().empty(), this)) return;
    if (!Run([&] { CheckExport(*song, choice, "“" + DocumentName() + "”"); })) return;

    std::string path = DialogFolder();
    if (choice.stems) {
        dialogs_->ShowFolderDialog(path, "Export Stems into Folder", this);
    } else if (choice.format == ExportChoice::Format::kMidi) {
        dialogs_->ShowSaveFileDialog(path, "mid", "MIDI file", this);
    } else {
        const bool flac = choice.format == ExportChoice::Format::kFlac;
        dialogs_->ShowSaveFileDialog(path, flac ? "flac" : "wav", flac ? "FLAC audio" : "WAV audio",
                                     this);
    }
    if (path.empty()) return;
    RememberFolderOf(path);
    Run([&] {
        engine_->ExportInBackground(choice, path, [this](const std::string& error) {
            exporting_ = false;
            if (!error.empty()) reportError_(error);
            // Said, not refused: the file is written, but its peaks were cut.
            else if (engine_->ExportClipped() > 0)
                reportError_("The export clipped " +
                             Thousands(static_cast<long long>(engine_->ExportClipped())) +
                             " samples: lower the master level to keep its peaks below full "
                             "scale");
        });
        exporting_ = true;
    });
}
