#include "live/live_voices.h"

#include <soxr.h>

#include <algorithm>

namespace {

// The last note packed in one word: serial (32 bits), note, channel,
// velocity and track + 1 (8 bits each).
std::uint64_t PackNote(unsigned serial, int note, int channel, int velocity, int track) {
    return (std::uint64_t(serial) << 32) | (std::uint64_t(note & 0xFF) << 24) |
           (std::uint64_t(channel & 0xFF) << 16) | (std::uint64_t(velocity & 0xFF) << 8) |
           std::uint64_t((track + 1) & 0xFF);
}

// sound at rate, resampled with libsoxr.
std::shared_ptr<const LiveSound> Resampled(const LiveSound& sound, unsigned rate) {
    auto out = std::make_shared<LiveSound>();
    out->rate = rate;
    const std::size_t in = sound.left.size();
    const std::size_t want = std::size_t(double(in) * rate / sound.rate + 0.5);
    std::vector<float> interleaved(in * 2), result(want * 2 + 16);
    for (std::size_t i = 0; i < in; ++i) {
        interleaved[2 * i] = sound.left[i];
        interleaved[2 * i + 1] = sound.right[i];
    }
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t done = 0;
    soxr_oneshot(double(sound.rate), double(rate), 2, interleaved.data(), in, nullptr,
                 result.data(), want, &done, &io, &quality, nullptr);
    out->left.resize(done);
    out->right.resize(done);
    for (std::size_t i = 0; i < done; ++i) {
        out->left[i] = result[2 * i];
        out->right[i] = result[2 * i + 1];
    }
    return out;
}

// out[k] += in[k] * gain; the sound never overlaps the output, so the
// compiler may do it several at a time.
void AddScaled(float* __restrict out, const float* __restrict in, float gain, std::uint32_t n) {
    for (std::uint32_t k = 0; k < n; ++k) out[k] += in[k] * gain;
}

}  // namespace

LiveVoices::LiveVoices() = default;

void LiveVoices::SetKit(LiveKit kit) {
    std::lock_guard<std::mutex> lock(mutex_);
    source_ = std::move(kit);
    if (rate_.load() == 0) return;  // made when the device says its rate
    Publish(AtRate(source_, nextGeneration_++));
    FreeUnused();
}

void LiveVoices::Collect() {
    std::lock_guard<std::mutex> lock(mutex_);
    FreeUnused();
}

