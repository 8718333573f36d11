// Choosing where playback is heard: one of the sound system's drivers and
// one of that driver's output devices, or the system's choice of either.
// Behind one interface, so tests answer it from a script.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound_output.h"

class OutputChooser {
  public:
    virtual ~OutputChooser() = default;
    // Chooses an output, starting from output; false when cancelled.
    virtual bool ChooseOutput(SoundOutput& output, QWidget* owner) = 0;
};

std::unique_ptr<OutputChooser> MakeOutputChooser();

// Fills names with driver's output devices ("" for the system's driver);
// false, and why, when they cannot be listed.
using DeviceLister = std::function<bool(const std::string& driver, std::vector<std::string>* names,
                                        std::string* why)>;

// The dialog: a list of drivers and, for the one chosen, its devices. A
// device can also be typed, for one that is not listed.
class OutputDialog : public QDialog {
  public:
    OutputDialog(const SoundOutput& current, const std::vector<std::string>& drivers,
                 DeviceLister lister, QWidget* owner);
    SoundOutput Choice() const;
    QComboBox* Driver() const { return driver_; }
    QComboBox* Device() const { return device_; }
    QLabel* Note() const { return note_; }

  private:
    // Lists the chosen driver's devices, keeping the device named if it can.
    void ListDevices(const std::string& keep);

    DeviceLister lister_;
    QComboBox *driver_, *device_;
    QLabel* note_;
};
