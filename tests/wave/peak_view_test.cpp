// The peak view in the sample window: peaks, mapping, selection with the
// mouse, the paint, and playing the selection.
#include "common/wave_fixture.h"
#include "forms/twips.h"

namespace {

const QColor kBlack(0, 0, 0), kGreen(0, 255, 0), kSelection(8, 64, 16), kShade(220, 220, 220);

// A slow ramp: frame i is at -30000 + i * 6 (clipped), so every column differs.
AudioSample Ramp(LONG i) {
    return AudioSample(std::min<LONG>(32767, -30000 + i * 6));
}

}  // namespace

TEST_F(SampleWindow, SummarisesTheFileAcrossTheScreen) {
    SoundForm& form = Open(WriteWav("long.wav", 1000000, Ramp), 1280);
    PeakView& v = form.View();
    EXPECT_EQ(form.windowTitle(), "Track");
    EXPECT_EQ(form.size(), QSize(503, 513));
    EXPECT_EQ(v.NumSamplesPerPeak(), 781);
    EXPECT_EQ(v.Peaks().size(), 1280u);
    EXPECT_EQ(v.Peaks()[1].Min, Ramp(781));
    EXPECT_EQ(v.Peaks()[1].Max, Ramp(2 * 781 - 1));
    EXPECT_EQ(v.SelectionEnd(), -1);
    EXPECT_EQ(v.NumChannels(), 2) << "shown as the importer converts it";
    EXPECT_EQ(v.BytesPerSample(), 2);
    EXPECT_EQ(v.YFromSample(-32768), 0);
    EXPECT_EQ(v.YFromSample(0), 256);
    EXPECT_EQ(v.YFromSample(32767), 512);
    EXPECT_EQ(v.ScreenPositionFromSampleIndex(781 * 5 + 780), 5);
    EXPECT_EQ(v.ScreenPositionFromSampleIndex(-1), 0);
    EXPECT_EQ(v.SelectionColour(), RgbColor(8, 64, 16));
    EXPECT_EQ(v.ShadeColour(), RgbColor(220, 220, 220));

    // A file shorter than half the screen gets one frame per peak.
    SoundForm& small = Open(WriteWav("short.wav", 100, Ramp), 1280);
    EXPECT_EQ(small.View().NumSamplesPerPeak(), 1);
    EXPECT_EQ(small.View().Peaks().size(), 100u);
}

TEST_F(SampleWindow, DragsSelectAndAClickSelectsNothing) {
    // Ten frames per column.
    SoundForm& form = Open(WriteWav("ramp.wav", 12800, Ramp), 1280);
    PeakView& v = form.View();
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(300, 50));
    EXPECT_EQ(v.SelectionStart(), 3000);
    EXPECT_EQ(v.SelectionEnd(), -1);
    EXPECT_FALSE(v.IsSelecting());

    // From column 300 to column 100: not shaded while dragging left ...
    QTest::mousePress(&form, Qt::LeftButton, {}, QPoint(300, 50));
    QTest::mouseMove(&form, QPoint(200, 60));
    QTest::mouseMove(&form, QPoint(100, 60));
    EXPECT_TRUE(v.IsSelecting());
    EXPECT_EQ(v.SelectionEnd(), 1000);
    QImage during = Shot();
    EXPECT_EQ(during.pixelColor(150, 2), kBlack);
    // ... and the ordered span after the release.
    QTest::mouseRelease(&form, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_FALSE(v.IsSelecting());
    EXPECT_EQ(v.SelectionStart(), 1000);
    EXPECT_EQ(v.SelectionEnd(), 3000);
    QImage after = Shot();
    EXPECT_EQ(after.pixelColor(150, 2), kShade);
    EXPECT_EQ(after.pixelColor(150, 510), kShade);
    EXPECT_EQ(after.pixelColor(99, 2), kBlack);
    EXPECT_EQ(after.pixelColor(301, 2), kBlack);

    // A release left of column 0 leaves no selection.
    form.MouseDown(1, 0, 50, 0);
    form.MouseUp(1, 0, -4.6, 0);
    EXPECT_LT(v.SelectionEnd(), 0);
    // Moves without a button after a release do nothing.
    QTest::mouseMove(&form, QPoint(250, 60));
    EXPECT_LT(v.SelectionEnd(), 0);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SampleWindow, PaintsPeakColumnsWithTheSelectionShaded) {
    // Column c holds frames 10c to 10c + 9: a block from -1000 to 1000.
    SoundForm& form = Open(WriteWav("blocks.wav", 12800,
                                    [](LONG i) { return AudioSample(i % 10 < 5 ? -1000 : 1000); }),
                           1280);
    PeakView& v = form.View();
    const int yMin = v.YFromSample(-1000), yMax = v.YFromSample(1000);
    form.MouseDown(1, 0, 40, 0);
    form.MouseUp(1, 0, 60, 0);
    QImage img = Shot();
    // Column 0 of the full repaint is never drawn.
    for (int y = 0; y < 513; ++y) ASSERT_EQ(img.pixelColor(0, y), kBlack) << y;
    // Outside: the peak line in green, black above and below.
    EXPECT_EQ(img.pixelColor(20, yMin), kGreen);
    EXPECT_EQ(img.pixelColor(20, yMax), kGreen);
    EXPECT_EQ(img.pixelColor(20, 256), kGreen);
    EXPECT_EQ(img.pixelColor(20, yMin - 2), kBlack);
    EXPECT_EQ(img.pixelColor(20, yMax + 2), kBlack);
    // Inside: the peak in the selection colour, shaded above and below.
    EXPECT_EQ(img.pixelColor(50, 256), kSelection);
    EXPECT_EQ(img.pixelColor(50, yMin - 2), kShade);
    EXPECT_EQ(img.pixelColor(50, yMax + 2), kShade);
    EXPECT_EQ(img.pixelColor(50, 0), kShade);
    EXPECT_EQ(img.pixelColor(50, 512), kShade);
    // Between columns the columns beyond the file stay black.
    EXPECT_EQ(img.pixelColor(502, 256), kGreen);
}

