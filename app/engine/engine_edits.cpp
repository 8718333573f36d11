// The edits of the engine: each is a command on the undo stack that makes
// its change, and takes it back, through the engine's Apply functions, so
// a change made by Undo is rendered and heard like any other.
#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "engine/value_edit.h"
#include "support/app_error.h"
#include "support/text_format.h"

namespace {

// Merge keys: a spin box stepped again and again is one edit.
constexpr int kMergeTempo = 1, kMergeSwing = 2, kMergeVolume = 1000, kMergeVelocity = 1 << 24;

class TickEdit : public Command {
  public:
    // velocity: what a tick turned off played at, for Undo to give back.
    TickEdit(Engine& engine, std::uint8_t loop, LONG track, short tick, bool on, int velocity)
        : Command(on ? "Tick On" : "Tick Off"),
          engine_(engine),
          loop_(loop),
          track_(track),
          tick_(tick),
          on_(on),
          velocity_(velocity) {}
    void Redo() override { engine_.ApplyTick(loop_, track_, tick_, on_); }
    void Undo() override {
        engine_.ApplyTick(loop_, track_, tick_, !on_);
        if (on_ == false && velocity_ != LoopTrack::kFullVelocity)
            engine_.ApplyVelocity(loop_, track_, tick_, velocity_);
    }

  private:
    Engine& engine_;
    std::uint8_t loop_;
    LONG track_;
    short tick_;
    bool on_;
    int velocity_;
};

class SampleEdit : public Command {
  public:
    struct State {
        ComPtr<IWav> wav;
        std::u16string caption;
    };
    SampleEdit(Engine& engine, LONG track, State before, State after, std::string text)
        : Command(std::move(text)),
          engine_(engine),
          track_(track),
          before_(std::move(before)),
          after_(std::move(after)) {}
    void Redo() override { engine_.ApplySample(track_, after_.wav, after_.caption); }
    void Undo() override { engine_.ApplySample(track_, before_.wav, before_.caption); }

  private:
    Engine& engine_;
    LONG track_;
    State before_, after_;
};

class NewSongEdit : public Command {
  public:
    explicit NewSongEdit(Engine& engine)
        : Command("New"),
          engine_(engine),
          loops_(engine.GetSong()->LoopSlots()),
          path_(engine.FilePath()),
          selected_(engine.SelectedLoop()) {}
    void Redo() override { engine_.ApplyNew(); }
    void Undo() override { engine_.RestoreLoops(loops_, path_, selected_); }

  private:
    Engine& engine_;
    std::vector<std::shared_ptr<SequenceLoop>> loops_;  // as they were before
    std::string path_;
    std::uint8_t selected_;
};

// A change of the tracks (adding, removing, a drum kit): made once by its
// change, then taken back and made again from what it left.
class TrackLayoutEdit : public Command {
  public:
    TrackLayoutEdit(Engine& engine, std::string text, std::function<void()> change)
        : Command(std::move(text)), engine_(engine), change_(std::move(change)) {}
    void Redo() override {
        if (made_) {
            engine_.ApplyTracks(after_);
            return;
        }
        before_ = engine_.CaptureTracks();
        change_();
        // Applied as a layout, so the loops fit the tracks before it is kept.
        engine_.ApplyTracks(engine_.CaptureTracks());
        after_ = engine_.CaptureTracks();
        made_ = true;
    }
    void Undo() override { engine_.ApplyTracks(before_); }

  private:
    Engine& engine_;
    std::function<void()> change_;
    bool made_ = false;
    Engine::TrackLayout before_, after_;
};

}  // namespace

// ---- ticks ------------------------------------------------------------

std::shared_ptr<LoopTrack> Engine::RowOfTick(std::uint8_t loop, LONG track, short tick) const {
    // The song must hold the tick before a click or a drag becomes an edit.
    const auto& loops = song_->LoopSlots();
    if (loop >= loops.size() || !loops[loop])
        ThrowSubscriptOutOfRange("Loop " + std::to_string(loop) + " does not exist");
    if (tick < 0 || tick > 255)
        ThrowSubscriptOutOfRange("Tick " + std::to_string(tick) + " does not exist");
    return loops[loop]->Track(track);
}

void Engine::SetTick(std::uint8_t loop, LONG track, short tick, bool on) {
    const std::shared_ptr<LoopTrack> row = RowOfTick(loop, track, tick);
    const bool was = row->Value(static_cast<std::uint8_t>(tick));
    if (was == on) return;
    undo_.Push(std::make_unique<TickEdit>(*this, loop, track, tick, on,
                                          row->Velocity(static_cast<std::uint8_t>(tick))));
}

