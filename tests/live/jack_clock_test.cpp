// MIDI clock sent on Trellon:clock_out while the engine plays on a private
// JACK server, recorded frame for frame by a test client beside the audio.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "live/jack_engine_fixture.h"
#include "live/jack_midi_recorder.h"
#include "live/jack_transport_driver.h"

namespace {

AudioSample Loud(LONG) {
    return 10000;
}

bool Is(const RecordedMidi& m, std::initializer_list<unsigned char> bytes) {
    return m.bytes == std::vector<unsigned char>(bytes);
}

}  // namespace

class JackClock : public JackEngine {
  protected:
    void SetUp() override {
        JackEngine::SetUp();
        if (!Ready()) return;
        engine_->SetSample(0, MakeSignal(64, 2, Loud), u"click");
        engine_->SetTick(0, 0, 0, true);
        // Live play keeps the client open; the recorders join it.
        engine_->StartLive();
        engine_->WaitForLiveKit();
        probe_ = std::make_unique<JackProbe>(30.0);
        ASSERT_TRUE(probe_->Ok());
        ASSERT_TRUE(probe_->Listen("Trellon"));
        recorder_ = std::make_unique<JackMidiRecorder>();
        ASSERT_TRUE(recorder_->Ok());
        ASSERT_TRUE(recorder_->Start("Trellon:clock_out"));
    }
    void TearDown() override {
        recorder_.reset();
        JackEngine::TearDown();
        SetSendMidiClock(true);
        SetTransportRole(TransportRole::kNone);
    }

    // Plays two passes at bpm and stops; the frames of the pass's first
    // sound as heard, and what the clock port sent meanwhile.
    void PlayTwoPasses(double bpm, LoopFormat format, std::vector<RecordedMidi>* sent,
                       jack_nframes_t* heardAt, LONG* passFrames, LONG* tick) {
        engine_->SetTempo(bpm);
        engine_->SetLoopFormat(0, format);
        *passFrames = LONG(ValuesOf(engine_->LoopWav().get()).size() / 2);
        *tick = engine_->TickLength();
        const std::size_t before = recorder_->Messages().size();
        jack_nframes_t from = probe_->Now() + 4 * kPeriod;
        ASSERT_TRUE(probe_->WaitFor(from));
        engine_->Play();
        ASSERT_TRUE(probe_->WaitFor(from + jack_nframes_t(2 * *passFrames + kRate / 2)));
        engine_->Stop();
        const jack_nframes_t after = probe_->Recorded() + 8 * kPeriod;
        ASSERT_TRUE(probe_->WaitFor(after));
        const std::vector<float> left = probe_->Left(from, after - from);
        const long onset = JackProbe::FirstSound(left);
        ASSERT_GE(onset, 0) << "the loop was not heard";
        *heardAt = from + jack_nframes_t(onset);
        const std::vector<RecordedMidi> all = recorder_->Messages();
        sent->assign(all.begin() + long(before), all.end());
    }

    // Runs the engine's thread, as the window's event loop would, until
    // frame is recorded.
    void PumpUntil(jack_nframes_t frame) {
        for (int i = 0; i < 20000 && !probe_->WaitFor(frame, 1); ++i) engine_->RunPosted();
        engine_->RunPosted();
    }
    // The first cycle from `after` on in which the transport rolls again
    // after starting (it waits for its slow clients meanwhile); 0: none.
    jack_nframes_t RollingFrom(jack_nframes_t after) const {
        bool waited = false;
        for (const TransportSeen& t : recorder_->Transport()) {
            if (t.frame < after) continue;
            if (t.rolling && waited) return t.frame;
            waited |= !t.rolling;
        }
        return 0;
    }

    std::unique_ptr<JackMidiRecorder> recorder_;
};

