#include "sound/jack_device.h"

#include <soxr.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "sound/clock_follower.h"
#include "sound/event_service.h"
#include "sound/jack_graph_order.h"
#include "sound/jack_library.h"
#include "sound/pulse_clock.h"

namespace {

// The library; only reached once LoadJackLibrary gave it.
const JackLibrary& J() {
    return *LoadJackLibrary();
}

// libjack reports through a process-wide function; its last message says
// why an open failed, and nothing reaches stderr.
std::mutex& MessageMutex() {
    static std::mutex m;
    return m;
}
std::string& LastMessage() {
    static std::string s;
    return s;
}
void KeepMessage(const char* message) {
    std::lock_guard<std::mutex> lock(MessageMutex());
    LastMessage() = message ? message : "";
}
void Quiet(const char*) {}

void InstallMessageFunctions() {
    static std::once_flag once;
    std::call_once(once, [] {
        J().jack_set_error_function(KeepMessage);
        J().jack_set_info_function(Quiet);
    });
}

std::string WhyNoClient(jack_status_t status) {
    if (status & JackServerFailed) return "no JACK server is running";
    if (status & JackVersionError) return "the JACK server speaks another protocol version";
    if (status & JackShmFailure) return "the JACK server's shared memory cannot be reached";
    std::lock_guard<std::mutex> lock(MessageMutex());
    return LastMessage().empty() ? "the JACK server refused the client" : LastMessage();
}

}  // namespace

class JackBuffer;

// The client and everything its process callback touches.
class JackClient {
  public:
    static constexpr unsigned kMaxFrames = 8192;
    static constexpr std::size_t kSlots = 4;
    static constexpr std::size_t kMaxEvents = 2048;
    static constexpr std::size_t kMaxPulses = 512;
    static constexpr int kMaxSlip = 4;  // frames a period a nudge moves the beat by

    JackClient() : events_(kMaxEvents) {}
    ~JackClient() {
        // A client the server dropped is left as it is: libjack's close
        // of a dead client can touch what the server's end took with it.
        if (client_ && !Gone()) {
            J().jack_deactivate(client_);
            J().jack_client_close(client_);
        }
    }

    bool Open(std::string* error);
    unsigned Rate() const { return rate_.load(std::memory_order_relaxed); }
    bool Gone() const { return gone_.load(std::memory_order_acquire); }
    std::string Name() const { return client_ && !Gone() ? J().jack_get_client_name(client_) : ""; }
    OutputStatus Status() const {
        OutputStatus s;
        s.live = true;
        s.rate = Rate();
        s.period = period_.load(std::memory_order_relaxed);
        s.xruns = xruns_.load(std::memory_order_relaxed);
        s.periodChanges = periodChanges_.load(std::memory_order_relaxed);
        s.droppedEvents = dropped_.load(std::memory_order_relaxed);
        s.gone = Gone();
        return s;
    }

    // A buffer starts or stops being played by the callback. Taking one
    // out for good waits until no callback still uses it.
    bool Attach(JackBuffer* buffer);
    void Detach(JackBuffer* buffer, bool wait);
    void SetLiveSource(std::shared_ptr<LiveSource> source);
    void SetClockSink(std::shared_ptr<ClockSink> sink);
    void SetTransportRole(TransportRole role);
    TransportView Transport() const;
    BeatView Beat() const;
    // Moves the beat's stream by frames (positive: ahead), a frame a
    // period; a new request replaces what is left of the last.
    void Nudge(int frames) { nudge_.store(frames, std::memory_order_relaxed); }
    // While following: ready to roll when the transport starts from frame.
    void TransportReady(std::uint64_t frame) {
        readyFrame_.store(std::int64_t(frame), std::memory_order_release);
    }
    // The callback's: the period's first frame on the client's clock, and
    // the steady clock's microsecond it is heard at.
    std::uint64_t CycleClock() const { return clock_; }
    std::int64_t CycleHeardUs() const { return cycleHeardUs_; }
    // The callback's: whether the period follows a transport, and if so
    // whether it rolls this period and from which of its frames.
    bool CycleFollowsTransport() const { return cycleFollows_; }
    bool CycleRolling() const { return cycleRolling_; }
    std::uint64_t CycleTransportFrame() const { return cycleTransportFrame_; }

  private:
    // While following: the transport as this period sees it.
    void SeeTransport();
    // The slow-sync callback: whether Trellon may roll from pos.
    int Sync(jack_transport_state_t state, const jack_position_t* pos);
    int Process(jack_nframes_t frames);
    // The period's MIDI clock and transport, from the beats of the buffers
    // it plays.
    void FollowBeat(jack_nframes_t frames);
    // When the period's frames are heard, from the server's clock and the
    // ports' playback latency.
    void TimeCycle();
    // As the transport's master: the bar, beat and tempo of the next cycle.
    void PublishPosition(jack_position_t* position);
    void WaitIdle() const;

