// The engine playing live on a private JACK server (jackd, dummy driver),
// measured frame for frame by a test client that sends notes into
// Trellon:midi_in and records Trellon:out_L and out_R.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "live/jack_engine_fixture.h"

namespace {

constexpr LONG kSoundFrames = 200;

// Value i of the test sound: a ramp, negative on the right.
AudioSample ValueAt(LONG i) {
    return AudioSample((i / 2 + 1) * 100 * (i % 2 ? -1 : 1));
}

ProbeNote NoteOn(jack_nframes_t frame, int note, int velocity) {
    return {frame, {0x99, (unsigned char)note, (unsigned char)velocity}, 3};
}

// Frames from the note to the first sound in what follows it; -1 for none.
long Onset(const std::vector<float>& after) {
    return JackProbe::FirstSound(after);
}

}  // namespace

class JackLive : public JackEngine {
  protected:
    void SetUp() override {
        JackEngine::SetUp();
        if (!Ready()) return;
        // Track 0 plays the test sound; track 1 another one.
        engine_->SetSample(0, MakeSignal(kSoundFrames, 2, ValueAt), u"ramp");
        engine_->AddTrack();
        engine_->SetSample(1, MakeSignal(kSoundFrames, 2, ValueAt), u"ramp 2");
        engine_->StartLive();
        engine_->WaitForLiveKit();
        probe_ = std::make_unique<JackProbe>();
        ASSERT_TRUE(probe_->Ok());
        ASSERT_TRUE(probe_->Start(JackDevice()));
    }
    static std::string JackDevice() { return "Trellon"; }
    // The server's period (kPeriod, unless the caller runs the server).
    unsigned Period() const { return probe_->Period(); }
    // Notes this far apart, and what follows a note for so long, hold one
    // hit each, whatever the period.
    jack_nframes_t Apart() const { return 4 * Period(); }
    std::size_t Window() const { return 2 * Period() + 300; }
    // A frame a little ahead of the server, at the start of a period.
    jack_nframes_t Ahead() const {
        const jack_nframes_t now = probe_->Now() + 8 * Period();
        return now - now % Period();
    }
};

TEST_F(JackLive, AHitSoundsAFixedLatencyAfterItsNoteWhateverItsOffsetAtItsVelocity) {
    const OutputStatus status = engine_->LiveOutputStatus();
    EXPECT_TRUE(status.live);
    EXPECT_EQ(status.rate, kRate);
    EXPECT_EQ(status.period, Period());

    // Twenty notes at offsets spread over the period, one of them at
    // velocity 64, then an unmapped note.
    const jack_nframes_t base = Ahead();
    std::vector<ProbeNote> notes;
    for (jack_nframes_t k = 0; k < 20; ++k)
        notes.push_back(NoteOn(base + k * Apart() + (k * 37) % Period(), 36, k == 5 ? 64 : 127));
    const jack_nframes_t unmapped = base + 20 * Apart() + 17;
    notes.push_back(NoteOn(unmapped, 60, 100));
    const std::size_t first = probe_->Send(notes);
    ASSERT_TRUE(probe_->WaitFor(unmapped + Apart()));

    std::vector<long> latencies;
    for (std::size_t k = 0; k < 20; ++k) {
        // From the frame the note went out at (a server that skipped its
        // period sent it with the next).
        const jack_nframes_t sent = probe_->SentAt(first + k);
        const std::vector<float> left = probe_->Left(sent, Window());
        const std::vector<float> right = probe_->Right(sent, Window());
        const long at = Onset(left);
        ASSERT_GE(at, 0) << "note " << k << " was not heard";
        latencies.push_back(at);
        // The sound whole, scaled by velocity / 127, and nothing after it.
        const float gain = notes[k].bytes[2] / 127.0f;
        for (LONG i = 0; i < kSoundFrames; ++i) {
            ASSERT_NEAR(left[std::size_t(at + i)], gain * ValueAt(2 * i) / 32768.0f, 1e-6f)
                << "note " << k << " frame " << i;
            ASSERT_NEAR(right[std::size_t(at + i)], gain * ValueAt(2 * i + 1) / 32768.0f, 1e-6f)
                << "note " << k << " frame " << i;
        }
        EXPECT_EQ(left[std::size_t(at + kSoundFrames)], 0.0f);
    }
    // Sample-accurate: the same latency for every offset, at most a period.
    for (long l : latencies) EXPECT_EQ(l, latencies[0]);
    EXPECT_LE(latencies[0], long(Period()));
    // The unmapped note played nothing and is shown as such.
    EXPECT_EQ(Onset(probe_->Left(unmapped, Window())), -1);
    const NoteSeen seen = engine_->Live()->LastNote();
    EXPECT_EQ(seen.note, 60);
    EXPECT_EQ(seen.channel, 10);
    EXPECT_EQ(seen.velocity, 100);
    EXPECT_EQ(seen.track, -1);
}

