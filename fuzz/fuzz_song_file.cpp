// A song file of any bytes: read (the records, then what follows them as
// the extension block), and when it reads, written back.
#include "fuzz_support.h"
#include "song/song.h"
#include "song/song_extension.h"
#include "support/app_error.h"
#include "support/audio_library.h"

namespace {

// The file's bytes as a stream, at its end a shorter array as files give.
class BytesStream : public BinaryStream {
  public:
    BytesStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    void WriteBytes(const ByteArray& b) override { written_ += b.size(); }
    void WriteBytes(const void*, std::size_t size) override { written_ += size; }
    ByteArray ReadBytes(std::int32_t count) override {
        std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(count < 0 ? 0 : count), size_ - pos_);
        ByteArray out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    long long BytesLeft() const override { return static_cast<long long>(size_ - pos_); }

  private:
    const uint8_t* data_;
    size_t size_, pos_ = 0, written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = (UseAudioLibrary(Globals().get()), true);
    (void)ready;
    BytesStream in(data, size);
    Song song;
    try {
        song.ReadFromFile(in);
        if (in.BytesLeft() > 0) {
            const ByteArray rest = in.ReadBytes(std::int32_t(in.BytesLeft()));
            if (!ReadExtensionBlock(rest, song).empty()) song.SetUnreadBlock(rest);
        }
        BytesStream out(nullptr, 0);
        song.WriteToFile(out);
        out.WriteBytes(BlockToWrite(song));
    } catch (const AppError&) {
        // A clear error is the expected outcome for most inputs.
    }
    return 0;
}
