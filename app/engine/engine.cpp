// The engine's song: showing a loop, rendering loops, documents, and what
// the player and the workers post back.
#include "engine/engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "exchange/any_song.h"
#include "files/folders.h"
#include "song/loop_renderer.h"
#include "song/song_file.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/integers.h"
#include "support/paths.h"
#include "support/text_format.h"

Engine::Engine() : song_(std::make_shared<Song>()) {
    undo_.SetChanged([this] {
        ++revision_;
        Notify(kChangeDocument);
    });
}

Player& Engine::GetPlayer() {
    // Made on first use: an engine that only renders needs no thread.
    if (!player_)
        player_ = std::make_unique<Player>(
            [this](std::function<void()> work) { Post(std::move(work)); },
            Player::Events{.changed = [this](const TransportState& s) { TakeState(s); },
                           .tickLit =
                               [this](LONG tick) {
                                   lastLitTick_ = tick;
                                   if (view_) view_->TickLit(tick);
                               },
                           .failed =
                               [this](const std::string& error) {
                                   if (view_) view_->Report(error);
                               }});
    return *player_;
}

Engine::~Engine() {
    sequencer_.reset();
    if (liveWanted_) {
        SetLiveSource(nullptr);
        SetClockSink(nullptr);
    }
    sequencerClock_.reset();
    liveDevice_ = nullptr;
    player_.reset();
    work_.reset();
    autosave_.reset();
    // The commands refer to this engine: they go before it does.
    undo_.SetChanged(nullptr);
    undo_.Clear();
}

void Engine::Notify(unsigned what) {
    pending_ |= what;
    if (batch_ == 0) Flush();
}

void Engine::Flush() {
    const unsigned what = std::exchange(pending_, 0u);
    if ((what & kChangeTracks) && liveWanted_) UpdateLiveKit();
    if (what && view_) view_->Changed(what);
}

void Engine::SetWake(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(postedMutex_);
    wake_ = std::move(wake);
}

void Engine::Post(std::function<void()> work) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.push_back(std::move(work));
        wake = wake_;
    }
    if (wake) wake();
}

void Engine::RunPosted() {
    const Batch batch(*this);
    std::vector<std::function<void()>> now;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        now.swap(posted_);
    }
    for (auto& work : now) work();
}

LONG Engine::NumTracks() const {
    return std::clamp<LONG>(song_->NumTracks(), 1, kMaxTracks);
}

ComPtr<IWav> Engine::LoopWav() const {
    auto it = feeds_.find(selected_);
    return it == feeds_.end() ? nullptr : it->second->Current();
}

LONG Engine::TickLength() const {
    auto it = feeds_.find(selected_);
    return it == feeds_.end() ? 0 : it->second->TickLength();
}

void Engine::Render(std::uint8_t k, bool keep) {
    Doing("render loop " + std::to_string(k), [&] { RenderLoop(k, keep); });
}

void Engine::RenderLoop(std::uint8_t k, bool keep) {
    LoopRenderer r;
    r.UseFormatOf(*song_->Sequence(k));
    r.NumTracks = NumTracks();
    r.SelectedLoopIndex = k;
    auto feed = feeds_.find(k);
    const bool into = keep && feed != feeds_.end();
    LONG frames = 0;
    if (into) {
        // The loop's buffer keeps its length: another tempo spaces the
        // ticks within it until a new buffer is made.
        frames = feed->second->Frames();
        r.TickLength = feed->second->TickLength();
    } else {
        r.PrepareLoopWav(*song_);
        Check(r.LoopWav->get_NumSamples(&frames));
    }
    // Always a fresh buffer: the one playback reads is never written.
    ComPtr<IWav> wav;
    Check(AudioLibrary()->MakeWav(frames, 2, 44100, 2, wav.Out()));
    r.LoopWav = std::move(wav);
    r.RenderSelectedLoop(*song_, LoopGrid(*song_->Sequence(k)));
    levels_[k] = {r.Peak, r.Clipped};
    if (into)
        feed->second->Publish(r.LoopWav);
    else
        feeds_[k] =
            std::make_shared<LoopFeed>(r.LoopWav, r.TicksPerLoop, r.TickLength, r.TicksPerBeat);
}

