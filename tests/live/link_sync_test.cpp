// The engine in a Link session with a second peer (a Link instance of the
// test's own), playing on a private JACK server: tempo, bars and start
// and stop shared, measured on the recorded output. Link looks for peers
// by multicast on every interface it finds, so these run only inside a
// network namespace of their own (in_net_namespace.sh makes one).
#include <gtest/gtest.h>

#include <ableton/Link.hpp>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>

#include "live/jack_engine_fixture.h"
#include "sync/link_session.h"

namespace {

constexpr double kQuantum = 4;  // the loop: 16 ticks, 4 a beat
// How far from the session's bars a pass may be heard. The dummy driver's
// clock is the system's sleep: on a loaded machine it runs a few percent
// slow for a while, and the beat is nudged back after it; an idle one
// keeps within a few hundred microseconds.
constexpr double kHeardUs = 5000;

AudioSample Loud(LONG) {
    return 10000;
}

// Phase error in microseconds of a moment that should be on a bar of the
// peer's session: positive when late.
double OffTheBarUs(ableton::Link& peer, std::int64_t steadyUs) {
    const auto link =
        std::chrono::microseconds(steadyUs - LinkSession::NowUs()) + peer.clock().micros();
    const auto state = peer.captureAppSessionState();
    double phase = state.phaseAtTime(link, kQuantum);
    if (phase > kQuantum / 2) phase -= kQuantum;
    return phase * 60e6 / state.tempo();
}

}  // namespace

class LinkSync : public JackEngine {
  protected:
    void SetUp() override {
        if (!std::getenv("TRELLON_NET_NAMESPACE"))
            GTEST_SKIP() << "Link tests run only in a network namespace of their own";
        JackEngine::SetUp();
        if (!Ready()) return;
        engine_->SetSample(0, MakeSignal(64, 2, Loud), u"click");
        engine_->SetLoopFormat(0, {16, 4});
        engine_->SetTick(0, 0, 0, true);
        engine_->StartLive();
        engine_->WaitForLiveKit();
        probe_ = std::make_unique<JackProbe>(60.0);
        ASSERT_TRUE(probe_->Ok());
        ASSERT_TRUE(probe_->Listen("Trellon"));
        peer_ = std::make_unique<ableton::Link>(100.0);
        peer_->enable(true);
    }
    void TearDown() override {
        peer_.reset();
        JackEngine::TearDown();
    }

