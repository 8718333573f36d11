#include "sound/secondary_buffer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sound/event_service.h"

namespace {

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

DirectSoundSecondaryBuffer8::DirectSoundSecondaryBuffer8(const DSBUFFERDESC& desc,
                                                         std::function<void(bool)> run)
    : format_(desc.fxFormat),
      ring_(static_cast<std::size_t>(std::max<LONG>(desc.lBufferBytes, 0)), 0),
      state_(new std::atomic<unsigned char>[ring_.size() / FrameBytes() + 1]),
      run_(std::move(run)) {
    for (std::size_t f = 0; f <= ring_.size() / FrameBytes(); ++f) state_[f] = kPlayed;
}

std::size_t DirectSoundSecondaryBuffer8::FrameBytes() const {
    return format_.nBlockAlign > 0 ? std::size_t(format_.nBlockAlign) : 1;
}

bool DirectSoundSecondaryBuffer8::IsFresh(LONG offset) const {
    return offset >= 0 && offset < Size() &&
           state_[std::size_t(offset) / FrameBytes()].load(std::memory_order_acquire) == kFresh;
}

void DirectSoundSecondaryBuffer8::WakeRender() {
    { std::lock_guard<std::mutex> lock(waitMutex_); }
    written_.notify_all();
}

bool DirectSoundSecondaryBuffer8::WaitForWrite(LONG from, std::chrono::milliseconds wait) {
    if (wait.count() <= 0) return false;
    std::unique_lock<std::mutex> lock(waitMutex_);
    return written_.wait_for(lock, wait, [&] {
        return !IsPlaying() || cursor_.load(std::memory_order_acquire) != from || IsFresh(from);
    });
}

HRESULT DirectSoundSecondaryBuffer8::SetNotificationPositions(LONG count,
                                                              const DSBPOSITIONNOTIFY* table) {
    if (count < 0 || (count > 0 && !table)) return E_INVALIDARG;
    if (IsPlaying()) return E_FAIL;  // positions change only while stopped
    notify_.clear();
    stopEvent_ = 0;
    for (LONG i = 0; i < count; ++i) {
        if (table[i].lOffset == DSBPN_OFFSETSTOP)
            stopEvent_ = table[i].hEventNotify;
        else if (table[i].lOffset < 0 || table[i].lOffset >= Size())
            return E_INVALIDARG;
        else
            notify_.push_back(table[i]);
    }
    std::stable_sort(notify_.begin(), notify_.end(),
                     [](const auto& a, const auto& b) { return a.lOffset < b.lOffset; });
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::WriteBuffer(LONG start, LONG bytes, const void* data, LONG) {
    if (start < 0 || start >= Size() || bytes < 0 || bytes > Size() || (bytes && !data))
        return E_INVALIDARG;
    const auto* from = static_cast<const unsigned char*>(data);
    std::size_t first =
        std::min<std::size_t>(std::size_t(bytes), ring_.size() - std::size_t(start));
    std::memcpy(ring_.data() + start, from, first);
    std::memcpy(ring_.data(), from + first, std::size_t(bytes) - first);
    // The frames written, wrapping like the bytes, are fresh to play; a
    // write onto frames already played as silence was meant for that play
    // and is dropped, so a late refill is not heard a lap later.
    const std::size_t frame = FrameBytes(), frames = ring_.size() / frame;
    for (std::size_t b = 0; b < std::size_t(bytes); b += frame) {
        auto& state = state_[((std::size_t(start) + b) / frame) % frames];
        unsigned char was = kSkipped;
        if (!state.compare_exchange_strong(was, kPlayed, std::memory_order_acq_rel))
            state.store(kFresh, std::memory_order_release);
    }
    if (const long long at = signalledAt_.exchange(0, std::memory_order_relaxed)) {
        const long long took = NowNs() - at;
        long long longest = longestRefill_.load(std::memory_order_relaxed);
        while (took > longest &&
               !longestRefill_.compare_exchange_weak(longest, took, std::memory_order_relaxed)) {
        }
    }
    WakeRender();
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::SetCurrentPosition(LONG offset) {
    if (offset < 0 || offset >= Size()) return E_INVALIDARG;
    cursor_.store(offset, std::memory_order_release);
    WakeRender();
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::GetCurrentPosition(LONG* play, LONG* write) const {
    LONG c = cursor_.load(std::memory_order_acquire);
    if (play) *play = c;
    if (write) *write = c;
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::Play(LONG) {
    if (Size() == 0) return E_FAIL;
    if (!playing_.exchange(true, std::memory_order_acq_rel) && run_) run_(true);
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::Stop() {
    if (!playing_.exchange(false, std::memory_order_acq_rel)) return S_OK;
    WakeRender();  // a Render waiting for a write ends before the device halts
    if (run_) run_(false);
    if (stopEvent_) EventService::Instance().Signal(stopEvent_);
    return S_OK;
}

void DirectSoundSecondaryBuffer8::SignalPassed(LONG from, LONG advance) {
    // The cursor passed positions from+1 .. from+advance around the ring;
    // each notification whose offset lies there is signalled, in the order
    // passed (more than once for an advance of several laps).
    const LONG size = Size();
    struct Due {
        LONG distance, id;
    };
    std::array<Due, 64> due;
    std::size_t count = 0;
    for (const auto& n : notify_) {
        LONG d = ((n.lOffset - from) % size + size) % size;
        if (d == 0) d = size;
        for (; d <= advance && count < due.size(); d += size) due[count++] = Due{d, n.hEventNotify};
    }
    std::sort(due.begin(), due.begin() + count,
              [](const Due& a, const Due& b) { return a.distance < b.distance; });
    for (std::size_t i = 0; i < count; ++i) EventService::Instance().Signal(due[i].id);
    long long none = 0;
    if (count > 0) signalledAt_.compare_exchange_strong(none, NowNs(), std::memory_order_relaxed);
}

double DirectSoundSecondaryBuffer8::LongestRefill() const {
    return double(longestRefill_.load(std::memory_order_relaxed)) / 1e9;
}

void DirectSoundSecondaryBuffer8::Render(unsigned char* out, std::size_t bytes,
                                         std::chrono::milliseconds wait) {
    const std::size_t size = ring_.size(), frame = FrameBytes();
    // Silence: unsigned 8-bit audio rests at 128.
    const int silence = format_.nBitsPerSample == 8 ? 128 : 0;
    std::size_t done = 0;
    while (done < bytes) {
        if (!IsPlaying() || size == 0) {
            std::memset(out + done, silence, bytes - done);
            return;
        }
        const LONG from = cursor_.load(std::memory_order_acquire);
        const std::size_t start = static_cast<std::size_t>(from);
        // The frames from the cursor on that were written since they were
        // last played, or else those that were not.
        const bool fresh = IsFresh(from);
        if (!fresh && WaitForWrite(from, wait)) continue;
        std::size_t n = 0;
        while (n < bytes - done && IsFresh(LONG((start + n) % size)) == fresh)
            n += frame - (start + n) % frame;
        n = std::min(n, bytes - done);
        for (std::size_t k = 0; k < n;) {
            const std::size_t at = (start + k) % size, run = std::min(n - k, size - at);
            if (fresh)
                std::memcpy(out + done + k, ring_.data() + at, run);
            else
                std::memset(out + done + k, silence, run);  // not written in time
            k += run;
        }
        if (!fresh) lateFrames_.fetch_add(n / frame, std::memory_order_relaxed);
        for (std::size_t k = 0; k < n; k += frame) {
            auto& state = state_[((start + k) % size) / frame];
            // A write that lands while its frame is played as silence is
            // the one that came too late: it is not kept for the next lap.
            if (fresh || state.exchange(kSkipped, std::memory_order_acq_rel) == kFresh)
                state.store(kPlayed, std::memory_order_relaxed);
        }
        // A cursor moved meanwhile by the program wins over this advance.
        LONG expected = from;
        if (cursor_.compare_exchange_strong(expected, LONG((start + n) % size),
                                            std::memory_order_acq_rel))
            SignalPassed(from, LONG(std::min<std::size_t>(n, 0x7FFFFFFF)));
        done += n;
    }
}