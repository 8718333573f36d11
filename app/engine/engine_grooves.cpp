// The engine's groove edits: a loop's length and resolution, copying,
// pasting, duplicating, clearing and shifting ticks, each track's sound,
// the master level and the humanize. Each is an undoable command.
#include <algorithm>

#include "engine/engine.h"
#include "engine/loop_edit.h"
#include "engine/value_edit.h"
#include "support/app_error.h"

namespace {

constexpr int kMergeMaster = 3, kMergeHumanize = 4, kMergeSound = 2000;
constexpr std::uint8_t kLoopsShown = 10;

// track fitted to ticks ticks: those beyond dropped, those missing off.
LoopTrack Fitted(LoopTrack track, std::uint8_t ticks) {
    track.SetNumTicks(ticks);
    return track;
}

bool AnyOnFrom(const LoopTrack& track, std::size_t from) {
    for (std::size_t i = from; i < track.TickBytes().size(); ++i)
        if (track.TickBytes()[i]) return true;
    return false;
}

std::string LoopName(std::uint8_t loop) {
    return "loop " + std::to_string(loop);
}

}  // namespace

Engine::LoopContent Engine::CaptureLoop(std::uint8_t loop) {
    if (loop >= kLoopsShown)
        ThrowSubscriptOutOfRange("Loop " + std::to_string(loop) +
                                 " is not one of the loops 0 to 9 of a song");
    const auto& slots = song_->LoopSlots();
    LoopContent c;
    c.existed = loop < slots.size() && slots[loop];
    const auto seq = song_->Sequence(loop);
    c.format = seq->Format();
    for (const auto& t : seq->Tracks()) c.tracks.push_back(*t);
    return c;
}

void Engine::ApplyLoop(std::uint8_t loop, const LoopContent& content) {
    const Batch batch(*this);
    // The change is shown where it is made, as a tick's is.
    if (loop != selected_) {
        ShowLoop(loop);
        if (state_.playing && !state_.arrangement)
            TakeState(GetPlayer().QueueLoop(loop, FeedOf(loop)));
    }
    const auto seq = song_->Sequence(loop);
    const bool reshaped = !(seq->Format() == content.format);
    seq->SetFormat(content.format);
    SequenceLoop::TrackList tracks;
    for (const LoopTrack& t : content.tracks) tracks.push_back(std::make_shared<LoopTrack>(t));
    seq->Tracks() = std::move(tracks);
    FitLoopsToTracks();
    if (!reshaped) {
        if (feeds_.count(loop)) Render(loop, true);
    } else {
        // Another length is another buffer: while the loop plays, the new
        // one takes over at the end of the pass, as a tempo change does.
        feeds_.erase(loop);
        seq->SetWav(nullptr);
        Render(loop, false);
        if (PlayingArrangement())
            TakeState(
                GetPlayer().FollowArrangement(song_->Arrangement(), ArrangementFeeds(), false));
        else if (state_.playing && (state_.playingLoop == loop || state_.queuedLoop == loop))
            TakeState(GetPlayer().QueueLoop(loop, FeedOf(loop)));
    }
    Notify(kChangeLoop);
}

void Engine::ForgetLoop(std::uint8_t loop) {
    const auto& slots = song_->LoopSlots();
    if (loop == 0 || loop == selected_ || InUse(loop) || loop >= slots.size() || !slots[loop])
        return;
    auto kept = slots;
    kept[loop] = nullptr;
    song_->SetLoopSlots(std::move(kept));
    feeds_.erase(loop);
    levels_.erase(loop);
    Notify(kChangeLoop);
}

void Engine::SetLoopFormat(std::uint8_t loop, LoopFormat format) {
    if (!format.Valid())
        ThrowError(kErrInvalidArgument,
                   "A loop is 1 to 64 ticks of 2, 3, 4, 6 or 8 to a beat, not " +
                       std::to_string(format.ticks) + " of " + std::to_string(format.ticksPerBeat));
    LoopContent before = CaptureLoop(loop);
    if (before.format == format) return;
    LoopContent after = before;
    after.format = format;
    // Ticks past the new end are dropped (Undo brings them back).
    for (LoopTrack& t : after.tracks) t = Fitted(std::move(t), format.ticks);
    undo_.Push(std::make_unique<LoopEdit>(*this, "Loop Length", loop, std::move(before),
                                          std::move(after)));
}

void Engine::CopyLoop(std::uint8_t loop) {
    LoopContent c = CaptureLoop(loop);
    clipboard_ = {c.format, std::move(c.tracks), false};
}

