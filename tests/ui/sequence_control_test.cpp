// A track row on its own: its boxes, its signals, its button.
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "support/app_error.h"
#include "ui/sequence_control.h"

TEST(SequenceControlRow, ClampsBoxesAndRaisesTickChangeOnlyForChanges) {
    SequenceControl row;
    EXPECT_EQ(row.NumTicks(), 16);
    for (LONG n : {0, 3, -5}) {
        row.SetNumTicks(n);
        EXPECT_EQ(row.NumTicks(), 4);
        EXPECT_NE(row.Check(3), nullptr);
        EXPECT_EQ(row.Check(4), nullptr);
    }
    for (LONG n : {129, 1000}) {
        row.SetNumTicks(n);
        EXPECT_EQ(row.NumTicks(), 128);
        EXPECT_EQ(row.Check(128), nullptr);
    }
    EXPECT_EQ(row.Check(127)->geometry().topLeft(), QPoint(88 + 127 * 17, 0));

    QSignalSpy ticks(&row, &SequenceControl::TickChange);
    row.SetValue(6, true);
    row.SetValue(6, true);
    row.SetValue(7, false);
    ASSERT_EQ(ticks.count(), 1);
    EXPECT_EQ(ticks[0][0].value<short>(), 6);
    QTest::mouseClick(row.Check(9), Qt::LeftButton);
    ASSERT_EQ(ticks.count(), 2);
    EXPECT_EQ(ticks[1][0].value<short>(), 9);
    EXPECT_TRUE(row.Value(9));
    EXPECT_THROW(row.Value(128), AppError);
    EXPECT_THROW(row.SetValue(-1, true), AppError);

    QSignalSpy clicks(&row, &SequenceControl::SampleButtonClick);
    row.SetCaption(u"Snare");
    EXPECT_EQ(row.SampleButton()->text(), "Snare");
    QTest::mouseClick(row.SampleButton(), Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
}
