// Playback through the engine on the virtual device: the loop shown over
// and over, bit for bit; Stop and Play again at once; the lights; loops
// queued to the end of the pass; a tick clicked while playing; the tempo
// at the end of the pass; the arrangement.
#include <fstream>
#include <thread>

#include "common/engine_fixture.h"

namespace {

constexpr LONG kPass = 176400;  // frames of a 32-tick pass at 120 bpm

}  // namespace

TEST_F(EngineTest, PlaysTheLoopShownOverAndOverBitForBitAndStops) {
    Engine& engine = OpenDefaultSong();
    engine.Play();
    ASSERT_TRUE(engine.IsPlaying());
    EXPECT_EQ(engine.GetPlayer().HalfFrames(), kPass / 32 + 1) << "half a buffer is one tick";
    const std::vector<AudioSample> pass = ValuesOf(engine.LoopWav().get());
    ASSERT_EQ(pass.size(), std::size_t(2 * kPass));
    EXPECT_EQ(pass, RenderedApart(*engine.GetSong(), 0));
    for (int i = 0; i < 2 * kPass / 1000 + 10; ++i) Advance(1000);
    const std::vector<AudioSample> played = Played();
    EXPECT_TRUE(Part(played, 0, pass.size()) == pass);
    EXPECT_TRUE(Part(played, pass.size(), pass.size()) == pass);
    engine.Stop();
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_FALSE(engine.GetPlayer().IsStreaming());
    EXPECT_TRUE(view_.errors.empty());
}

TEST_F(EngineTest, PlayRightAfterStopPlaysTheLoopFromItsFirstFramePassAfterPass) {
    // Stopped anywhere in the pass and started again at once (or after a
    // few notifications of the stopped stream came in), every restart
    // plays the loop from its start, three passes without a gap.
    Engine& engine = OpenDefaultSong();
    const std::vector<AudioSample> pass = ValuesOf(engine.LoopWav().get());
    for (long stopAfter : {100L, 5000L, 5600L, 90000L, 170000L}) {
        for (bool settled : {false, true}) {
            SCOPED_TRACE("stopped after " + std::to_string(stopAfter) +
                         (settled ? ", settled" : ""));
            engine.Play();
            for (long done = 0; done < stopAfter; done += 700)
                Advance(std::min(700L, stopAfter - done));
            engine.Stop();
            if (settled) Settle();
            Device().ClearPlayed();
            engine.Play();
            for (int i = 0; i < 3 * kPass / 1000 + 2; ++i) Advance(1000);
            const std::vector<AudioSample> played = Played();
            for (int p = 0; p < 3; ++p)
                ASSERT_TRUE(Part(played, std::size_t(p) * pass.size(), pass.size()) == pass)
                    << "pass " << p;
            engine.Stop();
            Settle();
        }
    }
}

TEST_F(EngineTest, TheLightFollowsTheTickBeingRead) {
    Engine& engine = OpenDefaultSong();
    engine.Play();
    std::set<LONG> seen;
    for (int step = 0; step < 2 * kPass / 700; ++step) {
        // A notification lights the tick of the position the output had
        // reached, before it reads on by one half.
        const LONG before = engine.GetPlayer().PlaybackPosition();
        const LONG litBefore = engine.LastLitTick();
        Advance(700);
        const bool notified = engine.GetPlayer().PlaybackPosition() != before;
        ASSERT_EQ(engine.LastLitTick(),
                  notified ? std::min<LONG>(31, before / engine.TickLength()) : litBefore)
            << "step " << step;
        seen.insert(engine.LastLitTick());
    }
    EXPECT_EQ(seen.size(), 32u);
    EXPECT_FALSE(view_.lit.empty());
    EXPECT_EQ(view_.lit.back(), engine.LastLitTick());
    // After Stop the light lit last stays.
    const LONG last = engine.LastLitTick();
    engine.Stop();
    Advance(0);
    EXPECT_EQ(engine.LastLitTick(), last);
}

