// Where the default sound device plays: one of SDL's audio drivers and one
// of that driver's output devices. An empty name leaves the choice to the
// system (SDL's order of drivers; the driver's default device).
#pragma once

#include <string>

struct SoundOutput {
    std::string driver;
    std::string device;

    bool operator==(const SoundOutput& o) const { return driver == o.driver && device == o.device; }
    bool operator!=(const SoundOutput& o) const { return !(*this == o); }
};

// What the output is called in messages: "the system's default device
// through the “pulseaudio” driver", "“USB Audio” through any driver".
std::string DescribeSoundOutput(const SoundOutput& output, const std::string& runningDriver = "");
