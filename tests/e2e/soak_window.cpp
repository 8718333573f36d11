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

#include "forms/termination_signals.h"
#include "ui/main_form.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: soak_window PROGRAM_FOLDER EXPECTED.raw\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::ofstream expected(argv[2], std::ios::binary);
    MainForm form;
    Player& player = form.GetEngine().GetPlayer();
    player.SetWriteObserver([&](const AudioSample* half, std::size_t count) {
        expected.write(reinterpret_cast<const char*>(half),
                       std::streamsize(count * sizeof(AudioSample)));
    });
    form.SetProgramFolder(argv[1]);
    form.Load();
    form.show();
    TerminationSignals ending([&](int) { QCoreApplication::exit(0); });

    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    if (!form.GetEngine().IsPlaying()) {
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

    const Player::Stats stats = player.DeviceStats();
    std::printf("edits %d; late frames %lu; longest refill %.1f ms\n", edits, stats.lateFrames,
                stats.longestRefill * 1000);
    form.GetEngine().Stop();
    player.ReleaseDevice();
    return status;
}
