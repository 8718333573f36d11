// Start-up, the layout and the track rows of the main window.
#include <QImage>
#include <QSignalSpy>
#include <numeric>

#include "common/ui_fixture.h"
#include "forms/twips.h"

namespace {

// The values of a stereo Wav at frame i (left channel).
AudioSample Left(const std::vector<AudioSample>& v, LONG i) {
    return v[std::size_t(i) * 2];
}

}  // namespace

TEST_F(MainWindow, StartsOnTheDefaultSongReadyToPlay) {
    UseDefaultSong();
    MainForm& form = Start();
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(form.windowTitle(), "Trellon 0");
    EXPECT_TRUE(form.SaveCommand()->isEnabled());
    EXPECT_FALSE(form.RevertCommand()->isEnabled());
    EXPECT_TRUE(form.RevertCommand()->isVisible());
    // The bundled song is a template: shown, but not the file Save writes.
    EXPECT_EQ(form.FilePath(), "");
    EXPECT_EQ(form.DocumentLabel()->text(), "Untitled");
    EXPECT_EQ(form.ModifiedLabel()->text(), "");
    EXPECT_FALSE(form.IsModified());
    EXPECT_EQ(form.GetSong()->Bpm(), 120 * 10000);
    EXPECT_EQ(form.SelectedLoopIndex(), 0);
    EXPECT_FALSE(form.IsFillingRows());
    EXPECT_EQ(form.PlayButton()->text(), "Play");
    EXPECT_EQ(form.NumTracks(), 10);
    EXPECT_EQ(form.Row(0)->SampleButton()->text(), "Kick");
    EXPECT_EQ(form.Row(9)->SampleButton()->text(), "Crash");
    EXPECT_EQ(form.Row(9)->NumTicks(), 32);
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 176400);
    EXPECT_EQ(form.TickLength(), 5512);

    // The menus in their order, with their shortcut keys.
    QStringList items;
    for (QAction* a :
         form.FileMenu()->actions() + form.EditMenu()->actions() + form.TrackMenu()->actions())
        items << (a->isSeparator() ? "-" : a->text() + " " + a->shortcut().toString());
    EXPECT_EQ(items.join('|'),
              "&New Ctrl+N|&Open Ctrl+O|Open &Recent |Import &Drum Kit... |"
              "&Import MIDI into Loop... |&Revert |&Save Ctrl+S|"
              "Save &As... Ctrl+Shift+S|-|&Export Audio... Ctrl+E|Export &MIDI... |-|"
              "E&xit Ctrl+Q|&Undo Ctrl+Z|"
              "&Redo Ctrl+Shift+Z|&Add Track Ctrl+T|&MIDI... ");

    // Layout in pixels: client area 657 x 260 as designed, and 112 pixels
    // more on the right for each track's mix and pad; rows 17 apart, indicators of 11 x 11
    // under their boxes, 3 pixels below the last row.
    EXPECT_EQ(form.centralWidget()->size(), QSize(769, 260));
    EXPECT_EQ(form.PlayButton()->geometry(), QRect(8, 4, 81, 17));
    EXPECT_EQ(form.Row(0)->geometry(), QRect(8, 28, 641, 17));
    EXPECT_EQ(form.Row(9)->geometry(), QRect(8, 28 + 9 * 17, 641, 17));
    ASSERT_EQ(form.NumTickIndicators(), 32);
    for (LONG i : {0, 1, 31}) {
        EXPECT_EQ(form.TickIndicator(i)->geometry(),
                  QRect(97 + 17 * int(i), 28 + 10 * 17 + 3, 11, 11));
        EXPECT_EQ(form.TickIndicator(i)->FillColor(), RgbColor(0, 64, 0));
    }
    EXPECT_EQ(form.Row(0)->CheckLeft(31), 1320 + 31 * 255);
    EXPECT_EQ(form.Row(0)->CheckWidth(), 255);

    // What the user sees, kept as the picture of the window.
    QImage shot = form.grab().toImage();
    EXPECT_EQ(
        shot.pixelColor(form.TickIndicator(5)->geometry().center() + form.centralWidget()->pos()),
        QColor(0, 64, 0));
    EXPECT_TRUE(shot.save(SCREENSHOT_PATH));
}

TEST_F(MainWindow, KeepsTheFileTempoForTheBufferAndRendersAt120) {
    Song song;
    ComPtr<IWav> click = MakeSignal(1, 2, [](LONG) { return AudioSample(1000); });
    song.SampleAt(0)->SetWav(click);
    song.SampleAt(0)->SetCaption(u"Click");
    song.SetBpm(110 * 10000);
    auto loop = song.Sequence(0);
    loop->Tracks().push_back(std::make_shared<LoopTrack>());
    loop->SetNumTicks(32);
    loop->Track(0)->SetValue(0, true);
    loop->Track(0)->SetValue(1, true);
    WriteSong(song, SongPath());

    MainForm& form = Start();
    EXPECT_EQ(form.GetSong()->Bpm(), 120 * 10000);
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 192436);
    EXPECT_EQ(form.TickLength(), 6014);
    EXPECT_TRUE(form.Row(0)->Value(1));
    // Rendered at the file's tempo while opening ...
    std::vector<AudioSample> v = ValuesOf(form.LoopWav().get());
    EXPECT_EQ(Left(v, 6014), 1000);
    // ... and at 120 after a click, in the same buffer.
    ClickTick(0, 2);
    EXPECT_TRUE(form.GetSong()->Sequence(0)->Track(0)->Value(2));
    v = ValuesOf(form.LoopWav().get());
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 192436);
    for (LONG i : {0, 5512, 11024}) EXPECT_EQ(Left(v, i), 1000) << i;
    EXPECT_EQ(Left(v, 6014), 0);
    long nonzero = 0;
    for (AudioSample s : v) nonzero += s != 0;
    EXPECT_EQ(nonzero, 6);
}