    jack_client_t* client_ = nullptr;
    jack_port_t* outL_ = nullptr;
    jack_port_t* outR_ = nullptr;
    jack_port_t* midiIn_ = nullptr;
    jack_port_t* clockOut_ = nullptr;
    std::array<std::atomic<JackBuffer*>, kSlots> playing_{};
    std::atomic<int> inProcess_{0};
    std::atomic<LiveSource*> live_{nullptr};
    std::mutex liveMutex_;  // SetLiveSource's and SetClockSink's; never the callback's
    std::shared_ptr<LiveSource> liveOwner_;
    std::atomic<ClockSink*> clockSink_{nullptr};
    std::shared_ptr<ClockSink> clockSinkOwner_;  // under liveMutex_
    std::vector<MidiEvent> events_;              // the callback's own
    std::uint64_t clock_ = 0;  // the callback's own: frames since the client began
    // The callback's own: the clock's messages of the period, and whether
    // a Start or Continue was sent that no Stop has ended.
    struct ClockMessage {
        std::uint32_t frame;
        std::uint8_t size;
        std::uint8_t data[3];
    };
    std::array<ClockPulse, kMaxPulses> pulses_{};
    std::array<ClockMessage, 3 * kMaxPulses + 2> clockMessages_{};
    bool clockRunning_ = false;
    // The callback's own: whether the beat runs (a start no stop ended),
    // and where it stands at the next cycle's start.
    bool beatRunning_ = false;
    bool nextKnown_ = false;
    BeatPosition next_;
    double lastBpm_ = 120, lastBeatsPerPass_ = 4;
    std::atomic<TransportRole> role_{TransportRole::kNone};
    std::mutex roleMutex_;  // SetTransportRole's
    bool master_ = false;   // the timebase callback is set
    // The transport followed, as the callback last saw it: the callback
    // only tries the lock (it never waits; a period whose try fails
    // leaves the view of the one before).
    mutable std::mutex transportMutex_;
    TransportView transport_;
    // The transport frame the engine readied a start for (-1: none); the
    // callback clears it once the transport no longer starts.
    std::atomic<std::int64_t> readyFrame_{-1};
    bool cycleFollows_ = false, cycleRolling_ = false;  // the callback's own
    std::uint64_t cycleTransportFrame_ = 0;             // the callback's own
    std::uint64_t cycles_ = 0;                          // the callback's own
    std::int64_t cycleHeardUs_ = 0;                     // the callback's own
    // Where the beat stands, as the callback last saw it (tried, as the
    // transport's view is).
    mutable std::mutex beatMutex_;
    BeatView beatView_;
    std::atomic<int> nudge_{0};
    ClockFollower clockIn_;  // the callback's own
    std::atomic<unsigned> rate_{0}, period_{0};
    std::atomic<unsigned long> xruns_{0}, periodChanges_{0}, dropped_{0};
    std::atomic<bool> gone_{false};
};

// A buffer the client's callback plays, through a resampler when its rate
// is not the server's.
class JackBuffer : public DirectSoundSecondaryBuffer8 {
  public:
    JackBuffer(const DSBUFFERDESC& desc, std::shared_ptr<JackClient> client)
        : DirectSoundSecondaryBuffer8(desc,
                                      [this](bool run) {
                                          if (run)
                                              client_->Attach(this);
                                          else
                                              client_->Detach(this, false);
                                      }),
          client_(std::move(client)),
          bytes_(std::size_t(kChunk) * std::max<LONG>(Format().nBlockAlign, 1)),
          in_(std::size_t(kChunk) * 2),
          out_(std::size_t(JackClient::kMaxFrames) * 2) {}
    ~JackBuffer() override {
        client_->Detach(this, true);
        if (soxr_) soxr_delete(soxr_);
    }
    bool Lost() const override { return client_->Gone(); }

    // Readies the resampler for the server's rate; false and why when the
    // format cannot be played.
    bool Prepare(std::string* error) {
        const WAVEFORMATEX& f = Format();
        if ((f.nBitsPerSample != 8 && f.nBitsPerSample != 16) || f.nChannels < 1 ||
            f.nChannels > 2) {
            *error = "JACK plays 8- and 16-bit mono and stereo buffers only.";
            return false;
        }
        const unsigned rate = client_->Rate();
        if (unsigned(f.lSamplesPerSec) == rate) return true;
        soxr_error_t e = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_ = soxr_create(double(f.lSamplesPerSec), double(rate), 2, &e, &io, &quality, nullptr);
        if (!soxr_ || e) {
            *error = std::string("The resampler could not start: ") + (e ? e : "no reason given");
            return false;
        }
        soxr_set_input_fn(soxr_, &JackBuffer::Input, this, kChunk);
        return true;
    }

