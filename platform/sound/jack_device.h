// The output over a JACK server (jackd, or PipeWire's JACK server): one
// client "Trellon" for as long as the device lives, with the audio ports
// out_L and out_R (connected to the system's playback ports when the
// client starts; the user may connect them otherwise) and the MIDI port
// midi_in, and the MIDI port clock_out, which sends MIDI clock in time
// with the stream played (see SetSendMidiClock). The server chooses the period and the rate; a
// buffer at another rate is resampled with libsoxr on the way.
//
// The server's process callback is the real-time side: it plays the
// buffers that are playing, then the live source with the MIDI events of
// the period. It never allocates, locks or waits; a buffer taken out of
// it (stopped for good, destroyed) waits until no callback still uses it.
// A client the server dropped is never closed: libjack's close of a dead
// client can crash, so its few bytes stay behind until the program ends.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "sound/sound_device.h"

class JackClient;

class JackDevice : public SoundDevice {
  public:
    static constexpr const char* kDriverName = "jack";
    static constexpr const char* kClientName = "Trellon";

    // Opens the client on the server JACK_DEFAULT_SERVER names (the
    // default one otherwise), never starting one; null and why when none
    // answers.
    static std::shared_ptr<JackDevice> Open(std::string* error);
    // Whether a server answers (a client is opened and closed at once).
    static bool ServerRunning();

    ~JackDevice() override;
    std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) override;
    std::string LastError() const override { return lastError_; }
    bool Gone() const override;
    void SetLiveSource(std::shared_ptr<LiveSource> source) override;
    void SetClockSink(std::shared_ptr<ClockSink> sink) override;

    OutputStatus Status() const override;
    void SetTransportRole(TransportRole role) override;
    TransportView Transport() const override;
    BeatView Beat() const override;
    void Nudge(int frames) override;
    void TransportReady(std::uint64_t frame) override;
    // The client's name on the server (JACK may have made it unique).
    std::string ClientName() const;

  private:
    explicit JackDevice(std::shared_ptr<JackClient> client);

    std::shared_ptr<JackClient> client_;
    std::string lastError_;
};
