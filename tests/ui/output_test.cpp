// Audio > Output Device: the dialog lists the sound system's drivers and
// devices; the choice is used from the next Play and remembered.
#include <QSettings>
#include <QStatusBar>

#include "common/ui_fixture.h"
#include "sound/sdl_device.h"

TEST_F(MainWindow, TheOutputChosenIsUsedFromTheNextPlayAndRemembered) {
    UseDefaultSong();
    MainForm& form = Start();
    EXPECT_EQ(GetSoundOutput(), SoundOutput{}) << "the system's default until one is chosen";

    // Cancelled: nothing changes.
    form.OutputDeviceCommand()->trigger();
    EXPECT_EQ(GetSoundOutput(), SoundOutput{});
    EXPECT_FALSE(QSettings(QString::fromStdString(SettingsPath()), QSettings::IniFormat)
                     .contains("Audio/Driver"));

    // Chosen while playing: playback goes on, and the next Play opens the
    // device again for the new output.
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    ASSERT_TRUE(Streaming());
    const int buffers = Device().BuffersCreated();
    output_->answers.push_back({"pulseaudio", "Studio Monitors"});
    form.OutputDeviceCommand()->trigger();
    EXPECT_EQ(GetSoundOutput(), (SoundOutput{"pulseaudio", "Studio Monitors"}));
    EXPECT_TRUE(Streaming());
    EXPECT_EQ(form.statusBar()->currentMessage(),
              "Playback uses “Studio Monitors” through the “pulseaudio” driver from the next "
              "Play.");
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);
    EXPECT_TRUE(Streaming());
    EXPECT_EQ(Device().BuffersCreated(), buffers + 1);
    QTest::mouseClick(form.PlayButton(), Qt::LeftButton);

    // The next run starts on it, and the dialog starts from it.
    form_.reset();
    SetSoundOutput({});
    MainForm& again = Start();
    EXPECT_EQ(GetSoundOutput(), (SoundOutput{"pulseaudio", "Studio Monitors"}));
    again.OutputDeviceCommand()->trigger();
    ASSERT_EQ(output_->shown.size(), 1u);
    EXPECT_EQ(output_->shown[0], (SoundOutput{"pulseaudio", "Studio Monitors"}));

    // An output named on the command line rules over the remembered one.
    form_.reset();
    SetSoundOutput({"alsa", ""});
    outputFromCommandLine_ = true;
    Start();
    EXPECT_EQ(GetSoundOutput(), (SoundOutput{"alsa", ""}));
}

TEST_F(MainWindow, TheOutputDialogListsDriversAndTheirDevicesAndTakesATypedDevice) {
    const std::vector<std::string> drivers = SdlDevice::Drivers();
    if (std::find(drivers.begin(), drivers.end(), "dummy") == drivers.end())
        GTEST_SKIP() << "SDL has no dummy audio driver";
    OutputDialog dialog({}, drivers, &SdlDevice::OutputDevices, nullptr);
    ASSERT_EQ(dialog.Driver()->count(), int(drivers.size()) + 1);
    EXPECT_EQ(dialog.Driver()->currentText(), "System default");
    EXPECT_EQ(dialog.Device()->currentText(), "System default device");
    EXPECT_EQ(dialog.Choice(), SoundOutput{});

    // The dummy driver's devices, listed by SDL itself.
    dialog.Driver()->setCurrentIndex(dialog.Driver()->findText("dummy"));
    std::vector<std::string> listed;
    std::string why;
    ASSERT_TRUE(SdlDevice::OutputDevices("dummy", &listed, &why)) << why;
    EXPECT_EQ(dialog.Device()->count(), int(listed.size()) + 1);
    EXPECT_EQ(dialog.Note()->text(), listed.empty()
                                         ? "This driver lists no devices. The choice is used from "
                                           "the next Play."
                                         : "The choice is used from the next Play.");
    EXPECT_EQ(dialog.Choice(), (SoundOutput{"dummy", ""}));
    // A device typed in.
    dialog.Device()->setEditText("USB Interface");
    EXPECT_EQ(dialog.Choice(), (SoundOutput{"dummy", "USB Interface"}));

    // A remembered driver this build lacks is shown, with its device, and
    // why its devices are not listed.
    OutputDialog old({"no-such-driver", "Old Card"}, drivers, &SdlDevice::OutputDevices, nullptr);
    EXPECT_EQ(old.Driver()->currentText(), "no-such-driver");
    EXPECT_EQ(old.Device()->currentText(), "Old Card");
    EXPECT_TRUE(
        old.Note()->text().startsWith("The “no-such-driver” audio driver could not start: "))
        << old.Note()->text().toStdString();
    EXPECT_EQ(old.Choice(), (SoundOutput{"no-such-driver", "Old Card"}));
}
