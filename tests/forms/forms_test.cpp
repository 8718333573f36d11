// What the forms layer gives the windows: the error box and the report
// that shows one error at a time, twips and colours, key codes.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTimer>

#include "forms/error_box.h"
#include "forms/key_codes.h"
#include "forms/twips.h"

TEST(ErrorBox, IsAMessageBoxWithOnlyOkTheTitleAndNoIcon) {
    auto box = MakeErrorBox(nullptr, "Trellon", "Unexpected EOF");
    EXPECT_EQ(box->text(), "Unexpected EOF");
    EXPECT_EQ(box->windowTitle(), "Trellon");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

TEST(ErrorReport, ShowsOneErrorAtATimeAndSendsTheRestToStandardError) {
    std::vector<std::string> shown;
    ErrorReport* self = nullptr;
    ErrorReport report("Trellon", [&](const std::string& d) {
        shown.push_back(d);
        // An error raised while the first is shown does not open a second box.
        if (shown.size() == 1) (*self)("second");
    });
    self = &report;
    testing::internal::CaptureStderr();
    report("first");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Trellon: second\n");
    EXPECT_EQ(shown, std::vector<std::string>{"first"});
    report("third");
    EXPECT_EQ(shown, (std::vector<std::string>{"first", "third"}));
}

TEST(Forms, TwipsColoursAndKeypadDigits) {
    EXPECT_EQ(TwipsToPixels(1215), 81);
    EXPECT_EQ(PixelsToTwips(17), 255);
    EXPECT_EQ(RgbColor(1, 2, 3), 0x030201u);
    EXPECT_EQ(ColorFromBgr(0x030201u), QColor(1, 2, 3));
    QKeyEvent keypad(QEvent::KeyPress, Qt::Key_7, Qt::KeypadModifier);
    QKeyEvent digit(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier);
    EXPECT_EQ(FormKeyCode(keypad), kKeyNumpad0 + 7);
    EXPECT_EQ(FormKeyCode(digit), '7');
    // Asking for a handle never makes a child a native window of its own.
    QWidget window;
    QWidget child(&window);
    WindowHandle(&child);
    EXPECT_FALSE(child.testAttribute(Qt::WA_NativeWindow));
    EXPECT_EQ(child.internalWinId(), WId(0));
}
