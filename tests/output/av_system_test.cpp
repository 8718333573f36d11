// AvSystem on the virtual device with the library's readers: which bytes
// the device plays, half by half, and when playback ends.
#include "output/av_system.h"
#include "common/output_fixture.h"
#include "common/song_fixture.h"
#include "output/av_module.h"
#include "sound/virtual_device.h"

namespace {

// Forwards notifications to the AvSystem under test, as every sink must.
struct Sink : DirectXEvent8 {
    AvSystem* av = nullptr;
    int calls = 0;
    void DXCallback(LONG id) override {
        ++calls;
        av->HandleNotification(id, false);
    }
};

class Output : public AudioLibrary {
  protected:
    void SetUp() override {
        AudioLibrary::SetUp();
        SetDefaultSoundDevice(device_);
        sink_.av = &av_;
    }
    void TearDown() override { SetDefaultSoundDevice(nullptr); }

    // A mono or stereo memory reader whose value i is base + i.
    ComPtr<IWavReader> Reader(LONG frames, SHORT channels, AudioSample base) {
        ComPtr<IWav> w =
            MakeSignal(frames, channels, [base](LONG i) { return AudioSample(base + i); });
        ComPtr<IWavReader> r;
        w->OpenReader(r.Out());
        return r;
    }
    // What the device played, as values.
    std::vector<AudioSample> Played() const {
        const auto& b = device_->Played();
        std::vector<AudioSample> v(b.size() / 2);
        std::memcpy(v.data(), b.data(), v.size() * 2);
        return v;
    }
    // Plays frames one at a time, as a device would, delivering as it goes.
    void Play(long frames) {
        for (long i = 0; i < frames; ++i) device_->AdvanceFrames(1);
    }

