// MIDI files laid into a loop: one edit, the tracks it adds included.
#include <memory>

#include "com/bstr.h"
#include "engine/engine.h"
#include "engine/loop_edit.h"
#include "exchange/midi_import.h"

namespace {

// The import of a MIDI file: the loop's content and, when it added any,
// the tracks, both brought back by Undo.
class MidiImportEdit : public LoopEdit {
  public:
    MidiImportEdit(Engine& engine, std::uint8_t loop, Engine::TrackLayout tracksBefore,
                   Engine::TrackLayout tracksAfter, Engine::LoopContent before,
                   Engine::LoopContent after)
        : LoopEdit(engine, "Import MIDI", loop, std::move(before), std::move(after)),
          tracksBefore_(std::move(tracksBefore)),
          tracksAfter_(std::move(tracksAfter)) {}
    void Redo() override {
        if (!tracksAfter_.samples.empty()) engine_.ApplyTracks(tracksAfter_);
        LoopEdit::Redo();
    }
    void Undo() override {
        LoopEdit::Undo();
        if (!tracksAfter_.samples.empty()) engine_.ApplyTracks(tracksBefore_);
    }

  private:
    Engine::TrackLayout tracksBefore_, tracksAfter_;
};

}  // namespace

std::vector<int> Engine::UnplayedMidiNotes(std::uint8_t loop, const MidiFileContent& file,
                                           const std::string& name) const {
    return PlanMidiImport(file, *song_, loop, false, name).unmapped;
}

std::string Engine::ImportMidi(std::uint8_t loop, const MidiFileContent& file,
                               const std::string& name, bool addTracks) {
    MidiLoopImport plan = PlanMidiImport(file, *song_, loop, addTracks, name);
    LoopContent before = CaptureLoop(loop);
    TrackLayout tracksBefore, tracksAfter;
    if (!plan.added.empty()) {
        tracksBefore = CaptureTracks();
        tracksAfter = tracksBefore;
        for (std::size_t i = 0; i < plan.added.size(); ++i) {
            auto sample = std::make_shared<Sample>();
            sample->SetCaption(Utf16FromUtf8(plan.added[i]));
            sample->SetMidiNote(plan.unmapped[i]);
            tracksAfter.samples.push_back(std::move(sample));
        }
        // The loops get rows for them when the layout is applied.
    }
    LoopContent after = before;
    after.format = plan.format;
    after.tracks = plan.tracks;
    const std::string summary = MidiImportSummary(plan, loop);
    undo_.Push(std::make_unique<MidiImportEdit>(*this, loop, std::move(tracksBefore),
                                                std::move(tracksAfter), std::move(before),
                                                std::move(after)));
    return summary;
}
