// Making music in the window: the tempo box, the loop buttons, the mix
// controls and the swing box, the arrangement's dialog and mode button,
// and export. What is heard is the engine's (tests/engine).
#include "common/ui_fixture.h"
#include "song/song_export.h"

namespace {}  // namespace

class Music : public MainWindow {
  protected:
    // Plays until the device has played bytes.
    void PlayUntil(std::size_t bytes) {
        while (Device().Played().size() < bytes) Advance(1000);
    }
    bool Queued(int k) { return form_->LoopButton(k)->property("queued").toBool(); }
    std::vector<unsigned char> Rendered(int loop) {
        return BytesOf(RenderedLoop(*form_->GetSong(), loop).get());
    }
};

TEST_F(Music, TheTempoRendersTheLoopAndWhilePlayingTakesOverAtThePassEnd) {
    UseDefaultSong();
    MainForm& form = Start();
    EXPECT_EQ(form.TempoBox()->value(), 120.0);
    // Stopped: the loop at once, as long as 100 bpm makes it.
    form.TempoBox()->setValue(100.0);
    EXPECT_EQ(form.GetSong()->Bpm(), 1000000);
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 211680);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), Rendered(0));
    EXPECT_TRUE(form.IsModified());
    form.UndoCommand()->trigger();
    EXPECT_EQ(form.TempoBox()->value(), 120.0);
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 176400);
    EXPECT_FALSE(form.IsModified());

    // Playing: the new tempo waits for the end of the pass, its loop amber.
    Device().ClearPlayed();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    PlayUntil(80000);
    form.TempoBox()->setValue(150.0);
    EXPECT_EQ(form.QueuedLoop(), 0);
    EXPECT_TRUE(Queued(0));
    EXPECT_EQ(FramesOf(form.LoopWav().get()), 141120);
    PlayUntil(176400 * 4 + 20000);
    EXPECT_FALSE(Queued(0)) << "it took over";
    EXPECT_EQ(form.QueuedLoop(), -1);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Music, LoopButtonsShowTheSelectedTheQueuedAndTheLoopsThatHoldTicks) {
    UseDefaultSong();
    MainForm& form = Start();
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(form.LoopButton(k)->isChecked(), k == 0) << k;
        EXPECT_EQ(form.LoopButton(k)->font().bold(), k < 6) << k;  // the six grooves
        EXPECT_FALSE(Queued(k));
    }
    // A click selects, as the keypad does; so do Ctrl and a digit.
    QTest::mouseClick(form.LoopButton(3), Qt::LeftButton);
    EXPECT_EQ(form.SelectedLoopIndex(), 3);
    EXPECT_TRUE(form.LoopButton(3)->isChecked());
    EXPECT_FALSE(form.LoopButton(0)->isChecked());
    Press(Qt::Key_7, Qt::ControlModifier);
    EXPECT_EQ(form.windowTitle(), "Trellon 7");
    Press(Qt::Key_5);  // the main keyboard's digit alone does nothing
    EXPECT_EQ(form.SelectedLoopIndex(), 7);
    // A tick makes loop 7 hold one.
    EXPECT_FALSE(form.LoopButton(7)->font().bold());
    ClickTick(0, 0);
    EXPECT_TRUE(form.LoopButton(7)->font().bold());

    // While playing, the loop picked is queued until the pass ends.
    Press(Qt::Key_0, Qt::ControlModifier);
    const std::vector<unsigned char> loop0 = BytesOf(form.LoopWav().get());
    Device().ClearPlayed();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    PlayUntil(20000);
    QTest::mouseClick(form.LoopButton(1), Qt::LeftButton);
    EXPECT_TRUE(form.LoopButton(1)->isChecked());
    EXPECT_TRUE(Queued(1));
    // The output reads about two halves (two ticks) ahead of what is heard.
    PlayUntil(loop0.size() - 3 * 22052);
    EXPECT_TRUE(Queued(1)) << "until the end of the pass";
    PlayUntil(loop0.size() + 20000);
    EXPECT_FALSE(Queued(1));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Music, VolumeMuteSoloAndSwingAreEditsAndAreHeard) {
    UseDefaultSong();
    MainForm& form = Start();
    const std::vector<unsigned char> plain = BytesOf(form.LoopWav().get());
    form.VolumeBox(0)->setValue(150);
    form.VolumeBox(0)->setValue(160);  // one edit with the step before
    EXPECT_EQ(form.GetSong()->SampleAt(0)->Mix().volume, 160);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), Rendered(0));
    form.MuteButton(2)->click();
    EXPECT_TRUE(form.GetSong()->SampleAt(2)->Mix().mute);
    form.SoloButton(1)->click();
    form.SwingBox()->setValue(25);
    EXPECT_EQ(form.GetSong()->Swing(), 2500);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), Rendered(0));
    EXPECT_NE(BytesOf(form.LoopWav().get()), plain);
    // Another loop sounds the same mix.
    Press(Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), Rendered(4));
    Press(Qt::Key_0, Qt::KeypadModifier);
    // Taken back, edit by edit: bit for bit the plain loop again.
    for (int i = 0; i < 4; ++i) form.UndoCommand()->trigger();
    EXPECT_EQ(form.VolumeBox(0)->value(), 100);
    EXPECT_FALSE(form.MuteButton(2)->isChecked());
    EXPECT_EQ(form.SwingBox()->value(), 0);
    EXPECT_EQ(BytesOf(form.LoopWav().get()), plain);
    EXPECT_FALSE(form.IsModified());
}