TEST_F(EngineTest, ALoopSelectedWhilePlayingTakesOverAtTheEndOfThePass) {
    Engine& engine = OpenDefaultSong();
    const std::vector<AudioSample> loop0 = ValuesOf(engine.LoopWav().get());
    engine.Play();
    Advance(1000);
    // Loop 1 and then loop 2 within one pass: loop 2 follows.
    engine.SelectLoop(1);
    EXPECT_EQ(engine.QueuedLoop(), 1);
    Advance(1000);
    engine.SelectLoop(2);
    EXPECT_EQ(engine.QueuedLoop(), 2);
    EXPECT_EQ(engine.SelectedLoop(), 2);
    const std::vector<AudioSample> loop2 = ValuesOf(engine.LoopWav().get());
    ASSERT_NE(loop0, loop2);
    while (Played().size() < loop0.size() + loop2.size() + 4000) Advance(1000);
    const std::vector<AudioSample> played = Played();
    EXPECT_TRUE(Part(played, 0, loop0.size()) == loop0);
    EXPECT_TRUE(Part(played, loop0.size(), loop2.size()) == loop2);
    EXPECT_TRUE(Part(played, loop0.size() + loop2.size(), 4000) == Part(loop2, 0, 4000))
        << "loop 2 then repeats";
    EXPECT_EQ(engine.QueuedLoop(), -1) << "nothing waits once it took over";
}

TEST_F(EngineTest, ATickClickedWhilePlayingIsHeardWhenPlaybackNextPassesIt) {
    // Each pass is, frame for frame, the rendering that was current when
    // the output read that frame: the old one before the click, the new
    // one after it, and nothing torn in between.
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    const std::vector<AudioSample> before = ValuesOf(engine.LoopWav().get());
    engine.Play();
    for (int i = 0; i < 40; ++i) Advance(1000);  // 40,000 frames in
    const LONG read = engine.GetPlayer().PlaybackPosition();
    const bool was = song.LoopSlots()[0]->Track(1)->Value(20);
    engine.SetTick(0, 1, 20, !was);  // tick 20 starts at frame 110,240
    const std::vector<AudioSample> after = ValuesOf(engine.LoopWav().get());
    ASSERT_NE(before, after);
    EXPECT_EQ(after, RenderedApart(song, 0));
    while (Played().size() < 2 * before.size() + 2) Advance(1000);
    const std::vector<AudioSample> played = Played();
    EXPECT_TRUE(Part(played, 0, std::size_t(read) * 2) == Part(before, 0, std::size_t(read) * 2))
        << "what was read before the click is the old loop";
    EXPECT_TRUE(Part(played, std::size_t(read) * 2, before.size() - std::size_t(read) * 2) ==
                Part(after, std::size_t(read) * 2, before.size() - std::size_t(read) * 2))
        << "the rest of the pass, with the new tick, is the new loop";
    EXPECT_TRUE(Part(played, before.size(), before.size()) == after) << "and the next pass";
}

TEST_F(EngineTest, ANewTempoTakesOverAtTheEndOfThePass) {
    Engine& engine = OpenDefaultSong();
    const std::vector<AudioSample> at120 = ValuesOf(engine.LoopWav().get());
    engine.Play();
    for (int i = 0; i < 30; ++i) Advance(1000);
    engine.SetTempo(100);
    const std::vector<AudioSample> at100 = ValuesOf(engine.LoopWav().get());
    EXPECT_EQ(at100.size(), 2u * 211680) << "a new buffer as long as a pass at 100 bpm";
    EXPECT_EQ(at100, RenderedApart(*engine.GetSong(), 0));
    EXPECT_EQ(engine.QueuedLoop(), 0);
    while (Played().size() < at120.size() + at100.size() + 10) Advance(1000);
    const std::vector<AudioSample> played = Played();
    const auto wrong = std::mismatch(at120.begin(), at120.end(), played.begin());
    EXPECT_TRUE(wrong.first == at120.end())
        << "the pass under way ends at 120; value " << (wrong.first - at120.begin());
    EXPECT_TRUE(Part(played, at120.size(), at100.size()) == at100);
    // Undone while playing: 120 again from the pass after.
    engine.Undo().Undo();
    EXPECT_EQ(engine.GetSong()->Bpm(), 120 * 10000);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), at120);
}

