// Velocity in the rows: a tick's box shows how hard it plays, and a drag
// up or down on a tick that is on changes that as one edit.
#include "common/ui_fixture.h"
#include "ui/sequence_control.h"

TEST_F(MainWindow, DraggingATickChangesItsVelocityAsOneEditAndAClickStillToggles) {
    UseDefaultSong();
    MainForm& form = Start();
    Finish();
    ClickTick(0, 5);
    Engine& engine = form.GetEngine();
    const auto track = [&] { return engine.GetSong()->Sequence(0)->Track(0); };
    ASSERT_TRUE(track()->Value(5));
    QCheckBox* box = form.Row(0)->Check(5);
    const QPoint centre = box->rect().center();
    const std::size_t edits = engine.Undo().Count();
    // Down 63 pixels, a point a pixel: 127 - 63.
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, centre);
    for (int dy = 2; dy <= 63; dy += 2) QTest::mouseMove(box, centre + QPoint(0, dy));
    QTest::mouseMove(box, centre + QPoint(0, 63));
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, centre + QPoint(0, 63));
    QApplication::processEvents();
    EXPECT_TRUE(track()->Value(5)) << "a drag does not toggle";
    EXPECT_EQ(track()->Velocity(5), 64);
    EXPECT_EQ(form.Row(0)->Velocity(5), 64);
    EXPECT_EQ(box->toolTip(), "Velocity 64");
    EXPECT_EQ(engine.Undo().Count(), edits + 1);
    EXPECT_EQ(form.UndoCommand()->text(), "&Undo Velocity");
    // Undone: full again, in the song and in the box.
    form.UndoCommand()->trigger();
    QApplication::processEvents();
    EXPECT_EQ(track()->Velocity(5), 127);
    EXPECT_EQ(form.Row(0)->Velocity(5), 127);
    // A click without a drag still turns the tick off; a drag on a tick
    // that is off does nothing but what a click does.
    ClickTick(0, 5);
    EXPECT_FALSE(track()->Value(5));
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(box, centre + QPoint(0, 20));
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, centre + QPoint(0, 20));
    QApplication::processEvents();
    EXPECT_EQ(track()->Velocity(5), 127);
    EXPECT_TRUE(errors_.empty());
}