    // Runs the engine's posted work until done() or timeoutMs.
    bool Until(const std::function<bool()>& done, int timeoutMs = 5000) {
        for (int i = 0; i < timeoutMs; ++i) {
            engine_->RunPosted();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    double SongBpm() const { return double(engine_->GetSong()->Bpm()) / 10000.0; }
    double PeerBpm() const { return peer_->captureAppSessionState().tempo(); }
    // Records for ms (the engine's work run meanwhile) and returns the
    // onsets heard, as frames of the server's timeline.
    std::vector<jack_nframes_t> Listen(int ms) {
        const jack_nframes_t from = probe_->Recorded();
        const jack_nframes_t to = from + jack_nframes_t(std::int64_t(ms) * kRate / 1000);
        Until([&] { return probe_->WaitFor(to, 1); }, ms + 5000);
        std::vector<jack_nframes_t> at;
        for (long o : JackProbe::Onsets(probe_->Left(from, to - from)))
            at.push_back(from + jack_nframes_t(o));
        return at;
    }
    // The worst phase error of the onsets, checking each is a bar apart.
    double WorstOffUs(const std::vector<jack_nframes_t>& onsets) {
        double worst = 0;
        for (jack_nframes_t f : onsets) {
            const double off = OffTheBarUs(*peer_, probe_->HeardUs(f, "Trellon:out_L"));
            if (std::abs(off) > std::abs(worst)) worst = off;
        }
        return worst;
    }
    // Listens for ms and expects at least `passes` passes, each heard on
    // the session's bars; prints the worst error, saying when.
    void ExpectPassesOnTheBars(int ms, std::size_t passes, const char* when) {
        const std::vector<jack_nframes_t> onsets = Listen(ms);
        ASSERT_GE(onsets.size(), passes) << when;
        const double worst = WorstOffUs(onsets);
        std::printf("Link: %s, passes heard within %.0f us of the session's bars\n", when, worst);
        EXPECT_LT(std::abs(worst), kHeardUs) << when;
    }

    std::unique_ptr<ableton::Link> peer_;
};

TEST_F(LinkSync, TempoAndBarsAreSharedWithAPeerAndKeptWhenTheyMove) {
    engine_->SetTempo(120.0);
    engine_->FollowLink(true);
    ASSERT_TRUE(Until([&] { return engine_->LinkPeers() == 1 && peer_->numPeers() == 1; }))
        << "the peers did not meet";
    // One session, one tempo: whichever the session kept; and one phase,
    // within a millisecond.
    ASSERT_TRUE(Until([&] { return std::abs(SongBpm() - PeerBpm()) < 0.001; }))
        << SongBpm() << " against " << PeerBpm();
    for (int i = 0; i < 5; ++i) {
        const std::int64_t at = LinkSession::NowUs() + i * 123457;
        const auto state = peer_->captureAppSessionState();
        const auto link =
            std::chrono::microseconds(at - LinkSession::NowUs()) + peer_->clock().micros();
        double apart = engine_->LinkPhaseAt(at, kQuantum) - state.phaseAtTime(link, kQuantum);
        apart -= kQuantum * std::round(apart / kQuantum);
        EXPECT_LT(std::abs(apart) * 60e6 / state.tempo(), 1000.0) << i;
    }

    // A peer's tempo becomes the song's.
    {
        auto state = peer_->captureAppSessionState();
        state.setTempo(97.3, peer_->clock().micros());
        peer_->commitAppSessionState(state);
    }
    ASSERT_TRUE(Until([&] { return SongBpm() == 97.3; })) << SongBpm();

    // Playing: every pass is heard on the session's bars.
    engine_->Play();
    ExpectPassesOnTheBars(int(3.5 * kQuantum * 60000.0 / 97.3), 3, "from the start");
    if (HasFatalFailure()) return;

    // The song's tempo, changed here, goes to the peer; the passes move
    // onto the new bars at once.
    engine_->SetTempo(110.0);
    ASSERT_TRUE(Until([&] { return std::abs(PeerBpm() - 110.0) < 0.001; })) << PeerBpm();
    Listen(100);
    ExpectPassesOnTheBars(int(2.5 * kQuantum * 60000.0 / 110.0), 2, "after a tempo change");
    if (HasFatalFailure()) return;

    // A peer that moves the bars (a quarter of a beat): the beat is put
    // back on them.
    {
        auto state = peer_->captureAppSessionState();
        const auto now = peer_->clock().micros();
        state.forceBeatAtTime(state.beatAtTime(now, kQuantum) + 0.25, now, kQuantum);
        peer_->commitAppSessionState(state);
    }
    Listen(300);
    ExpectPassesOnTheBars(int(2.5 * kQuantum * 60000.0 / 110.0), 2, "after the bars moved");
    if (HasFatalFailure()) return;
    EXPECT_LT(std::abs(engine_->LinkPhaseErrorUs()), kHeardUs);
    engine_->Stop();
}

TEST_F(LinkSync, StartAndStopAreSharedWhenAsked) {
    engine_->ShareLinkStartStop(true);
    peer_->enableStartStopSync(true);
    engine_->FollowLink(true);
    ASSERT_TRUE(Until([&] { return engine_->LinkPeers() == 1 && peer_->numPeers() == 1; }))
        << "the peers did not meet";
    // The peer starts, half a second from now: playback is heard from the
    // session's first bar after that, its downbeat included.
    std::int64_t firstBarUs = 0;
    {
        auto state = peer_->captureAppSessionState();
        const auto start = peer_->clock().micros() + std::chrono::milliseconds(500);
        state.setIsPlayingAndRequestBeatAtTime(true, start, 0, kQuantum);
        peer_->commitAppSessionState(state);
        state = peer_->captureAppSessionState();
        const double beat = state.beatAtTime(state.timeForIsPlaying(), kQuantum);
        const auto bar = state.timeAtBeat(std::ceil(beat / kQuantum - 1e-6) * kQuantum, kQuantum);
        firstBarUs = LinkSession::NowUs() + (bar - peer_->clock().micros()).count();
    }
    ASSERT_TRUE(Until([&] { return engine_->IsPlaying(); }));
    const double passMs = kQuantum * 60000.0 / PeerBpm();
    const std::vector<jack_nframes_t> onsets =
        Listen(int(double(firstBarUs - LinkSession::NowUs()) / 1000 + 1.5 * passMs));
    ASSERT_GE(onsets.size(), 2u);
    EXPECT_LT(std::abs(WorstOffUs(onsets)), kHeardUs);
    EXPECT_LT(std::abs(double(probe_->HeardUs(onsets[0], "Trellon:out_L") - firstBarUs)), kHeardUs);
    // The peer stops: playback stops.
    {
        auto s = peer_->captureAppSessionState();
        s.setIsPlaying(false, peer_->clock().micros());
        peer_->commitAppSessionState(s);
    }
    ASSERT_TRUE(Until([&] { return !engine_->IsPlaying(); }));
    // Playing here starts the session; stopping here stops it.
    engine_->Play();
    ASSERT_TRUE(Until([&] { return peer_->captureAppSessionState().isPlaying(); }));
    engine_->Stop();
    ASSERT_TRUE(Until([&] { return !peer_->captureAppSessionState().isPlaying(); }));
}
