// Recording: hits played live while Record is on go into the loop that was
// heard when they were played, at its nearest tick, with their velocity.
// A take (Record on to Record off) is one edit.
#include <algorithm>
#include <set>

#include "engine/engine.h"
#include "support/app_error.h"

namespace {

// The merge key of take n: its hits are one edit.
constexpr int kMergeTake = 1 << 28;

class RecordTake : public Command {
  public:
    RecordTake(Engine& engine, unsigned take, Engine::RecordedHit hit)
        : Command("Record", kMergeTake + int(take & 0xFFFFFF)), engine_(engine), hits_{hit} {}
    void Redo() override { engine_.ApplyRecordedHits(hits_, false); }
    void Undo() override { engine_.ApplyRecordedHits(hits_, true); }
    bool MergeWith(const Command& next) override {
        const auto* same = dynamic_cast<const RecordTake*>(&next);
        if (!same) return false;
        hits_.insert(hits_.end(), same->hits_.begin(), same->hits_.end());
        return true;
    }

  private:
    Engine& engine_;
    std::vector<Engine::RecordedHit> hits_;  // in the order played
};

}  // namespace

void Engine::SetRecording(bool on) {
    if (on == recording_) return;
    const Batch batch(*this);
    if (!on) {
        recording_ = false;
        live_->SetKeepPlayed(false);
        RecordPlayedHits();  // what was played up to now still counts
        Notify(kChangeTransport);
        return;
    }
    if (!LiveOutputStatus().live)
        ThrowError(kErrNoAudioDevice,
                   "Recording needs an output that plays hits as they come (JACK): choose "
                   "one in Audio > Output Device");
    // Hits played before Record was pressed are not part of the take.
    PlayedHit stale;
    while (live_->TakePlayed(stale)) {
    }
    ++take_;
    recordFrom_ = 0;
    if (!state_.playing && countIn_) {
        // The first pass counts in; hits in it are heard, not kept.
        Play();
        recordFrom_ = 1;
    }
    recording_ = true;
    live_->SetKeepPlayed(true);
    Notify(kChangeTransport);
}

bool Engine::CountingIn() {
    if (!recording_ || recordFrom_ == 0 || !state_.playing || !player_) return false;
    const auto now = GetPlayer().PlaceOfHit(live_->ClockNow());
    return now && now->pass < recordFrom_;
}

void Engine::RecordPlayedHits() {
    PlayedHit hit;
    while (live_->TakePlayed(hit)) {
        if (!player_) continue;
        const std::optional<Player::HitPlace> place = GetPlayer().PlaceOfHit(hit.frame);
        if (!place) continue;                     // nothing played then
        if (place->pass < recordFrom_) continue;  // the count-in
        const auto& loops = song_->LoopSlots();
        if (place->loop >= loops.size() || !loops[place->loop] || hit.track < 0 ||
            hit.track >= NumTracks() || place->tick > 255)
            continue;
        const auto row = loops[place->loop]->Track(hit.track);
        // A hit in a pass of the loop's length before a change has no tick now.
        if (place->tick >= row->NumTicks()) continue;
        const auto tick = static_cast<std::uint8_t>(place->tick);
        RecordedHit r{place->loop,      hit.track,           tick,
                      row->Value(tick), row->Velocity(tick), hit.velocity};
        // A tick already on keeps the louder velocity.
        if (r.wasOn && r.before >= r.velocity) continue;
        try {
            undo_.Push(std::make_unique<RecordTake>(*this, take_, r));
        } catch (const std::exception& e) {
            if (view_) view_->Report("A recorded hit was not kept: " + ErrorText(e));
        }
    }
}

void Engine::ApplyRecordedHits(const std::vector<RecordedHit>& hits, bool undo) {
    const Batch batch(*this);
    std::set<std::uint8_t> touched;
    auto apply = [&](const RecordedHit& h) {
        const auto row = song_->Sequence(h.loop)->Track(h.track);
        if (undo) {
            row->SetValue(h.tick, h.wasOn);
            if (h.wasOn) row->SetVelocity(h.tick, h.before);
        } else {
            row->SetValue(h.tick, true);
            row->SetVelocity(h.tick, h.velocity);
        }
        touched.insert(h.loop);
    };
    // Undone newest first, so a tick hit twice gets back what it had.
    if (undo)
        std::for_each(hits.rbegin(), hits.rend(), apply);
    else
        std::for_each(hits.begin(), hits.end(), apply);
    // Heard from the next pass on: the pass playing reads what it began with.
    for (std::uint8_t loop : touched)
        if (feeds_.count(loop)) Render(loop, true);
    Notify(kChangeLoop);
}