void Engine::CopyRow(std::uint8_t loop, LONG track) {
    LoopContent c = CaptureLoop(loop);
    if (track < 0 || std::size_t(track) >= c.tracks.size())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track + 1) + " does not exist");
    clipboard_ = {c.format, {c.tracks[std::size_t(track)]}, true};
}

std::string Engine::PasteLoop(std::uint8_t loop) {
    if (clipboard_.tracks.empty())
        ThrowError(kErrInvalidArgument, "Nothing has been copied: copy a loop or a row first");
    if (clipboard_.row) return PasteRow(loop, 0);
    LoopContent before = CaptureLoop(loop);
    LoopContent after = before;
    after.format = clipboard_.format;
    std::string notice;
    for (std::size_t t = 0; t < after.tracks.size(); ++t)
        after.tracks[t] = t < clipboard_.tracks.size()
                              ? Fitted(clipboard_.tracks[t], after.format.ticks)
                              : Fitted(LoopTrack(), after.format.ticks);
    // Tracks this song lacks: what they held is said, not pasted.
    std::size_t firstLost = 0, lastLost = 0;
    for (std::size_t t = after.tracks.size(); t < clipboard_.tracks.size(); ++t)
        if (AnyOnFrom(clipboard_.tracks[t], 0)) {
            if (!firstLost) firstLost = t + 1;
            lastLost = t + 1;
        }
    if (firstLost)
        notice = (firstLost == lastLost
                      ? "Track " + std::to_string(firstLost)
                      : "Tracks " + std::to_string(firstLost) + " to " + std::to_string(lastLost)) +
                 " of the copied loop " + (firstLost == lastLost ? "was" : "were") +
                 " left out: this song has " + std::to_string(after.tracks.size()) +
                 (after.tracks.size() == 1 ? " track" : " tracks");
    undo_.Push(
        std::make_unique<LoopEdit>(*this, "Paste Loop", loop, std::move(before), std::move(after)));
    return notice;
}

std::string Engine::PasteRow(std::uint8_t loop, LONG track) {
    if (clipboard_.tracks.empty())
        ThrowError(kErrInvalidArgument, "Nothing has been copied: copy a loop or a row first");
    LoopContent before = CaptureLoop(loop);
    if (track < 0 || std::size_t(track) >= before.tracks.size())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track + 1) + " does not exist");
    LoopContent after = before;
    const std::uint8_t ticks = after.format.ticks;
    const LoopTrack& row = clipboard_.tracks[0];
    after.tracks[std::size_t(track)] = Fitted(row, ticks);
    std::string notice;
    if (AnyOnFrom(row, ticks))
        notice = "Ticks " + std::to_string(ticks + 1) + " to " + std::to_string(row.NumTicks()) +
                 " of the copied row were left out: " + LoopName(loop) + " has " +
                 std::to_string(ticks) + " ticks";
    undo_.Push(
        std::make_unique<LoopEdit>(*this, "Paste Row", loop, std::move(before), std::move(after)));
    return notice;
}

std::uint8_t Engine::DuplicateLoop(std::uint8_t loop) {
    const LoopContent source = CaptureLoop(loop);
    // The next loop after it that holds no tick, wrapping round.
    const auto& slots = song_->LoopSlots();
    for (std::uint8_t step = 1; step < kLoopsShown; ++step) {
        const auto k = std::uint8_t((loop + step) % kLoopsShown);
        bool free = k >= slots.size() || !slots[k];
        if (!free) {
            free = true;
            for (const auto& t : slots[k]->Tracks()) free = free && !AnyOnFrom(*t, 0);
        }
        if (!free) continue;
        LoopContent before = CaptureLoop(k);
        undo_.Push(
            std::make_unique<LoopEdit>(*this, "Duplicate Loop", k, std::move(before), source));
        return k;
    }
    ThrowError(kErrInvalidArgument,
               "Every loop 0 to 9 holds ticks: there is no free loop to duplicate into");
}

void Engine::ClearLoop(std::uint8_t loop) {
    LoopContent before = CaptureLoop(loop);
    LoopContent after = before;
    for (LoopTrack& t : after.tracks) t = Fitted(LoopTrack(), after.format.ticks);
    undo_.Push(
        std::make_unique<LoopEdit>(*this, "Clear Loop", loop, std::move(before), std::move(after)));
}

