// MIDI files laid into a loop: one edit, the tracks it adds included.
#include <memory>

#include "com/bstr.h"
#include "engine/engine.h"
#include "exchange/midi_import.h"

namespace {

// The import of a MIDI file: the tracks it added (when it added any) and the
// loop's content, both brought back by Undo.
class MidiImportEdit : public Command {
  public:
    MidiImportEdit(Engine& engine, std::uint8_t loop, Engine::TrackLayout tracksBefore,
                   Engine::TrackLayout tracksAfter, Engine::LoopContent before,
                   Engine::LoopContent after)
        : Command("Import MIDI"),
          engine_(engine),
          loop_(loop),
          shownBefore_(engine.SelectedLoop()),
          tracksBefore_(std::move(tracksBefore)),
          tracksAfter_(std::move(tracksAfter)),
          before_(std::move(before)),
          after_(std::move(after)) {}
    void Redo() override {
        if (!tracksAfter_.samples.empty()) engine_.ApplyTracks(tracksAfter_);
        engine_.ApplyLoop(loop_, after_);
    }
    void Undo() override {
        engine_.ApplyLoop(loop_, before_);
        if (!tracksAfter_.samples.empty()) engine_.ApplyTracks(tracksBefore_);
        if (shownBefore_ != loop_) engine_.SelectLoop(shownBefore_);
        if (!before_.existed) engine_.ForgetLoop(loop_);
    }

  private:
    Engine& engine_;
    std::uint8_t loop_, shownBefore_;
    Engine::TrackLayout tracksBefore_, tracksAfter_;
    Engine::LoopContent before_, after_;
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
