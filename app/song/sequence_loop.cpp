#include "song/sequence_loop.h"

#include <string>

#include "song/song_io.h"

void SequenceLoop::SetNumTicks(std::uint8_t value) {
    numTicks_ = value;
    for (const auto& t : tracks_) t->SetNumTicks(value);
}

std::uint8_t SequenceLoop::NumTracks() const {
    return CountByte(static_cast<long long>(tracks_.size()), "tracks in a loop");
}

std::shared_ptr<LoopTrack> SequenceLoop::Track(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= tracks_.size())
        ThrowSubscriptOutOfRange("Track " + std::to_string(index) +
                                 " does not exist: the loop has " + std::to_string(tracks_.size()) +
                                 " tracks");
    return tracks_[static_cast<std::size_t>(index)];
}

void SequenceLoop::WriteToFile(BinaryStream& out) const {
    std::uint8_t header[song_format::kLoopHeaderSize] = {NumTracks(), numTicks_};
    out.WriteBytes(header, sizeof header);
    for (const auto& t : tracks_) t->WriteToFile(out);
}

void SequenceLoop::ReadFromFile(BinaryStream& in) {
    tracks_ = TrackList();
    ByteArray header = ReadExactly(in, song_format::kLoopHeaderSize, "the header");
    numTicks_ = header[1];
    for (int i = 0; i < header[0]; ++i) {
        auto track = std::make_shared<LoopTrack>();
        ReadingWhere("of track " + std::to_string(i), [&] { track->ReadFromFile(in); });
        tracks_.push_back(std::move(track));
    }
}