void Engine::ApplyTickChange(std::uint8_t loop, const std::function<void()>& change) {
    const Batch batch(*this);
    // The change is shown where it is made.
    if (loop != selected_) {
        ShowLoop(loop);
        if (state_.playing && !state_.arrangement)
            TakeState(GetPlayer().QueueLoop(loop, FeedOf(loop)));
    }
    change();
    if (feeds_.count(loop)) Render(loop, true);
    Notify(kChangeLoop);
}

void Engine::ApplyTick(std::uint8_t loop, LONG track, short tick, bool on) {
    ApplyTickChange(loop, [&] {
        song_->Sequence(loop)->Track(track)->SetValue(static_cast<std::uint8_t>(tick), on);
    });
}

void Engine::SetVelocity(std::uint8_t loop, LONG track, short tick, int velocity) {
    const std::shared_ptr<LoopTrack> row = RowOfTick(loop, track, tick);
    const auto at = static_cast<std::uint8_t>(tick);
    if (!row->Value(at))
        ThrowError(kErrInvalidArgument, "Tick " + std::to_string(tick + 1) + " of track " +
                                            std::to_string(track + 1) +
                                            " is off: only a tick that plays has a velocity");
    if (velocity < 1 || velocity > LoopTrack::kFullVelocity)
        ThrowError(kErrInvalidArgument, "A velocity is 1 to 127, not " + std::to_string(velocity));
    const int before = row->Velocity(at);
    if (before == velocity) return;
    // A drag on one tick is one edit.
    const int key = kMergeVelocity + (int(loop) << 16) + (int(track) << 8) + int(at);
    undo_.Push(std::make_unique<ValueEdit<int>>(
        "Velocity", before, velocity,
        [this, loop, track, tick](const int& v) { ApplyVelocity(loop, track, tick, v); }, key));
}

void Engine::ApplyVelocity(std::uint8_t loop, LONG track, short tick, int velocity) {
    ApplyTickChange(loop, [&] {
        song_->Sequence(loop)->Track(track)->SetVelocity(static_cast<std::uint8_t>(tick),
                                                         static_cast<std::uint8_t>(velocity));
    });
}

// ---- samples and tracks --------------------------------------------------

void Engine::SetSample(LONG track, ComPtr<IWav> wav, std::u16string caption,
                       const std::string& text) {
    if (track < 0 || track >= NumTracks())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track) + " does not exist");
    const std::shared_ptr<Sample> sample = song_->SampleAt(track);
    undo_.Push(std::make_unique<SampleEdit>(
        *this, track, SampleEdit::State{sample->Wav(), sample->Caption()},
        SampleEdit::State{std::move(wav), std::move(caption)}, text));
}

void Engine::RenameTrack(LONG track, std::u16string caption) {
    const std::shared_ptr<Sample> sample = song_->SampleAt(track);
    // A caption is at most 255 characters in a song file.
    if (caption.size() > 255) caption.resize(255);
    if (caption == sample->Caption()) return;
    SetSample(track, sample->Wav(), std::move(caption), "Rename Track");
}

void Engine::ApplySample(LONG track, const ComPtr<IWav>& wav, const std::u16string& caption) {
    const Batch batch(*this);
    const std::shared_ptr<Sample>& sample = song_->SampleAt(track);
    sample->SetWav(wav);
    sample->SetCaption(caption);
    RenderAll();
    Notify(kChangeTracks | kChangeLoop);
}

Engine::TrackLayout Engine::CaptureTracks() const {
    TrackLayout layout;
    layout.samples = song_->SampleSlots();
    for (const auto& loop : song_->LoopSlots())
        layout.loops.push_back(loop ? std::make_shared<SequenceLoop::TrackList>(loop->Tracks())
                                    : nullptr);
    return layout;
}

void Engine::ApplyTracks(const TrackLayout& layout) {
    const Batch batch(*this);
    song_->SetSampleSlots(layout.samples);
    const auto& loops = song_->LoopSlots();
    for (std::size_t i = 0; i < loops.size(); ++i)
        if (loops[i] && i < layout.loops.size() && layout.loops[i])
            loops[i]->Tracks() = *layout.loops[i];
    FitLoopsToTracks();
    RenderAll();
    Notify(kChangeTracks | kChangeLoop);
}

void Engine::AddTrack() {
    if (song_->NumTracks() >= kMaxTracks)
        ThrowError(kErrInvalidArgument, "A song holds at most 64 tracks in the window");
    undo_.Push(std::make_unique<TrackLayoutEdit>(*this, "Add Track",
                                                 [this] { song_->SampleAt(song_->NumTracks()); }));
}

