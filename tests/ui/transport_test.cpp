// The transport as the window shows it: the Play button's caption, the
// tick lights' colours, keys and buttons that pick loops, and playback
// that cannot start or that goes on through a failed save. What is heard
// is the engine's (tests/engine).
#include "common/ui_fixture.h"
#include "forms/twips.h"

namespace {

constexpr std::uint32_t kUnlit = RgbColor(0, 64, 0), kLit = RgbColor(0, 255, 0);

}  // namespace

TEST_F(MainWindow, PlayAndStopAreOneButtonThatSaysWhatItWillDo) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    EXPECT_EQ(form.PlayButton()->text(), "Stop");
    EXPECT_TRUE(Streaming());
    Advance(1000);
    EXPECT_EQ(form.PlayButton()->text(), "Stop");
    // The space bar of a focused button clicks it, as any button.
    form.PlayButton()->setFocus();
    QTest::keyClick(form.PlayButton(), Qt::Key_Space);
    EXPECT_EQ(form.PlayButton()->text(), "Play");
    EXPECT_FALSE(Streaming());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, OneLightIsLitTheTickBeingPlayedAndItStaysLitAfterStop) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    std::set<LONG> seen;
    for (int step = 0; step < 176400 / 700; ++step) {
        Advance(700);
        const LONG lit = form.LastLitTick();
        ASSERT_EQ(lit, form.GetEngine().LastLitTick());
        for (LONG i = 0; i < form.NumTickIndicators(); ++i)
            ASSERT_EQ(form.TickIndicator(i)->FillColor(), i == lit ? kLit : kUnlit) << i;
        seen.insert(lit);
    }
    EXPECT_EQ(seen.size(), 32u);
    const LONG last = form.LastLitTick();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    Advance(0);
    EXPECT_EQ(form.TickIndicator(last)->FillColor(), kLit);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, TheKeypadPicksTheLoopThatTakesOverAtTheEndOfThePass) {
    UseDefaultSong();
    MainForm& form = Start();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    Advance(1000);
    Press(Qt::Key_1, Qt::KeypadModifier);
    Press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(form.windowTitle(), "Trellon 2");
    EXPECT_EQ(form.QueuedLoop(), 2);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), BytesOf(RenderedLoop(*form.GetSong(), 2).get()));
    while (form.QueuedLoop() >= 0) Advance(2000);
    EXPECT_EQ(form.PlayButton()->text(), "Stop");
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