TEST_F(JackClock, PulsesAreOnTheFramesOfTheBeatsHeardWithStartAndStop) {
    // Sixteenths at 120 bpm; eighth triplets (8 pulses a tick) at 97.3.
    const std::pair<double, LoopFormat> runs[] = {{120.0, {8, 4}}, {97.3, {9, 3}}};
    for (const auto& [bpm, format] : runs) {
        SCOPED_TRACE(bpm);
        std::vector<RecordedMidi> sent;
        jack_nframes_t heardAt = 0;
        LONG passFrames = 0, tick = 0;
        PlayTwoPasses(bpm, format, &sent, &heardAt, &passFrames, &tick);
        if (HasFatalFailure()) return;
        // Song Position 0 and Start, on the frame the loop's first tick is
        // heard, then its first pulse.
        ASSERT_GE(sent.size(), 3u);
        EXPECT_TRUE(Is(sent[0], {0xF2, 0, 0}));
        EXPECT_TRUE(Is(sent[1], {0xFA}));
        EXPECT_EQ(sent[0].frame, heardAt);
        EXPECT_EQ(sent[1].frame, heardAt);
        // 24 pulses a beat, each on the frame nearest its time on the ticks
        // played (a tick is a whole number of frames).
        ASSERT_GT(tick, 0);
        const int perTick = 24 / format.ticksPerBeat;
        const std::size_t perPass = std::size_t(format.ticks * perTick);
        std::vector<jack_nframes_t> pulses;
        for (std::size_t i = 2; i < sent.size(); ++i) {
            if (Is(sent[i], {0xF8})) {
                pulses.push_back(sent[i].frame);
                continue;
            }
            // Nothing but pulses until the Stop, the last message.
            EXPECT_TRUE(Is(sent[i], {0xFC})) << i;
            EXPECT_EQ(i, sent.size() - 1);
        }
        ASSERT_TRUE(Is(sent.back(), {0xFC}));
        ASSERT_GE(pulses.size(), 2 * perPass);
        double worst = 0;
        for (std::size_t k = 0; k < 2 * perPass; ++k) {
            const std::size_t pass = k / perPass, in = k % perPass;
            const double exact = double(pass) * passFrames + double(in) * tick / perTick;
            const long long expected =
                heardAt + (long long)pass * passFrames + std::llround(double(in) * tick / perTick);
            ASSERT_EQ((long long)pulses[k], expected) << "pulse " << k;
            worst = std::max(worst, std::abs(double(pulses[k] - heardAt) - exact));
        }
        // Under 0.1 ms from its exact time, every pulse.
        EXPECT_LT(worst / kRate, 0.0001);
        EXPECT_GE(sent.back().frame, pulses.back());
    }
}

TEST_F(JackClock, EveryClockMessageGoesToTheSequencersSinkTooDueWhenItsFrameIsHeard) {
    // A sink standing in for the ALSA sequencer's clock port, which this
    // machine may lack: it keeps what the callback hands it.
    struct Kept : ClockSink {
        struct Message {
            std::vector<unsigned char> bytes;
            std::int64_t dueUs = 0;
        };
        std::vector<Message> messages = std::vector<Message>(4096);
        std::atomic<std::size_t> count{0};
        void Send(const std::uint8_t* data, std::size_t size, std::int64_t dueUs) override {
            const std::size_t n = count.load(std::memory_order_relaxed);
            if (n == messages.size()) return;
            messages[n].bytes.assign(data, data + size);  // a test's sink may allocate
            messages[n].dueUs = dueUs;
            count.store(n + 1, std::memory_order_release);
        }
    };
    auto kept = std::make_shared<Kept>();
    SetClockSink(kept);
    std::vector<RecordedMidi> sent;
    jack_nframes_t heardAt = 0;
    LONG passFrames = 0, tick = 0;
    PlayTwoPasses(120.0, {8, 4}, &sent, &heardAt, &passFrames, &tick);
    SetClockSink(nullptr);
    if (HasFatalFailure()) return;
    // The same messages in the same order (the sink had those of this
    // play only), each due when the probe heard its frame.
    const std::size_t n = kept->count.load(std::memory_order_acquire);
    ASSERT_EQ(n, sent.size());
    std::int64_t worst = 0;
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(kept->messages[i].bytes, sent[i].bytes) << i;
        const std::int64_t heard = probe_->HeardUs(sent[i].frame, "Trellon:out_L");
        worst = std::max<std::int64_t>(worst, std::llabs(kept->messages[i].dueUs - heard));
    }
    std::printf("worst due time against the frame heard: %lld us\n", (long long)worst);
    EXPECT_LT(worst, 1000) << "microseconds between a message's due time and its frame heard";
}

