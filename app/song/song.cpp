#include "song/song.h"

#include <cstring>
#include <string>

#include "song/song_io.h"

namespace {
constexpr std::size_t kInitialSlots = 10;

// A new loop with the track layout and format of model, all ticks off.
std::shared_ptr<SequenceLoop> EmptyCopyOf(const SequenceLoop& model) {
    auto loop = std::make_shared<SequenceLoop>();
    loop->SetFormat(model.Format());
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
    if (!old)
        ThrowSubscriptOutOfRange("The song has no loop 0 whose tracks the cleared song keeps");
    loopSlots_.assign(kInitialSlots, nullptr);
    loopSlots_[0] = EmptyCopyOf(*old);
}

std::shared_ptr<Sample> Song::SampleAt(std::int32_t index) {
    if (index < 0) ThrowSubscriptOutOfRange("Track " + std::to_string(index) + " does not exist");
    if (sampleSlots_.size() <= static_cast<std::size_t>(index)) sampleSlots_.resize(index + 1);
    auto& slot = sampleSlots_[static_cast<std::size_t>(index)];
    if (!slot) slot = std::make_shared<Sample>();
    return slot;
}

void Song::RemoveTrack(std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= sampleSlots_.size())
        ThrowSubscriptOutOfRange("Track " + std::to_string(index) +
                                 " does not exist: the song has " +
                                 std::to_string(sampleSlots_.size()) + " tracks");
    sampleSlots_.erase(sampleSlots_.begin() + index);
    for (const auto& loop : loopSlots_)
        if (loop && static_cast<std::size_t>(index) < loop->Tracks().size())
            loop->Tracks().erase(loop->Tracks().begin() + index);
}

std::shared_ptr<SequenceLoop> Song::Sequence(std::int32_t index) {
    if (index < 0) ThrowSubscriptOutOfRange("Loop " + std::to_string(index) + " does not exist");
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
    using namespace song_format;
    long long loops = 0, samples = 0;
    for (const auto& l : loopSlots_) loops += l ? 1 : 0;
    for (const auto& s : sampleSlots_) samples += s ? 1 : 0;
    std::uint8_t header[kSongHeaderSize] = {CountByte(loops, "loops"),
                                            CountByte(samples, "tracks")};
    if (std::string problem = TempoProblem(bpm_); !problem.empty())
        ThrowError(kErrInvalidArgument, problem.insert(0, "A song file cannot hold "));
    std::memcpy(header + kSongHeaderBpm, &bpm_, 8);
    out.WriteBytes(header, sizeof header);
    for (std::size_t i = 0; i < loopSlots_.size(); ++i) {
        if (!loopSlots_[i]) continue;
        std::uint8_t prefix[kItemPrefixSize] = {IndexByte(static_cast<long long>(i), "loops")};
        out.WriteBytes(prefix, sizeof prefix);
        loopSlots_[i]->WriteToFile(out);
    }
    for (std::size_t i = 0; i < sampleSlots_.size(); ++i) {
        if (!sampleSlots_[i]) continue;
        std::uint8_t prefix[kItemPrefixSize] = {IndexByte(static_cast<long long>(i), "tracks")};
        out.WriteBytes(prefix, sizeof prefix);
        sampleSlots_[i]->WriteToFile(out);
    }
}

void Song::ReadFromFile(BinaryStream& in) {
    using namespace song_format;
    ByteArray header = ReadExactly(in, kSongHeaderSize, "the song header");
    std::memcpy(&bpm_, &header[kSongHeaderBpm], 8);
    if (const std::string problem = TempoProblem(bpm_); !problem.empty()) ThrowNotASong(problem);
    // Records come in increasing slot order, each slot once, as written.
    auto prefix = [&](const char* kind, int previous) {
        ByteArray p =
            ReadExactly(in, kItemPrefixSize, (std::string("the number of a ") + kind).c_str());
        const std::string name = std::string(kind) + " " + std::to_string(p[0]);
        if (p[1] != 0) ThrowNotASong("a nonzero reserved byte before " + name);
        if (p[0] <= previous)
            ThrowNotASong(name + " listed after " + kind + " " + std::to_string(previous));
        return p[0];
    };
    int last = -1;
    for (int i = 0; i < header[0]; ++i) {
        last = prefix("loop", last);
        ReadingWhere("in loop " + std::to_string(last), [&] { Sequence(last)->ReadFromFile(in); });
    }
    last = -1;
    for (int i = 0; i < header[1]; ++i) {
        last = prefix("sample", last);
        ReadingWhere("for sample " + std::to_string(last),
                     [&] { SampleAt(last)->ReadFromFile(in); });
    }
}