    // The real-time side: adds the next frames into left and right, the
    // period beginning at frame `clock` of the client's clock. A slip of
    // a few frames plays that many more (or fewer) of the stream in the
    // period, interpolated across it, to move its beat; returns whether
    // it did.
    bool Pull(float* left, float* right, unsigned frames, std::uint64_t clock, int slip = 0) {
        // A start held to its frame: nothing before it.
        const unsigned held = Held(frames);
        if (held == frames) return false;
        // A start that came late skips what it missed: the beat keeps its
        // place.
        while (skip_ > 0) {
            const unsigned n = std::min(skip_, kChunk);
            RenderFloat(n);
            skip_ -= n;
            playedOut_ += n;
        }
        left += held;
        right += held;
        clock += held;
        frames -= held;
        // Where the buffer stands at the period's start, for FramesPlayedAt
        // (a sequence lock, all in one order: the callback never waits for
        // a reader).
        const unsigned seq = seq_.load();
        seq_.store(seq + 1);
        anchorClock_.store(clock);
        anchorPlayed_.store(playedOut_);
        seq_.store(seq + 2);
        playedOut_ += frames;
        bool slipped = false;
        unsigned first = 0;
        if (!soxr_ && slip != 0 && frames >= 64) {
            // n frames heard from n + slip of the stream, its ends kept.
            const unsigned n = std::min(frames, kChunk - 1);
            const unsigned m = unsigned(int(n) + slip);
            RenderFloat(m);
            for (unsigned i = 0; i < n; ++i) {
                const double at = double(i) * (m - 1) / (n - 1);
                const unsigned k = unsigned(at), k1 = std::min(k + 1, m - 1);
                const float f = float(at - k);
                left[i] += in_[2 * k] * (1 - f) + in_[2 * k1] * f;
                right[i] += in_[2 * k + 1] * (1 - f) + in_[2 * k1 + 1] * f;
            }
            first = n;
            playedOut_ = std::uint64_t((long long)playedOut_ + slip);
            slipped = true;
        }
        playedCount_.store(playedOut_, std::memory_order_relaxed);
        if (!soxr_) {
            for (unsigned done = first; done < frames;) {
                const unsigned n = std::min(frames - done, kChunk);
                RenderFloat(n);
                for (unsigned i = 0; i < n; ++i) {
                    left[done + i] += in_[2 * i];
                    right[done + i] += in_[2 * i + 1];
                }
                done += n;
            }
            return slipped;
        }
        const std::size_t got = soxr_output(soxr_, out_.data(), frames);
        for (std::size_t i = 0; i < got; ++i) {
            left[i] += out_[2 * i];
            right[i] += out_[2 * i + 1];
        }
        return false;
    }

    void MarkPass(const PassMark& mark) override { beat_.Push(mark); }
    void StartAt(std::int64_t heardUs) override { startAt_.store(heardUs); }
    void StartWithTransport(std::uint64_t frame) override {
        transportFrame_.store(std::int64_t(frame));
    }
    // The real-time side, before Pull: the MIDI clock pulses of the next
    // frames, and whether the stream has a beat.
    std::size_t Beat(unsigned frames, ClockPulse* out, std::size_t max, long* stopsAt) {
        const unsigned rate = client_->Rate(), own = unsigned(Format().lSamplesPerSec);
        const double ratio = soxr_ && own > 0 ? double(rate) / own : 1.0;
        const unsigned held = Held(frames);
        if (held == frames) return 0;
        const std::size_t n =
            beat_.Advance(playedOut_ + skip_, frames - held, ratio, out, max, stopsAt);
        for (std::size_t i = 0; i < n; ++i) out[i].frame += held;
        if (*stopsAt >= 0) *stopsAt += held;
        return n;
    }
    bool Beating() const { return beat_.Running(); }
    // The real-time side, before Pull: where the beat stands once the
    // next frames have been played.
    bool PositionAfter(unsigned frames, BeatPosition* out) {
        const unsigned rate = client_->Rate(), own = unsigned(Format().lSamplesPerSec);
        const double ratio = soxr_ && own > 0 ? double(rate) / own : 1.0;
        const unsigned held = Held(frames);
        if (held == frames) return false;
        return beat_.PositionAt(playedOut_ + skip_ + frames - held, ratio, own, out);
    }

