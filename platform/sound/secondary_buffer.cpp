#include "sound/secondary_buffer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "sound/event_service.h"

DirectSoundSecondaryBuffer8::DirectSoundSecondaryBuffer8(const DSBUFFERDESC& desc,
                                                         std::function<void(bool)> run)
    : format_(desc.fxFormat),
      ring_(static_cast<std::size_t>(std::max<LONG>(desc.lBufferBytes, 0)), 0),
      run_(std::move(run)) {}

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
    written_.fetch_add(1, std::memory_order_release);
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
    if (!playing_.exchange(true, std::memory_order_acq_rel) && run_) run_(true);
    return S_OK;
}

HRESULT DirectSoundSecondaryBuffer8::Stop() {
    if (!playing_.exchange(false, std::memory_order_acq_rel)) return S_OK;
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
}

void DirectSoundSecondaryBuffer8::Render(unsigned char* out, std::size_t bytes) {
    const std::size_t size = ring_.size();
    if (!IsPlaying() || size == 0) {
        // Silence: unsigned 8-bit audio rests at 128.
        std::memset(out, format_.nBitsPerSample == 8 ? 128 : 0, bytes);
        return;
    }
    written_.load(std::memory_order_acquire);
    LONG from = cursor_.load(std::memory_order_acquire);
    std::size_t pos = static_cast<std::size_t>(from), done = 0;
    while (done < bytes) {
        std::size_t n = std::min(bytes - done, size - pos);
        std::memcpy(out + done, ring_.data() + pos, n);
        done += n;
        pos = (pos + n) % size;
    }
    // A cursor moved meanwhile by the program wins over this advance.
    LONG expected = from;
    if (cursor_.compare_exchange_strong(expected, static_cast<LONG>(pos),
                                        std::memory_order_acq_rel))
        SignalPassed(from, static_cast<LONG>(std::min<std::size_t>(bytes, 0x7FFFFFFF)));
}
