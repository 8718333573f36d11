// Song tests run against the real library, registered for the test run.
#pragma once

#include <algorithm>
#include <functional>
#include <set>

#include "common/audio_fixture.h"
#include "song/song.h"
#include "support/app_error.h"
#include "support/file_streams.h"

// A stream over bytes in memory, behaving as the file streams do: a short
// array at the end, never more than remains.
class MemoryStream : public BinaryStream {
  public:
    explicit MemoryStream(ByteArray bytes = {}) : bytes_(std::move(bytes)) {}
    void WriteBytes(const ByteArray& b) override { WriteBytes(b.data(), b.size()); }
    void WriteBytes(const void* data, std::size_t size) override {
        auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    ByteArray ReadBytes(std::int32_t count) override {
        std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(count), bytes_.size() - pos_);
        ByteArray out(bytes_.begin() + pos_, bytes_.begin() + pos_ + n);
        pos_ += n;
        return out;
    }
    long long BytesLeft() const override { return static_cast<long long>(bytes_.size() - pos_); }
    const ByteArray& Bytes() const { return bytes_; }

  private:
    ByteArray bytes_;
    std::size_t pos_ = 0;
};

inline long ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const AppError& e) {
        return e.Number();
    }
    return 0;
}

inline ByteArray Written(const Song& song) {
    MemoryStream out;
    song.WriteToFile(out);
    return out.Bytes();
}

inline void AddTracks(SequenceLoop& loop, int count, std::uint8_t ticks) {
    for (int i = 0; i < count; ++i) {
        auto t = std::make_shared<LoopTrack>();
        t->SetNumTicks(ticks);
        loop.Tracks().push_back(t);
    }
}