TEST_F(MainWindow, WithoutTheDefaultSongStartsOnAnEmptyOne) {
    MainForm& form = Start();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("DuvoDodiz.loop"), std::string::npos) << errors_[0];
    EXPECT_EQ(form.windowTitle(), "Trellon 0");
    EXPECT_EQ(form.NumTracks(), 1);
    EXPECT_FALSE(form.SaveCommand()->isEnabled());
    EXPECT_FALSE(form.IsFillingRows());
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 176400);
    EXPECT_EQ(form.NumTickIndicators(), 32);
    // The row is usable: a click is stored in the song.
    ClickTick(0, 4);
    EXPECT_TRUE(form.GetSong()->Sequence(0)->Track(0)->Value(4));
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(MainWindow, HidesTheInstallerWindowAtStartUp) {
    QWidget installer;
    installer.setWindowTitle(kInstallerCaption);
    installer.show();
    QWidget other;
    other.setWindowTitle("Another window");
    other.show();
    UseDefaultSong();
    Start();
    EXPECT_FALSE(installer.isVisible());
    EXPECT_TRUE(other.isVisible());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, KeypadDigitsSelectLoopsAndMainDigitsDoNot) {
    UseDefaultSong();
    MainForm& form = Start();
    form.Row(0)->SampleButton()->setFocus();
    Press(Qt::Key_7);
    EXPECT_EQ(form.SelectedLoopIndex(), 0);
    EXPECT_EQ(form.windowTitle(), "Trellon 0");
    Press(Qt::Key_7, Qt::KeypadModifier);
    EXPECT_EQ(form.SelectedLoopIndex(), 7);
    EXPECT_EQ(form.windowTitle(), "Trellon 7");
    // Loop 7 did not exist: made with loop 0's tracks, all off, rendered silent.
    auto loop7 = form.GetSong()->Sequence(7);
    EXPECT_EQ(loop7->NumTracks(), 10);
    EXPECT_EQ(loop7->Wav().get(), form.LoopWav().get());
    for (LONG r = 0; r < form.NumTracks(); ++r)
        for (LONG t = 0; t < 32; ++t) ASSERT_FALSE(form.Row(r)->Value(t));
    for (AudioSample s : ValuesOf(form.LoopWav().get())) ASSERT_EQ(s, 0);
    // Loop 1 of the default song comes back with its own ticks.
    Press(Qt::Key_1, Qt::KeypadModifier);
    EXPECT_EQ(form.windowTitle(), "Trellon 1");
    auto loop1 = form.GetSong()->Sequence(1);
    for (LONG r = 0; r < 10; ++r)
        for (LONG t = 0; t < 32; ++t)
            ASSERT_EQ(form.Row(r)->Value(t), loop1->Track(r)->Value(std::uint8_t(t)));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, TickClicksAreStoredAndRendered) {
    UseDefaultSong();
    MainForm& form = Start();
    auto loop = form.GetSong()->Sequence(0);
    const bool before = loop->Track(2)->Value(5);
    ClickTick(2, 5);
    EXPECT_EQ(form.Row(2)->Value(5), !before);
    EXPECT_EQ(loop->Track(2)->Value(5), !before);
    // The window's buffer is the loop as the song now holds it.
    EXPECT_EQ(ValuesOf(form.LoopWav().get()), ValuesOf(RenderedLoop(*form.GetSong(), 0).get()));
    EXPECT_EQ(loop->Wav().get(), form.LoopWav().get());
    // Clicking back gives the old sound again; a set to the same state is no change.
    ClickTick(2, 5);
    EXPECT_EQ(loop->Track(2)->Value(5), before);
    // The sample button does nothing.
    QTest::mouseClick(form.Row(0)->SampleButton(), Qt::LeftButton);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindow, ATickTheSongCannotHoldIsReportedAndUndone) {
    // Ten sample slots give ten rows, but loop 0 has tracks for two.
    Song song;
    song.SetBpm(120 * 10000);
    auto loop = song.Sequence(0);
    loop->Tracks().push_back(std::make_shared<LoopTrack>());
    loop->Tracks().push_back(std::make_shared<LoopTrack>());
    loop->SetNumTicks(32);
    WriteSong(song, SongPath());
    MainForm& form = Start();
    EXPECT_EQ(form.NumTracks(), 10);
    ClickTick(5, 3);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Track 5 does not exist: the loop has 2 tracks");
    EXPECT_FALSE(form.Row(5)->Value(3));
    EXPECT_FALSE(form.IsFillingRows());
    EXPECT_EQ(form.GetSong()->Sequence(0)->NumTracks(), 2);
    ClickTick(1, 3);
    EXPECT_TRUE(form.GetSong()->Sequence(0)->Track(1)->Value(3));
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(MainWindow, ALoopWithMoreTracksThanRowsIsReportedAndClicksGoOn) {
    Song song;
    song.SetBpm(120 * 10000);
    auto loop0 = song.Sequence(0);
    for (int i = 0; i < 10; ++i) loop0->Tracks().push_back(std::make_shared<LoopTrack>());
    loop0->SetNumTicks(32);
    auto loop1 = song.Sequence(1);
    for (int i = 0; i < 2; ++i) loop1->Tracks().push_back(std::make_shared<LoopTrack>());
    loop1->SetNumTicks(32);
    WriteSong(song, SongPath());
    MainForm& form = Start();
    Press(Qt::Key_1, Qt::KeypadModifier);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_FALSE(form.IsFillingRows());
    ClickTick(0, 7);
    EXPECT_TRUE(form.GetSong()->Sequence(1)->Track(0)->Value(7));
    EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(MainWindow, RowsGrowShrinkAndClamp) {
    UseDefaultSong();
    MainForm& form = Start();
    form.SetNumTracks(0);
    EXPECT_EQ(form.NumTracks(), 1);
    EXPECT_EQ(form.Row(1), nullptr);
    form.SetNumTracks(65);
    EXPECT_EQ(form.NumTracks(), 64);
    EXPECT_EQ(form.Row(63)->NumTicks(), 32);
    EXPECT_EQ(form.Row(63)->y(), 28 + 63 * 17);
    form.SetNumTracks(5);
    QPointer<SequenceControl> r2 = form.Row(2), r4 = form.Row(4), r1 = form.Row(1);
    form.SetNumTracks(2);
    EXPECT_TRUE(r2.isNull());
    EXPECT_TRUE(r4.isNull());
    EXPECT_FALSE(r1.isNull());
    EXPECT_EQ(form.NumTracks(), 2);
    // The window's size and the indicators stay where they were.
    EXPECT_EQ(form.centralWidget()->size(), QSize(769, 260));
    EXPECT_EQ(form.TickIndicator(0)->y(), 28 + 10 * 17 + 3);
}

TEST_F(MainWindow, ShowsTenRowsForSamplesInSlotsZeroToThree) {
    // Only slots 0 to 3 go into the file.
    Song written;
    written.SetBpm(120 * 10000);
    const char16_t* names[] = {u"A", u"B", u"C", u"D"};
    for (int i = 0; i < 4; ++i) {
        written.SampleAt(i)->SetCaption(names[i]);
        written.SampleAt(i)->SetWav(MakeWav(100, 2));
    }
    auto loop = written.Sequence(0);
    for (int i = 0; i < 4; ++i) loop->Tracks().push_back(std::make_shared<LoopTrack>());
    loop->SetNumTicks(32);
    const std::string path = Folder("four.loop");
    WriteSong(written, path);

    UseDefaultSong();
    MainForm& form = Start();
    form.OpenSongFile(path);
    EXPECT_EQ(form.NumTracks(), 10);
    EXPECT_EQ(form.Row(3)->SampleButton()->text(), "D");
    EXPECT_NE(form.Row(3)->Sample().get(), nullptr);
    for (LONG r = 4; r < 10; ++r) {
        EXPECT_EQ(form.Row(r)->SampleButton()->text(), "");
        EXPECT_EQ(form.Row(r)->Sample().get(), nullptr);
    }
}

TEST_F(MainWindow, LoadSampleNamesTheTrackAfterTheFile) {
    UseDefaultSong();
    MainForm& form = Start();
    form.LoadSample(1, WriteWav(
                           "my kick.v2.wav", 50, [](LONG i) { return AudioSample(i); }, 2));
    EXPECT_EQ(form.Row(1)->SampleButton()->text(), "my kick.v2");
    EXPECT_EQ(form.GetSong()->SampleAt(1)->Caption(), u"my kick.v2");
    std::vector<AudioSample> values(100);
    std::iota(values.begin(), values.end(), AudioSample(0));
    EXPECT_EQ(ValuesOf(form.GetSong()->SampleAt(1)->Wav().get()), values);
    EXPECT_EQ(form.Row(1)->Sample().get(), form.GetSong()->SampleAt(1)->Wav().get());
    // A missing file, and a file that is no WAV file, change nothing.
    EXPECT_THROW(form.LoadSample(2, Folder("missing.wav")), AppError);
    WriteText(Folder("text.wav"), "just some text");
    EXPECT_THROW(form.LoadSample(2, Folder("text.wav")), AppError);
    EXPECT_EQ(form.Row(2)->SampleButton()->text(), "Closed Hat");
}