    std::shared_ptr<VirtualDevice> device_ = std::make_shared<VirtualDevice>();
    AvSystem av_;
    Sink sink_;
};

std::vector<AudioSample> Ramp(AudioSample from, int count) {
    std::vector<AudioSample> v(count);
    for (int i = 0; i < count; ++i) v[i] = AudioSample(from + i);
    return v;
}

std::vector<AudioSample> Join(std::initializer_list<std::vector<AudioSample>> parts) {
    std::vector<AudioSample> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(Output, SizesTheHalvesFromTheReader) {
    av_.PlayAudio(Reader(100000, 2, 0).get(), Options(&sink_, 0, -1, false, 0));
    EXPECT_EQ(av_.HalfFrames(), 44100);
    EXPECT_EQ(av_.HalfValues(), 88200);
    EXPECT_EQ(av_.HalfBytes(), 176400);
    EXPECT_EQ(av_.Buffer()->Size(), 352800);
    av_.StopPlaying();
    av_.PlayAudio(Reader(100000, 1, 0).get(), Options(&sink_, 0, -1, false, -1));
    EXPECT_EQ(av_.HalfFrames(), 22050);
    EXPECT_EQ(av_.Buffer()->Size(), 88200) << "a new buffer on every start from idle";
    EXPECT_EQ(device_->BuffersCreated(), 2);
}

TEST_F(Output, PlaysAReaderToItsEndAndStops) {
    av_.PlayAudio(Reader(1000, 1, 1).get(), Options(&sink_, 0, -1, false, 400));
    EXPECT_TRUE(av_.IsPlaying());
    Play(801);  // halves of 400, 400, then 200 padded with 200 of silence
    EXPECT_TRUE(av_.AtEnd()) << "the end is found as the third half starts";
    Play(398);
    EXPECT_TRUE(av_.IsPlaying());
    Play(1);
    EXPECT_FALSE(av_.IsPlaying()) << "the next notification stops playback";
    EXPECT_EQ(Played(), Join({Ramp(1, 1000), std::vector<AudioSample>(200, 0)}));
    EXPECT_EQ(av_.PlaybackPosition(), 0);

    // A file reader finds its end only after an empty read: a whole half of
    // silence is written before the end is found.
    TempDir dir;
    WriteText(dir / "800.wav", CanonicalWav(1, 800));
    device_->ClearPlayed();
    av_.PlayAudio(OpenFile(dir / "800.wav").get(), Options(&sink_, 0, -1, false, 400));
    Play(1199);
    EXPECT_TRUE(av_.IsPlaying());
    Play(1);
    EXPECT_FALSE(av_.IsPlaying());
    std::vector<AudioSample> p = Played();
    EXPECT_EQ(std::vector<AudioSample>(p.begin(), p.begin() + 3),
              (std::vector<AudioSample>{0, 7, 14}));
    EXPECT_EQ(std::vector<AudioSample>(p.begin() + 800, p.end()), std::vector<AudioSample>(400, 0));
}

TEST_F(Output, LoopsWithoutAGapAndAQueuedReaderTakesOverAtTheEndOfThePass) {
    av_.PlayAudio(Reader(1000, 1, 1).get(), Options(&sink_, 0, -1, true, 400));
    Play(2500);
    EXPECT_EQ(Played(), Join({Ramp(1, 1000), Ramp(1, 1000), Ramp(1, 500)}));
    // Reading runs one half ahead of what is heard: the pass being read
    // when the reader is queued is the one after the pass heard now.
    av_.Enqueue(Reader(300, 1, 5000).get());
    Play(2000);
    std::vector<AudioSample> p = Played();
    EXPECT_EQ(std::vector<AudioSample>(p.begin() + 2500, p.end()),
              Join({Ramp(501, 500), Ramp(1, 1000), Ramp(5000, 300), Ramp(5000, 200)}));
    EXPECT_TRUE(av_.IsPlaying());
    av_.StopPlaying();
    EXPECT_FALSE(av_.IsPlaying());
}

TEST_F(Output, SwitchesAtOnceWhilePlaying) {
    av_.PlayAudio(Reader(10000, 1, 0).get(), Options(&sink_, 0, -1, false, 400));
    Play(100);  // in the first half
    EXPECT_EQ(av_.PlayingHalfOffset(), 0);
    av_.PlayAudio(Reader(10000, 1, 20000).get(), Options(&sink_, 0, -1, false, 400));
    EXPECT_EQ(av_.PlayingHalfOffset(), av_.HalfBytes());
    LONG cursor = -1;
    av_.Buffer()->GetCurrentPosition(&cursor, nullptr);
    EXPECT_EQ(cursor, av_.HalfBytes()) << "the play position jumps to the new audio";
    device_->ClearPlayed();
    Play(500);
    EXPECT_EQ(Played(), Ramp(20000, 500)) << "no half of the old audio follows";

    // From the second half: the new audio goes into the first, played from 0.
    Play(400);
    EXPECT_EQ(av_.PlayingHalfOffset(), av_.HalfBytes());
    av_.PlayAudio(Reader(10000, 1, -20000).get(), Options(&sink_, 0, -1, false, 400));
    EXPECT_EQ(av_.PlayingHalfOffset(), 0);
    device_->ClearPlayed();
    Play(900);
    EXPECT_EQ(Played(), Ramp(-20000, 900));
}

TEST_F(Output, PlaysFromStartPosToEndPosThenSilence) {
    av_.PlayAudio(Reader(10000, 1, 0).get(), Options(&sink_, 1000, 3000, false, 400));
    Play(2800);
    EXPECT_EQ(Played(), Join({Ramp(1000, 2000), std::vector<AudioSample>(800, 0)}));
    EXPECT_TRUE(av_.IsPlaying()) << "past EndPos the stream plays silence until stopped";
}

TEST_F(Output, IgnoresRepeatsKeepsTheFirstSinkAndPausesWithoutEnding) {
    av_.PlayAudio(Reader(100000, 1, 0).get(), Options(&sink_, 0, -1, false, 400));
    Play(10);
    LONG position = av_.PlaybackPosition();
    av_.HandleNotification(av_.LastEventId(), false);
    EXPECT_EQ(av_.PlaybackPosition(), position) << "a repeated notification does nothing";

    av_.Pause();
    Play(50);
    EXPECT_TRUE(av_.IsPlaying()) << "Pause's stop notification is not the end";
    av_.UnPause();
    device_->ClearPlayed();
    Play(400);
    EXPECT_EQ(Played(), Ramp(10, 400)) << "playback goes on where it paused";
    av_.StopPlaying();

    Sink other;
    other.av = &av_;
    av_.PlayAudio(Reader(100000, 1, 0).get(), Options(&other, 0, -1, false, 300));
    int before = sink_.calls;
    Play(700);
    EXPECT_EQ(other.calls, 0);
    EXPECT_GT(sink_.calls, before) << "the first sink gets every notification";
    EXPECT_EQ(av_.Buffer()->Size(), 1200) << "a new half size on a new start";

    // Without anything playing, these change nothing.
    av_.StopPlaying();
    av_.StopPlaying();
    av_.Pause();
    av_.UnPause();
    EXPECT_FALSE(av_.IsPlaying());
    EXPECT_EQ(av_.PlaybackPosition(), 0);
}

TEST_F(Output, ReportsAMissingDeviceAndTriesAgainNextTime) {
    SetDefaultSoundDevice(nullptr);
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(
        ErrorOf([&] { av_.PlayAudio(Reader(100, 1, 0).get(), Options(&sink_, 0, -1, false, 40)); }),
        kErrNoAudioDevice);
    EXPECT_FALSE(av_.IsPlaying());
    SetDefaultSoundDevice(device_);
    av_.PlayAudio(Reader(100, 1, 0).get(), Options(&sink_, 0, -1, false, 40));
    EXPECT_TRUE(av_.IsPlaying());
    EXPECT_EQ(&GetAvSystem(), &GetAvSystem());
}

TEST_F(Output, PlayRightAfterStopPlaysEveryPassWhole) {
    // Stopped just after the first half began (the last notification taken
    // was the start of the stream) and started again at once: the new
    // stream's first notification is not a repeat of the old one's, and
    // the loop plays pass after pass from its first frame.
    for (long stopAfter : {10L, 450L, 1390L}) {
        av_.PlayAudio(Reader(1000, 1, 1).get(), Options(&sink_, 0, -1, true, 400));
        Play(stopAfter);
        av_.StopPlaying();
        device_->DeliverPendingForTest();
        device_->ClearPlayed();
        av_.PlayAudio(Reader(1000, 1, 1).get(), Options(&sink_, 0, -1, true, 400));
        Play(3000);
        EXPECT_EQ(Played(), Join({Ramp(1, 1000), Ramp(1, 1000), Ramp(1, 1000)}))
            << "stopped after " << stopAfter << " frames";
        av_.StopPlaying();
        device_->DeliverPendingForTest();
    }
}
