// A test JACK client that drives the transport as a DAW would: it starts,
// stops and locates it and, as timebase master, gives every cycle a bar,
// beat and tick at its tempo from the transport's frame (4/4, from bar 1
// at frame `barOne`, 0 unless told).
#pragma once

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cmath>

class JackTransportDriver {
  public:
    explicit JackTransportDriver(double bpm, jack_nframes_t barOne = 0)
        : bpm_(bpm), barOne_(barOne) {
        jack_status_t status{};
        client_ = jack_client_open("transport-driver", JackNoStartServer, &status);
        if (!client_) return;
        jack_set_process_callback(
            client_, [](jack_nframes_t, void*) { return 0; }, nullptr);
        if (jack_activate(client_) != 0) return;
        master_ = jack_set_timebase_callback(
                      client_, 0,
                      [](jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int,
                         void* self) { static_cast<JackTransportDriver*>(self)->Position(pos); },
                      this) == 0;
    }
    ~JackTransportDriver() {
        if (client_) {
            jack_release_timebase(client_);
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    bool Ok() const { return client_ && master_; }
    void SetTempo(double bpm) { bpm_.store(bpm); }
    void Start() { jack_transport_start(client_); }
    void Stop() { jack_transport_stop(client_); }
    void Locate(jack_nframes_t frame) { jack_transport_locate(client_, frame); }
    // The frame of bar (from 1) at the tempo now.
    jack_nframes_t BarFrame(double bar) const {
        return barOne_ + jack_nframes_t(std::llround((bar - 1) * 4 * 60.0 * Rate() / bpm_.load()));
    }
    unsigned Rate() const { return jack_get_sample_rate(client_); }

  private:
    void Position(jack_position_t* pos) {
        const double bpm = bpm_.load();
        // The first cycles may come before the server gave the rate.
        const double rate = pos->frame_rate ? pos->frame_rate : jack_get_sample_rate(client_);
        const double beats =
            std::max(0.0, double(pos->frame) - double(barOne_)) * bpm / (60.0 * rate);
        pos->valid = JackPositionBBT;
        pos->beats_per_bar = 4;
        pos->beat_type = 4;
        pos->ticks_per_beat = 1920;
        pos->beats_per_minute = bpm;
        pos->bar = int(beats / 4) + 1;
        pos->beat = int(std::fmod(beats, 4.0)) + 1;
        pos->tick = int((beats - std::floor(beats)) * 1920);
        pos->bar_start_tick = (pos->bar - 1) * 4 * 1920.0;
    }

    jack_client_t* client_ = nullptr;
    bool master_ = false;
    std::atomic<double> bpm_;
    const jack_nframes_t barOne_;
};
