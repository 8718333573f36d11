// A test JACK client: it sends MIDI notes into a port at chosen frames of
// the server's timeline and records two audio ports, frame for frame, on
// that same timeline. Its own process callback does both, so what it
// hears of a note it sent comes back after the graph's own latency.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sound/jack_graph_order.h"

struct ProbeNote {
    jack_nframes_t frame;  // on the server's timeline
    unsigned char bytes[3];
    unsigned char size = 3;
};

class JackProbe {
  public:
    // Records up to seconds of audio at the server's rate.
    explicit JackProbe(double seconds = 20.0) {
        jack_status_t status{};
        client_ = jack_client_open("probe", JackNoStartServer, &status);
        if (!client_) return;
        midi_ =
            jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        inL_ = jack_port_register(client_, "in_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        inR_ = jack_port_register(client_, "in_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        left_.assign(std::size_t(seconds * jack_get_sample_rate(client_)), 0.0f);
        right_.assign(left_.size(), 0.0f);
        began_.assign(left_.size() / 16 + 1, 0);
        notes_.resize(1 << 16);
        sentAt_.resize(notes_.size());
        jack_set_xrun_callback(
            client_,
            [](void* self) {
                static_cast<JackProbe*>(self)->xruns_.fetch_add(1);
                return 0;
            },
            this);
        jack_set_process_callback(
            client_,
            [](jack_nframes_t n, void* self) { return static_cast<JackProbe*>(self)->Process(n); },
            this);
    }
    ~JackProbe() {
        if (client_) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    bool Ok() const { return client_ && midi_ && inL_ && inR_; }
    unsigned Rate() const { return jack_get_sample_rate(client_); }
    unsigned Period() const { return jack_get_buffer_size(client_); }

    // Starts and connects to client's ports (midi_in, out_L, out_R).
    bool Start(const std::string& client) {
        return Start(client + ":midi_in", client + ":out_L", client + ":out_R");
    }
    // Starts and connects to the ports named.
    bool Start(const std::string& midiIn, const std::string& left, const std::string& right) {
        if (!Activate()) return false;
        const std::string me = jack_get_client_name(client_);
        return jack_connect(client_, (me + ":midi_out").c_str(), midiIn.c_str()) == 0 &&
               jack_connect(client_, left.c_str(), (me + ":in_L").c_str()) == 0 &&
               jack_connect(client_, right.c_str(), (me + ":in_R").c_str()) == 0;
    }
    // Starts and records client's out_L and out_R only, sending nothing:
    // with no port of its own feeding the client, what it hears is of the
    // same period the client played it in.
    bool Listen(const std::string& client) {
        if (!Activate()) return false;
        const std::string me = jack_get_client_name(client_);
        return jack_connect(client_, (client + ":out_L").c_str(), (me + ":in_L").c_str()) == 0 &&
               jack_connect(client_, (client + ":out_R").c_str(), (me + ":in_R").c_str()) == 0;
    }
    // Starts and sends into the MIDI port named only.
    bool Feed(const std::string& midiIn) {
        if (!Activate()) return false;
        const std::string me = jack_get_client_name(client_);
        return jack_connect(client_, (me + ":midi_out").c_str(), midiIn.c_str()) == 0;
    }
    // Starts unconnected: recording from the first period on.
    bool Activate() {
        if (!active_ && jack_activate(client_) != 0) return false;
        active_ = true;
        for (int i = 0; i < 2000 && !recording_.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return recording_.load();
    }
    // The frame the server is at about now.
    jack_nframes_t Now() const { return jack_frame_time(client_); }
    // Sends notes (frames ascending, all later than Now plus two periods);
    // not while another batch waits. The number of the first of them, for
    // SentAt.
    std::size_t Send(const std::vector<ProbeNote>& notes) {
        const std::size_t at = published_.load(std::memory_order_acquire);
        for (const ProbeNote& n : notes) notes_[at + std::size_t(&n - notes.data())] = n;
        published_.store(at + notes.size(), std::memory_order_release);
        return at;
    }
    // The frame note number i was sent at, once the recording has passed
    // it: its own, or the start of the first period the server ran after
    // it when the server skipped the period that held it (counted in Late).
    jack_nframes_t SentAt(std::size_t i) const { return sentAt_[i]; }
    // Waits until the recording has passed frame (or timeoutMs went by).
    bool WaitFor(jack_nframes_t frame, int timeoutMs = 20000) {
        for (int i = 0; i < timeoutMs; ++i) {
            if (recording_.load() && jack_nframes_t(frame - Recorded()) > 0x7FFFFFFF) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // What was recorded from frame on (the server's timeline), count frames.
    std::vector<float> Left(jack_nframes_t frame, std::size_t count) const {
        return Part(left_, frame, count);
    }
    std::vector<float> Right(jack_nframes_t frame, std::size_t count) const {
        return Part(right_, frame, count);
    }
    // The frame the recording has reached: what is heard from it on
    // comes from what happens after now.
    jack_nframes_t Recorded() const { return first_ + jack_nframes_t(written_.load()); }
    // Where the first value that is not silence is in part; -1 for none.
    static long FirstSound(const std::vector<float>& part) {
        for (std::size_t i = 0; i < part.size(); ++i)
            if (part[i] != 0.0f) return long(i);
        return -1;
    }
    // Where each sound in part begins (a sound: a run of values not 0).
    static std::vector<long> Onsets(const std::vector<float>& part) {
        std::vector<long> at;
        for (std::size_t i = 0; i < part.size(); ++i)
            if (part[i] != 0.0f && (i == 0 || part[i - 1] == 0.0f)) at.push_back(long(i));
        return at;
    }
    // The steady clock's microsecond at which frame of the recording is
    // heard from the output port named (its playback latency added), from
    // the time of its period's start as the server told it then.
    std::int64_t HeardUs(jack_nframes_t frame, const std::string& port) const {
        jack_latency_range_t latency{};
        if (jack_port_t* p = jack_port_by_name(client_, port.c_str()))
            jack_port_get_latency_range(p, JackPlaybackLatency, &latency);
        const std::size_t at = jack_nframes_t(frame - first_), period = Period();
        const std::size_t cycle = std::min(at / period, began_.size() - 1);
        return began_[cycle] + std::int64_t(at - cycle * period) * 1000000 / Rate() +
               std::int64_t(latency.max) * 1000000 / Rate();
    }
    // Notes whose frame had passed when their period came.
    unsigned long Late() const { return late_.load(); }
    // The server's xruns (cycles not finished in time) since the probe began.
    unsigned long Xruns() const { return xruns_.load(); }

  private:
    std::vector<float> Part(const std::vector<float>& v, jack_nframes_t frame,
                            std::size_t count) const {
        std::vector<float> out(count, 0.0f);
        const long from = long(jack_nframes_t(frame - first_));
        for (std::size_t i = 0; i < count; ++i)
            if (from + long(i) >= 0 && std::size_t(from) + i < written_.load())
                out[i] = v[std::size_t(from) + i];
        return out;
    }
    int Process(jack_nframes_t n) {
        JackCycleBegins();
        const jack_nframes_t start = jack_last_frame_time(client_);
        void* midi = jack_port_get_buffer(midi_, n);
        jack_midi_clear_buffer(midi);
        const std::size_t published = published_.load(std::memory_order_acquire);
        while (sent_ < published) {
            const ProbeNote& note = notes_[sent_];
            const jack_nframes_t offset = note.frame - start;
            if (offset >= n && offset < 0x80000000u) break;  // a later period's
            const bool late = offset >= n;
            if (late) late_.fetch_add(1);
            jack_midi_event_write(midi, late ? 0 : offset, note.bytes, note.size);
            sentAt_[sent_] = late ? start : note.frame;
            ++sent_;
        }
        if (!recording_.load()) {
            first_ = start;
            recording_.store(true);
        }
        // On the server's timeline: cycles the server skipped (an xrun)
        // stay silence in the recording.
        const std::size_t at = std::min<std::size_t>(
            std::max<std::size_t>(written_.load(), start - first_), left_.size());
        const std::size_t room = std::min<std::size_t>(n, left_.size() - at);
        const auto* l = static_cast<const float*>(jack_port_get_buffer(inL_, n));
        const auto* r = static_cast<const float*>(jack_port_get_buffer(inR_, n));
        std::copy(l, l + room, left_.begin() + long(at));
        std::copy(r, r + room, right_.begin() + long(at));
        if (at / n < began_.size()) {
            const std::int64_t steady = std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count();
            began_[at / n] = std::int64_t(jack_frames_to_time(client_, start)) -
                             std::int64_t(jack_get_time()) + steady;
        }
        written_.store(at + room);
        JackCycleEnds();
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t *midi_ = nullptr, *inL_ = nullptr, *inR_ = nullptr;
    std::vector<ProbeNote> notes_;
    std::vector<jack_nframes_t> sentAt_;  // the callback's, read once recorded past
    std::atomic<std::size_t> published_{0};
    std::size_t sent_ = 0;
    std::vector<float> left_, right_;
    // The steady clock's microsecond each recorded period began at.
    std::vector<std::int64_t> began_;
    jack_nframes_t first_ = 0;
    bool active_ = false;
    std::atomic<bool> recording_{false};
    std::atomic<std::size_t> written_{0};
    std::atomic<unsigned long> late_{0}, xruns_{0};
};
