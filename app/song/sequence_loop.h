// A loop of the song: its track rows and the cached rendering of it.
#pragma once

#include <memory>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "song/loop_track.h"

// A loop's length and resolution: 1 to 64 ticks, and 2, 3, 4, 6 or 8
// ticks per beat (eighths, eighth triplets, sixteenths, sixteenth
// triplets, thirty-seconds). Kept in the song's extension block; the
// default is two bars of sixteenths.
struct LoopFormat {
    static constexpr int kMaxTicks = 64;
    std::uint8_t ticks = 32;
    std::uint8_t ticksPerBeat = 4;
    static bool ValidTicksPerBeat(int n) { return n == 2 || n == 3 || n == 4 || n == 6 || n == 8; }
    bool Valid() const {
        return ticks >= 1 && ticks <= kMaxTicks && ValidTicksPerBeat(ticksPerBeat);
    }
    bool IsDefault() const { return *this == LoopFormat{}; }
    bool operator==(const LoopFormat&) const = default;
};

class SequenceLoop {
  public:
    using TrackList = std::vector<std::shared_ptr<LoopTrack>>;

    const LoopFormat& Format() const { return format_; }
    void SetFormat(LoopFormat format) { format_ = format; }
    // The loop header's own tick count, as the file had it.
    std::uint8_t NumTicks() const { return numTicks_; }
    // Stores the loop's own count and sets it on every track.
    void SetNumTicks(std::uint8_t value);
    // Drops every track; the tick count and the rendering stay.
    void Clear() { tracks_ = TrackList(); }
    // Error 6 for more than 255 tracks.
    std::uint8_t NumTracks() const;
    // The tracks themselves; callers append to add tracks.
    TrackList& Tracks() { return tracks_; }
    const TrackList& Tracks() const { return tracks_; }
    // Error 9 for a position that does not exist.
    std::shared_ptr<LoopTrack> Track(std::int32_t index) const;

    const ComPtr<IWav>& Wav() const { return wav_; }
    void SetWav(ComPtr<IWav> wav) { wav_ = std::move(wav); }

    void WriteToFile(BinaryStream& out) const;
    void ReadFromFile(BinaryStream& in);

  private:
    TrackList tracks_;
    std::uint8_t numTicks_ = 0;
    LoopFormat format_;
    ComPtr<IWav> wav_;
};
