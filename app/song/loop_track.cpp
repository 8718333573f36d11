#include "song/loop_track.h"

#include <string>

#include "song/song_io.h"
#include "support/app_error.h"

namespace {
[[noreturn]] void ThrowNoTick(std::uint8_t index, std::size_t ticks) {
    ThrowSubscriptOutOfRange("Tick " + std::to_string(index) + " does not exist: the track has " +
                             std::to_string(ticks) + " ticks");
}
}  // namespace

void LoopTrack::SetNumTicks(std::uint8_t value) {
    numTicks_ = value;
    tickBytes_.resize(value, 0);
    velocities_.resize(value, kFullVelocity);
}

std::uint8_t LoopTrack::Velocity(std::uint8_t index) const {
    if (index >= tickBytes_.size()) ThrowNoTick(index, tickBytes_.size());
    return velocities_[index];
}

void LoopTrack::SetVelocity(std::uint8_t index, std::uint8_t velocity) {
    if (index >= tickBytes_.size()) ThrowNoTick(index, tickBytes_.size());
    if (velocity < 1 || velocity > kFullVelocity)
        ThrowError(kErrInvalidArgument,
                   "A velocity is 1 to 127, not " + std::to_string(int(velocity)));
    velocities_[index] = velocity;
}

bool LoopTrack::HasVelocities() const {
    for (std::size_t i = 0; i < tickBytes_.size(); ++i)
        if (tickBytes_[i] && velocities_[i] != kFullVelocity) return true;
    return false;
}

bool LoopTrack::Value(std::uint8_t index) const {
    if (index >= tickBytes_.size()) ThrowNoTick(index, tickBytes_.size());
    return tickBytes_[index] != 0;
}

void LoopTrack::SetValue(std::uint8_t index, bool on) {
    if (index >= tickBytes_.size()) ThrowNoTick(index, tickBytes_.size());
    tickBytes_[index] = on ? song_format::kTickOn : 0;
    // A tick turned off forgets its velocity: turned on again, it is full.
    if (!on) velocities_[index] = kFullVelocity;
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
    velocities_.assign(numTicks_, kFullVelocity);
}