void Engine::AddTracks(const std::vector<ImportedAudio>& sounds) {
    if (sounds.empty()) return;
    if (song_->NumTracks() + LONG(sounds.size()) > kMaxTracks)
        ThrowError(kErrInvalidArgument, "A song holds at most 64 tracks in the window");
    undo_.Push(std::make_unique<TrackLayoutEdit>(
        *this, sounds.size() == 1 ? "Add Track" : "Add Tracks", [this, sounds] {
            auto samples = song_->SampleSlots();
            for (const ImportedAudio& s : sounds) {
                auto sample = std::make_shared<Sample>();
                sample->SetWav(s.wav);
                sample->SetCaption(s.caption);
                sample->SetMidiNote(s.midiNote);
                samples.push_back(std::move(sample));
            }
            song_->SetSampleSlots(std::move(samples));
        }));
}

void Engine::RemoveTrack(LONG track) {
    if (song_->NumTracks() <= 1) ThrowError(kErrInvalidArgument, "The last track of a song stays");
    if (track < 0 || track >= song_->NumTracks())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track) + " does not exist");
    undo_.Push(std::make_unique<TrackLayoutEdit>(*this, "Remove Track",
                                                 [this, track] { song_->RemoveTrack(track); }));
}

void Engine::ImportDrumKit(const std::vector<ImportedAudio>& sounds) {
    if (sounds.empty()) return;
    const std::size_t count = std::min<std::size_t>(sounds.size(), kMaxTracks);
    undo_.Push(std::make_unique<TrackLayoutEdit>(*this, "Import Drum Kit", [this, sounds, count] {
        auto samples = song_->SampleSlots();
        if (samples.size() < count) samples.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            // New sample objects: what was there stays for undo.
            auto sample = std::make_shared<Sample>();
            sample->SetWav(sounds[i].wav);
            sample->SetCaption(sounds[i].caption);
            sample->SetMidiNote(sounds[i].midiNote);
            samples[i] = std::move(sample);
        }
        song_->SetSampleSlots(std::move(samples));
    }));
}

// ---- New ------------------------------------------------------------------

void Engine::New() {
    undo_.Push(std::make_unique<NewSongEdit>(*this));
}

void Engine::ApplyNew() {
    const Batch batch(*this);
    BelongTo("");
    song_->ClearLoops();
    feeds_.clear();
    ShowLoop(0);
    // What plays goes on until the end of its pass, then the empty loop 0.
    if (state_.playing) TakeState(GetPlayer().QueueLoop(0, FeedOf(0)));
    Notify(kChangeSong);
}

void Engine::RestoreLoops(std::vector<std::shared_ptr<SequenceLoop>> loops, const std::string& path,
                          std::uint8_t selected) {
    song_->SetLoopSlots(std::move(loops));
    BelongTo(path);
    feeds_.clear();
    for (const auto& loop : song_->LoopSlots())
        if (loop) loop->SetWav(nullptr);
    ShowLoop(selected);
    if (state_.playing) TakeState(GetPlayer().QueueLoop(selected, FeedOf(selected)));
    Notify(kChangeSong);
}

// ---- tempo, swing, mix, arrangement -----------------------------------------

void Engine::SetTempo(double bpm) {
    SetTempoValue(std::llround(std::clamp(bpm, 30.0, 300.0) * 10.0) * 1000);  // steps of 0.1
}

void Engine::SetTempoValue(std::int64_t value) {
    if (value == song_->Bpm()) return;
    undo_.Push(std::make_unique<ValueEdit<std::int64_t>>(
        "Tempo", song_->Bpm(), value, [this](const std::int64_t& v) { ApplyTempo(v); },
        kMergeTempo));
}

void Engine::ApplyTempo(std::int64_t bpm) {
    const Batch batch(*this);
    song_->SetBpm(bpm);
    TellLinkTempo();
    // Every loop's length follows the tempo: each is made again when it
    // next plays. The one shown takes over at the end of the pass, as a
    // loop switch does.
    for (const auto& loop : song_->LoopSlots())
        if (loop) loop->SetWav(nullptr);
    feeds_.clear();
    Render(selected_, false);
    if (PlayingArrangement())
        TakeState(GetPlayer().FollowArrangement(song_->Arrangement(), ArrangementFeeds(), false));
    else if (state_.playing && link_)
        MoveIntoPhase();  // at once, as the session's peers change
    else if (state_.playing)
        TakeState(GetPlayer().QueueLoop(selected_, FeedOf(selected_)));
    Notify(kChangeSettings | kChangeLoop);
}

