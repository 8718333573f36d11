// MIDI clock on the ALSA sequencer: a port "Trellon clock" that
// synthesizers, drum machines and sequencers connect to (aconnect, a
// patchbay), sending what the JACK port clock_out sends, each message
// scheduled on an ALSA queue for the moment its frame is heard.
//
// The output's callback hands messages in through Send (a ClockSink: no
// lock, allocation or system call; a ring of fixed size, and what does not
// fit is dropped and counted). A thread of its own takes them out every
// millisecond and schedules them; the queue's timer, not the thread,
// places them. The port closes when the clock is destroyed.
#pragma once

#include <alsa/asoundlib.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "sound/clock_sink.h"

// The sequencer event a MIDI clock message stands for (Clock, Start,
// Continue, Stop, Song Position Pointer); false for any other message.
bool SequencerEventOfClock(const std::uint8_t* data, std::size_t size, snd_seq_event_t* out);

class SequencerClock : public ClockSink {
  public:
    // Opens the port and starts its queue; null and why when the sequencer
    // will not open.
    static std::shared_ptr<SequencerClock> Open(std::string* error);
    ~SequencerClock() override;
    SequencerClock(const SequencerClock&) = delete;
    SequencerClock& operator=(const SequencerClock&) = delete;

    void Send(const std::uint8_t* data, std::size_t size, std::int64_t dueUs) override;
    // "client:port" as aconnect names it.
    std::string Address() const;
    unsigned long Sent() const { return sent_.load(std::memory_order_relaxed); }
    unsigned long Dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    SequencerClock(snd_seq_t* seq, int port, int queue, std::int64_t queueZeroUs);
    void Run();
    // Schedules what the ring holds; the thread's.
    void Drain();

    struct Message {
        std::uint8_t data[3];
        std::uint8_t size;
        std::int64_t dueUs;
    };
    static constexpr std::size_t kRing = 1024;

    snd_seq_t* seq_ = nullptr;
    int port_ = -1, queue_ = -1;
    std::int64_t queueZeroUs_ = 0;  // the steady clock's microsecond of the queue's time 0
    // One writer (the callback), one reader (the thread).
    std::array<Message, kRing> ring_{};
    std::atomic<std::size_t> head_{0}, tail_{0};
    std::atomic<unsigned long> sent_{0}, dropped_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: it starts once the rest is made
};