    bool FramesPlayedAt(std::uint64_t at, std::uint64_t* played) const override {
        std::uint64_t clock = 0, out = 0;
        for (;;) {
            const unsigned before = seq_.load();
            if (before == 0) return false;  // not played yet
            if (before & 1) continue;
            clock = anchorClock_.load();
            out = anchorPlayed_.load();
            if (seq_.load() == before) break;
        }
        const long long device = (long long)out + ((long long)at - (long long)clock);
        if (device < 0) return false;
        *played = ToOwnRate(std::uint64_t(device));
        return true;
    }
    std::uint64_t FramesPlayed() const override {
        return ToOwnRate(playedCount_.load(std::memory_order_relaxed));
    }

  private:
    static constexpr unsigned kChunk = 1024;

    // The callback's: how many of this period's frames come before the
    // stream's first (all of them while its start is still ahead).
    unsigned Held(unsigned frames) {
        const std::uint64_t clock = client_->CycleClock();
        if (clock == heldClock_) return held_;
        heldClock_ = clock;
        held_ = 0;
        if (const std::int64_t from = transportFrame_.load(std::memory_order_relaxed);
            !started_ && from >= 0 && client_->CycleFollowsTransport()) {
            // Held until the rolling transport reaches its frame; one that
            // rolled past it (its sync timed out, the stream was readied
            // late) has moved past frames that are skipped.
            if (!client_->CycleRolling()) return held_ = frames;
            const long long ahead = from - (long long)client_->CycleTransportFrame();
            if (ahead >= (long long)frames) return held_ = frames;
            if (ahead > 0) held_ = unsigned(ahead);
            if (!soxr_ && ahead < 0) skip_ = unsigned(std::min(-ahead, 8LL * kChunk));
            started_ = true;
            return held_;
        }
        const std::int64_t at = startAt_.load(std::memory_order_relaxed);
        if (started_ || at == 0) {
            started_ = true;
            return held_;
        }
        const long long ahead =
            std::llround(double(at - client_->CycleHeardUs()) * client_->Rate() / 1e6);
        if (ahead >= (long long)frames) {
            held_ = frames;
        } else {
            held_ = unsigned(std::max(ahead, 0LL));
            // Late (its readying took longer than the lead it was given):
            // what was due before now is skipped, up to a few periods'.
            if (!soxr_ && ahead < 0) skip_ = unsigned(std::min(-ahead, 8LL * kChunk));
            started_ = true;
        }
        return held_;
    }

    // Frames of the server's rate as frames of the buffer's own (the
    // resampler's few frames of delay aside).
    std::uint64_t ToOwnRate(std::uint64_t device) const {
        const unsigned rate = client_->Rate(), own = unsigned(Format().lSamplesPerSec);
        if (!soxr_ || rate == 0 || rate == own) return device;
        return std::uint64_t((long double)device * own / rate + 0.5L);
    }

    // The next frames of the ring, as interleaved stereo floats in in_.
    void RenderFloat(unsigned frames) {
        const WAVEFORMATEX& f = Format();
        const std::size_t align = std::max<LONG>(f.nBlockAlign, 1);
        Render(bytes_.data(), frames * align);
        const bool stereo = f.nChannels == 2;
        for (unsigned i = 0; i < frames; ++i) {
            float l, r;
            if (f.nBitsPerSample == 16) {
                const unsigned char* p = bytes_.data() + i * align;
                l = float(std::int16_t(p[0] | (p[1] << 8))) / 32768.0f;
                r = stereo ? float(std::int16_t(p[2] | (p[3] << 8))) / 32768.0f : l;
            } else {
                const unsigned char* p = bytes_.data() + i * align;
                l = (float(p[0]) - 128.0f) / 128.0f;
                r = stereo ? (float(p[1]) - 128.0f) / 128.0f : l;
            }
            in_[2 * i] = l;
            in_[2 * i + 1] = r;
        }
    }
    static std::size_t Input(void* self, soxr_cbuf_t* data, std::size_t requested) {
        auto* b = static_cast<JackBuffer*>(self);
        const unsigned n = unsigned(std::min<std::size_t>(requested, kChunk));
        b->RenderFloat(n);
        *data = b->in_.data();
        return n;
    }