TEST_F(JackClock, NothingIsSentWhileTheClockIsOffAndAClockTurnedOnMidwayContinues) {
    SetSendMidiClock(false);
    const std::size_t before = recorder_->Messages().size();
    engine_->Play();
    jack_nframes_t until = probe_->Now() + kRate / 2;
    ASSERT_TRUE(probe_->WaitFor(until));
    EXPECT_EQ(recorder_->Messages().size(), before);
    // Turned on while playing: a Continue before the next pulse, no Start.
    SetSendMidiClock(true);
    ASSERT_TRUE(recorder_->WaitForCount(before + 3));
    std::vector<RecordedMidi> sent = recorder_->Messages();
    EXPECT_TRUE(Is(sent[before], {0xFB}));
    EXPECT_TRUE(Is(sent[before + 1], {0xF8}));
    EXPECT_EQ(sent[before].frame, sent[before + 1].frame);
    // Turned off while playing: a Stop, then silence.
    SetSendMidiClock(false);
    until = probe_->Now() + kRate / 4;
    ASSERT_TRUE(probe_->WaitFor(until));
    sent = recorder_->Messages();
    EXPECT_TRUE(Is(sent.back(), {0xFC}));
    const std::size_t stopped = sent.size();
    until = probe_->Now() + kRate / 4;
    ASSERT_TRUE(probe_->WaitFor(until));
    EXPECT_EQ(recorder_->Messages().size(), stopped);
    engine_->Stop();
}

TEST_F(JackClock, AsTheTransportsMasterItStartsStopsAndPublishesBarBeatAndTempo) {
    SetTransportRole(TransportRole::kLead);
    std::vector<RecordedMidi> sent;
    jack_nframes_t heardAt = 0;
    LONG passFrames = 0, tick = 0;
    // 8 ticks at 4 a beat: a bar of 2 beats.
    PlayTwoPasses(120.0, {8, 4}, &sent, &heardAt, &passFrames, &tick);
    if (HasFatalFailure()) return;
    const jack_nframes_t end = probe_->Recorded();
    const std::vector<TransportSeen> seen = recorder_->Transport();
    const double framesPerBeat = double(tick) * 4;
    std::size_t rolling = 0;
    jack_nframes_t firstRolling = 0;
    for (const TransportSeen& t : seen) {
        if (!t.rolling) continue;
        if (rolling++ == 0) firstRolling = t.frame;
        ASSERT_TRUE(t.bbt) << t.frame;
        EXPECT_DOUBLE_EQ(t.bpm, 60.0 * kRate / framesPerBeat);
        EXPECT_FLOAT_EQ(float(t.beatsPerBar), 2.0f);
        // Where the beat heard at the cycle's start stands, within a period.
        const double beats = (t.bar - 1) * 2 + (t.beat - 1) + t.tick / t.ticksPerBeat;
        const double expected = (double(t.frame) - double(heardAt)) / framesPerBeat;
        if (t.frame >= heardAt && t.frame < heardAt + 2 * jack_nframes_t(passFrames)) {
            ASSERT_NEAR(beats, expected, 1.5 * kPeriod / framesPerBeat) << t.frame;
        }
    }
    // Rolling from the first beat heard, for the two bars, and stopped
    // with the loop. The server takes its own cycles to roll once asked
    // (the locate, then its Starting state): three here.
    EXPECT_LE(std::abs(double(firstRolling) - double(heardAt)), 4.0 * kPeriod);
    EXPECT_GE(rolling * kPeriod, 2u * jack_nframes_t(passFrames));
    ASSERT_FALSE(seen.empty());
    EXPECT_FALSE(seen.back().rolling) << "the transport still rolls at " << end;
}

