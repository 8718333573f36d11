#include "audio/wav_file_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <limits>

#include "audio/wav.h"
#include "audio/wav_parse.h"
#include "files/regular_file.h"

HRESULT WavFileReader::Open(const std::string& path, IWavReader** out) {
    *out = nullptr;
    WavFileReader* r = nullptr;
    HRESULT hr = CreateObject(&r);
    if (FAILED(hr)) return hr;
    r->stream_ = path.empty() ? nullptr : OpenRegularFile(path);
    WavLayout layout;
    if (r->stream_ && ReadWavLayout(r->stream_.get(), &layout)) {
        r->format_.AdoptHeader(layout.header);
        r->offset_ = layout.dataOffset;
        r->dataEnd_ = layout.dataEnd;
    } else {
        r->Close();
    }
    *out = r;
    return S_OK;
}

WavFileReader::~WavFileReader() {
    Close();
}

void WavFileReader::Close() {
    stream_.reset();
}

long long WavFileReader::Remaining() const {
    long long end = dataEnd_;
    if (end < 0) {
        struct stat st;
        end = ::fstat(::fileno(stream_.get()), &st) == 0 ? st.st_size : offset_;
    }
    return std::max(0LL, end - offset_);
}

HRESULT WavFileReader::get_EOF(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = (!stream_ || atEnd_) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WavFileReader::Read(LONG NumSamplesToRead, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    const LONG channels = format_.NumChannels();
    const LONG valueBytes = format_.bytesPerSample;
    const long long remaining = stream_ ? Remaining() : 0;
    LONGLONG n = NumSamplesToRead;
    if (n < 0) n = format_.numSamples;
    // A file of unknown length is read to its end.
    if (n < 0 && stream_) n = remaining / format_.FrameBytes();
    if (n < 0 || !stream_) n = 0;
    const LONGLONG wanted = n * channels * valueBytes;
    if (wanted > std::numeric_limits<LONG>::max() - 44) return E_OUTOFMEMORY;

    // The block is described as n frames but holds no more than the file can give.
    const LONGLONG toRead = std::min<LONGLONG>(wanted, remaining);
    Wav* block = nullptr;
    HRESULT hr = Wav::Create(format_.header, static_cast<LONG>(n), false, &block, toRead);
    if (FAILED(hr)) return hr;
    std::size_t got =
        toRead > 0 ? std::fread(block->Data(), 1, static_cast<std::size_t>(toRead), stream_.get())
                   : 0;
    offset_ += static_cast<long long>(got);
    if (static_cast<LONGLONG>(got) < wanted) atEnd_ = true;
    const LONG values =
        static_cast<LONG>(got / static_cast<std::size_t>(valueBytes ? valueBytes : 1));
    if (channels > 0) position_ += values / channels;
    if (values < n * channels) block->ShrinkTo(values);
    if (atEnd_) Close();
    *result = block;
    return S_OK;
}

HRESULT WavFileReader::get_AbsolutePosition(LONG* result) {
    if (!result) return E_POINTER;
    *result = position_;
    return S_OK;
}

HRESULT WavFileReader::Skip(LONG NumSamplesToSkip) {
    if (!stream_) return E_FAIL;
    LONGLONG to = LONGLONG{position_} + NumSamplesToSkip;
    if (to < 0 || to > std::numeric_limits<LONG>::max()) return E_FAIL;
    position_ = static_cast<LONG>(to);
    long long delta = static_cast<long long>(NumSamplesToSkip) * format_.FrameBytes();
    if (::fseeko(stream_.get(), delta, SEEK_CUR) != 0) return E_FAIL;
    offset_ += delta;
    atEnd_ = false;  // a successful move clears the end indicator
    return S_OK;
}

HRESULT WavFileReader::Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    const LONG valueBytes = format_.bytesPerSample;
    if (!stream_ || NumSamplesPerPeak <= 0 || valueBytes > 2 || valueBytes < 1) return E_FAIL;
    const LONG channels = format_.NumChannels();
    LONG count = format_.numSamples / NumSamplesPerPeak;
    SAFEARRAY* a = MakePeakArray(count);
    if (!a) return E_FAIL;
    auto* peaks = static_cast<Peak*>(a->pvData);
    const LONGLONG blockValues = LONGLONG{NumSamplesPerPeak} * channels;
    long long left = Remaining();
    for (LONG k = 0; k < count; ++k) {
        Peak peak{32767, -32768};
        // Past the end nothing more can be read: the rest of the blocks stay empty.
        for (LONGLONG i = 0; i < blockValues && !atEnd_;) {
            AudioSample chunk[1024];
            std::size_t n = 0;
            for (; n < std::size(chunk) && i < blockValues; ++i) {
                // Each value read into a zeroed 16-bit value: 8-bit data gives 0..255.
                unsigned char bytes[2] = {0, 0};
                bool ok = left >= valueBytes;
                for (LONG b = 0; ok && b < valueBytes; ++b) {
                    int c = getc_unlocked(stream_.get());
                    if (c == EOF) {
                        ok = false;
                        break;
                    }
                    bytes[b] = static_cast<unsigned char>(c);
                    ++offset_;
                    --left;
                }
                if (!ok) {
                    atEnd_ = true;
                    break;
                }
                chunk[n++] = static_cast<AudioSample>(bytes[0] | (bytes[1] << 8));
                if (i % channels == 0) ++position_;
            }
            ExtendPeak(peak, chunk, n);
        }
        peaks[k] = peak;
    }
    *result = a;
    return S_OK;
}
