// OggVorbisFileReader: decodes an Ogg Vorbis file incrementally into 16-bit
// blocks. File bytes go through InputBuffer into the push decoder; the rest
// of a decoded frame that a block did not need waits in CarryOver, so no
// frame is decoded twice.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "audio/typelib.h"
#include "audio/wav_format.h"
#include "com/object.h"
#include "files/regular_file.h"

struct stb_vorbis;

class OggVorbisFileReader final
    : public FormatMembers<DispatchObject<OggVorbisFileReader, IWavReader>> {
  public:
    static const InterfaceDesc& Interface() { return WavReaderInterface(); }

    // All Ogg Vorbis audio is described at this rate, whatever the stream says.
    static constexpr LONG kSampleRate = 44100;
    // The first read of the file; a page that does not fit makes it grow.
    static constexpr std::size_t kInputBufferSize = 16384;
    // How far it may grow: one Ogg page is at most 65307 bytes.
    static constexpr std::size_t kInputBufferCap = 65536 + kInputBufferSize;
    static constexpr int kMaxChannels = 8;
    // The decoder allocates only from an arena of the reader's, so it can
    // neither leak nor take more than the cap, however the file is made.
    static constexpr std::size_t kArenaSize = 512 * 1024;
    static constexpr std::size_t kArenaCap = 16 * 1024 * 1024;

    // A reader on the file at path (UTF-8). If the file cannot be opened or
    // its headers decoded, the reader is at its end and Read fails.
    static HRESULT Open(const std::string& path, IWavReader** out);
    ~OggVorbisFileReader() override;

    HRESULT Peaks(LONG, SAFEARRAY** result) override {
        if (!result) return E_POINTER;
        return E_NOTIMPL;
    }
    HRESULT get_EOF(VARIANT_BOOL* result) override;
    HRESULT Read(LONG NumSamplesToRead, IWav** result) override;
    HRESULT get_AbsolutePosition(LONG* result) override;
    HRESULT Skip(LONG) override { return E_NOTIMPL; }

  private:
    // The end comes when the decoder has nothing more, not when the file's
    // last bytes were read: frames may still wait in InputBuffer.
    bool AtEnd() const { return carryValid_ == 0 && (!decoder_ || drained_); }
    // Ends the input: nothing more is read or decoded from the file.
    void EndStream();
    bool StreamEnded() const { return !stream_ || std::feof(stream_.get()); }
    // Makes room and reads more of the file; false when no more can come.
    bool Refill();
    // Converts frames [from, to) of one decoded frame to interleaved values.
    void Convert(float** channels, int from, int to, AudioSample* out) const;

    FilePtr stream_;
    stb_vorbis* decoder_ = nullptr;
    CBuffer arena_;                     // the decoder's memory
    std::vector<unsigned char> input_;  // InputBuffer
    std::size_t consumed_ = 0;          // start of the bytes not yet used
    std::size_t available_ = 0;         // bytes not yet used from there
    CBuffer carryOver_;
    std::size_t carryCapacity_ = 0;  // bytes
    std::size_t carryValid_ = 0;     // bytes held
    std::size_t carryRead_ = 0;      // byte offset of the next held byte
    LONG position_ = 0;              // values delivered (frames * channels)
    bool drained_ = false;           // the decoder found nothing more to decode
};