TEST_F(SampleWindow, OneFramePerPeakDrawsAHorizontalStrokePerColumn) {
    SoundForm& form =
        Open(WriteWav("steps.wav", 400, [](LONG i) { return AudioSample(i * 100); }), 400);
    PeakView& v = form.View();
    ASSERT_EQ(v.NumSamplesPerPeak(), 1);
    QImage img = Shot();
    for (int x = 1; x < 399; ++x) {
        const int y = v.YFromSample(AudioSample(x * 100));
        ASSERT_EQ(img.pixelColor(x, y), kGreen) << x;
        int green = 0;
        for (int yy = 0; yy < 513; ++yy) green += img.pixelColor(x, yy) == kGreen;
        // Its own stroke and the start of the next column's.
        ASSERT_LE(green, 2) << x;
    }
}

TEST_F(SampleWindow, SpacePlaysTheSelectionAndStopsIt) {
    SoundForm& form = Open(WriteWav("ramp.wav", 12800, Ramp), 1280);
    PeakView& v = form.View();
    form.MouseDown(1, 0, 100, 0);
    form.MouseUp(1, 0, 300, 0);
    Device().ClearPlayed();
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_TRUE(v.IsPlaying());
    ASSERT_TRUE(Av().IsPlaying());
    EXPECT_EQ(Av().HalfFrames(), 44100);  // the default half: a second of stereo
    // Frames 1000 to 2999 of the file on both sides, then silence until stopped.
    for (int i = 0; i < 8; ++i) Advance(11025);
    const auto& played = Device().Played();
    ASSERT_GE(played.size(), 8000u);
    for (LONG i = 0; i < 2000; ++i) {
        AudioSample s[2];
        std::memcpy(s, &played[std::size_t(i) * 4], 4);
        ASSERT_EQ(s[0], Ramp(1000 + i)) << i;
        ASSERT_EQ(s[1], Ramp(1000 + i)) << i;
    }
    for (std::size_t k = 8000; k < played.size(); ++k) ASSERT_EQ(played[k], 0) << k;
    EXPECT_TRUE(Av().IsPlaying());
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_FALSE(v.IsPlaying());
    EXPECT_FALSE(Av().IsPlaying());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SampleWindow, AfterPlaybackEndsByItselfSpaceFirstStops) {
    SoundForm& form = Open(WriteWav("ramp.wav", 12800, Ramp), 1280);
    PeakView& v = form.View();
    // A click at column 1200: no selection, play from frame 12000 to the end.
    form.MouseDown(1, 0, 1200, 0);
    form.MouseUp(1, 0, 1200, 0);
    form.KeyDown(32, 0);
    for (int i = 0; i < 20 && Av().IsPlaying(); ++i) Advance(11025);
    EXPECT_FALSE(Av().IsPlaying());
    EXPECT_TRUE(v.IsPlaying());
    form.KeyDown(32, 0);
    EXPECT_FALSE(v.IsPlaying());
    EXPECT_FALSE(Av().IsPlaying());
    form.KeyDown(32, 0);
    EXPECT_TRUE(v.IsPlaying());
    EXPECT_TRUE(Av().IsPlaying());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SampleWindow, PlaysFromTheSelectionStartToTheEndWithoutASelection_MixedWithTheCompanion) {
    SoundForm& form = Open(WriteWav("ramp.wav", 3000, Ramp), 300);
    form.View().SetCompanionPath(
        WriteWav("companion.wav", 5000, [](LONG) { return AudioSample(7); }));
    Device().ClearPlayed();
    form.KeyDown(32, 0);
    for (int i = 0; i < 20 && Av().IsPlaying(); ++i) Advance(11025);
    const auto& played = Device().Played();
    ASSERT_GE(played.size(), 12000u);
    for (LONG i = 0; i < 3000; ++i) {
        AudioSample s[2];
        std::memcpy(s, &played[std::size_t(i) * 4], 4);
        ASSERT_EQ(s[0], std::min(32767, Ramp(i) + 7)) << i;
        ASSERT_EQ(s[1], s[0]) << i;
    }
}

