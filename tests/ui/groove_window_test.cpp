// Grooves in the window: the Loop menu and its shortcuts on the rows, the
// rows following a loop's length, the Track Settings dialog, and the
// master level with its meter.
#include "common/ui_fixture.h"
#include "ui/tick_box.h"

class Grooves : public MainWindow {};

TEST_F(Grooves, ALoopsLengthShowsInTheRowsAndLightsAndIsUndone) {
    UseDefaultSong();
    MainForm& form = Start();
    const int end32 = form.Row(0)->Check(31)->geometry().right();
    music_->formats = {{12, 3}};
    form.LoopLengthCommand()->trigger();
    EXPECT_EQ(form.GetEngine().FormatOf(0), (LoopFormat{12, 3}));
    EXPECT_EQ(form.Row(0)->NumTicks(), 12);
    EXPECT_EQ(form.Row(9)->NumTicks(), 12);
    EXPECT_EQ(form.NumTickIndicators(), 12);
    // Beats of three: boxes 3 to 5 and 9 to 11 shaded.
    auto shaded = [&](int i) { return static_cast<TickBox*>(form.Row(0)->Check(i))->Shaded(); };
    EXPECT_FALSE(shaded(0));
    EXPECT_FALSE(shaded(2));
    EXPECT_TRUE(shaded(3));
    EXPECT_TRUE(shaded(5));
    EXPECT_FALSE(shaded(6));
    EXPECT_EQ(form.TickIndicator(11)->x(),
              form.TickIndicator(0)->x() +
                  11 * (form.TickIndicator(1)->x() - form.TickIndicator(0)->x()));
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 88200);

    // 64 ticks share the width of 32: the row ends where it did.
    music_->formats = {{64, 8}};
    form.LoopLengthCommand()->trigger();
    EXPECT_EQ(form.Row(0)->NumTicks(), 64);
    EXPECT_NEAR(form.Row(0)->Check(63)->geometry().right(), end32, 2);
    EXPECT_EQ(form.NumTickIndicators(), 64);
    form.UndoCommand()->trigger();
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.Row(0)->NumTicks(), 32);
    EXPECT_EQ(form.NumTickIndicators(), 32);
    EXPECT_FALSE(form.IsModified());
    // Cancelled: nothing changes.
    form.LoopLengthCommand()->trigger();
    EXPECT_FALSE(form.IsModified());
}

TEST_F(Grooves, CopyPasteAndDuplicateActOnTheRowsWhereTheFocusIs) {
    UseDefaultSong();
    MainForm& form = Start();
    form.activateWindow();
    const auto loop0 = form.GetSong()->Sequence(0)->Track(0)->TickBytes();
    form.Row(0)->Check(2)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    form.LoopButton(8)->click();
    form.Row(1)->Check(0)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form.GetSong()->Sequence(8)->Track(0)->TickBytes(), loop0);
    EXPECT_EQ(form.Row(0)->Value(0), loop0[0] != 0) << "the rows show the pasted loop";
    // In the tempo box, Ctrl+V is the text's: loop 8 is not pasted over.
    form.GetEngine().ClearLoop(8);
    form.TempoBox()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_NE(form.GetSong()->Sequence(8)->Track(0)->TickBytes(), loop0);
    // Duplicate from the menu: into the next free loop, shown.
    form.LoopButton(0)->click();
    form.DuplicateLoopCommand()->trigger();
    const std::uint8_t shown = form.GetEngine().SelectedLoop();
    EXPECT_NE(shown, 0);
    EXPECT_EQ(form.GetSong()->Sequence(shown)->Track(0)->TickBytes(), loop0);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Trellon %1").arg(shown));
    // A row: copied, shifted right from the sample button's menu.
    auto menu = form.SampleButtonMenu(0);
    auto act = [&](const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return static_cast<QAction*>(nullptr);
    };
    act("Shift R&ight")->trigger();
    const auto shifted = form.GetSong()->Sequence(shown)->Track(0)->TickBytes();
    for (std::size_t i = 0; i < loop0.size(); ++i)
        EXPECT_EQ(shifted[(i + 1) % loop0.size()], loop0[i]) << i;
    EXPECT_EQ(form.Row(0)->Value(1), loop0[0] != 0);
}