TEST_F(JackLive, AThousandNotesInOnePeriodStealVoicesAndPlayOn) {
    const jack_nframes_t base = Ahead();
    std::vector<ProbeNote> notes;
    for (int i = 0; i < 1000; ++i)
        notes.push_back(NoteOn(base + jack_nframes_t(i) % Period(), 36, 127));
    std::sort(notes.begin(), notes.end(),
              [](const ProbeNote& a, const ProbeNote& b) { return a.frame < b.frame; });
    const jack_nframes_t after = base + 10 * Period() + 5;
    notes.push_back(NoteOn(after, 37, 127));
    probe_->Send(notes);
    ASSERT_TRUE(probe_->WaitFor(after + Apart()));
    EXPECT_GE(engine_->Live()->Steals(), 1000u - LiveVoices::kVoices);
    // The note after the flood is heard whole, on its own.
    const std::vector<float> left = probe_->Left(after, Window());
    const long at = Onset(left);
    ASSERT_GE(at, 0);
    EXPECT_LE(at, long(Period()));
    EXPECT_NEAR(left[std::size_t(at) + 10], ValueAt(20) / 32768.0f, 1e-6f);
    EXPECT_FALSE(engine_->LiveOutputStatus().gone);
}

TEST_F(JackLive, MutedAndSoloedTracksAndKeysPlayAsTheMixSays) {
    engine_->SetTrackVolume(0, 50);
    engine_->SetTrackSolo(1, true);
    engine_->WaitForLiveKit();
    // Track 0 is left out by the solo; track 1 at full volume.
    jack_nframes_t base = Ahead();
    probe_->Send({NoteOn(base, 36, 127), NoteOn(base + Apart(), 37, 127)});
    ASSERT_TRUE(probe_->WaitFor(base + 2 * Apart()));
    EXPECT_EQ(Onset(probe_->Left(base, Window())), -1);
    const long at = Onset(probe_->Left(base + Apart(), Window()));
    ASSERT_GE(at, 0);
    EXPECT_NEAR(probe_->Left(base + Apart() + jack_nframes_t(at) + 4, 1)[0], ValueAt(8) / 32768.0f,
                1e-6f);
    // Without the solo, track 0 at half volume, played as a key would.
    engine_->SetTrackSolo(1, false);
    engine_->WaitForLiveKit();
    base = Ahead();
    ASSERT_TRUE(probe_->WaitFor(base));
    engine_->PlayHit(0, 127);
    ASSERT_TRUE(probe_->WaitFor(base + 4000));
    const std::vector<float> left = probe_->Left(base, 4000);
    const long key = Onset(left);
    ASSERT_GE(key, 0) << "the key's hit was not heard";
    EXPECT_NEAR(left[std::size_t(key) + 4], 0.5f * ValueAt(8) / 32768.0f, 1e-6f);
}

