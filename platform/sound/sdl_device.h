// The default sound device: each buffer gets an SDL2 audio stream of its own
// with a short callback period; only SDL's audio subsystem is used.
#pragma once

#include <string>
#include <vector>

#include "sound/sound_device.h"

class SdlDevice : public SoundDevice {
  public:
    // Starts SDL's audio on output's driver and checks that its device
    // opens; null (and why in *error) when it does not.
    static std::shared_ptr<SdlDevice> Open(const SoundOutput& output, std::string* error);
    ~SdlDevice() override;
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override;
    std::string LastError() const override { return lastError_; }

    // SDL keeps per-thread data only its own threads free on exit.
    static void ReleaseThreadState();

    // SDL's audio drivers, in the order it tries them.
    static std::vector<std::string> Drivers();
    // The output devices of driver ("" for the one SDL would start). Only
    // one driver runs at a time: while another plays, false and why.
    static bool OutputDevices(const std::string& driver, std::vector<std::string>* names,
                              std::string* error);

    // Frames per callback: also how much audio the sound server holds
    // ahead, which must outlast the scheduling delays of a busy desktop.
    static constexpr int kPeriodFrames = 2048;
    static constexpr int kMinPeriodFrames = 64;
    // The period for a ring of so many frames: at most a quarter of it, so
    // that a callback never asks for a half the program has had no time
    // to refill (the callback takes what is there; it never waits).
    static int PeriodFor(long ringFrames);
    // What a PulseAudio stream (also one through PipeWire's PulseAudio
    // server) holds ahead of the speaker. SDL asks for one period, so a
    // client thread kept from running for 46 ms leaves the server without
    // audio; two periods' worth survives the stalls of a busy machine.
    // A PULSE_LATENCY_MSEC of the user's own is kept.
    static constexpr const char* kPulseLatencyMsec = "100";

  private:
    explicit SdlDevice(SoundOutput output) : output_(std::move(output)) {}
    SoundOutput output_;
    std::string lastError_;
};