std::shared_ptr<LoopFeed> Engine::FeedOf(std::uint8_t k) {
    if (!feeds_.count(k)) Render(k, false);
    return feeds_.at(k);
}

bool Engine::InUse(std::uint8_t k) const {
    if (!state_.playing) return false;
    if (state_.playingLoop == k || state_.queuedLoop == k) return true;
    if (!state_.arrangement) return false;
    for (const ArrangementStep& s : song_->Arrangement())
        if (s.loop == k) return true;
    return false;
}

void Engine::RenderAll() {
    for (auto it = feeds_.begin(); it != feeds_.end();) {
        const std::uint8_t k = it->first;
        if (k == selected_ || InUse(k)) {
            Render(k, true);
            ++it;
            continue;
        }
        // Rendered again when it is next shown or played.
        if (k < song_->LoopSlots().size() && song_->LoopSlots()[k])
            song_->LoopSlots()[k]->SetWav(nullptr);
        it = feeds_.erase(it);
    }
}

void Engine::FitLoopsToTracks() {
    const LONG tracks = NumTracks();
    for (const auto& loop : song_->LoopSlots()) {
        if (!loop) continue;
        auto& list = loop->Tracks();
        while (LONG(list.size()) > tracks) list.pop_back();
        while (LONG(list.size()) < tracks) {
            auto track = std::make_shared<LoopTrack>();
            track->SetNumTicks(loop->Format().ticks);
            list.push_back(std::move(track));
        }
    }
}

LONG Engine::TicksPerLoop() const {
    const auto& loops = song_->LoopSlots();
    return selected_ < loops.size() && loops[selected_] ? loops[selected_]->Format().ticks
                                                        : LoopFormat{}.ticks;
}

LoopFormat Engine::FormatOf(std::uint8_t k) const {
    const auto& loops = song_->LoopSlots();
    return k < loops.size() && loops[k] ? loops[k]->Format() : LoopFormat{};
}

Engine::Level Engine::LoopLevel(std::uint8_t k) const {
    auto it = levels_.find(k);
    return it == levels_.end() ? Level{} : it->second;
}

void Engine::ShowLoop(std::uint8_t v) {
    // Selecting a loop the song does not have yet makes it: a change.
    const auto& loops = song_->LoopSlots();
    const bool made = v >= loops.size() || !loops[v];
    song_->Sequence(v);
    selected_ = v;
    if (!feeds_.count(v)) Render(v, false);
    if (made) ChangedOutsideUndo();
    Notify(kChangeLoop);
}

void Engine::ShowSong(std::shared_ptr<Song> song, const std::string& path, bool render) {
    const Batch batch(*this);
    if (state_.playing) Stop();
    // What to go back to if the song cannot be shown.
    auto oldSong = std::move(song_);
    auto oldFeeds = std::move(feeds_);
    const std::uint8_t oldSelected = selected_;
    song_ = std::move(song);
    feeds_.clear();
    try {
        selected_ = 0;
        const auto& loops = song_->LoopSlots();
        if (loops.empty() || !loops[0]) song_->Sequence(0);
        if (song_->Sequence(0)->Tracks().size() > std::size_t(kMaxTracks))
            ThrowSubscriptOutOfRange("Loop 0 has " +
                                     std::to_string(song_->Sequence(0)->Tracks().size()) +
                                     " tracks, more than the 64 a song shows");
        // A track shorter than its loop gets the ticks it lacks, off.
        for (const auto& loop : song_->LoopSlots())
            if (loop)
                for (const auto& track : loop->Tracks())
                    if (track->NumTicks() < loop->Format().ticks)
                        track->SetNumTicks(loop->Format().ticks);
        if (render) Render(0, false);
    } catch (...) {
        song_ = std::move(oldSong);
        feeds_ = std::move(oldFeeds);
        selected_ = oldSelected;
        throw;
    }
    // A new document: nothing to undo, nothing owed to its file.
    undo_.Clear();
    MarkSaved(path);
    // A song opened in a Link session brings its tempo to it.
    TellLinkTempo();
    Notify(kChangeSong);
}