TEST_F(Grooves, TrackSettingsGatherTheTracksSoundAndApplyItAsEdits) {
    UseDefaultSong();
    MainForm& form = Start();
    music_->edits = {[](TrackSettings& s) {
        s.caption = u"Open Hat";
        s.volume = 80;
        s.sound = {.pan = -100, .pitch = 1200, .start = 0, .end = 0, .reverse = true, .choke = 2};
        s.midiNote = 46;
    }};
    form.EditTrackSettings(2);
    ASSERT_EQ(music_->tracksShown.size(), 1u);
    EXPECT_EQ(music_->tracksShown[0].defaultNote, 38);
    EXPECT_EQ(music_->tracksShown[0].volume, 100);
    const Sample& s = *form.GetSong()->SampleAt(2);
    EXPECT_EQ(s.Caption(), u"Open Hat");
    EXPECT_EQ(form.Row(2)->Caption(), u"Open Hat");
    EXPECT_EQ(s.Mix().volume, 80);
    EXPECT_EQ(form.VolumeBox(2)->value(), 80);
    EXPECT_EQ(s.Sound().choke, 2);
    EXPECT_EQ(s.MidiNote(), 46);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), BytesOf(RenderedLoop(*form.GetSong(), 0).get()));
    while (form.GetEngine().Undo().CanUndo()) form.UndoCommand()->trigger();
    EXPECT_TRUE(form.GetSong()->SampleAt(2)->Sound().IsDefault());
    EXPECT_FALSE(form.IsModified());
}

TEST_F(Grooves, TheDialogsShowWhatTheyEdit) {
    LoopFormatDialog format({12, 3}, nullptr);
    EXPECT_EQ(format.Ticks()->value(), 12);
    EXPECT_EQ(format.Resolution()->currentText(), "Eighth triplets (3 a beat)");
    format.Ticks()->setValue(7);
    format.Resolution()->setCurrentIndex(4);
    EXPECT_EQ(format.Format(), (LoopFormat{7, 8}));

    ComPtr<IWav> wav = MakeWav(44100);  // one second
    TrackSettings given;
    given.wav = wav;
    given.sound = {.pan = 30, .pitch = -250, .start = 4410, .end = 0};
    given.defaultNote = 40;
    TrackSettingsDialog track(given, nullptr);
    EXPECT_EQ(track.Pitch()->value(), -2.5);
    EXPECT_EQ(track.Start()->value(), 100.0);
    EXPECT_EQ(track.End()->value(), 1000.0) << "to the end";
    EXPECT_NEAR(track.Trim()->GreyLeft(), 0.1, 1e-9);
    EXPECT_EQ(track.Trim()->GreyRight(), 0.0);
    track.End()->setValue(500.0);
    EXPECT_NEAR(track.Trim()->GreyRight(), 0.5, 1e-9);
    const TrackSettings back = track.Settings();
    EXPECT_EQ(back.sound.start, 4410u);
    EXPECT_EQ(back.sound.end, 22050u);
    EXPECT_EQ(back.sound.pitch, -250);
    EXPECT_EQ(back.midiNote, -1) << "the default note stays the default";
    track.Note()->setValue(41);
    EXPECT_EQ(track.Settings().midiNote, 41);

    HumanizeDialog human({.timing = 5, .velocity = 10, .seed = 7}, nullptr);
    EXPECT_EQ(human.Value(), (Humanize{5, 10, 7}));
}

TEST_F(Grooves, TheMeterShowsClippingAndTheMasterLevelTakesItAway) {
    UseDefaultSong();
    MainForm& form = Start();
    EXPECT_TRUE(form.MeterLabel()->text().startsWith("Peak "))
        << form.MeterLabel()->text().toStdString();
    form.MasterBox()->setValue(12.0);
    EXPECT_EQ(form.GetSong()->MasterLevel(), 1200);
    EXPECT_TRUE(form.MeterLabel()->text().startsWith("Clip "))
        << form.MeterLabel()->text().toStdString();
    EXPECT_GT(form.GetEngine().LoopLevel(0).clipped, 0);
    form.MasterBox()->setValue(-12.0);
    EXPECT_TRUE(form.MeterLabel()->text().startsWith("Peak -"))
        << form.MeterLabel()->text().toStdString();
    EXPECT_EQ(form.GetEngine().LoopLevel(0).clipped, 0);
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.MasterBox()->value(), 0.0);
}
