// The main window played live on a private JACK server: keys play tracks
// at the velocity box's value, space plays and stops wherever the focus
// is, and the status bar says which note came in and what it played.
#include <QLabel>
#include <QSpinBox>
#include <cmath>

#include "common/ui_fixture.h"
#include "live/jack_probe.h"
#include "live/jack_server.h"
#include "support/wav_values.h"
#include "ui/sequence_control.h"

class LiveWindow : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        if (!PrivateJackServer::Available()) GTEST_SKIP() << "jackd is not installed here";
        server_ = std::make_unique<PrivateJackServer>(44100, 128);
        ASSERT_TRUE(server_->Up()) << "jackd -d dummy did not start";
        SetDefaultSoundDevice(nullptr);
        SetSoundOutput({"jack", ""});
        outputFromCommandLine_ = true;
        UseDefaultSong();
        Start(SongPath());
        Finish();  // the song is open
        form_->GetEngine().WaitForLiveKit();
        probe_ = std::make_unique<JackProbe>();
        ASSERT_TRUE(probe_->Ok());
        ASSERT_TRUE(probe_->Start("Trellon"));
    }
    void TearDown() override {
        probe_.reset();
        MainWindow::TearDown();
        // The client leaves while its server is there.
        GetAvSystem().ReleaseDevice();
        ReleaseDefaultSoundDevice();
        server_.reset();
    }
    // Lets the server run past frame, the window taking its events.
    void RunUntil(jack_nframes_t frame) {
        for (int i = 0; i < 2000 && !probe_->WaitFor(frame, 1); ++i) QApplication::processEvents();
        form_->ShowLive();
    }

    std::unique_ptr<PrivateJackServer> server_;
    std::unique_ptr<JackProbe> probe_;
};

