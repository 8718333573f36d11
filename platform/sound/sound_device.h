// The device behind DirectSoundCreate: it gives every buffer a stream that
// plays it. SdlDevice is the default; tests install a VirtualDevice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/clock_sink.h"
#include "sound/live_source.h"
#include "sound/secondary_buffer.h"
#include "sound/sound_output.h"

// What an output that runs on its own clock has met since it opened, for
// the status bar.
struct OutputStatus {
    bool live = false;    // a device with a callback of its own (JACK)
    unsigned rate = 0;    // frames per second
    unsigned period = 0;  // frames per callback
    unsigned long xruns = 0;
    unsigned long periodChanges = 0;
    unsigned long droppedEvents = 0;  // MIDI events past what a period holds
    bool gone = false;                // its server ended or dropped the client
};

// How an output with a transport of its own (JACK's) takes part in it:
// not at all, leading it (its start, stop and the bar, beat and tempo of
// what plays are published), or following it; or following the MIDI clock
// that comes with its MIDI input instead.
enum class TransportRole { kNone, kLead, kFollow, kFollowClock };

// The transport of an output that has one (JACK's), or the MIDI clock
// it follows, as its last period saw it while following.
struct TransportView {
    bool known = false;    // a transport is followed and has been seen
    bool rolling = false;  // rolling
    // Starting: the transport waits at frame until its slow clients are
    // ready (see TransportReady), then rolls from there.
    bool starting = false;
    std::uint64_t frame = 0;  // the transport's frame at that period's start
    unsigned rate = 0;        // the output's frames per second
    unsigned period = 0;
    std::uint64_t cycle = 0;  // that period's number: a newer view has a larger one
    bool bbt = false;         // its timebase master gives bar, beat and tempo
    int bar = 1, beat = 1;    // from 1
    double tick = 0, ticksPerBeat = 0, beatsPerBar = 0, bpm = 0;
};

// Where the beat an output with a clock of its own plays stands at the
// start of its next period, and when that period's first frame is heard,
// for whoever keeps the beat in phase with another clock.
struct BeatView {
    bool timed = false;        // an output that knows when its frames are heard
    std::int64_t heardUs = 0;  // the steady clock's microsecond the next period is heard at
    unsigned rate = 0;         // the output's frames per second
    unsigned period = 0;       // frames per period
    std::uint64_t cycle = 0;   // the period's number: a newer view has a larger one
    bool beating = false;      // a stream with a beat plays
    double beat = 0;           // beats into the pass then
    double beatsPerPass = 0;
    double bpm = 0;  // the tempo its ticks are played at
};

class SoundDevice {
  public:
    virtual ~SoundDevice() = default;
    // A buffer this device plays; null when no stream can be opened for it.
    virtual std::shared_ptr<DirectSoundSecondaryBuffer8> CreateBuffer(const DSBUFFERDESC& desc) = 0;
    // Why the last CreateBuffer gave null, as a sentence naming what was tried.
    virtual std::string LastError() const { return {}; }
    // Whether the device can play no more (its server is gone): the next
    // open makes a new one.
    virtual bool Gone() const { return false; }
    // The source of live hits its callback mixes after the buffers; a
    // device without a callback of its own mixes none.
    virtual void SetLiveSource(std::shared_ptr<LiveSource>) {}
    // Where the MIDI clock goes besides the device's own clock port; a
    // device that sends no clock sends it nowhere.
    virtual void SetClockSink(std::shared_ptr<ClockSink>) {}
    virtual OutputStatus Status() const { return {}; }
    virtual void SetTransportRole(TransportRole) {}
    virtual TransportView Transport() const { return {}; }
    virtual BeatView Beat() const { return {}; }
    // Moves the stream that plays the beat by frames (positive: ahead),
    // gently (a frame a period); a new request replaces what is left of
    // the last. A device that cannot does nothing.
    virtual void Nudge(int frames) { (void)frames; }
    // While following a transport that is starting at frame: whatever is
    // to roll with it is ready (a stream held with StartWithTransport), so
    // it may roll. A transport with no slow clients rolls at once.
    virtual void TransportReady(std::uint64_t frame) { (void)frame; }
};

// Opens the default device: the one installed with SetDefaultSoundDevice,
// else SDL's, on the chosen output. Null when none can be opened; then
// DefaultSoundDeviceError says why.
std::shared_ptr<SoundDevice> OpenDefaultSoundDevice();
std::string DefaultSoundDeviceError();
// Replaces the default device (tests; null returns to SDL).
void SetDefaultSoundDevice(std::shared_ptr<SoundDevice> device);

// The output SDL's device plays on. A new choice is used from the next
// open: the device open now is let go, and those who hold it notice a new
// SoundOutputGeneration.
void SetSoundOutput(const SoundOutput& output);
SoundOutput GetSoundOutput();
unsigned long SoundOutputGeneration();
// The drivers an output can use, in the order offered: JACK, then SDL's.
// SDL's "disk" (a file in the current folder) and "dummy" (nothing heard)
// are left out unless TRELLON_TEST_AUDIO_DRIVERS is set.
std::vector<std::string> OutputDrivers();
// The output devices of driver ("" for the one SDL would start); JACK
// plays on the ports its client is connected to, and lists none.
bool OutputDevicesOf(const std::string& driver, std::vector<std::string>* names,
                     std::string* error);

// Lets go of SDL's device, so that its driver stops once nobody plays on it
// (an installed device stays).
void ReleaseDefaultSoundDevice();
// The live source every default device opened from now on mixes (null:
// none); the one open now takes it at once.
void SetLiveSource(std::shared_ptr<LiveSource> source);
// The sink every default device opened from now on sends its MIDI clock to
// as well (null: none); the one open now takes it at once.
void SetClockSink(std::shared_ptr<ClockSink> sink);
// Whether an output with a callback of its own sends MIDI clock (24
// pulses a beat, Start, Stop, Continue, Song Position Pointer) in time
// with the stream it plays, on its clock port. On by default; any thread.
void SetSendMidiClock(bool send);
bool SendsMidiClock();
// The part the default device (the one open now and those opened later)
// takes in its transport; none by default.
void SetTransportRole(TransportRole role);
TransportRole GetTransportRole();
// The transport the default device open now follows (nothing known when
// none is open or it follows none).
TransportView DefaultTransport();
// Where the beat of the default device open now stands (nothing timed when
// none is open or it keeps no clock of its own).
BeatView DefaultBeat();
// Nudges the beat of the default device open now.
void NudgeDefaultBeat(int frames);
// Tells the transport the default device open now follows that Trellon is
// ready to roll from frame.
void DefaultTransportReady(std::uint64_t frame);
// Whether the default device is (or would open as) one with a callback
// of its own that mixes live hits: JACK, chosen or running.
bool DefaultOutputIsLive();
// The status of the default device open now (all zero when none is).
OutputStatus DefaultOutputStatus();
// Frees what the sound layer keeps for the calling thread (SDL's error
// text, for one); a thread other than SDL's own that opened or played
// calls it as it ends.
void ReleaseSoundThreadState();