TEST_F(JackClock, FollowingTheTransportItStartsStopsMovesAndTakesTheTempoOnTheBars) {
    JackTransportDriver daw(100.0);
    ASSERT_TRUE(daw.Ok());
    SetSendMidiClock(false);
    SetTransportRole(TransportRole::kFollow);
    engine_->SetTempo(100.0);
    engine_->SetLoopFormat(0, {16, 4});  // a pass is a bar of 4/4
    engine_->FollowTransport(true);
    const double bar = 4 * 60.0 * kRate / 100.0;

    // Started a quarter into bar 1: the transport waits until the loop is
    // ready at its place, and the loop's tick 0 sounds on the bars that
    // follow, to the frame.
    jack_nframes_t from = probe_->Now() + 4 * kPeriod;
    PumpUntil(from);
    daw.Locate(daw.BarFrame(1.25));
    daw.Start();
    PumpUntil(from + jack_nframes_t(2.5 * bar));
    EXPECT_TRUE(engine_->IsPlaying());
    const jack_nframes_t rolled = RollingFrom(from);
    ASSERT_GT(rolled, 0u);
    std::vector<long> sounds = JackProbe::Onsets(probe_->Left(rolled, jack_nframes_t(2.4 * bar)));
    ASSERT_GE(sounds.size(), 2u);
    EXPECT_NEAR(double(sounds[0]), 0.75 * bar, 1.0);
    EXPECT_NEAR(double(sounds[1]), 1.75 * bar, 1.0);

    // Stopped: playback stops.
    // (The frames recorded so far bound what comes next: the server's
    // estimate of the frame now may lag the dummy driver's cycles.)
    daw.Stop();
    from = probe_->Recorded() + 20 * kPeriod;
    PumpUntil(from);
    EXPECT_FALSE(engine_->IsPlaying());

    // Located to bar 2's start and started: the downbeat plays on the
    // transport's first rolling frame, and nothing before it.
    from = probe_->Recorded();
    daw.Locate(daw.BarFrame(2));
    daw.Start();
    PumpUntil(from + jack_nframes_t(0.5 * bar));
    const jack_nframes_t downbeat = RollingFrom(from);
    ASSERT_GT(downbeat, from);
    sounds = JackProbe::Onsets(probe_->Left(downbeat - 4 * kPeriod, jack_nframes_t(0.4 * bar)));
    ASSERT_FALSE(sounds.empty()) << "the downbeat was not heard";
    EXPECT_EQ(sounds[0], long(4 * kPeriod));

    // Moved to the middle of bar 3 while rolling: the transport waits
    // again, and the pass goes on from half way, so the next tick 0 comes
    // at bar 4's start.
    from = probe_->Recorded();
    daw.Locate(daw.BarFrame(3.5));
    PumpUntil(from + jack_nframes_t(1.2 * bar));
    const jack_nframes_t again = RollingFrom(from);
    ASSERT_GT(again, 0u);
    sounds = JackProbe::Onsets(probe_->Left(again, jack_nframes_t(bar)));
    ASSERT_FALSE(sounds.empty());
    EXPECT_NEAR(double(sounds[0]), bar / 2, 1.0);

    // A new tempo from the timebase master: the song takes it.
    daw.SetTempo(110.0);
    PumpUntil(probe_->Recorded() + kRate / 4);
    EXPECT_EQ(engine_->GetSong()->Bpm(), 110 * 10000);
    daw.Stop();
    PumpUntil(probe_->Recorded() + 20 * kPeriod);
    EXPECT_FALSE(engine_->IsPlaying());
}