TEST_F(JackLive, TheLoopPlaysThroughJackValueForValueAndAServerThatEndsIsSaid) {
    engine_->SetTick(0, 0, 0, true);
    engine_->SetTick(0, 1, 8, true);
    const std::vector<AudioSample> loop = ValuesOf(engine_->LoopWav().get());
    const jack_nframes_t from = Ahead();
    ASSERT_TRUE(probe_->WaitFor(from));
    engine_->Play();
    const jack_nframes_t frames = jack_nframes_t(loop.size() / 2);
    ASSERT_TRUE(probe_->WaitFor(from + kRate + frames * 2));
    const std::vector<float> left = probe_->Left(from, kRate + frames * 2);
    const std::vector<float> right = probe_->Right(from, kRate + frames * 2);
    const long at = Onset(left);
    ASSERT_GE(at, 0) << "the loop was not heard";
    // Two passes, every value as the rendering has it.
    for (jack_nframes_t i = 0; i < 2 * frames; ++i) {
        const std::size_t v = std::size_t(i % frames) * 2;
        ASSERT_EQ(left[std::size_t(at) + i], loop[v] / 32768.0f) << i;
        ASSERT_EQ(right[std::size_t(at) + i], loop[v + 1] / 32768.0f) << i;
    }
    // The server ends: playback stops, and a later Play says why (not for
    // a server the caller runs for the other tests too).
    if (PrivateJackServer::Running()) return;
    probe_.reset();
    server_->Stop();
    for (int i = 0; i < 200 && !engine_->LiveOutputStatus().gone; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(engine_->LiveOutputStatus().gone);
    engine_->CheckOutput();
    engine_->RunPosted();
    EXPECT_FALSE(engine_->IsPlaying());
    EXPECT_THROW(engine_->Play(), std::exception);
}

TEST_F(JackLive, RecordedHitsLandOnTheNearestTicksAreHeardOnceThenFromTheLoopAndUndoAsOneTake) {
    engine_->SetTempo(300.0);         // a pass of 1.6 s
    engine_->SetTick(0, 0, 0, true);  // marks each pass's start
    // From a note sent to its hit heard: the hit lands in the loop where
    // the loop was then heard, so the notes are sent that much earlier.
    const jack_nframes_t first = Ahead();
    probe_->Send({NoteOn(first, 37, 127)});
    ASSERT_TRUE(probe_->WaitFor(first + Apart()));
    const long trip = Onset(probe_->Left(first, Window()));
    ASSERT_GE(trip, 0);
    const jack_nframes_t playedFrom = probe_->Recorded();
    engine_->Play();
    const LONG T = engine_->TickLength();
    const jack_nframes_t P = jack_nframes_t(32 * T);
    // The recording's frame where the first pass begins (within half a
    // second of Play).
    auto firstPassAfter = [&](jack_nframes_t from) {
        EXPECT_TRUE(probe_->WaitFor(from + kRate / 2));
        const long at = Onset(probe_->Left(from, kRate / 2));
        EXPECT_GE(at, 0) << "the loop was not heard";
        return from + jack_nframes_t(at);
    };
    const jack_nframes_t A = firstPassAfter(playedFrom);
    auto hitsUntil = [&](jack_nframes_t frame) {
        while (!probe_->WaitFor(frame, 10)) {
            engine_->RunPosted();
            engine_->RecordPlayedHits();
        }
        engine_->RecordPlayedHits();
    };

    const std::size_t editsBefore = engine_->Undo().Index();
    engine_->SetRecording(true);
    EXPECT_FALSE(engine_->CountingIn());
    // Pass k: track 1 (note 37) just after tick 5 and just before tick 10;
    // track 0 just before the pass's end, on the next pass's tick 0, which
    // is on at full velocity already. Pass k + 1: track 1 just after tick 5
    // again, louder.
    const jack_nframes_t k = (probe_->Now() + 16 * Period() - A) / P + 1;
    const jack_nframes_t pass = A + k * P;
    const auto at = [&](jack_nframes_t p, double ticks) {
        return p + jack_nframes_t(std::lround(ticks * T));
    };
    const auto sent = [&](jack_nframes_t heard) { return heard - jack_nframes_t(trip); };
    probe_->Send({NoteOn(sent(at(pass, 5.2)), 37, 50), NoteOn(sent(at(pass, 9.75)), 37, 64),
                  NoteOn(sent(at(pass, 31.8)), 36, 100), NoteOn(sent(at(pass + P, 5.1)), 37, 90)});
    hitsUntil(pass + 3 * P);
    engine_->SetRecording(false);
    EXPECT_EQ(probe_->Late(), 0u);

    const auto row0 = engine_->GetSong()->Sequence(0)->Track(0);
    const auto row1 = engine_->GetSong()->Sequence(0)->Track(1);
    EXPECT_TRUE(row1->Value(5));
    EXPECT_EQ(row1->Velocity(5), 90);  // the louder of the two
    EXPECT_TRUE(row1->Value(10));
    EXPECT_EQ(row1->Velocity(10), 64);
    EXPECT_EQ(row0->Velocity(0), 127);  // louder already
    for (int t = 0; t < 32; ++t)
        if (t != 5 && t != 10) {
            EXPECT_FALSE(row1->Value(std::uint8_t(t))) << t;
        }

    // The hit before tick 10: heard once, live, in its pass; from the loop,
    // exactly on tick 10, in the passes after.
    const auto around10 = [&](jack_nframes_t p) {
        return JackProbe::Onsets(probe_->Left(at(p, 9.5), std::size_t(T)));
    };
    const std::vector<long> live = around10(pass);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0], long(at(0, 9.75) - at(0, 9.5)));
    const std::vector<long> tick10{long(at(0, 10) - at(0, 9.5))};
    EXPECT_EQ(around10(pass + P), tick10);
    EXPECT_EQ(around10(pass + 2 * P), tick10);

    // One take is one edit.
    EXPECT_EQ(engine_->Undo().UndoText(), "Record");
    engine_->Undo().Undo();
    EXPECT_FALSE(row1->Value(5));
    EXPECT_FALSE(row1->Value(10));
    EXPECT_TRUE(row0->Value(0));
    EXPECT_EQ(engine_->Undo().Index(), editsBefore);
    engine_->Undo().Redo();
    EXPECT_EQ(row1->Velocity(5), 90);

    // With the count-in, Record starts playback and keeps nothing of its
    // first pass.
    engine_->Stop();
    engine_->RunPosted();
    engine_->SetCountIn(true);
    const jack_nframes_t again = probe_->Recorded();
    engine_->SetRecording(true);
    EXPECT_TRUE(engine_->IsPlaying());
    const jack_nframes_t A2 = firstPassAfter(again);
    EXPECT_TRUE(engine_->CountingIn());
    probe_->Send({NoteOn(sent(at(A2, 20.2)), 37, 100), NoteOn(sent(at(A2 + P, 24.2)), 37, 100)});
    hitsUntil(A2 + P + 26 * T);
    EXPECT_FALSE(engine_->CountingIn());
    engine_->Stop();
    EXPECT_FALSE(engine_->Recording());
    EXPECT_FALSE(row1->Value(20));
    EXPECT_TRUE(row1->Value(24));
}
