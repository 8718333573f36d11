// The main window playing for a long while through the default sound
// device, as a user working with it: a tick clicked every 3 seconds and
// the next loop picked with the keypad every 10 seconds. Every half the
// output writes is kept in EXPECTED (16-bit stereo, raw), to be compared
// with what the sound server played. Runs until SIGTERM, then prints the
// frames played as silence for want of a refill and the longest wait from
// a notification to its refill.
//
// usage: soak_window PROGRAM_FOLDER EXPECTED.raw
#include <QApplication>
#include <QCheckBox>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <fstream>

#include "forms/qt_dispatcher.h"
#include "forms/termination_signals.h"
#include "output/av_module.h"
#include "ui/main_form.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: soak_window PROGRAM_FOLDER EXPECTED.raw\n");
        return 2;
    }
    QApplication app(argc, argv);
    QtDispatcher dispatcher;
    std::ofstream expected(argv[2], std::ios::binary);
    AvSystem& av = GetAvSystem();
    av.SetWriteObserver([&](const std::vector<AudioSample>& half) {
        expected.write(reinterpret_cast<const char*>(half.data()),
                       std::streamsize(half.size() * sizeof(AudioSample)));
    });
    MainForm form;
    form.SetProgramFolder(argv[1]);
    form.Load();
    form.show();
    TerminationSignals ending([&](int) { QCoreApplication::exit(0); });

    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    if (!av.IsPlaying()) {
        std::fprintf(stderr, "soak_window: playback did not start\n");
        return 1;
    }
    std::printf("playing\n");
    std::fflush(stdout);
    // A tick of the first rows, in turn, every 3 s; the next loop every 10 s.
    int edits = 0, loop = 0;
    QTimer edit, change;
    QObject::connect(&edit, &QTimer::timeout, [&] {
        const LONG row = edits % 4, tick = (edits * 7) % 32;
        QTest::mouseClick(form.Row(row)->Check(tick), Qt::LeftButton);
        ++edits;
    });
    QObject::connect(&change, &QTimer::timeout, [&] {
        loop = (loop + 1) % 3;
        form.PlayButton()->setFocus();
        QTest::keyClick(form.PlayButton(), Qt::Key(Qt::Key_0 + loop), Qt::KeypadModifier);
    });
    edit.start(3000);
    change.start(10000);
    const int status = app.exec();

    const auto& buffer = av.Buffer();
    std::printf("edits %d; late frames %lu; longest refill %.1f ms\n", edits,
                buffer ? buffer->LateFrames() : 0, buffer ? buffer->LongestRefill() * 1000 : 0.0);
    av.StopPlaying();
    av.ReleaseDevice();
    return status;
}