bool LiveVoices::Hit(int track, int velocity) {
    if (track < 0 || track > 0x7FFF) return false;
    const QueuedHit h{std::int16_t(track), std::uint8_t(std::clamp(velocity, 1, 127))};
    if (queue_.Push(h)) return true;
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool LiveVoices::Midi(const MidiEvent& event) {
    if (event.size < 1 || event.size > 3) return false;
    MidiEvent e = event;
    e.frame = 0;
    if (midi_.Push(e)) return true;
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

NoteSeen LiveVoices::LastNote() const {
    const std::uint64_t v = lastNote_.load(std::memory_order_acquire);
    NoteSeen s;
    s.serial = unsigned(v >> 32);
    s.note = int((v >> 24) & 0xFF);
    s.channel = int((v >> 16) & 0xFF);
    s.velocity = int((v >> 8) & 0xFF);
    s.track = int(v & 0xFF) - 1;
    return s;
}

std::shared_ptr<LiveVoices::Kit> LiveVoices::AtRate(const LiveKit& kit, unsigned long generation) {
    auto made = std::make_shared<Kit>();
    made->kit = kit;
    made->generation = generation;
    const unsigned rate = rate_.load();
    // Sounds at another rate are resampled once and kept while in use.
    decltype(resampled_) kept;
    for (auto& sound : made->kit.sounds) {
        if (!sound || sound->rate == rate) continue;
        auto found = std::find_if(resampled_.begin(), resampled_.end(),
                                  [&](const auto& p) { return p.first == sound.get(); });
        std::shared_ptr<const LiveSound> r =
            found != resampled_.end() && found->second->rate == rate ? found->second
                                                                     : Resampled(*sound, rate);
        kept.emplace_back(sound.get(), r);
        sound = r;
    }
    resampled_ = std::move(kept);
    return made;
}

void LiveVoices::Publish(std::shared_ptr<Kit> kit) {
    current_.store(kit.get(), std::memory_order_release);
    kits_.push_back(std::move(kit));
}

void LiveVoices::FreeUnused() {
    // A kit older than the one the callback last took, and than every
    // voice it then played, is nobody's.
    const unsigned long floor = std::min(seen_.load(), oldestInUse_.load());
    if (kits_.size() < 2) return;
    auto last = kits_.end() - 1;
    kits_.erase(
        std::remove_if(kits_.begin(), last,
                       [floor](const std::shared_ptr<Kit>& k) { return k->generation < floor; }),
        last);
}

void LiveVoices::Prepare(unsigned rate, unsigned) {
    std::lock_guard<std::mutex> lock(mutex_);
    // No callback runs now: the voices start afresh at the new rate.
    for (Voice& v : voices_) v.active = false;
    active_ = 0;
    rate_ = rate;
    current_.store(nullptr);
    kits_.clear();
    resampled_.clear();
    Publish(AtRate(source_, nextGeneration_++));
    seen_ = oldestInUse_ = kits_.back()->generation;
}

void LiveVoices::Start(const Kit& kit, int track, int velocity, std::uint32_t offset) {
    if (track < 0 || std::size_t(track) >= kit.kit.sounds.size()) return;
    // A hit is recorded as played, heard or not (a muted track is still
    // played into the loop).
    if (keepPlayed_.load(std::memory_order_acquire))
        played_.Push({std::int16_t(track), std::uint8_t(velocity), periodFirst_ + offset});
    const LiveSound* sound = kit.kit.sounds[std::size_t(track)].get();
    const float gain = kit.kit.gains[std::size_t(track)] * float(velocity) / 127.0f;
    const std::uint8_t choke =
        std::size_t(track) < kit.kit.chokes.size() ? kit.kit.chokes[std::size_t(track)] : 0;
    // The group's other tracks still ringing fade out from this hit's frame.
    if (choke != 0)
        for (Voice& other : voices_)
            if (other.active && other.choke == choke && other.track != track && !other.fading) {
                other.fading = true;
                other.fadeFrom = std::max(offset, other.offset);
                other.fadeLength = other.fadeLeft = std::max(1u, rate_.load() * 5 / 1000);
            }
    if (!sound || sound->left.empty() || gain <= 0.0f) return;
    Voice* v = nullptr;
    for (Voice& candidate : voices_)
        if (!candidate.active) {
            v = &candidate;
            break;
        }
    if (!v) {
        v = &*std::min_element(voices_.begin(), voices_.end(),
                               [](const Voice& a, const Voice& b) { return a.serial < b.serial; });
        steals_.fetch_add(1, std::memory_order_relaxed);
    }
    v->left = sound->left.data();
    v->right = sound->right.data();
    v->length = std::uint32_t(sound->left.size());
    v->position = 0;
    v->offset = offset;
    v->gain = gain;
    v->track = track;
    v->choke = choke;
    v->fading = false;
    v->serial = ++serial_;
    v->generation = kit.generation;
    v->active = true;
}

void LiveVoices::Handle(const Kit& kit, const MidiEvent& e) {
    std::uint8_t status = e.data[0];
    const std::uint8_t* data = e.data + 1;
    std::size_t size = e.size - 1u;
    if (status >= 0xF8) return;  // clock and other real-time bytes
    if (status >= 0xF0) {
        runningStatus_ = 0;  // system common messages end running status
        return;
    }
    if (status >= 0x80) {
        runningStatus_ = status;
    } else {
        // Running status: the data bytes of the last message's kind.
        status = runningStatus_;
        data = e.data;
        size = e.size;
    }
    if ((status & 0xF0) != 0x90 || size < 2) return;
    const int note = data[0], velocity = data[1];
    if (note > 127 || velocity > 127 || velocity == 0) return;  // garbage, or a note-off
    const int channel = (status & 0x0F) + 1;
    int track = -1;
    if (kit.kit.channel == 0 || kit.kit.channel == channel) track = kit.kit.trackOfNote[note];
    const unsigned serial = unsigned(lastNote_.load(std::memory_order_relaxed) >> 32) + 1;
    lastNote_.store(PackNote(serial, note, channel, velocity, track), std::memory_order_release);
    if (track >= 0) Start(kit, track, velocity, e.frame);
}

void LiveVoices::Mix(float* left, float* right, std::uint32_t frames, const MidiEvent* events,
                     std::size_t count, std::uint64_t firstFrame) {
    const Kit* kit = current_.load(std::memory_order_acquire);
    if (!kit) return;
    periodFirst_ = firstFrame;
    clock_.store(firstFrame, std::memory_order_relaxed);
    seen_.store(kit->generation);
    QueuedHit h;
    while (queue_.Pop(h)) Start(*kit, h.track, h.velocity, 0);
    MidiEvent m;
    while (midi_.Pop(m)) Handle(*kit, m);
    for (std::size_t i = 0; i < count; ++i) Handle(*kit, events[i]);
    unsigned long oldest = kit->generation;
    std::size_t active = 0;
    for (Voice& v : voices_) {
        if (!v.active) continue;
        const std::uint32_t from = std::min(v.offset, frames);
        std::uint32_t n = std::min(frames - from, v.length - v.position);
        if (v.fading) {
            // Whole up to the fade, then down by one step a frame.
            const std::uint32_t whole = std::min(n, v.fadeFrom > from ? v.fadeFrom - from : 0u);
            AddScaled(left + from, v.left + v.position, v.gain, whole);
            AddScaled(right + from, v.right + v.position, v.gain, whole);
            std::uint32_t k = whole;
            for (; k < n && v.fadeLeft > 0; ++k, --v.fadeLeft) {
                const float g = v.gain * float(v.fadeLeft) / float(v.fadeLength);
                left[from + k] += v.left[v.position + k] * g;
                right[from + k] += v.right[v.position + k] * g;
            }
            n = k;
            v.fadeFrom = 0;
            if (v.fadeLeft == 0) v.position = v.length;  // faded out
        }
        if (!v.fading) {
            AddScaled(left + from, v.left + v.position, v.gain, n);
            AddScaled(right + from, v.right + v.position, v.gain, n);
        }
        v.position = std::min(v.length, v.position + n);
        v.offset = 0;
        if (v.position >= v.length) {
            v.active = false;
            continue;
        }
        ++active;
        oldest = std::min(oldest, v.generation);
    }
    oldestInUse_.store(oldest);
    active_.store(active, std::memory_order_relaxed);
}
