// Play and Stop, the tick lights and loops queued while playing.
#include "common/ui_fixture.h"
#include "forms/twips.h"

namespace {

constexpr std::uint32_t kUnlit = RgbColor(0, 64, 0), kLit = RgbColor(0, 255, 0);

}  // namespace

TEST_F(MainWindow, PlayPlaysTheLoopOverAndOverAndStopEndsIt) {
    UseDefaultSong();
    MainForm& form = Start();
    Device().ClearPlayed();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    EXPECT_EQ(form.PlayButton()->text(), "Stop");
    ASSERT_TRUE(Streaming());
    // Half a buffer is one tick plus one frame.
    EXPECT_EQ(Out().HalfFrames(), 176400 / 32 + 1);

    const std::vector<unsigned char> pass = BytesOf(form.LoopWav().get());
    for (int i = 0; i < 2 * 176400 / 1000 + 10; ++i) Advance(1000);
    const auto& played = Device().Played();
    ASSERT_GE(played.size(), 2 * pass.size());
    EXPECT_TRUE(Slice(played, 0, pass.size()) == pass);
    EXPECT_TRUE(Slice(played, pass.size(), pass.size()) == pass);
    EXPECT_TRUE(Streaming());

    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    EXPECT_EQ(form.PlayButton()->text(), "Play");
    EXPECT_FALSE(Streaming());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, TickLightsFollowThePlaybackPosition) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    std::set<LONG> seen;
    for (int step = 0; step < 176400 / 700 * 2; ++step) {
        // A notification lights the tick of the position the output had
        // reached, and then reads on by one half.
        const LONG before = Out().PlaybackPosition(), litBefore = form.LastLitTick();
        Advance(700);
        const LONG lit = form.LastLitTick();
        ASSERT_GE(lit, 0);
        ASSERT_LE(lit, 31);
        const bool notified = Out().PlaybackPosition() != before;
        ASSERT_EQ(lit, notified ? std::min<LONG>(31, before / form.TickLength()) : litBefore)
            << "step " << step;
        for (LONG i = 0; i < form.NumTickIndicators(); ++i)
            ASSERT_EQ(form.TickIndicator(i)->FillColor(), i == lit ? kLit : kUnlit) << i;
        seen.insert(lit);
    }
    EXPECT_EQ(seen.size(), 32u);
    // After Stop the light lit last stays lit.
    const LONG last = form.LastLitTick();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    Advance(0);
    EXPECT_EQ(form.TickIndicator(last)->FillColor(), kLit);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, ALoopSelectedWhilePlayingTakesOverAtTheEndOfThePass) {
    UseDefaultSong();
    MainForm& form = Start();
    const std::vector<unsigned char> loop0 = BytesOf(form.LoopWav().get());
    Device().ClearPlayed();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    Advance(1000);
    // Keypad 1 and then keypad 2 within one pass: loop 2 follows.
    Press(Qt::Key_1, Qt::KeypadModifier);
    Advance(1000);
    Press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(form.windowTitle(), "Trellon 2");
    const std::vector<unsigned char> loop2 = BytesOf(form.LoopWav().get());
    ASSERT_NE(loop0, loop2);
    while (Device().Played().size() < loop0.size() + loop2.size() + 4000) Advance(1000);
    const auto& played = Device().Played();
    EXPECT_TRUE(Slice(played, 0, loop0.size()) == loop0);
    EXPECT_TRUE(Slice(played, loop0.size(), loop2.size()) == loop2);
    // Loop 2 then repeats.
    EXPECT_TRUE(Slice(played, loop0.size() + loop2.size(), 4000) == Slice(loop2, 0, 4000));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, APlaybackThatCannotStartIsReported) {
    UseDefaultSong();
    MainForm& form = Start();
    Device().refuse = true;
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0],
              "Unable to open audio output device. Tried the test device: it refuses every "
              "buffer. Check that the sound server is running and the device is connected, or "
              "choose another output (Audio > Output Device, or --audio-driver and "
              "--audio-device).");
    EXPECT_EQ(form.PlayButton()->text(), "Play");
    EXPECT_FALSE(Streaming());
    // With a device back, Play works.
    Device().refuse = false;
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    EXPECT_TRUE(Streaming());
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(MainWindow, ExitStopsPlaybackAndClosesTheWindow) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    ASSERT_TRUE(Streaming());
    form.ExitCommand()->trigger();
    EXPECT_FALSE(Streaming());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindow, PlaybackGoesOnWhenASaveFailsWhilePlaying) {
    UseDefaultSong();
    MainForm& form = Start(SongPath());
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    ASSERT_TRUE(Streaming());
    Advance(5000);
    // The song's file has become a folder: the save cannot replace it.
    std::filesystem::remove(SongPath());
    std::filesystem::create_directory(SongPath());
    ClickTick(0, 3);
    form.SaveCommand()->trigger();
    ASSERT_EQ(errors_.size(), 1u) << "the failed save is reported";
    EXPECT_EQ(form.PlayButton()->text(), "Stop");
    EXPECT_TRUE(Streaming());
    ASSERT_TRUE(Device().Buffer());
    EXPECT_TRUE(Device().Buffer()->IsPlaying()) << "the device was left paused";
    // And it is heard: the device plays the loop on.
    Device().ClearPlayed();
    Advance(44100);
    const auto& played = Device().Played();
    EXPECT_NE(std::count(played.begin(), played.end(), 0), long(played.size()));
    EXPECT_TRUE(form.IsModified());
}
