#include "midi/sequencer_clock.h"

#include <algorithm>
#include <chrono>

namespace {

std::int64_t SteadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool SequencerEventOfClock(const std::uint8_t* data, std::size_t size, snd_seq_event_t* out) {
    if (!data || size < 1 || !out) return false;
    snd_seq_event_t e{};
    switch (data[0]) {
        case 0xF8:
            e.type = SND_SEQ_EVENT_CLOCK;
            break;
        case 0xFA:
            e.type = SND_SEQ_EVENT_START;
            break;
        case 0xFB:
            e.type = SND_SEQ_EVENT_CONTINUE;
            break;
        case 0xFC:
            e.type = SND_SEQ_EVENT_STOP;
            break;
        case 0xF2:
            if (size < 3 || data[1] > 0x7F || data[2] > 0x7F) return false;
            e.type = SND_SEQ_EVENT_SONGPOS;
            e.data.control.value = int(data[1]) | (int(data[2]) << 7);
            break;
        default:
            return false;
    }
    *out = e;
    return true;
}

std::shared_ptr<SequencerClock> SequencerClock::Open(std::string* error) {
    auto fail = [&](snd_seq_t* seq, const std::string& what, int r) {
        if (error) *error = what + snd_strerror(r) + ".";
        if (seq) snd_seq_close(seq);
        return nullptr;
    };
    snd_seq_t* seq = nullptr;
    if (int r = snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK); r < 0)
        return fail(nullptr, "The ALSA sequencer will not open: ", r);
    snd_seq_set_client_name(seq, "Trellon");
    const int port = snd_seq_create_simple_port(
        seq, "Trellon clock", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) return fail(seq, "The ALSA sequencer refused Trellon's clock port: ", port);
    const int queue = snd_seq_alloc_named_queue(seq, "Trellon clock");
    if (queue < 0) return fail(seq, "The ALSA sequencer gave Trellon no queue: ", queue);
    snd_seq_start_queue(seq, queue, nullptr);
    snd_seq_drain_output(seq);
    // Where the queue's time stands against the steady clock (both run on
    // the system's monotonic time).
    snd_seq_queue_status_t* status = nullptr;
    snd_seq_queue_status_alloca(&status);
    if (int r = snd_seq_get_queue_status(seq, queue, status); r < 0)
        return fail(seq, "The ALSA sequencer's queue cannot be read: ", r);
    const snd_seq_real_time_t* t = snd_seq_queue_status_get_real_time(status);
    const std::int64_t zero =
        SteadyUs() - (std::int64_t(t->tv_sec) * 1000000 + std::int64_t(t->tv_nsec) / 1000);
    return std::shared_ptr<SequencerClock>(new SequencerClock(seq, port, queue, zero));
}

SequencerClock::SequencerClock(snd_seq_t* seq, int port, int queue, std::int64_t queueZeroUs)
    : seq_(seq), port_(port), queue_(queue), queueZeroUs_(queueZeroUs), thread_([this] {
          Run();
      }) {}

SequencerClock::~SequencerClock() {
    stop_ = true;
    thread_.join();
    snd_seq_free_queue(seq_, queue_);
    snd_seq_close(seq_);
}

std::string SequencerClock::Address() const {
    return std::to_string(snd_seq_client_id(seq_)) + ":" + std::to_string(port_);
}

void SequencerClock::Send(const std::uint8_t* data, std::size_t size, std::int64_t dueUs) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (size < 1 || size > 3 || head - tail_.load(std::memory_order_acquire) >= kRing) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Message& m = ring_[head % kRing];
    for (std::size_t i = 0; i < size; ++i) m.data[i] = data[i];
    m.size = std::uint8_t(size);
    m.dueUs = dueUs;
    head_.store(head + 1, std::memory_order_release);
}

void SequencerClock::Run() {
    while (!stop_.load()) {
        Drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SequencerClock::Drain() {
    std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t head = head_.load(std::memory_order_acquire);
    bool any = false;
    for (; tail != head; ++tail) {
        const Message& m = ring_[tail % kRing];
        snd_seq_event_t e;
        if (!SequencerEventOfClock(m.data, m.size, &e)) continue;
        snd_seq_ev_set_source(&e, port_);
        snd_seq_ev_set_subs(&e);
        // Due at its moment on the queue's clock; one already past is
        // delivered at once.
        const std::int64_t at = std::max<std::int64_t>(m.dueUs - queueZeroUs_, 0);
        snd_seq_real_time_t when{unsigned(at / 1000000), unsigned(at % 1000000) * 1000};
        snd_seq_ev_schedule_real(&e, queue_, 0, &when);
        if (snd_seq_event_output(seq_, &e) < 0)
            dropped_.fetch_add(1, std::memory_order_relaxed);
        else
            sent_.fetch_add(1, std::memory_order_relaxed);
        any = true;
    }
    tail_.store(tail, std::memory_order_release);
    if (any) snd_seq_drain_output(seq_);
}