TEST_F(LiveWindow, KeysPlayTracksAtTheBoxsVelocityAndTheStatusBarSaysWhatCameIn) {
    MainForm& form = *form_;
    form.ShowLive();
    EXPECT_TRUE(form.LiveLabel()->text().contains("JACK 128 frames at 44100 Hz"))
        << form.LiveLabel()->text().toStdString();
    // S plays track 1 at the box's velocity, with the focus on a tick.
    form.VelocityBox()->setValue(64);
    form.Row(0)->Check(3)->setFocus();
    const bool tickBefore = form.GetEngine().GetSong()->Sequence(0)->Tracks()[0]->Value(3);
    const jack_nframes_t from = probe_->Recorded();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S);
    RunUntil(from + 44100);
    const std::vector<float> heard = probe_->Left(from, 44100);
    const long at = JackProbe::FirstSound(heard);
    ASSERT_GE(at, 0) << "the key played nothing";
    // What track 1's sample holds, at 64/127 of its volume.
    const Song& song = *form.GetEngine().GetSong();
    const Sample& sample = *song.SampleSlots()[1];
    const std::vector<AudioSample> values = ReadWavValues(sample.Wav().get());
    SHORT channels = 0;
    sample.Wav()->get_NumChannels(&channels);
    std::size_t first = 0;
    while (first < values.size() && values[first] == 0) first += std::size_t(channels);
    const float gain = sample.Mix().volume / 100.0f * 64.0f / 127.0f;
    for (std::size_t i = 0; i < 200 && first + i * channels < values.size(); ++i)
        ASSERT_NEAR(heard[std::size_t(at) + i], gain * values[first + i * channels] / 32768.0f,
                    1e-6f)
            << i;
    EXPECT_EQ(song.LoopSlots()[0]->Tracks()[0]->Value(3), tickBefore) << "the key toggled a tick";

    // Track 1's pad plays it too, at the box's velocity.
    jack_nframes_t padFrom = probe_->Recorded() + 22050;
    RunUntil(padFrom);
    padFrom = probe_->Recorded();
    QTest::mousePress(form.PadButton(1), Qt::LeftButton);
    QTest::mouseRelease(form.PadButton(1), Qt::LeftButton);
    RunUntil(padFrom + 44100);
    const std::vector<float> padded = probe_->Left(padFrom, 44100);
    const long padAt = JackProbe::FirstSound(padded);
    ASSERT_GE(padAt, 0) << "the pad played nothing";
    EXPECT_NEAR(padded[std::size_t(padAt)], heard[std::size_t(at)], 1e-6f);

    // Notes from MIDI: the status bar names the note and what it played.
    jack_nframes_t now = probe_->Now() + 1024;
    probe_->Send({{now, {0x99, 60, 100}, 3}});
    RunUntil(now + 256);
    EXPECT_TRUE(
        form.LiveLabel()->text().startsWith("Note 60 (C3) ch 10 vel 100: no track plays it"))
        << form.LiveLabel()->text().toStdString();
    now = probe_->Now() + 1024;
    probe_->Send({{now, {0x90, 36, 90}, 3}});
    RunUntil(now + 256);
    const QString caption = QString::fromStdU16String(song.SampleSlots()[0]->Caption());
    EXPECT_TRUE(
        form.LiveLabel()->text().startsWith("Note 36 (C1) ch 1 vel 90: track 1 “" + caption + "”"))
        << form.LiveLabel()->text().toStdString();

    // Space plays and stops with the focus on a tick, which stays as it was.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    Settle();
    EXPECT_TRUE(form.GetEngine().IsPlaying());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    Settle();
    EXPECT_FALSE(form.GetEngine().IsPlaying());
    EXPECT_EQ(song.LoopSlots()[0]->Tracks()[0]->Value(3), tickBefore);
    // In the tempo box the keys are typing, not playing.
    form.TempoBox()->setFocus();
    // Once what played has rung out.
    jack_nframes_t quiet = probe_->Recorded();
    for (int i = 0; i < 100 && JackProbe::FirstSound(probe_->Left(quiet - 4096, 4096)) >= 0; ++i) {
        quiet = probe_->Now() + 4096;
        RunUntil(quiet);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A);
    RunUntil(quiet + 8192);
    EXPECT_EQ(JackProbe::FirstSound(probe_->Left(quiet, 8192)), -1);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(LiveWindow, RWithTheKeysRecordsATakeIntoThePlayingLoopThatUndoesAsOne) {
    MainForm& form = *form_;
    const Song& song = *form.GetEngine().GetSong();
    const auto row = song.LoopSlots()[0]->Tracks()[1];
    const auto ticksOn = [&] {
        int n = 0;
        for (int t = 0; t < 32; ++t) n += row->Value(std::uint8_t(t));
        return n;
    };
    // Track 1 empty, so that every hit lands on a tick of its own.
    for (short t = 0; t < 32; ++t) form.GetEngine().SetTick(0, 1, t, false);
    const int before = ticksOn();
    form.Row(0)->Check(3)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    Settle();
    ASSERT_TRUE(form.GetEngine().IsPlaying());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R);
    EXPECT_TRUE(form.RecordButton()->isChecked());
    EXPECT_TRUE(form.RecordCommand()->isChecked());
    form.ShowLive();
    EXPECT_TRUE(form.LiveLabel()->text().startsWith("Recording"))
        << form.LiveLabel()->text().toStdString();
    // Track 1 (S) played twice, half a second apart, at velocity 40.
    form.VelocityBox()->setValue(40);
    for (int i = 0; i < 2; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S);
        RunUntil(probe_->Now() + 22050);
    }
    // Stop ends the take.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    Settle();
    EXPECT_FALSE(form.RecordButton()->isChecked());
    EXPECT_EQ(ticksOn(), before + 2);
    bool soft = false;
    for (int t = 0; t < 32; ++t)
        soft |= row->Value(std::uint8_t(t)) && row->Velocity(std::uint8_t(t)) == 40;
    EXPECT_TRUE(soft);
    EXPECT_EQ(form.EditMenu()->actions()[0]->text(), "&Undo Record");
    form.EditMenu()->actions()[0]->trigger();
    EXPECT_EQ(ticksOn(), before);
    EXPECT_TRUE(errors_.empty());
}
