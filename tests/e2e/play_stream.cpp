// Plays loops through the shared AvSystem on the default sound device, as
// the main window does, without the window: the first loop on repeat, and
// every SWITCH seconds the next one queued to take over at the end of the
// pass. Ends after SECONDS, or at SIGTERM.
//
// usage: play_stream SECONDS SWITCH LOOP.wav...
//   The audio library is reached through activation (OVRA_REGISTRY).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/audio_import.h"
#include "output/av_module.h"
#include "support/app_error.h"

namespace {

volatile std::sig_atomic_t stopped = 0;

struct Sink : DirectXEvent8 {
    void DXCallback(LONG id) override { GetAvSystem().HandleNotification(id, false); }
};

ComPtr<IWavReader> ReaderOn(IWav* wav) {
    ComPtr<IWavReader> reader;
    Check(wav->OpenReader(reader.Out()));
    return reader;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: play_stream SECONDS SWITCH LOOP.wav...\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]), every = std::atof(argv[2]);
    std::signal(SIGTERM, [](int) { stopped = 1; });
    ManualDispatcher dispatcher;
    EventService::Instance().SetDispatcher(dispatcher.AsDispatcher());
    Sink sink;
    int status = 0;
    try {
        // Every loop in memory, as the window's renderings are.
        std::vector<ComPtr<IWav>> loops;
        for (int i = 3; i < argc; ++i) loops.push_back(ImportAudioFile(argv[i]).wav);
        AvSystem& av = GetAvSystem();
        ComPtr<IWavReader> playing = ReaderOn(loops[0].get());
        LONG frames = 0;
        Check(loops[0]->get_NumSamples(&frames));
        av.PlayAudio(playing.get(), {.EventSink = &sink,
                                     .EndPos = frames,
                                     .PlayLoop = true,
                                     .HalfBufferSize = frames / 32 + 1});
        std::printf("playing\n");
        std::fflush(stdout);
        const auto begin = std::chrono::steady_clock::now();
        std::size_t next = 1;
        std::vector<ComPtr<IWavReader>> queued;
        while (!stopped) {
            dispatcher.WaitAndRun(10);
            const double t =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            if (t >= seconds) break;
            if (next < loops.size() && t >= every * double(next)) {
                queued.push_back(ReaderOn(loops[next].get()));
                av.Enqueue(queued.back().get());
                ++next;
            }
        }
        // What the device played as silence because a refill came late:
        // a failing recording with none is the server's doing, not ours.
        if (const auto& buffer = av.Buffer())
            std::printf("late frames: %lu, longest refill: %.1f ms\n", buffer->LateFrames(),
                        buffer->LongestRefill() * 1e3);
        av.StopPlaying();
        dispatcher.RunPending();
        av.ReleaseDevice();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "play_stream: %s\n", e.what());
        status = 1;
    }
    EventService::Instance().SetDispatcher(nullptr);
    return status;
}
