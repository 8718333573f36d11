// The window tests run in one Qt application on the offscreen platform,
// with sound notifications posted to its event loop as in the program.
#include <gtest/gtest.h>

#include <QApplication>

#include "forms/qt_dispatcher.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QtDispatcher dispatcher(false);  // the virtual device delivers its own signals
    return RUN_ALL_TESTS();
}
