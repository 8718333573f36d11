// Choosing the output SDL plays on: the driver and device are used from
// the next start from idle, and a choice that cannot open is reported
// naming what was tried.
#include <SDL.h>

#include "common/output_fixture.h"
#include "common/song_fixture.h"
#include "output/av_system.h"
#include "sound/sdl_device.h"

namespace {

using SdlOutput = AudioLibrary;

struct Sink : DirectXEvent8 {
    AvSystem* av;
    void DXCallback(LONG id) override { av->HandleNotification(id, false); }
};

bool HasDrivers(std::initializer_list<const char*> wanted) {
    const auto drivers = SdlDevice::Drivers();
    for (const char* w : wanted)
        if (std::find(drivers.begin(), drivers.end(), w) == drivers.end()) return false;
    return true;
}

std::string PlayError(AvSystem& av, IWavReader* reader, DirectXEvent8* sink) {
    try {
        av.PlayAudio(reader, Options(sink, 0, -1, true, 1024));
    } catch (const AppError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST_F(SdlOutput, TheChosenDriverAndDeviceTakeOverAtTheNextPlayAndFailuresSayWhatWasTried) {
    if (!HasDrivers({"disk", "dummy"})) GTEST_SKIP() << "SDL has no disk or dummy audio driver";
    TempDir dir;
    const std::string capture = dir / "capture.raw";
    ::unsetenv("SDL_AUDIODRIVER");
    ::unsetenv("PULSE_LATENCY_MSEC");
    ::setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    ManualDispatcher dispatcher;
    EventService::Instance().SetDispatcher(dispatcher.AsDispatcher());
    ComPtr<IWav> wav = MakeSignal(3000, 2, [](LONG i) { return AudioSample(1 + i); });
    ComPtr<IWavReader> reader;
    wav->OpenReader(reader.Out());
    {
        AvSystem av;
        Sink sink;
        sink.av = &av;

        // The devices of a driver are listed while nothing plays.
        std::vector<std::string> devices;
        std::string why;
        EXPECT_TRUE(SdlDevice::OutputDevices("dummy", &devices, &why)) << why;

        SetSoundOutput({"dummy", ""});
        EXPECT_EQ(PlayError(av, reader.get(), &sink), "");
        EXPECT_EQ(std::string(SDL_GetCurrentAudioDriver()), "dummy");
        // PulseAudio streams are asked to hold two periods' worth ahead.
        ASSERT_NE(std::getenv("PULSE_LATENCY_MSEC"), nullptr);
        EXPECT_STREQ(std::getenv("PULSE_LATENCY_MSEC"), SdlDevice::kPulseLatencyMsec);
        // While one driver plays, another's devices cannot be listed.
        EXPECT_FALSE(SdlDevice::OutputDevices("disk", &devices, &why));
        EXPECT_EQ(why,
                  "The “dummy” driver is in use; stop playback to list the devices of another.");

        // Chosen while playing: the stream plays on where it is...
        SetSoundOutput({"disk", ""});
        dispatcher.WaitAndRun(50);
        EXPECT_EQ(std::string(SDL_GetCurrentAudioDriver()), "dummy");
        EXPECT_FALSE(std::filesystem::exists(capture));
        // ...and the next start from idle plays on the new choice.
        av.StopPlaying();
        dispatcher.RunPending();
        ::setenv("PULSE_LATENCY_MSEC", "60", 1);  // the user's own stays
        EXPECT_EQ(PlayError(av, reader.get(), &sink), "");
        EXPECT_EQ(std::string(SDL_GetCurrentAudioDriver()), "disk");
        EXPECT_STREQ(std::getenv("PULSE_LATENCY_MSEC"), "60");
        for (int i = 0; i < 50 && !std::filesystem::exists(capture); ++i) dispatcher.WaitAndRun(20);
        EXPECT_TRUE(std::filesystem::exists(capture)) << "the disk driver did not play";
        av.StopPlaying();
        dispatcher.RunPending();

        // A device the driver does not have, and a driver SDL does not have.
        SetSoundOutput({"dummy", "Studio Monitor 7"});
        std::string e = PlayError(av, reader.get(), &sink);
        EXPECT_EQ(e.rfind("Unable to open audio output device. Tried “Studio Monitor 7” through "
                          "the “dummy” driver: No such device.",
                          0),
                  0u)
            << e;
        EXPECT_NE(e.find("Check that the sound server is running"), std::string::npos) << e;
        EXPECT_FALSE(av.IsPlaying());
        SetSoundOutput({"no-such-driver", ""});
        e = PlayError(av, reader.get(), &sink);
        EXPECT_EQ(e.rfind("Unable to open audio output device. The “no-such-driver” audio driver "
                          "could not start: ",
                          0),
                  0u)
            << e;

        // Back to the system's choice, which plays again.
        SetSoundOutput({"dummy", ""});
        EXPECT_EQ(PlayError(av, reader.get(), &sink), "");
        av.StopPlaying();
        dispatcher.RunPending();
        av.ReleaseDevice();
        EXPECT_EQ(SDL_GetCurrentAudioDriver(), nullptr) << "a released device stops its driver";
    }
    SetSoundOutput({});
    EventService::Instance().SetDispatcher(nullptr);
    EventService::Instance().StopDeliveryThread();
}
