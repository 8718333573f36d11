// File > Import MIDI: a MIDI file's notes into the loop shown, as one edit.
// Notes no track plays are named, and the user chooses whether tracks are
// added for them.
#include "exchange/midi_import.h"
#include "support/paths.h"
#include "ui/main_form.h"

void MainForm::ImportMidiCommand_Click() {
    std::string path = DialogFolder();
    dialogs_->ShowOpenFileDialog(path, "mid midi", "MIDI files", this);
    if (path.empty()) return;
    RememberFolderOf(path);
    ImportMidiFile(path);
}

void MainForm::ImportMidiFile(const std::string& path) {
    Run([&] {
        const std::string name = FileNameOfPath(path);
        const MidiFileContent file = ReadMidiFile(path);
        const std::uint8_t loop = SelectedLoop();
        const std::vector<int> unplayed = engine_->UnplayedMidiNotes(loop, file, name);
        bool add = false;
        if (!unplayed.empty()) {
            std::string list;
            for (std::size_t i = 0; i < unplayed.size() && i < 12; ++i)
                list += (i ? ", " : "") + std::to_string(unplayed[i]) + " (" +
                        DrumNoteName(unplayed[i]) + ")";
            if (unplayed.size() > 12)
                list += " and " + std::to_string(unplayed.size() - 12) + " more";
            add = prompts_->Ask(
                "No track plays " + std::string(unplayed.size() == 1 ? "note " : "notes ") + list +
                    " of \u201C" + name + "\u201D. Add a track without a sound for each?",
                this);
        }
        reportError_(engine_->ImportMidi(loop, file, name, add));
    });
}