TEST_F(SampleWindow, AFailedPlayIsReportedAndTheWindowStays) {
    SoundForm& form = Open(WriteWav("ramp.wav", 3000, Ramp), 300);
    Device().refuse = true;
    form.KeyDown(32, 0);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0],
              "Unable to open audio output device. Tried the test device: it refuses every "
              "buffer. Check that the sound server is running and the device is connected, or "
              "choose another output (Audio > Output Device, or --audio-driver and "
              "--audio-device).");
    EXPECT_TRUE(form.isVisible());
}

TEST_F(SampleWindow, RefusesMissingAndUnreadableFiles) {
    SoundForm form;
    try {
        form.Load(Folder("missing.wav"), 1280);
        FAIL() << "a missing file loaded";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), 53);
        EXPECT_NE(e.Description().find("missing.wav"), std::string::npos);
    }
    WriteText(Folder("text.wav"), "not a wave file at all, just text");
    EXPECT_THROW(form.Load(Folder("text.wav"), 1280), AppError);
}

TEST_F(SampleWindow, OpensAQuotedPathWithSpaces) {
    const std::string path = WriteWav("my sample.wav", 2560, Ramp);
    SoundForm& form = Open("\"" + path + "\"", 1280);
    EXPECT_EQ(form.View().NumSamplesPerPeak(), 2);
}

TEST(StripQuotes, RemovesOnePairAroundTheWholeText) {
    EXPECT_EQ(SoundForm::StripQuotes("\"a b.wav\""), "a b.wav");
    EXPECT_EQ(SoundForm::StripQuotes("a b.wav"), "a b.wav");
    EXPECT_EQ(SoundForm::StripQuotes("\"a b.wav"), "\"a b.wav");
    EXPECT_EQ(SoundForm::StripQuotes("\"\"x\"\""), "\"x\"");
    EXPECT_EQ(SoundForm::StripQuotes("\"\""), "");
    EXPECT_EQ(SoundForm::StripQuotes("\""), "\"");
    EXPECT_EQ(SoundForm::StripQuotes(""), "");
}

TEST_F(SampleWindow, CalcPeaksLooksAtEveryValueAndScrollsOnPlaybackPosition) {
    SoundForm& form = Open(WriteWav("ramp.wav", 2560, Ramp), 1280);
    PeakView& v = form.View();
    ASSERT_EQ(v.NumSamplesPerPeak(), 2);
    // Blocks of 2 frames x 2 channels; the extreme sits first in each block.
    v.CalcPeaks({900, 1, 2, 3, -900, 4, 5, 6, 7}, 2, 2);
    ASSERT_EQ(v.Peaks().size(), 2u);
    EXPECT_EQ(v.Peaks()[0].Max, 900);
    EXPECT_EQ(v.Peaks()[0].Min, 1);
    EXPECT_EQ(v.Peaks()[1].Min, -900);
    EXPECT_EQ(v.Peaks()[1].Max, 6);

    // Positions left of the window's right edge do not scroll; beyond it they do.
    v.SetPlaybackPosition(195000 + 2 * 2 * 400);
    EXPECT_EQ(v.PlaybackPosition(), 0);
    v.SetPlaybackPosition(195000 + 2 * 2 * 600);
    EXPECT_EQ(v.PlaybackPosition(), 600);
    EXPECT_EQ(v.ScreenPositionFromSampleIndex(1300), 50);
}
