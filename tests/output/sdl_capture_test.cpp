// The real device path: AvSystem through SDL2, with SDL's disk driver
// writing what the device plays to a file.
#include <SDL.h>

#include <chrono>

#include "common/output_fixture.h"
#include "common/song_fixture.h"
#include "output/av_system.h"
#include "sound/event_service.h"

namespace {

using SdlCapture = AudioLibrary;

bool HasDiskDriver() {
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i)
        if (std::string(SDL_GetAudioDriver(i)) == "disk") return true;
    return false;
}

struct Sink : DirectXEvent8 {
    AvSystem* av;
    void DXCallback(LONG id) override { av->HandleNotification(id, false); }
};

}  // namespace

TEST_F(SdlCapture, PlaysLoopingPassesAndAQueuedSwitchSeamlessly) {
    if (!HasDiskDriver()) GTEST_SKIP() << "SDL has no disk audio driver";
    TempDir dir;
    std::string capture = dir / "capture.raw";
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);

    ManualDispatcher dispatcher;
    EventService::Instance().SetDispatcher(dispatcher.AsDispatcher());
    const LONG loopFrames = 3000, nextFrames = 2000;
    ComPtr<IWav> loop = MakeSignal(loopFrames, 2, [](LONG i) { return AudioSample(1 + i); });
    ComPtr<IWav> next = MakeSignal(nextFrames, 2, [](LONG i) { return AudioSample(-1 - i); });
    ComPtr<IWavReader> loopReader, nextReader;
    loop->OpenReader(loopReader.Out());
    next->OpenReader(nextReader.Out());
    {
        AvSystem av;
        Sink sink;
        sink.av = &av;
        av.PlayAudio(loopReader.get(), Options(&sink, 0, -1, true, 1024));
        // Queue the switch while the third pass is being read.
        int rewinds = 0;
        LONG last = av.PlaybackPosition();
        bool queued = false;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            dispatcher.WaitAndRun(20);
            LONG pos = av.PlaybackPosition();
            if (pos < last) ++rewinds;
            last = pos;
            if (rewinds == 2 && !queued) {
                av.Enqueue(nextReader.get());
                queued = true;
            }
            // Enough played: three passes and most of the next reader.
            if (queued && std::filesystem::exists(capture) &&
                std::filesystem::file_size(capture) > (6 * loopFrames + 2 * nextFrames) * 4u)
                break;
        }
        av.StopPlaying();
        dispatcher.RunPending();
        av.ReleaseDevice();  // the disk driver stops with it
    }
    EventService::Instance().SetDispatcher(nullptr);

    std::string bytes = ReadText(capture);
    std::vector<AudioSample> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    auto start = std::find(v.begin(), v.end(), AudioSample(1));
    ASSERT_NE(start, v.end()) << "nothing was played";
    std::vector<AudioSample> want;
    for (int pass = 0; pass < 3; ++pass)
        for (LONG i = 0; i < 2 * loopFrames; ++i) want.push_back(AudioSample(1 + i));
    for (LONG i = 0; i < 2 * nextFrames; ++i) want.push_back(AudioSample(-1 - i));
    ASSERT_GE(v.end() - start, static_cast<long>(want.size())) << "played too little";
    auto [wrong, got] = std::mismatch(want.begin(), want.end(), start);
    EXPECT_TRUE(wrong == want.end())
        << "the captured stream has a gap or a glitch at value " << (wrong - want.begin()) << ": "
        << (got == v.end() ? 0 : *got) << " for " << (wrong == want.end() ? 0 : *wrong);
}