void Engine::SetSwing(int percent) {
    const auto value = std::uint16_t(std::clamp(percent, 0, Song::kMaxSwing / 100) * 100);
    if (value == song_->Swing()) return;
    undo_.Push(std::make_unique<ValueEdit<std::uint16_t>>(
        "Swing", song_->Swing(), value, [this](const std::uint16_t& v) { ApplySwing(v); },
        kMergeSwing));
}

void Engine::ApplySwing(std::uint16_t swing) {
    song_->SetSwing(swing);
    RenderAll();  // heard at once; other loops when they play
    Notify(kChangeSettings | kChangeLoop);
}

void Engine::SetTrackVolume(LONG track, int percent) {
    EditMix(track, "Volume", kMergeVolume + int(track), [&](TrackMix& m) {
        m.volume = std::uint16_t(std::clamp(percent, 0, int(TrackMix::kMaxVolume)));
    });
}

void Engine::SetTrackMute(LONG track, bool on) {
    EditMix(track, on ? "Mute" : "Unmute", -1, [&](TrackMix& m) { m.mute = on; });
}

void Engine::SetTrackSolo(LONG track, bool on) {
    EditMix(track, on ? "Solo" : "Unsolo", -1, [&](TrackMix& m) { m.solo = on; });
}

void Engine::EditMix(LONG track, const std::string& text, int mergeKey,
                     const std::function<void(TrackMix&)>& change) {
    if (track < 0 || track >= NumTracks())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track) + " does not exist");
    const TrackMix before = song_->SampleAt(track)->Mix();
    TrackMix after = before;
    change(after);
    if (after == before) return;
    undo_.Push(std::make_unique<ValueEdit<TrackMix>>(
        text, before, after, [this, track](const TrackMix& m) { ApplyMix(track, m); }, mergeKey));
}

void Engine::ApplyMix(LONG track, const TrackMix& mix) {
    song_->SampleAt(track)->SetMix(mix);
    RenderAll();  // heard at once; other loops when they play
    Notify(kChangeTracks | kChangeLoop);
}

void Engine::SetArrangement(std::vector<ArrangementStep> steps) {
    if (steps == song_->Arrangement()) return;
    undo_.Push(std::make_unique<ValueEdit<std::vector<ArrangementStep>>>(
        "Arrangement", song_->Arrangement(), std::move(steps),
        [this](const std::vector<ArrangementStep>& s) { ApplyArrangement(s); }));
}

void Engine::ApplyArrangement(const std::vector<ArrangementStep>& steps) {
    song_->SetArrangement(steps);
    // A running arrangement goes on with the new one from its start.
    if (PlayingArrangement()) {
        try {
            CheckArrangement();
            TakeState(GetPlayer().FollowArrangement(steps, ArrangementFeeds(), true));
        } catch (const std::exception& e) {
            TakeState(GetPlayer().ClearQueue());
            if (view_) view_->Report(ErrorText(e));
        }
    }
    Notify(kChangeSettings | kChangeTransport);
}

// ---- MIDI -------------------------------------------------------------

Engine::MidiMap Engine::GetMidiMap() const {
    MidiMap map;
    for (const auto& sample : song_->SampleSlots())
        map.notes.push_back(sample ? sample->MidiNote() : -1);
    map.channel = song_->MidiChannel();
    return map;
}

void Engine::SetMidiMap(const MidiMap& map) {
    for (int note : map.notes)
        if (note < -1 || note > 127)
            ThrowError(kErrInvalidArgument, "A MIDI note is 0 to 127, not " + std::to_string(note));
    if (map.channel < 0 || map.channel > 16)
        ThrowError(kErrInvalidArgument,
                   "A MIDI channel is 1 to 16 (or all), not " + std::to_string(map.channel));
    MidiMap after = GetMidiMap();
    for (std::size_t k = 0; k < map.notes.size() && k < after.notes.size(); ++k)
        after.notes[k] = map.notes[k];
    after.channel = map.channel;
    const MidiMap before = GetMidiMap();
    if (after == before) return;
    undo_.Push(std::make_unique<ValueEdit<MidiMap>>("MIDI Map", before, after,
                                                    [this](const MidiMap& m) { ApplyMidiMap(m); }));
}

void Engine::ApplyMidiMap(const MidiMap& map) {
    for (std::size_t k = 0; k < map.notes.size() && k < song_->SampleSlots().size(); ++k)
        song_->SampleAt(std::int32_t(k))->SetMidiNote(map.notes[k]);
    song_->SetMidiChannel(map.channel);
    Notify(kChangeTracks);
}
