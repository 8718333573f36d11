#include "song/loop_track.h"

#include <string>

#include "song/song_io.h"

namespace {
[[noreturn]] void ThrowNoTick(std::uint8_t index, std::size_t ticks) {
    ThrowSubscriptOutOfRange("Tick " + std::to_string(index) + " does not exist: the track has " +
                             std::to_string(ticks) + " ticks");
}
}  // namespace

void LoopTrack::SetNumTicks(std::uint8_t value) {
    numTicks_ = value;
    tickBytes_.resize(value, 0);
}

bool LoopTrack::Value(std::uint8_t index) const {
    if (index >= tickBytes_.size()) ThrowNoTick(index, tickBytes_.size());
    return tickBytes_[index] != 0;
}

void LoopTrack::SetValue(std::uint8_t index, bool on) {
    if (index >= tickBytes_.size()) ThrowNoTick(index, tickBytes_.size());
    tickBytes_[index] = on ? song_format::kTickOn : 0;
}

void LoopTrack::WriteToFile(BinaryStream& out) const {
    std::uint8_t header[song_format::kTrackHeaderSize] = {numTicks_};
    out.WriteBytes(header, sizeof header);
    out.WriteBytes(tickBytes_);
}

void LoopTrack::ReadFromFile(BinaryStream& in) {
    ByteArray header = ReadExactly(in, song_format::kTrackHeaderSize, "the header");
    for (std::size_t i = 1; i < header.size(); ++i)
        if (header[i] != 0) ThrowNotASong("nonzero reserved bytes in the header");
    numTicks_ = header[0];
    tickBytes_ = ReadExactly(in, numTicks_, "the ticks");
}
