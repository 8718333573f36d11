// MIDI from the ALSA sequencer: a port "Trellon" that other programs and
// hardware connect to (aconnect, a patchbay, a session manager). A thread
// of its own waits for events and hands each note, as the bytes of a MIDI
// message, to the sink; the sink must not block (it queues). The input
// stops when it is destroyed.
#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "sound/live_source.h"

// The MIDI message a sequencer event stands for: note-on, note-off,
// control change, program change, pitch bend, aftertouch; false for the
// rest (clock, system exclusive, connections, ...), which mean nothing to
// a drum machine's input.
bool MidiOfSequencerEvent(const snd_seq_event_t& event, MidiEvent* out);

class SequencerInput {
  public:
    using Sink = std::function<void(const MidiEvent&)>;

    // Whether this machine has a sequencer (/dev/snd/seq).
    static bool Available();
    // Opens the port; null and why when the sequencer will not open.
    static std::unique_ptr<SequencerInput> Open(Sink sink, std::string* error);
    ~SequencerInput();
    SequencerInput(const SequencerInput&) = delete;
    SequencerInput& operator=(const SequencerInput&) = delete;

    // "client:port" as aconnect names it.
    std::string Address() const;
    unsigned long Received() const { return received_.load(std::memory_order_relaxed); }

  private:
    SequencerInput(snd_seq_t* seq, int port, Sink sink);
    void Run();

    snd_seq_t* seq_ = nullptr;
    int port_ = -1;
    int wake_[2] = {-1, -1};  // a pipe that ends the thread's wait
    Sink sink_;
    std::atomic<unsigned long> received_{0};
    std::thread thread_;
};
