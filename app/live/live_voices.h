// Hits played live, mixed in the output's real-time callback after the
// loop stream: MIDI note-ons from the device's port (at the frame they
// arrived), and hits of keys, pads and the ALSA sequencer (at the start
// of the next period). Each hit is a voice that plays its track's sound
// once, at the track's volume times velocity / 127; a muted track, or
// one a solo leaves out, plays nothing. Note-off is ignored (drum hits
// ring out). A hit of a choke group ends the voices of the group's other
// tracks from its own frame on, with a 5 ms fade, as the renderer does.
//
// Real-time contract (Mix): no allocation, lock or wait. The voices are a
// fixed pool; when all play, the oldest is stolen (counted). Hits from
// other threads go through a bounded queue; one that finds it full is
// dropped (counted). The kit (sounds, gains, note map) is replaced
// whole by SetKit; a replaced kit is freed on some later SetKit or
// Collect, once no callback and no voice uses it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "live/ring_queue.h"
#include "sound/live_source.h"

// A track's sound as the voices play it: stereo floats at some rate.
struct LiveSound {
    unsigned rate = 44100;
    std::vector<float> left, right;
};

// What live hits play: per track its sound (null: silent) and its gain
// (the volume, 0 when muted or left out by a solo); which track each
// note plays (-1: none) and the channel listened to (0: all, else 1-16).
struct LiveKit {
    std::vector<std::shared_ptr<const LiveSound>> sounds;
    std::vector<float> gains;
    std::vector<std::uint8_t> chokes;  // per track: 0 none, else its group
    std::array<std::int16_t, 128> trackOfNote{};
    int channel = 0;
    LiveKit() { trackOfNote.fill(-1); }
};

// The last note-on that arrived, for the status bar and MIDI learn.
struct NoteSeen {
    unsigned serial = 0;  // 0: none yet; grows with every note
    int note = 0;
    int channel = 0;  // 1 to 16
    int velocity = 0;
    int track = -1;  // -1: no track is mapped to it (or its channel is not listened to)
};

// A hit as it was played, for recording: its track, its velocity and the
// frame of the output's clock it began at.
struct PlayedHit {
    std::int16_t track = 0;
    std::uint8_t velocity = 0;
    std::uint64_t frame = 0;
};

class LiveVoices : public LiveSource {
  public:
    static constexpr std::size_t kVoices = 64;
    static constexpr std::size_t kQueued = 256;

    LiveVoices();

    // Any thread but the callback's.
    void SetKit(LiveKit kit);
    // Frees the kits no callback and no voice uses any more.
    void Collect();
    // Plays track at velocity (1 to 127) from the start of the next
    // period; false when the queue is full (dropped).
    bool Hit(int track, int velocity);
    // A MIDI message from elsewhere (the ALSA sequencer), handled as if it
    // arrived at the start of the next period; false when the queue is
    // full (dropped).
    bool Midi(const MidiEvent& event);
    // Whether played hits are kept for TakePlayed.
    void SetKeepPlayed(bool keep) { keepPlayed_.store(keep, std::memory_order_release); }
    bool TakePlayed(PlayedHit& hit) { return played_.Pop(hit); }

    NoteSeen LastNote() const;
    unsigned long Steals() const { return steals_.load(std::memory_order_relaxed); }
    unsigned long Dropped() const { return dropped_.load(std::memory_order_relaxed); }
    std::size_t ActiveVoices() const { return active_.load(std::memory_order_relaxed); }
    // The first frame, on the output's clock, of the latest period mixed.
    std::uint64_t ClockNow() const { return clock_.load(std::memory_order_relaxed); }
    unsigned Rate() const { return rate_.load(std::memory_order_relaxed); }

    // LiveSource.
    void Prepare(unsigned rate, unsigned maxFrames) override;
    void Mix(float* left, float* right, std::uint32_t frames, const MidiEvent* events,
             std::size_t count, std::uint64_t firstFrame) override;

  private:
    struct Kit {
        LiveKit kit;  // sounds at the device's rate
        unsigned long generation = 0;
    };
    struct Voice {
        const float* left = nullptr;
        const float* right = nullptr;
        std::uint32_t length = 0, position = 0, offset = 0;
        float gain = 0;
        int track = 0;
        std::uint8_t choke = 0;
        // Choked: the fade starts at frame fadeFrom of the period being
        // mixed and has fadeLeft of fadeLength frames to go.
        bool fading = false;
        std::uint32_t fadeFrom = 0, fadeLeft = 0, fadeLength = 0;
        std::uint64_t serial = 0;
        unsigned long generation = 0;
        bool active = false;
    };
    struct QueuedHit {
        std::int16_t track = 0;
        std::uint8_t velocity = 0;
    };

    // Non-real-time side (mutex_ held).
    std::shared_ptr<Kit> AtRate(const LiveKit& kit, unsigned long generation);
    void Publish(std::shared_ptr<Kit> kit);
    void FreeUnused();

    // Real-time side.
    void Start(const Kit& kit, int track, int velocity, std::uint32_t offset);
    void Handle(const Kit& kit, const MidiEvent& event);

    std::mutex mutex_;
    LiveKit source_;                          // as given, at its own rate
    std::vector<std::shared_ptr<Kit>> kits_;  // the current one last
    std::vector<std::pair<const LiveSound*, std::shared_ptr<const LiveSound>>> resampled_;
    unsigned long nextGeneration_ = 1;

    std::atomic<const Kit*> current_{nullptr};
    std::atomic<unsigned long> seen_{0};         // the kit the last Mix used
    std::atomic<unsigned long> oldestInUse_{0};  // the oldest kit a voice used then
    std::atomic<unsigned> rate_{0};

    std::array<Voice, kVoices> voices_{};
    std::uint64_t serial_ = 0;
    std::uint64_t periodFirst_ = 0;  // the callback's: the period's first frame
    std::uint8_t runningStatus_ = 0;
    RingQueue<QueuedHit> queue_{kQueued};
    RingQueue<MidiEvent> midi_{kQueued};
    RingQueue<PlayedHit> played_{1024};
    std::atomic<bool> keepPlayed_{false};
    std::atomic<std::uint64_t> lastNote_{0};
    std::atomic<unsigned long> steals_{0}, dropped_{0};
    std::atomic<std::size_t> active_{0};
    std::atomic<std::uint64_t> clock_{0};
};
