// A MIDI file of any bytes, read and laid into a loop of a two-track song.
#include "exchange/midi_import.h"
#include "import/midi_file.h"
#include "support/app_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const MidiFileContent file =
            ParseMidiFile(std::string(reinterpret_cast<const char*>(data), size), "f.mid");
        Song song;
        song.SetSampleSlots({std::make_shared<Sample>(), std::make_shared<Sample>()});
        PlanMidiImport(file, song, 0, true, "f.mid");
    } catch (const AppError&) {
        // A clear error is the expected outcome for most inputs.
    }
    return 0;
}