void Engine::ShiftRow(std::uint8_t loop, LONG track, int by) {
    LoopContent before = CaptureLoop(loop);
    if (track < 0 || std::size_t(track) >= before.tracks.size())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track + 1) + " does not exist");
    const int n = before.format.ticks;
    const LoopTrack& row = before.tracks[std::size_t(track)];
    LoopTrack shifted = Fitted(LoopTrack(), before.format.ticks);
    for (int i = 0; i < n && i < row.NumTicks(); ++i) {
        if (!row.Value(std::uint8_t(i))) continue;
        const auto to = std::uint8_t(((i + by) % n + n) % n);
        shifted.SetValue(to, true);
        shifted.SetVelocity(to, row.Velocity(std::uint8_t(i)));
    }
    LoopContent after = before;
    after.tracks[std::size_t(track)] = std::move(shifted);
    undo_.Push(std::make_unique<LoopEdit>(*this, by < 0 ? "Shift Left" : "Shift Right", loop,
                                          std::move(before), std::move(after)));
}

// ---- each track's sound, the master level, the humanize ---------------------

TrackSound Engine::SoundOf(LONG track) const {
    const auto& samples = song_->SampleSlots();
    return track >= 0 && std::size_t(track) < samples.size() && samples[std::size_t(track)]
               ? samples[std::size_t(track)]->Sound()
               : TrackSound{};
}

void Engine::SetTrackSound(LONG track, const TrackSound& sound) {
    if (track < 0 || track >= NumTracks())
        ThrowSubscriptOutOfRange("Track " + std::to_string(track + 1) + " does not exist");
    if (std::abs(sound.pan) > TrackSound::kMaxPan)
        ThrowError(kErrInvalidArgument, "A pan is -100 to 100, not " + std::to_string(sound.pan));
    if (std::abs(sound.pitch) > TrackSound::kMaxPitch)
        ThrowError(kErrInvalidArgument,
                   "A pitch is -2400 to 2400 cents, not " + std::to_string(sound.pitch));
    if (sound.choke > TrackSound::kMaxChokeGroup)
        ThrowError(kErrInvalidArgument,
                   "A choke group is 0 to 8, not " + std::to_string(int(sound.choke)));
    if (sound.end != 0 && sound.end <= sound.start)
        ThrowError(kErrInvalidArgument, "The sample's end (frame " + std::to_string(sound.end) +
                                            ") must come after its start (frame " +
                                            std::to_string(sound.start) + ")");
    const TrackSound before = SoundOf(track);
    if (before == sound) return;
    undo_.Push(std::make_unique<ValueEdit<TrackSound>>(
        "Track Settings", before, sound,
        [this, track](const TrackSound& s) { ApplySound(track, s); }, kMergeSound + int(track)));
}

void Engine::ApplySound(LONG track, const TrackSound& sound) {
    const Batch batch(*this);
    song_->SampleAt(track)->SetSound(sound);
    RenderAll();
    Notify(kChangeTracks | kChangeLoop);
}

void Engine::SetMasterLevel(int hundredthsOfDb) {
    const int level = std::clamp(hundredthsOfDb, Song::kMinMasterLevel, Song::kMaxMasterLevel);
    if (level == song_->MasterLevel()) return;
    undo_.Push(std::make_unique<ValueEdit<int>>(
        "Master Level", song_->MasterLevel(), level, [this](const int& v) { ApplyMasterLevel(v); },
        kMergeMaster));
}

void Engine::ApplyMasterLevel(int level) {
    const Batch batch(*this);
    song_->SetMasterLevel(level);
    RenderAll();
    Notify(kChangeSettings | kChangeLoop | kChangeTracks);
}

void Engine::SetHumanize(const Humanize& humanize) {
    if (humanize.timing > Humanize::kMaxTiming || humanize.velocity > Humanize::kMaxVelocity)
        ThrowError(kErrInvalidArgument,
                   "Humanize moves hits by 0 to 20 ms and velocities by 0 "
                   "to 30 %, not " +
                       std::to_string(humanize.timing) + " ms and " +
                       std::to_string(humanize.velocity) + " %");
    if (humanize == song_->GetHumanize()) return;
    undo_.Push(std::make_unique<ValueEdit<Humanize>>(
        "Humanize", song_->GetHumanize(), humanize, [this](const Humanize& h) { ApplyHumanize(h); },
        kMergeHumanize));
}

void Engine::ApplyHumanize(const Humanize& humanize) {
    const Batch batch(*this);
    song_->SetHumanize(humanize);
    RenderAll();
    Notify(kChangeSettings | kChangeLoop);
}
