// A test JACK client that records what arrives on its MIDI input, each
// message on the server's timeline (the frame of its period's start plus
// its offset), as a device following a clock would see it; and the
// transport as every cycle sees it.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sound/jack_graph_order.h"

struct RecordedMidi {
    jack_nframes_t frame = 0;
    std::vector<unsigned char> bytes;
};

struct TransportSeen {
    jack_nframes_t frame = 0;  // the cycle's first frame
    bool rolling = false;
    bool bbt = false;
    int bar = 0, beat = 0, tick = 0;
    double ticksPerBeat = 0, beatsPerBar = 0, bpm = 0;
};

class JackMidiRecorder {
  public:
    JackMidiRecorder() {
        jack_status_t status{};
        client_ = jack_client_open("clock-recorder", JackNoStartServer, &status);
        if (!client_) return;
        in_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        slots_.resize(1 << 16);
        cycles_.resize(1 << 16);
        jack_set_process_callback(
            client_,
            [](jack_nframes_t n, void* self) {
                return static_cast<JackMidiRecorder*>(self)->Process(n);
            },
            this);
    }
    ~JackMidiRecorder() {
        if (client_) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    bool Ok() const { return client_ && in_; }
    // Starts and connects the port named to the recorder's input.
    bool Start(const std::string& from) {
        if (jack_activate(client_) != 0) return false;
        const std::string me = std::string(jack_get_client_name(client_)) + ":midi_in";
        return jack_connect(client_, from.c_str(), me.c_str()) == 0;
    }
    // What arrived so far, in order.
    std::vector<RecordedMidi> Messages() const {
        const std::size_t n = count_.load(std::memory_order_acquire);
        return {slots_.begin(), slots_.begin() + long(n)};
    }
    // The transport of every cycle so far.
    std::vector<TransportSeen> Transport() const {
        const std::size_t n = cyclesSeen_.load(std::memory_order_acquire);
        return {cycles_.begin(), cycles_.begin() + long(n)};
    }
    // Waits until n messages arrived (or timeoutMs went by).
    bool WaitForCount(std::size_t n, int timeoutMs = 20000) const {
        for (int i = 0; i < timeoutMs && count_.load() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return count_.load() >= n;
    }

  private:
    int Process(jack_nframes_t n) {
        JackCycleBegins();
        const jack_nframes_t start = jack_last_frame_time(client_);
        void* buffer = jack_port_get_buffer(in_, n);
        const std::uint32_t events = jack_midi_get_event_count(buffer);
        std::size_t at = count_.load(std::memory_order_relaxed);
        for (std::uint32_t i = 0; i < events && at < slots_.size(); ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, buffer, i) != 0) continue;
            // Allowed here: a test client, not a real-time one to measure.
            slots_[at].frame = start + e.time;
            slots_[at].bytes.assign(e.buffer, e.buffer + e.size);
            ++at;
        }
        count_.store(at, std::memory_order_release);
        const std::size_t c = cyclesSeen_.load(std::memory_order_relaxed);
        if (c < cycles_.size()) {
            jack_position_t pos;
            TransportSeen& t = cycles_[c];
            t.rolling = jack_transport_query(client_, &pos) == JackTransportRolling;
            t.frame = start;
            t.bbt = (pos.valid & JackPositionBBT) != 0;
            if (t.bbt) {
                t.bar = pos.bar;
                t.beat = pos.beat;
                t.tick = pos.tick;
                t.ticksPerBeat = pos.ticks_per_beat;
                t.beatsPerBar = pos.beats_per_bar;
                t.bpm = pos.beats_per_minute;
            }
            cyclesSeen_.store(c + 1, std::memory_order_release);
        }
        JackCycleEnds();
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::vector<RecordedMidi> slots_;
    std::atomic<std::size_t> count_{0};
    std::vector<TransportSeen> cycles_;
    std::atomic<std::size_t> cyclesSeen_{0};
};