TEST_F(Music, TheArrangementPlaysPassByPassAndRepeats) {
    UseDefaultSong();
    MainForm& form = Start();
    music_->arrangements = {{{1, 2}, {3, 1}}};
    form.ArrangementButton()->click();
    EXPECT_EQ(form.GetSong()->Arrangement(), (std::vector<ArrangementStep>{{1, 2}, {3, 1}}));
    form.ArrangementModeButton()->click();
    const std::size_t one = std::size_t(176400) * 4;
    Device().ClearPlayed();
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    EXPECT_EQ(form.SelectedLoopIndex(), 1);
    PlayUntil(one + 10000);
    EXPECT_EQ(form.SelectedLoopIndex(), 1) << "its second pass";
    EXPECT_TRUE(Queued(3));
    PlayUntil(2 * one + 10000);
    EXPECT_EQ(form.SelectedLoopIndex(), 3) << "the rows show what plays";
    EXPECT_TRUE(form.LoopButton(3)->isChecked());
    EXPECT_EQ(form.windowTitle(), "Trellon 3");
    // A loop picked by hand leaves the arrangement.
    Press(Qt::Key_5, Qt::KeypadModifier);
    EXPECT_FALSE(form.ArrangementMode());
    EXPECT_TRUE(Queued(5));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Music, ExportWritesWhatRenderWritesOnAThreadAndCanBeCancelled) {
    UseDefaultSong();
    MainForm& form = Start();
    form.VolumeBox(1)->setValue(70);
    form.SwingBox()->setValue(10);
    music_->arrangements = {{{2, 1}, {0, 2}}};
    form.ArrangementButton()->click();
    dialogs_->answers = {Folder("mine.loop")};
    form.SaveCommand()->trigger();
    auto wait = [&] {
        while (form.IsExporting()) QTest::qWait(20);
    };
    // Loop 2 twice as WAV; the arrangement as FLAC.
    music_->exports = {{.arrangement = false, .loop = 2, .times = 2},
                       {.arrangement = true, .times = 1, .format = ExportChoice::Format::kFlac}};
    dialogs_->answers = {Folder("loop2.wav"), Folder("piece.flac")};
    form.ExportCommand()->trigger();
    wait();
    form.ExportCommand()->trigger();
    wait();
    ASSERT_TRUE(errors_.empty()) << errors_[0];
    const std::string trellon = std::string(TRELLON_PATH) + " --render " + Folder("mine.loop");
    ASSERT_EQ(RunCommand(trellon + " --loop 2 --passes 2 --out " + Folder("cli.wav")), 0);
    ASSERT_EQ(RunCommand(trellon + " --arrangement --out " + Folder("cli.flac")), 0);
    EXPECT_EQ(ReadText(Folder("loop2.wav")), ReadText(Folder("cli.wav")));
    EXPECT_EQ(ReadText(Folder("piece.flac")), ReadText(Folder("cli.flac")));

    // Cancelled: nothing written, nothing said.
    music_->exports = {{.arrangement = true, .times = 400, .format = ExportChoice::Format::kFlac}};
    dialogs_->answers = {Folder("long.flac")};
    form.ExportCommand()->trigger();
    EXPECT_TRUE(form.IsExporting());
    form.CancelExport();
    wait();
    EXPECT_FALSE(std::filesystem::exists(Folder("long.flac")));
    EXPECT_TRUE(errors_.empty());
    // What cannot be rendered is said before anything is asked.
    music_->exports = {{.loop = 8}};
    form.ExportCommand()->trigger();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("Loop 8 of \u201Cmine.loop\u201D holds no tick"), std::string::npos)
        << errors_[0];
}

TEST_F(Music, TheDialogsEditTheArrangementAndTheExportChoice) {
    ArrangementDialog arrangement({{2, 3}, {5, 1}}, nullptr);
    EXPECT_EQ(arrangement.Table()->rowCount(), 2);
    arrangement.Table()->setCurrentCell(0, 0);
    arrangement.AddStep();  // after the current line
    static_cast<QComboBox*>(arrangement.Table()->cellWidget(1, 0))->setCurrentIndex(7);
    static_cast<QSpinBox*>(arrangement.Table()->cellWidget(1, 1))->setValue(4);
    EXPECT_EQ(arrangement.Steps(), (std::vector<ArrangementStep>{{2, 3}, {7, 4}, {5, 1}}));
    arrangement.MoveStep(1);
    EXPECT_EQ(arrangement.Steps(), (std::vector<ArrangementStep>{{2, 3}, {5, 1}, {7, 4}}));
    arrangement.Table()->setCurrentCell(0, 0);
    arrangement.RemoveStep();
    EXPECT_EQ(arrangement.Steps(), (std::vector<ArrangementStep>{{5, 1}, {7, 4}}));

    ExportDialog without({.loop = 3}, false, nullptr);
    EXPECT_FALSE(without.ArrangementChoice()->isEnabled());
    EXPECT_TRUE(without.LoopChoice()->isChecked());
    without.Times()->setValue(8);
    without.Format()->setCurrentIndex(1);
    const ExportChoice c = without.Choice();
    EXPECT_FALSE(c.arrangement);
    EXPECT_EQ(c.loop, 3);
    EXPECT_EQ(c.times, 8);
    EXPECT_EQ(c.format, ExportChoice::Format::kFlac);
    ExportDialog with({.arrangement = true}, true, nullptr);
    EXPECT_TRUE(with.Choice().arrangement);
}

TEST_F(Music, DigitsTypedIntoANumberBoxAreNumbersNotLoops) {
    UseDefaultSong();
    MainForm& form = Start();
    form.VolumeBox(3)->setFocus();
    form.VolumeBox(3)->selectAll();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_8, Qt::KeypadModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(form.SelectedLoopIndex(), 0);
    EXPECT_EQ(form.VolumeBox(3)->value(), 8);
    EXPECT_EQ(form.GetSong()->SampleAt(3)->Mix().volume, 8);
}