    std::shared_ptr<JackClient> client_;
    std::vector<unsigned char> bytes_;
    std::vector<float> in_, out_;
    soxr_t soxr_ = nullptr;
    std::uint64_t playedOut_ = 0;  // the callback's own: frames of the server's rate
    std::atomic<std::uint64_t> playedCount_{0};
    std::atomic<unsigned> seq_{0};
    std::atomic<std::uint64_t> anchorClock_{0}, anchorPlayed_{0};
    PulseClock beat_;
    std::atomic<std::int64_t> startAt_{0};
    std::atomic<std::int64_t> transportFrame_{-1};  // StartWithTransport's; -1: none
    // The callback's own: whether the stream has begun, and the frames of
    // the period at heldClock_ held before it.
    bool started_ = false;
    unsigned held_ = 0;
    unsigned skip_ = 0;  // frames of the stream to skip before the next period
    std::uint64_t heldClock_ = ~std::uint64_t{0};
};

bool JackClient::Open(std::string* error) {
    if (!LoadJackLibrary(error)) return false;
    InstallMessageFunctions();
    jack_status_t status{};
    client_ = J().jack_client_open(JackDevice::kClientName, JackNoStartServer, &status);
    if (!client_) {
        *error = "JACK: " + WhyNoClient(status) + ".";
        return false;
    }
    outL_ = J().jack_port_register(client_, "out_L", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    outR_ = J().jack_port_register(client_, "out_R", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    midiIn_ =
        J().jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    clockOut_ =
        J().jack_port_register(client_, "clock_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!outL_ || !outR_ || !midiIn_ || !clockOut_) {
        *error = "JACK: the server refused Trellon's ports.";
        return false;
    }
    rate_ = J().jack_get_sample_rate(client_);
    period_ = J().jack_get_buffer_size(client_);
    J().jack_set_process_callback(
        client_,
        [](jack_nframes_t n, void* self) { return static_cast<JackClient*>(self)->Process(n); },
        this);
    // A slow-sync client: a transport followed waits, when it starts,
    // until the stream that is to roll with it is ready.
    J().jack_set_sync_callback(
        client_,
        [](jack_transport_state_t state, jack_position_t* pos, void* self) {
            return static_cast<JackClient*>(self)->Sync(state, pos);
        },
        this);
    J().jack_set_xrun_callback(
        client_,
        [](void* self) {
            static_cast<JackClient*>(self)->xruns_.fetch_add(1, std::memory_order_relaxed);
            return 0;
        },
        this);
    J().jack_set_buffer_size_callback(
        client_,
        [](jack_nframes_t n, void* self) {
            auto* c = static_cast<JackClient*>(self);
            if (c->period_.exchange(n) != n)
                c->periodChanges_.fetch_add(1, std::memory_order_relaxed);
            return 0;
        },
        this);
    J().jack_on_info_shutdown(
        client_,
        [](jack_status_t, const char*, void* self) {
            static_cast<JackClient*>(self)->gone_.store(true, std::memory_order_release);
        },
        this);
    if (J().jack_activate(client_) != 0) {
        *error = "JACK: the server would not run Trellon's client.";
        return false;
    }
    // The system's playback ports, when it has any; the user may rewire.
    if (const char** ports = J().jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                                JackPortIsPhysical | JackPortIsInput)) {
        if (ports[0]) {
            J().jack_connect(client_, J().jack_port_name(outL_), ports[0]);
            J().jack_connect(client_, J().jack_port_name(outR_), ports[1] ? ports[1] : ports[0]);
        }
        J().jack_free(ports);
    }
    return true;
}

int JackClient::Process(jack_nframes_t frames) {
    JackCycleBegins();
    inProcess_.fetch_add(1);
    auto* left = static_cast<float*>(J().jack_port_get_buffer(outL_, frames));
    auto* right = static_cast<float*>(J().jack_port_get_buffer(outR_, frames));
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (frames <= kMaxFrames) {
        TimeCycle();
        cycleFollows_ = role_.load(std::memory_order_relaxed) == TransportRole::kFollow;
        if (cycleFollows_) SeeTransport();
        FollowBeat(frames);
        {
            BeatView b;
            b.timed = true;
            b.rate = Rate();
            b.period = frames;
            b.cycle = cycles_;
            b.heardUs = cycleHeardUs_ + (b.rate ? std::int64_t(frames) * 1000000 / b.rate : 0);
            b.beating = nextKnown_;
            if (nextKnown_) {
                b.beat = next_.beat;
                b.beatsPerPass = next_.beatsPerPass;
                b.bpm = next_.bpm;
            }
            std::unique_lock<std::mutex> lock(beatMutex_, std::try_to_lock);
            if (lock.owns_lock()) beatView_ = b;
        }
        {
            // A nudge asked for moves the beat's stream this period: a frame
            // for a small one, up to kMaxSlip (a few percent of speed, for
            // a moment) for a large one.
            const int want = nudge_.load(std::memory_order_relaxed);
            const int step = want == 0  ? 0
                             : want > 0 ? std::min(kMaxSlip, 1 + want / 32)
                                        : std::max(-kMaxSlip, -1 + want / 32);
            bool moved = false;
            for (auto& slot : playing_)
                if (JackBuffer* b = slot.load())
                    moved |= b->Pull(left, right, frames, clock_, b->Beating() ? step : 0);
            if (moved) nudge_.fetch_sub(step, std::memory_order_relaxed);
        }
        std::size_t count = 0;
        void* midi = J().jack_port_get_buffer(midiIn_, frames);
        const std::uint32_t arrived = J().jack_midi_get_event_count(midi);
        for (std::uint32_t i = 0; i < arrived; ++i) {
            jack_midi_event_t e;
            if (J().jack_midi_event_get(&e, midi, i) != 0) continue;
            // System exclusive and other long messages mean nothing here.
            if (e.size < 1 || e.size > 3) continue;
            if (count == events_.size()) {
                dropped_.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            MidiEvent& m = events_[count++];
            m.frame = std::min<std::uint32_t>(e.time, frames - 1);
            m.size = std::uint8_t(e.size);
            std::copy(e.buffer, e.buffer + e.size, m.data);
        }
        if (LiveSource* s = live_.load())
            s->Mix(left, right, frames, events_.data(), count, clock_);
        clockIn_.See(events_.data(), count, clock_);
        if (role_.load(std::memory_order_relaxed) == TransportRole::kFollowClock) {
            TransportView v = clockIn_.View(clock_ + frames, Rate());
            v.period = frames;
            v.cycle = cycles_;
            std::unique_lock<std::mutex> lock(transportMutex_, std::try_to_lock);
            if (lock.owns_lock()) transport_ = v;
        }
    }
    clock_ += frames;
    ++cycles_;
    inProcess_.fetch_sub(1);
    JackCycleEnds();
    return 0;
}

void JackClient::TimeCycle() {
    const unsigned rate = Rate();
    const std::int64_t steadyNow = std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count();
    const std::int64_t serverNow = std::int64_t(J().jack_get_time());
    const std::int64_t began =
        std::int64_t(J().jack_frames_to_time(client_, J().jack_last_frame_time(client_)));
    jack_latency_range_t latency{};
    J().jack_port_get_latency_range(outL_, JackPlaybackLatency, &latency);
    cycleHeardUs_ =
        began - serverNow + steadyNow + (rate ? std::int64_t(latency.max) * 1000000 / rate : 0);
}

void JackClient::FollowBeat(jack_nframes_t frames) {
    std::size_t count = 0;
    auto add = [&](std::uint32_t frame, std::uint8_t size, std::uint8_t a, std::uint8_t b = 0,
                   std::uint8_t c = 0) {
        if (count < clockMessages_.size()) clockMessages_[count++] = {frame, size, {a, b, c}};
    };
    const bool send = SendsMidiClock();
    const bool lead = role_.load(std::memory_order_relaxed) == TransportRole::kLead;
    // The transport follows the beat when leading: located to its start
    // and started with a Start, started with a Continue, stopped with it.
    auto stopped = [&](std::uint32_t frame) {
        if (send && clockRunning_) add(frame, 1, 0xFC);
        clockRunning_ = false;
        if (beatRunning_ && lead) J().jack_transport_stop(client_);
        beatRunning_ = false;
    };
    bool beating = false;
    nextKnown_ = false;
    for (auto& slot : playing_) {
        JackBuffer* buffer = slot.load();
        if (!buffer) continue;
        long stopsAt = -1;
        const std::size_t n = buffer->Beat(frames, pulses_.data(), pulses_.size(), &stopsAt);
        if (buffer->Beating()) {
            beating = true;
            nextKnown_ = buffer->PositionAfter(frames, &next_);
        }
        if (stopsAt >= 0) stopped(std::uint32_t(stopsAt));
        for (std::size_t i = 0; i < n; ++i) {
            const ClockPulse& p = pulses_[i];
            if (p.start || !beatRunning_) {
                if (lead) {
                    if (p.start) J().jack_transport_locate(client_, 0);
                    J().jack_transport_start(client_);
                }
                beatRunning_ = true;
            }
            if (!send) continue;
            if (p.start) {
                // From the top: the song position is its start.
                add(p.frame, 3, 0xF2, 0, 0);
                add(p.frame, 1, 0xFA);
            } else if (!clockRunning_) {
                add(p.frame, 1, 0xFB);
            }
            clockRunning_ = true;
            add(p.frame, 1, 0xF8);
        }
    }
    // A stream that stopped ends with a Stop.
    if (!beating && (beatRunning_ || clockRunning_)) stopped(0);
    // A clock turned off ends with a Stop too; the beat goes on.
    if (!send && clockRunning_) {
        add(0, 1, 0xFC);
        clockRunning_ = false;
    }
    void* port = J().jack_port_get_buffer(clockOut_, frames);
    J().jack_midi_clear_buffer(port);
    // In frame order, as the port takes them; equal frames keep their
    // order (an insertion sort: few messages, mostly in order already,
    // and nothing allocated).
    for (std::size_t i = 1; i < count; ++i)
        for (std::size_t j = i; j > 0 && clockMessages_[j - 1].frame > clockMessages_[j].frame; --j)
            std::swap(clockMessages_[j - 1], clockMessages_[j]);
    ClockSink* sink = clockSink_.load();
    const unsigned rate = Rate();
    for (std::size_t i = 0; i < count; ++i) {
        const ClockMessage& m = clockMessages_[i];
        const std::uint32_t frame = std::min<std::uint32_t>(m.frame, frames - 1);
        if (J().jack_midi_event_write(port, frame, m.data, m.size) != 0)
            dropped_.fetch_add(1, std::memory_order_relaxed);
        // The same message, due when its frame is heard.
        if (sink && rate)
            sink->Send(m.data, m.size, cycleHeardUs_ + std::int64_t(frame) * 1000000 / rate);
    }
}

void JackClient::PublishPosition(jack_position_t* position) {
    constexpr double kTicksPerBeat = 1920;
    double beat = 0;
    std::uint64_t pass = 0;
    if (nextKnown_) {
        lastBpm_ = next_.bpm;
        lastBeatsPerPass_ = next_.beatsPerPass;
        beat = next_.beat;
        pass = next_.pass;
        // Just past the pass's end, its next pass not yet begun.
        if (beat >= lastBeatsPerPass_) {
            beat -= lastBeatsPerPass_;
            ++pass;
        }
    }
    // A pass is a bar; its beats are quarter notes.
    position->valid = JackPositionBBT;
    position->bar = std::int32_t(pass + 1);
    position->beat = std::int32_t(beat) + 1;
    position->tick = std::int32_t((beat - std::floor(beat)) * kTicksPerBeat);
    position->bar_start_tick = double(pass) * lastBeatsPerPass_ * kTicksPerBeat;
    position->beats_per_bar = float(lastBeatsPerPass_);
    position->beat_type = 4;
    position->ticks_per_beat = kTicksPerBeat;
    position->beats_per_minute = lastBpm_;
}

void JackClient::SeeTransport() {
    jack_position_t pos;
    const jack_transport_state_t state = J().jack_transport_query(client_, &pos);
    TransportView v;
    v.known = true;
    // Starting (waiting on slow clients, Trellon among them) holds the
    // frame still; the stream readied for it rolls with the transport.
    v.rolling = state == JackTransportRolling;
    v.starting = state == JackTransportStarting;
    cycleRolling_ = v.rolling;
    cycleTransportFrame_ = pos.frame;
    if (!v.starting) readyFrame_.store(-1, std::memory_order_relaxed);
    v.frame = pos.frame;
    v.rate = pos.frame_rate ? pos.frame_rate : Rate();
    v.period = period_.load(std::memory_order_relaxed);
    v.cycle = cycles_;
    v.bbt = (pos.valid & JackPositionBBT) != 0 && pos.beats_per_minute > 0 &&
            pos.beats_per_bar > 0 && pos.ticks_per_beat > 0;
    if (v.bbt) {
        v.bar = pos.bar;
        v.beat = pos.beat;
        v.tick = pos.tick;
        v.ticksPerBeat = pos.ticks_per_beat;
        v.beatsPerBar = pos.beats_per_bar;
        v.bpm = pos.beats_per_minute;
    }
    std::unique_lock<std::mutex> lock(transportMutex_, std::try_to_lock);
    if (lock.owns_lock()) transport_ = v;
}

int JackClient::Sync(jack_transport_state_t state, const jack_position_t* pos) {
    // Only a start (or a move while rolling) of a transport followed waits
    // for the engine; the server rolls anyway after its sync timeout.
    if (role_.load(std::memory_order_relaxed) != TransportRole::kFollow ||
        state != JackTransportStarting)
        return 1;
    return readyFrame_.load(std::memory_order_acquire) == std::int64_t(pos->frame) ? 1 : 0;
}

BeatView JackClient::Beat() const {
    std::lock_guard<std::mutex> lock(beatMutex_);
    return beatView_;
}

TransportView JackClient::Transport() const {
    const TransportRole role = role_.load();
    if (role != TransportRole::kFollow && role != TransportRole::kFollowClock) return {};
    std::lock_guard<std::mutex> lock(transportMutex_);
    return transport_;
}

void JackClient::SetTransportRole(TransportRole role) {
    std::lock_guard<std::mutex> lock(roleMutex_);
    if (!client_ || Gone()) return;
    if (role == TransportRole::kLead && !master_) {
        master_ = J().jack_set_timebase_callback(
                      client_, 0,
                      [](jack_transport_state_t, jack_nframes_t, jack_position_t* position, int,
                         void* self) { static_cast<JackClient*>(self)->PublishPosition(position); },
                      this) == 0;
    } else if (role != TransportRole::kLead && master_) {
        J().jack_release_timebase(client_);
        master_ = false;
    }
    role_.store(role, std::memory_order_relaxed);
}

void JackClient::WaitIdle() const {
    // A callback that took a pointer before it was cleared has counted
    // itself in; once none is counted, none holds it.
    while (inProcess_.load() != 0 && !Gone())
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

bool JackClient::Attach(JackBuffer* buffer) {
    for (auto& slot : playing_)
        if (slot.load() == buffer) return true;
    for (auto& slot : playing_) {
        JackBuffer* none = nullptr;
        if (slot.compare_exchange_strong(none, buffer)) return true;
    }
    return false;
}

void JackClient::Detach(JackBuffer* buffer, bool wait) {
    for (auto& slot : playing_) {
        JackBuffer* mine = buffer;
        slot.compare_exchange_strong(mine, nullptr);
    }
    if (wait) WaitIdle();
}

void JackClient::SetClockSink(std::shared_ptr<ClockSink> sink) {
    std::lock_guard<std::mutex> lock(liveMutex_);
    clockSink_.store(nullptr);
    WaitIdle();
    clockSink_.store(sink.get());
    clockSinkOwner_ = std::move(sink);  // the old one goes once no callback has it
}

void JackClient::SetLiveSource(std::shared_ptr<LiveSource> source) {
    std::lock_guard<std::mutex> lock(liveMutex_);
    live_.store(nullptr);
    WaitIdle();
    if (source) source->Prepare(Rate(), kMaxFrames);
    live_.store(source.get());
    liveOwner_ = std::move(source);  // the old one goes once no callback has it
}

std::shared_ptr<JackDevice> JackDevice::Open(std::string* error) {
    auto client = std::make_shared<JackClient>();
    std::string why;
    if (!client->Open(&why)) {
        if (error) *error = why;
        return nullptr;
    }
    EventService::Instance().StartDeliveryThread();
    return std::shared_ptr<JackDevice>(new JackDevice(std::move(client)));
}

bool JackDevice::ServerRunning() {
    if (!LoadJackLibrary()) return false;
    InstallMessageFunctions();
    jack_status_t status{};
    jack_client_t* probe = J().jack_client_open(kClientName, JackNoStartServer, &status);
    if (!probe) return false;
    J().jack_client_close(probe);
    return true;
}

JackDevice::JackDevice(std::shared_ptr<JackClient> client) : client_(std::move(client)) {}

JackDevice::~JackDevice() = default;

std::shared_ptr<DirectSoundSecondaryBuffer8> JackDevice::CreateBuffer(const DSBUFFERDESC& desc) {
    if (desc.fxFormat.nChannels < 1 || desc.fxFormat.lSamplesPerSec < 1 || desc.lBufferBytes < 1) {
        lastError_ = "The sound buffer's format is not one a device can play.";
        return nullptr;
    }
    if (client_->Gone()) {
        lastError_ = "The JACK server is gone.";
        return nullptr;
    }
    auto buffer = std::make_shared<JackBuffer>(desc, client_);
    if (!buffer->Prepare(&lastError_)) return nullptr;
    lastError_.clear();
    return buffer;
}

bool JackDevice::Gone() const {
    return client_->Gone();
}

void JackDevice::SetLiveSource(std::shared_ptr<LiveSource> source) {
    client_->SetLiveSource(std::move(source));
}

void JackDevice::SetClockSink(std::shared_ptr<ClockSink> sink) {
    client_->SetClockSink(std::move(sink));
}

void JackDevice::SetTransportRole(TransportRole role) {
    client_->SetTransportRole(role);
}

TransportView JackDevice::Transport() const {
    return client_->Transport();
}

BeatView JackDevice::Beat() const {
    return client_->Beat();
}

void JackDevice::Nudge(int frames) {
    client_->Nudge(frames);
}

void JackDevice::TransportReady(std::uint64_t frame) {
    client_->TransportReady(frame);
}

OutputStatus JackDevice::Status() const {
    return client_->Status();
}

std::string JackDevice::ClientName() const {
    return client_->Name();
}