TEST_F(JackClock, FollowingAMasterWhoseBarsDoNotBeginAtFrameZeroThePassesMoveOntoItsBars) {
    // Bar 1 begins a quarter bar into the transport: placed by the frame
    // while the transport starts, the loop is a quarter off the bars; once
    // rolling, the master's bars put it right (started again a moment
    // later, on a frame of the transport), and every tick 0 after is on a
    // bar.
    const double bar = 4 * 60.0 * kRate / 100.0;
    JackTransportDriver daw(100.0, jack_nframes_t(bar / 4));
    ASSERT_TRUE(daw.Ok());
    SetSendMidiClock(false);
    SetTransportRole(TransportRole::kFollow);
    engine_->SetTempo(100.0);
    engine_->SetLoopFormat(0, {16, 4});
    engine_->FollowTransport(true);
    const jack_nframes_t from = probe_->Recorded() + 4 * kPeriod;
    PumpUntil(from);
    daw.Locate(daw.BarFrame(2));
    daw.Start();
    PumpUntil(from + jack_nframes_t(2.5 * bar));
    const jack_nframes_t rolled = RollingFrom(from);
    ASSERT_GT(rolled, 0u);
    const std::vector<long> sounds =
        JackProbe::Onsets(probe_->Left(rolled + 4 * kPeriod, jack_nframes_t(2 * bar)));
    ASSERT_GE(sounds.size(), 2u);
    // Held to a frame of the transport, placed by its bars: within the
    // master's tick (a 1920th of a beat, 14 frames here).
    EXPECT_NEAR(double(sounds[0]), bar - 4 * kPeriod, 15.0);
    EXPECT_NEAR(double(sounds[1]), 2 * bar - 4 * kPeriod, 15.0);
    daw.Stop();
}

TEST_F(JackClock, FollowingAJitteryMidiClockItTakesItsSteadyTempoAndPlaysOnItsBars) {
    JackProbe clock(1.0);
    ASSERT_TRUE(clock.Ok());
    ASSERT_TRUE(clock.Feed("Trellon:midi_in"));
    SetSendMidiClock(false);
    SetTransportRole(TransportRole::kFollowClock);
    engine_->SetLoopFormat(0, {16, 4});  // a pass is a bar of 4 beats
    engine_->FollowTransport(true);
    // 90 bpm: a pulse every 1225 frames, each up to 1 ms (44 frames) early
    // or late; two beats of clock alone, then Start, then 14 beats.
    const double pulse = 60.0 * kRate / (90.0 * 24);
    const jack_nframes_t zero = clock.Now() + 16 * kPeriod;
    std::vector<ProbeNote> messages;
    unsigned seed = 12345;
    auto jitter = [&] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % 89) - 44;
    };
    const int started = 48;
    jack_nframes_t startAt = 0;
    for (int k = 0; k < started + 14 * 24; ++k) {
        const jack_nframes_t at = zero + jack_nframes_t(std::llround(k * pulse) + jitter());
        if (k == started) {
            startAt = at - 1;
            messages.push_back({startAt, {0xFA, 0, 0}, 1});
        }
        messages.push_back({at, {0xF8, 0, 0}, 1});
    }
    const jack_nframes_t stopAt = messages.back().frame + 10;
    messages.push_back({stopAt, {0xFC, 0, 0}, 1});
    clock.Send(messages);
    // Before the Start: the tempo taken, nothing played.
    PumpUntil(startAt - kPeriod);
    EXPECT_FALSE(engine_->IsPlaying());
    EXPECT_NEAR(double(engine_->GetSong()->Bpm()) / 10000, 90.0, 0.1);
    const double bar = 4 * 24 * pulse;
    PumpUntil(startAt + jack_nframes_t(3.2 * bar));
    EXPECT_TRUE(engine_->IsPlaying());
    EXPECT_NEAR(double(engine_->GetSong()->Bpm()) / 10000, 90.0, 0.1);
    // Its passes start on the clock's bars, within two periods and the
    // clock's own jitter. Playback starts once the first pulse has come,
    // a few milliseconds into the first bar: its downbeat is not heard.
    const std::vector<long> sounds =
        JackProbe::Onsets(probe_->Left(startAt, jack_nframes_t(3.1 * bar)));
    ASSERT_GE(sounds.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k)
        EXPECT_NEAR(double(sounds[k]), (k + 1) * bar, 2.0 * kPeriod + 44) << "bar " << k + 2;
    PumpUntil(stopAt + 20 * kPeriod);
    EXPECT_FALSE(engine_->IsPlaying());
}