TEST_F(EngineTest, TheArrangementPlaysPassByPassShowingWhatPlays) {
    Engine& engine = OpenDefaultSong();
    const Song& song = *engine.GetSong();
    std::vector<std::vector<AudioSample>> loops;
    for (int k = 0; k < 3; ++k) loops.push_back(RenderedApart(song, k));
    // Nothing to play, and a step on a loop without ticks, are refused.
    engine.SetArrangementMode(true);
    EXPECT_THROW(engine.Play(), AppError);
    EXPECT_FALSE(engine.IsPlaying());
    engine.SetArrangement({{1, 2}, {7, 1}});
    try {
        engine.Play();
        ADD_FAILURE() << "loop 7 holds no tick";
    } catch (const AppError& e) {
        EXPECT_NE(e.Description().find("Loop 7"), std::string::npos) << e.Description();
    }
    engine.SetArrangement({{1, 2}, {2, 1}});
    engine.Play();
    EXPECT_TRUE(engine.PlayingArrangement());
    EXPECT_EQ(engine.SelectedLoop(), 1) << "the first pass is shown";
    EXPECT_EQ(engine.QueuedLoop(), 1);
    std::vector<int> shown;
    const std::size_t want = 2 * loops[1].size() + loops[2].size() + loops[1].size();
    while (Played().size() < want) {
        Advance(1000);
        if (shown.empty() || shown.back() != engine.SelectedLoop())
            shown.push_back(engine.SelectedLoop());
    }
    const std::vector<AudioSample> played = Played();
    std::size_t at = 0;
    for (int k : {1, 1, 2, 1}) {
        EXPECT_TRUE(Part(played, at, loops[std::size_t(k)].size()) == loops[std::size_t(k)])
            << "pass of loop " << k << " at " << at;
        at += loops[std::size_t(k)].size();
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 1})) << "the rows follow the passes";
    // Leaving the mode: the loop that plays goes on by itself.
    engine.SetArrangementMode(false);
    EXPECT_FALSE(engine.PlayingArrangement());
    EXPECT_TRUE(engine.IsPlaying());
    EXPECT_EQ(engine.QueuedLoop(), -1);
    EXPECT_TRUE(view_.errors.empty());
}

TEST_F(EngineTest, APlaybackThatCannotStartIsAnErrorAndNothingPlays) {
    Engine& engine = OpenDefaultSong();
    SetDefaultSoundDevice(nullptr);
    engine.GetPlayer().ReleaseDevice();
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    try {
        engine.Play();
        ADD_FAILURE() << "no device";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), kErrNoAudioDevice);
    }
    ::unsetenv("SDL_AUDIODRIVER");
    SetDefaultSoundDevice(SharedDevice());
    EXPECT_FALSE(engine.IsPlaying());
    engine.Play();
    EXPECT_TRUE(engine.IsPlaying());
}

TEST_F(EngineTest, AnArrangementOfBillionsOfPassesIsWalkedNeverLaidOut) {
    // 65,535 steps of 65,535 passes: it plays at once and its export is
    // refused as WAV (too long) or streams as FLAC until cancelled, and
    // memory stays where it was.
    Engine& engine = OpenDefaultSong();
    std::vector<ArrangementStep> steps(65535, ArrangementStep{1, 65535});
    steps[1].loop = 2;
    engine.SetArrangement(steps);
    const auto rss = [] {
        std::ifstream status("/proc/self/status");
        std::string key;
        long kb = 0;
        while (status >> key)
            if (key == "VmRSS:") status >> kb;
        return kb;
    };
    const long before = rss();
    engine.SetArrangementMode(true);
    engine.Play();
    EXPECT_TRUE(engine.PlayingArrangement());
    for (int i = 0; i < 10; ++i) Advance(1000);
    EXPECT_EQ(PassCount(*engine.GetSong(), {.arrangement = true}), 65535ull * 65535ull);
    ExportChoice choice{.arrangement = true};
    EXPECT_EQ(ErrorOf([&] { engine.ExportInBackground(choice, Folder("long.wav"), {}); }),
              kErrOverflow);
    choice.format = ExportChoice::Format::kFlac;
    engine.ExportInBackground(choice, Folder("long.flac"), {});
    for (int i = 0; i < 20 && engine.Work()->Done() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    engine.CancelWork();
    engine.FinishWork();
    EXPECT_FALSE(std::filesystem::exists(Folder("long.flac")));
    EXPECT_LT(rss() - before, 64 * 1024) << "kB more than before";
    engine.Stop();
}

TEST_F(EngineTest, AnOutputThatGoesAwayStopsPlaybackAndSaysSo) {
    Engine& engine = OpenDefaultSong();
    engine.Play();
    Advance(1000);
    engine.CheckOutput();
    EXPECT_TRUE(engine.IsPlaying()) << "still there";
    Device().SetLost(true);
    engine.CheckOutput();
    Device().SetLost(false);
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_FALSE(engine.GetPlayer().IsStreaming());
    ASSERT_EQ(view_.errors.size(), 1u);
    EXPECT_EQ(view_.errors[0].find("Playback stopped: the sound output went away"), 0u);
    engine.Play();
    EXPECT_TRUE(engine.IsPlaying()) << "Play starts again";
}
