// The engine as the tests drive it: the real library, a song file in a
// folder of the test's own, playback on the virtual device (whose
// notifications reach the engine's player thread as a real device's do),
// and what the engine tells its view recorded.
#pragma once

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/song_fixture.h"
#include "engine/engine.h"
#include "song/loop_renderer.h"
#include "sound/virtual_device.h"

class RecordingView : public EngineView {
  public:
    void Changed(unsigned what) override { changes |= what; }
    void TickLit(LONG tick) override { lit.push_back(tick); }
    void Report(const std::string& error) override { errors.push_back(error); }
    unsigned changes = 0;
    std::vector<LONG> lit;
    std::vector<std::string> errors;
};

class EngineTest : public AudioLibrary {
  protected:
    static const std::shared_ptr<VirtualDevice>& SharedDevice() {
        static const std::shared_ptr<VirtualDevice> device = std::make_shared<VirtualDevice>();
        return device;
    }
    static VirtualDevice& Device() { return *SharedDevice(); }
    void SetUp() override {
        AudioLibrary::SetUp();
        SetDefaultSoundDevice(SharedDevice());
        Device().ClearPlayed();
        folder_ = std::make_unique<TempDir>();
        engine_ = std::make_unique<Engine>();
        engine_->SetView(&view_);
    }
    void TearDown() override {
        engine_.reset();
        folder_.reset();
    }

    std::string Folder(const std::string& name) const { return *folder_ / name; }
    // The default song, opened from a copy of its own.
    Engine& OpenDefaultSong() {
        const std::string path = Folder("DuvoDodiz.loop");
        std::filesystem::copy_file(DEFAULT_SONG_PATH, path,
                                   std::filesystem::copy_options::overwrite_existing);
        engine_->OpenSong(path);
        return *engine_;
    }
    // Plays frames on the device; the notifications that came due run on
    // the player's thread, and what it posted runs here.
    void Advance(long frames) {
        Device().AdvanceFrames(frames);
        Settle();
    }
    void Settle() {
        engine_->GetPlayer().Flush();
        engine_->RunPosted();
    }
    // What the device played since the last ClearPlayed, as values.
    static std::vector<AudioSample> Played() {
        const auto& b = Device().Played();
        std::vector<AudioSample> v(b.size() / 2);
        if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * 2);
        return v;
    }

    // Loop index of song rendered apart from any engine, from copies of
    // its loops and samples, in a buffer of frames (0: the length its
    // tempo gives).
    std::vector<AudioSample> RenderedApart(const Song& song, int index, LONG frames = 0) {
        Song fresh;
        fresh.SetBpm(song.Bpm());
        fresh.SetSwing(song.Swing());
        fresh.SetMasterLevel(song.MasterLevel());
        fresh.SetHumanize(song.GetHumanize());
        for (std::size_t i = 0; i < song.SampleSlots().size(); ++i)
            if (song.SampleSlots()[i]) *fresh.SampleAt(std::int32_t(i)) = *song.SampleSlots()[i];
        SequenceLoop& loop = *fresh.Sequence(index);
        loop.Clear();
        loop.SetFormat(song.LoopSlots().at(std::size_t(index))->Format());
        for (const auto& t : song.LoopSlots().at(std::size_t(index))->Tracks())
            loop.Tracks().push_back(std::make_shared<LoopTrack>(*t));
        LoopRenderer r;
        r.NumTracks = std::min<LONG>(fresh.NumTracks(), 64);
        r.SelectedLoopIndex = std::uint8_t(index);
        r.UseFormatOf(loop);
        r.PrepareLoopWav(fresh);
        if (frames > 0) r.LoopWav = MakeWav(frames);
        r.RenderSelectedLoop(fresh, LoopGrid(loop));
        return ValuesOf(r.LoopWav.get());
    }

    std::unique_ptr<TempDir> folder_;
    RecordingView view_;
    std::unique_ptr<Engine> engine_;
};

// count values of v from from on (fewer at its end).
inline std::vector<AudioSample> Part(const std::vector<AudioSample>& v, std::size_t from,
                                     std::size_t count) {
    if (from >= v.size()) return {};
    return std::vector<AudioSample>(v.begin() + long(from),
                                    v.begin() + long(std::min(v.size(), from + count)));
}
