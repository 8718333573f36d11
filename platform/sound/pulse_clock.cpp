#include "sound/pulse_clock.h"

#include <cmath>

void PulseClock::Push(const PassMark& mark) {
    const std::size_t w = written_.load(std::memory_order_relaxed);
    if (w - read_.load(std::memory_order_acquire) == kMarks) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    ring_[w % kMarks] = mark;
    written_.store(w + 1, std::memory_order_release);
}

const PassMark* PulseClock::NextMark() const {
    const std::size_t r = read_.load(std::memory_order_relaxed);
    if (r == written_.load(std::memory_order_acquire)) return nullptr;
    return &ring_[r % kMarks];
}

bool PulseClock::TakeMark(PassMark* mark) {
    const PassMark* next = NextMark();
    if (!next) return false;
    *mark = *next;
    read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return true;
}

void PulseClock::Begin(const PassMark& mark) {
    current_ = mark;
    if (mark.ticks <= 0 || mark.tickLength <= 0 || mark.pulsesPerTick == 0) {
        current_.ticks = 0;
        return;
    }
    // The first pulse at or after the pass's first frame.
    const double spacing = double(mark.tickLength) / mark.pulsesPerTick;
    next_ = std::uint64_t(std::ceil(double(mark.first) / spacing - 1e-9));
    while (next_ > 0 && std::llround(double(next_ - 1) * spacing) >= mark.first) --next_;
    while (std::llround(double(next_) * spacing) < mark.first) ++next_;
    if (mark.number == 0 && mark.first == 0) start_ = true;
}

std::uint64_t PulseClock::PulseFrame(std::uint64_t k, double ratio) const {
    const double spacing = double(current_.tickLength) / current_.pulsesPerTick;
    const long long own =
        (long long)current_.played + std::llround(double(k) * spacing) - current_.first;
    return std::uint64_t(std::llround(double(own < 0 ? 0 : own) * ratio));
}

std::size_t PulseClock::Advance(std::uint64_t from, std::uint32_t frames, double ratio,
                                ClockPulse* out, std::size_t max, long* stopsAt) {
    *stopsAt = -1;
    std::size_t count = 0;
    const std::uint64_t end = from + frames;
    for (;;) {
        // A newer pass takes over once its first frame is reached: before
        // the current pass's next pulse, or when that pass has run out.
        if (const PassMark* next = NextMark()) {
            const std::uint64_t begins = std::uint64_t(std::llround(double(next->played) * ratio));
            const std::uint64_t pulses = std::uint64_t(current_.ticks) * current_.pulsesPerTick;
            const bool exhausted = current_.ticks <= 0 || next_ >= pulses;
            if (begins < end && (exhausted || begins <= PulseFrame(next_, ratio))) {
                PassMark mark;
                TakeMark(&mark);
                const bool wasRunning = Running();
                Begin(mark);
                if (wasRunning && !Running() && *stopsAt < 0)
                    *stopsAt = long(begins > from ? begins - from : 0);
                continue;
            }
        }
        if (!Running()) break;
        if (next_ >= std::uint64_t(current_.ticks) * current_.pulsesPerTick) break;
        const std::uint64_t at = PulseFrame(next_, ratio);
        if (at >= end || count == max) break;
        ++next_;
        // A pulse whose frame has passed (its mark came late) is left out.
        if (at < from) continue;
        out[count++] = {std::uint32_t(at - from), start_};
        start_ = false;
    }
    return count;
}

bool PulseClock::PositionAt(std::uint64_t at, double ratio, unsigned ownRate,
                            BeatPosition* out) const {
    if (!Running() || ratio <= 0 || ownRate == 0) return false;
    const double framesPerBeat = double(current_.tickLength) * (24.0 / current_.pulsesPerTick);
    const double into = double(at) / ratio - double(current_.played) + double(current_.first);
    out->pass = current_.number;
    out->beatsPerPass = double(current_.ticks) / (24.0 / current_.pulsesPerTick);
    out->beat = into < 0 ? 0 : into / framesPerBeat;
    out->bpm = 60.0 * ownRate / framesPerBeat;
    return true;
}
