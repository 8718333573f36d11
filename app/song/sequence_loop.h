// A loop of the song: its track rows and the cached rendering of it.
#pragma once

#include <memory>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "song/loop_track.h"

class SequenceLoop {
  public:
    using TrackList = std::vector<std::shared_ptr<LoopTrack>>;

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
    ComPtr<IWav> wav_;
};
