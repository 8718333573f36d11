#include "loop_track.h"

#include "app_error.h"
#include "song_io.h"

void LoopTrack::SetNumTicks(std::uint8_t value) {
    numTicks_ = value;
    tickBytes_.resize(value, 0);
}

bool LoopTrack::Value(std::uint8_t index) const {
    if (index >= tickBytes_.size()) ThrowSubscriptOutOfRange();
    return tickBytes_[index] != 0;
}

void LoopTrack::SetValue(std::uint8_t index, bool on) {
    if (index >= tickBytes_.size()) ThrowSubscriptOutOfRange();
    tickBytes_[index] = on ? 255 : 0;
}

void LoopTrack::WriteToFile(BinaryStream& out) const {
    std::uint8_t header[16] = {numTicks_};
    out.WriteBytes(header, sizeof header);
    out.WriteBytes(tickBytes_);
}

void LoopTrack::ReadFromFile(BinaryStream& in) {
    ByteArray header = ReadExactly(in, 16);
    numTicks_ = header[0];
    tickBytes_ = ReadExactly(in, numTicks_);
}