void Engine::OpenSong(const std::string& path, std::string* notice) {
    bool foreign = false;
    auto song = ReadAnySong(path, notice, {}, &foreign);
    ShowForeign(std::move(song), path, foreign);
}

void Engine::ShowForeign(std::shared_ptr<Song> song, const std::string& path, bool foreign) {
    if (!foreign) return ShowSong(std::move(song), path);
    // Another program's song opens as a new one: saving asks for a name.
    ShowSong(std::move(song), "");
    ChangedOutsideUndo();
}

void Engine::StartEmpty() {
    auto song = std::make_shared<Song>();
    song->SetBpm(120 * 10000);
    // One track, loop 0 with a track for it.
    song->SetSampleSlots({std::make_shared<Sample>()});
    auto track = std::make_shared<LoopTrack>();
    track->SetNumTicks(LoopFormat{}.ticks);
    song->Sequence(0)->Tracks().push_back(std::move(track));
    ShowSong(std::move(song), "");
}

void Engine::SaveSong(const std::string& path) {
    WriteSongFile(*song_, path);
    MarkSaved(path);
}

std::string Engine::DocumentName() const {
    return filePath_.empty() ? "Untitled" : FileNameOfPath(filePath_);
}

Engine::FileStamp Engine::StampOf(const std::string& path) {
    struct stat st;
    // Only a file is a song someone may have saved.
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {st.st_dev, st.st_ino, static_cast<unsigned long long>(st.st_size),
            st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

bool Engine::ChangedOnDisk() const {
    if (filePath_.empty() || stamp_ == FileStamp{}) return false;
    const FileStamp now = StampOf(filePath_);
    // A file that is gone is no other song to overwrite.
    return !(now == FileStamp{}) && !(now == stamp_);
}

std::string Engine::OpenMarkOf(const std::string& path) const {
    // One mark per file, by its full name (FNV-1a).
    std::error_code error;
    const std::string full = std::filesystem::weakly_canonical(path, error).string();
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : full) h = (h ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "/open-%016llx.lock", static_cast<unsigned long long>(h));
    return openMarks_ + name;
}

void Engine::SetOpenMarks(std::string folder) {
    MakeFolders(folder, 0700);
    openMarks_ = std::move(folder);
    // The song open now is marked too.
    if (!filePath_.empty()) {
        openMark_.Release();
        BelongTo(filePath_);
    }
}

bool Engine::OpenElsewhere(const std::string& path) const {
    if (openMarks_.empty() || path.empty()) return false;
    if (openMark_.Held() && IsSameFile(path, filePath_)) return false;  // this one's
    return FileLock::IsHeld(OpenMarkOf(path));
}

void Engine::BelongTo(const std::string& path) {
    if (path != filePath_ || !openMark_.Held()) {
        // The mark follows the song's file; one held by another Trellon is
        // not taken (it said so when the song was opened).
        openMark_.Release();
        if (!openMarks_.empty() && !path.empty())
            openMark_ = FileLock(OpenMarkOf(path), FileLock::Kind::kShared, FileLock::Wait::kNo);
    }
    stamp_ = StampOf(path);
    filePath_ = path;
}

void Engine::MarkSaved(const std::string& path) {
    // An autosave under way would bring back what Forget removes.
    if (autosave_) autosave_->Wait();
    BelongTo(path);
    changedOutsideUndo_ = false;
    undo_.SetClean();  // counts as a revision
    keptRevision_ = revision_;
    if (recovery_) recovery_->Forget();
    Notify(kChangeDocument);
}

void Engine::ChangedOutsideUndo() {
    changedOutsideUndo_ = true;
    ++revision_;
    Notify(kChangeDocument);
}

void Engine::KeepForRecovery() {
    if (!recovery_) return;
    if (autosave_) autosave_->Wait();
    recovery_->Keep(*song_, filePath_);
    keptRevision_ = revision_;
}
