#include "song.h"

#include <cstring>

#include "song_io.h"

namespace {
constexpr std::size_t kInitialSlots = 10;

// A new loop with the track layout of model, all ticks off.
std::shared_ptr<SequenceLoop> EmptyCopyOf(const SequenceLoop& model) {
    auto loop = std::make_shared<SequenceLoop>();
    for (const auto& t : model.Tracks()) {
        auto track = std::make_shared<LoopTrack>();
        track->SetNumTicks(t->NumTicks());
        loop->Tracks().push_back(std::move(track));
    }
    return loop;
}
}  // namespace

Song::Song() : sampleSlots_(kInitialSlots), loopSlots_(kInitialSlots) {}

void Song::ClearLoops() {
    std::shared_ptr<SequenceLoop> old = loopSlots_.empty() ? nullptr : loopSlots_[0];
    if (!old) ThrowSubscriptOutOfRange();  // there must be a loop 0
    loopSlots_.assign(kInitialSlots, nullptr);
    loopSlots_[0] = EmptyCopyOf(*old);
}

std::shared_ptr<Sample> Song::SampleAt(std::int32_t index) {
    if (index < 0) ThrowSubscriptOutOfRange();
    if (sampleSlots_.size() <= static_cast<std::size_t>(index)) sampleSlots_.resize(index + 1);
    auto& slot = sampleSlots_[static_cast<std::size_t>(index)];
    if (!slot) slot = std::make_shared<Sample>();
    return slot;
}

void Song::RemoveTrack(std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= sampleSlots_.size())
        ThrowSubscriptOutOfRange();
    sampleSlots_.erase(sampleSlots_.begin() + index);
    for (const auto& loop : loopSlots_)
        if (loop && static_cast<std::size_t>(index) < loop->Tracks().size())
            loop->Tracks().erase(loop->Tracks().begin() + index);
}

std::shared_ptr<SequenceLoop> Song::Sequence(std::int32_t index) {
    if (index < 0) ThrowSubscriptOutOfRange();
    if (loopSlots_.size() <= static_cast<std::size_t>(index)) loopSlots_.resize(index + 1);
    auto& slot = loopSlots_[static_cast<std::size_t>(index)];
    if (!slot) {
        // A new loop copies loop 0's layout, never its pattern.
        slot = index > 0 && loopSlots_[0] ? EmptyCopyOf(*loopSlots_[0])
                                          : std::make_shared<SequenceLoop>();
    }
    return slot;
}

void Song::WriteToFile(BinaryStream& out) const {
    long long loops = 0, samples = 0;
    for (const auto& l : loopSlots_) loops += l ? 1 : 0;
    for (const auto& s : sampleSlots_) samples += s ? 1 : 0;
    std::uint8_t header[10] = {ToByte(loops), ToByte(samples)};
    std::memcpy(header + 2, &bpm_, 8);
    out.WriteBytes(header, sizeof header);
    for (std::size_t i = 0; i < loopSlots_.size(); ++i) {
        if (!loopSlots_[i]) continue;
        std::uint8_t prefix[2] = {ToByte(static_cast<long long>(i)), 0};
        out.WriteBytes(prefix, 2);
        loopSlots_[i]->WriteToFile(out);
    }
    for (std::size_t i = 0; i < sampleSlots_.size(); ++i) {
        if (!sampleSlots_[i]) continue;
        std::uint8_t prefix[2] = {ToByte(static_cast<long long>(i)), 0};
        out.WriteBytes(prefix, 2);
        sampleSlots_[i]->WriteToFile(out);
    }
}

void Song::ReadFromFile(BinaryStream& in) {
    ByteArray header = ReadExactly(in, 10);
    std::memcpy(&bpm_, &header[2], 8);
    for (int i = 0; i < header[0]; ++i) Sequence(ReadExactly(in, 2)[0])->ReadFromFile(in);
    for (int i = 0; i < header[1]; ++i) SampleAt(ReadExactly(in, 2)[0])->ReadFromFile(in);
}
