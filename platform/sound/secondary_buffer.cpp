#include "sound/secondary_buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <thread>

#include "sound/event_service.h"

namespace {

constexpr std::size_t kBits = 64;

// The ring is memory the program and the device share, as a sound card's
// buffer is: the atomics decide which frames the device plays, and a refill
// more than a lap late may land on frames the device is copying out, which
// then play that place's frame of either lap. ThreadSanitizer is told that
// the device's copy is such a read; the program's own accesses stay checked.
#if defined(__SANITIZE_THREAD__)
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
struct DeviceReadOfSharedRing {
    DeviceReadOfSharedRing() { AnnotateIgnoreReadsBegin(__FILE__, __LINE__); }
    ~DeviceReadOfSharedRing() { AnnotateIgnoreReadsEnd(__FILE__, __LINE__); }
    DeviceReadOfSharedRing(const DeviceReadOfSharedRing&) = delete;
    DeviceReadOfSharedRing& operator=(const DeviceReadOfSharedRing&) = delete;
};
#else
struct DeviceReadOfSharedRing {};
#endif

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
      fresh_(new std::atomic<std::uint64_t>[Frames() / kBits + 1]),
      skipped_(new std::atomic<std::uint64_t>[Frames() / kBits + 1]),
      run_(std::move(run)) {
    for (std::size_t w = 0; w <= Frames() / kBits; ++w) fresh_[w] = skipped_[w] = 0;
}

std::size_t DirectSoundSecondaryBuffer8::FrameBytes() const {
    return format_.nBlockAlign > 0 ? std::size_t(format_.nBlockAlign) : 1;
}

template <class F>
void DirectSoundSecondaryBuffer8::ForFrames(std::size_t first, std::size_t count, F&& f) const {
    const std::size_t frames = Frames();
    if (frames == 0 || count == 0) return;
    first %= frames;
    count = std::min(count, frames);
    // At most two stretches (the second after the ring wraps), each a
    // partial word, whole words, and a partial word.
    auto stretch = [&](std::size_t a, std::size_t b) {
        while (a < b) {
            const std::size_t bit = a % kBits, upTo = std::min(b - a, kBits - bit);
            const std::uint64_t mask =
                upTo == kBits ? ~std::uint64_t{0} : ((std::uint64_t{1} << upTo) - 1) << bit;
            f(a / kBits, mask);
            a += upTo;
        }
    };
    const std::size_t end = first + count;
    stretch(first, std::min(end, frames));
    if (end > frames) stretch(0, end - frames);
}

std::size_t DirectSoundSecondaryBuffer8::RunOf(std::size_t first, bool fresh,
                                               std::size_t most) const {
    const std::size_t frames = Frames();
    std::size_t run = 0, f = first;
    while (run < most) {
        // The frames from f to the end of its word (or of the ring) that
        // are fresh, or not, like the first.
        std::uint64_t bits = fresh_[f / kBits].load(std::memory_order_acquire);
        if (!fresh) bits = ~bits;
        const std::size_t bit = f % kBits, span = std::min(kBits - bit, frames - f);
        const std::size_t same = std::min<std::size_t>(std::countr_one(bits >> bit), span);
        run += same;
        if (same < span) break;
        f += span;
        if (f == frames) f = 0;
    }
    return std::min(run, most);
}

bool DirectSoundSecondaryBuffer8::IsFresh(LONG offset) const {
    if (offset < 0 || offset >= Size()) return false;
    const std::size_t f = std::size_t(offset) / FrameBytes();
    return (fresh_[f / kBits].load(std::memory_order_acquire) >> (f % kBits)) & 1;
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

void DirectSoundSecondaryBuffer8::MarkWritten(std::size_t start, std::size_t bytes) {
    // The frames written, wrapping like the bytes, are fresh to play. A
    // write onto frames played as silence with no notification signalled
    // since was meant for that play and is dropped.
    const std::size_t frame = FrameBytes();
    const bool late =
        skippedAt_.load(std::memory_order_acquire) == epoch_.load(std::memory_order_acquire);
    if (bytes > 0)
        ForFrames(start / frame, (start + bytes - 1) / frame - start / frame + 1,
                  [&](std::size_t w, std::uint64_t m) {
                      const std::uint64_t dropped =
                          late && (skipped_[w].load(std::memory_order_relaxed) & m)
                              ? skipped_[w].fetch_and(~m, std::memory_order_acq_rel) & m
                              : 0;
                      // A whole word of frames is the program's alone while
                      // it writes them (the device plays the other half):
                      // a plain store. Where a word holds frames of both
                      // halves, the device may be marking its own.
                      if (m == ~std::uint64_t{0} && dropped == 0)
                          fresh_[w].store(m, std::memory_order_release);
                      else
                          fresh_[w].fetch_or(m & ~dropped, std::memory_order_release);
                  });
    if (const long long at = signalledAt_.exchange(0, std::memory_order_relaxed)) {
        const long long took = NowNs() - at;
        long long longest = longestRefill_.load(std::memory_order_relaxed);
        while (took > longest &&
               !longestRefill_.compare_exchange_weak(longest, took, std::memory_order_relaxed)) {
        }
    }
}

HRESULT DirectSoundSecondaryBuffer8::WriteBuffer(LONG start, LONG bytes, const void* data, LONG) {
    void *p1 = nullptr, *p2 = nullptr;
    LONG b1 = 0, b2 = 0;
    if (bytes && !data) return E_INVALIDARG;
    if (HRESULT hr = Lock(start, bytes, &p1, &b1, &p2, &b2); FAILED(hr)) return hr;
    const auto* from = static_cast<const unsigned char*>(data);
    std::memcpy(p1, from, std::size_t(b1));
    if (b2) std::memcpy(p2, from + b1, std::size_t(b2));
    return Unlock(p1, b1, p2, b2);
}

HRESULT DirectSoundSecondaryBuffer8::Lock(LONG start, LONG bytes, void** part1, LONG* bytes1,
                                          void** part2, LONG* bytes2) {
    if (start < 0 || start >= Size() || bytes < 0 || bytes > Size() || !part1 || !bytes1 ||
        !part2 || !bytes2)
        return E_INVALIDARG;
    const LONG first = std::min(bytes, Size() - start);
    *part1 = ring_.data() + start;
    *bytes1 = first;
    *part2 = bytes > first ? ring_.data() : nullptr;
    *bytes2 = bytes - first;
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::Unlock(void* part1, LONG bytes1, void* part2, LONG bytes2) {
    auto* p = static_cast<unsigned char*>(part1);
    if (!p || p < ring_.data() || bytes1 < 0 || bytes2 < 0 ||
        std::size_t(p - ring_.data()) + std::size_t(bytes1) > ring_.size() ||
        (bytes2 && (part2 != ring_.data() || std::size_t(bytes2) > ring_.size())))
        return E_INVALIDARG;
    MarkWritten(std::size_t(p - ring_.data()), std::size_t(bytes1) + std::size_t(bytes2));
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::SetCurrentPosition(LONG offset) {
    if (offset < 0 || offset >= Size()) return E_INVALIDARG;
    cursor_.store(offset, std::memory_order_release);
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
    if (!playing_.exchange(true) && run_) run_(true);
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::Stop() {
    if (!playing_.exchange(false)) return S_OK;
    // A Render under way may still signal what it passed; the stop
    // notification comes after it, so the program can tell the end of a
    // play from what was queued before it. Renders never wait, so this
    // is short.
    while (rendering_.load() != 0) std::this_thread::yield();
    if (run_) run_(false);
    if (stopEvent_) EventService::Instance().Signal(stopEvent_);
    return S_OK;
}

double DirectSoundSecondaryBuffer8::LongestRefill() const {
    return double(longestRefill_.load(std::memory_order_relaxed)) / 1e9;
}

void DirectSoundSecondaryBuffer8::Render(unsigned char* out, std::size_t bytes) {
    rendering_.fetch_add(1);
    const std::size_t size = ring_.size(), frame = FrameBytes();
    // Silence: unsigned 8-bit audio rests at 128.
    const int silence = format_.nBitsPerSample == 8 ? 128 : 0;
    std::size_t done = 0;
    while (done < bytes) {
        if (!playing_.load() || size == 0) {
            std::memset(out + done, silence, bytes - done);
            break;
        }
        const LONG from = cursor_.load(std::memory_order_acquire);
        const std::size_t start = static_cast<std::size_t>(from);
        // The frames from the cursor on that were written since they were
        // last played, or else those that were not.
        const bool fresh = IsFresh(from);
        const std::size_t into = start % frame;
        const std::size_t frames =
            RunOf(start / frame, fresh, (bytes - done + into + frame - 1) / frame);
        const std::size_t n = std::min(frames * frame - into, bytes - done);
        for (std::size_t k = 0; k < n;) {
            const std::size_t at = (start + k) % size, run = std::min(n - k, size - at);
            if (fresh) {
                [[maybe_unused]] const DeviceReadOfSharedRing shared{};
                std::memcpy(out + done + k, ring_.data() + at, run);
            } else {
                std::memset(out + done + k, silence, run);  // not written in time
            }
            k += run;
        }
        // The notifications whose offsets the cursor passes, from+1 ..
        // from+n around the ring, in the order passed (more than once for
        // an advance of several laps).
        struct Due {
            std::size_t distance;
            LONG id;
        };
        std::array<Due, 64> due;
        std::size_t count = 0;
        for (const auto& p : notify_) {
            std::size_t d = (std::size_t(p.lOffset) + size - start) % size;
            if (d == 0) d = size;
            for (; d <= n && count < due.size(); d += size) due[count++] = Due{d, p.hEventNotify};
        }
        std::sort(due.begin(), due.begin() + count,
                  [](const Due& a, const Due& b) { return a.distance < b.distance; });
        // Frames played as silence remember the notifications signalled by
        // the end of this run: their late write comes before the next one.
        const unsigned long now = epoch_.load(std::memory_order_relaxed) + count;
        if (!fresh) {
            lateFrames_.fetch_add(n / frame, std::memory_order_relaxed);
            if (skippedAt_.exchange(now, std::memory_order_acq_rel) != now)
                for (std::size_t w = 0; w <= Frames() / kBits; ++w)
                    skipped_[w].store(0, std::memory_order_relaxed);
        }
        // Every frame the run touched, a part of one included.
        ForFrames(start / frame, (start + n - 1) / frame - start / frame + 1,
                  [&](std::size_t w, std::uint64_t m) {
                      const std::uint64_t was = fresh_[w].fetch_and(~m, std::memory_order_acq_rel);
                      // A write that lands while its frame is played as silence is
                      // the one that came too late: it is not kept for the next lap.
                      if (!fresh) skipped_[w].fetch_or(m & ~was, std::memory_order_acq_rel);
                  });
        // A cursor moved meanwhile by the program wins over this advance.
        LONG expected = from;
        if (cursor_.compare_exchange_strong(expected, LONG((start + n) % size),
                                            std::memory_order_acq_rel) &&
            count > 0) {
            epoch_.fetch_add(count, std::memory_order_acq_rel);
            for (std::size_t i = 0; i < count; ++i) EventService::Instance().Signal(due[i].id);
            long long none = 0;
            signalledAt_.compare_exchange_strong(none, NowNs(), std::memory_order_relaxed);
        }
        done += n;
    }
    rendering_.fetch_sub(1);
}
