#include "audio/ogg_vorbis_reader.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/ogg_header_check.h"
#include "audio/wav.h"
#include "files/regular_file.h"

namespace {

// Reader headers: the length is unknown (-1) and the rate always 44100.
WavHeader StreamHeader(SHORT channels) {
    WavHeader h = BuildHeader(0, channels, OggVorbisFileReader::kSampleRate, 2);
    h.RiffHeader.ChunkSize = -1;
    h.DataHeader.ChunkSize = -1;
    return h;
}

AudioSample ToSample(float x) {
    // Truncated toward zero, then clamped; NaN is silence. The first bound
    // only keeps the conversion to an integer defined.
    const float v = x * 32768.0f;
    if (v != v) return 0;
    return ClampToAudioSample(static_cast<LONG>(std::clamp(v, -65536.0f, 65536.0f)));
}

}  // namespace

HRESULT OggVorbisFileReader::Open(const std::string& path, IWavReader** out) {
    *out = nullptr;
    OggVorbisFileReader* r = nullptr;
    HRESULT hr = CreateObject(&r);
    if (FAILED(hr)) return hr;
    *out = r;
    r->stream_ = path.empty() ? nullptr : OpenRegularFile(path);
    if (!r->stream_) return S_OK;
    r->input_.resize(kInputBufferSize);
    r->available_ = std::fread(r->input_.data(), 1, r->input_.size(), r->stream_.get());
    std::size_t arenaSize = kArenaSize;
    for (;;) {
        if (!r->arena_) {
            r->arena_.reset(static_cast<unsigned char*>(std::malloc(arenaSize)));
            if (!r->arena_) {
                r->EndStream();
                return S_OK;
            }
        }
        OggHeaderCheck check = CheckOggVorbisHeaders(r->input_.data(), r->available_);
        if (check == OggHeaderCheck::kInvalid) {
            r->EndStream();
            return S_OK;
        }
        stb_vorbis_alloc arena{reinterpret_cast<char*>(r->arena_.get()),
                               static_cast<int>(arenaSize)};
        int used = 0, error = VORBIS_need_more_data;
        if (check == OggHeaderCheck::kValid)
            r->decoder_ = stb_vorbis_open_pushdata(
                r->input_.data(), static_cast<int>(r->available_), &used, &error, &arena);
        if (r->decoder_) {
            r->consumed_ = static_cast<std::size_t>(used);
            r->available_ -= static_cast<std::size_t>(used);
            break;
        }
        if (error == VORBIS_outofmem && arenaSize < kArenaCap) {
            arenaSize *= 2;
            r->arena_.reset();
            continue;
        }
        // Headers larger than the buffer: grow it up to the cap and try again.
        if (error != VORBIS_need_more_data || r->StreamEnded() ||
            r->input_.size() >= kInputBufferCap) {
            r->EndStream();
            return S_OK;
        }
        r->input_.resize(std::min(kInputBufferCap, r->input_.size() * 2));
        r->available_ += std::fread(r->input_.data() + r->available_, 1,
                                    r->input_.size() - r->available_, r->stream_.get());
    }
    stb_vorbis_info info = stb_vorbis_get_info(r->decoder_);
    if (info.channels < 1 || info.channels > kMaxChannels) {
        r->EndStream();
        return S_OK;
    }
    r->format_.AdoptHeader(StreamHeader(static_cast<SHORT>(info.channels)));
    return S_OK;
}

OggVorbisFileReader::~OggVorbisFileReader() {
    EndStream();
}

void OggVorbisFileReader::EndStream() {
    if (decoder_) stb_vorbis_close(decoder_);
    decoder_ = nullptr;
    stream_.reset();
    available_ = 0;
}

bool OggVorbisFileReader::Refill() {
    if (StreamEnded()) return false;
    if (consumed_ > 0) {
        std::memmove(input_.data(), input_.data() + consumed_, available_);
        consumed_ = 0;
    } else if (available_ == input_.size()) {
        // A page larger than the buffer; past the cap the stream ends.
        if (input_.size() >= kInputBufferCap) return false;
        input_.resize(std::min(kInputBufferCap, input_.size() * 2));
    }
    std::size_t got =
        std::fread(input_.data() + available_, 1, input_.size() - available_, stream_.get());
    available_ += got;
    return got > 0 || !std::ferror(stream_.get());
}

void OggVorbisFileReader::Convert(float** channels, int from, int to, AudioSample* out) const {
    const int n = format_.NumChannels();
    for (int c = 0; c < n; ++c) {
        const float* in = channels[c];
        AudioSample* dst = out + c;
        for (int i = from; i < to; ++i, dst += n) *dst = ToSample(in[i]);
    }
}

HRESULT OggVorbisFileReader::get_EOF(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = AtEnd() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT OggVorbisFileReader::get_AbsolutePosition(LONG* result) {
    if (!result) return E_POINTER;
    *result = position_;
    return S_OK;
}

HRESULT OggVorbisFileReader::Read(LONG NumSamplesToRead, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!format_.IsUsable()) return E_FAIL;  // the decoder never opened
    const LONGLONG channels = format_.NumChannels();
    LONGLONG n = NumSamplesToRead < 0 ? LONGLONG{kSampleRate} * 20 * channels : NumSamplesToRead;
    LONGLONG wantedBytes = 2 * n * channels;
    if (wantedBytes > std::numeric_limits<LONG>::max() - 44) return E_OUTOFMEMORY;
    std::size_t wanted = static_cast<std::size_t>(wantedBytes);
    CBuffer block(static_cast<unsigned char*>(std::malloc(wanted ? wanted : 1)));
    if (!block) return E_OUTOFMEMORY;
    auto* values = reinterpret_cast<AudioSample*>(block.get());
    std::size_t produced = 0, valueIndex = 0;

    if (carryValid_ >= wanted) {
        std::memcpy(block.get(), carryOver_.get() + carryRead_, wanted);
        carryRead_ += wanted;
        carryValid_ -= wanted;
        produced = wanted;
        valueIndex = wanted / 2;
        wanted = 0;
    } else if (carryValid_ > 0) {
        std::memcpy(block.get(), carryOver_.get() + carryRead_, carryValid_);
        produced = carryValid_;
        valueIndex = carryValid_ / 2;
        wanted -= carryValid_;
        carryValid_ = 0;
        carryRead_ = 0;
    }
    if (carryValid_ == 0) carryRead_ = 0;

    while (wanted > 0 && decoder_) {
        int frameChannels = 0, frames = 0;
        float** output = nullptr;
        int used = stb_vorbis_decode_frame_pushdata(decoder_, input_.data() + consumed_,
                                                    static_cast<int>(available_), &frameChannels,
                                                    &output, &frames);
        if (used <= 0) {
            if (!Refill()) {
                // Nothing more will come: the file ended, failed or a page
                // outgrew the buffer. What is left cannot be decoded.
                if (!StreamEnded()) EndStream();
                drained_ = true;
                break;
            }
            continue;
        }
        if (static_cast<std::size_t>(used) > available_) {
            EndStream();
            break;
        }
        consumed_ += static_cast<std::size_t>(used);
        available_ -= static_cast<std::size_t>(used);
        if (frames <= 0 || !output) continue;
        if (frameChannels != channels) {
            EndStream();  // a stream that changes shape is not followed
            break;
        }
        const std::size_t frameBytes = 2 * static_cast<std::size_t>(frames) * channels;
        if (frameBytes < wanted) {
            Convert(output, 0, frames, values + valueIndex);
            valueIndex += static_cast<std::size_t>(frames) * channels;
            produced += frameBytes;
            wanted -= frameBytes;
            continue;
        }
        const int needed = static_cast<int>(wanted / (2 * channels));
        Convert(output, 0, needed, values + valueIndex);
        valueIndex += static_cast<std::size_t>(needed) * channels;
        if (!carryOver_) {
            carryCapacity_ = static_cast<std::size_t>(kSampleRate) * 20 * channels * 4;
            carryOver_.reset(static_cast<unsigned char*>(std::malloc(carryCapacity_)));
            if (!carryOver_) return E_OUTOFMEMORY;
        }
        const std::size_t rest = frameBytes - wanted;
        if (rest > carryCapacity_) {
            EndStream();  // a frame longer than any Vorbis frame can be
            break;
        }
        Convert(output, needed, frames, reinterpret_cast<AudioSample*>(carryOver_.get()));
        carryValid_ += rest;
        produced += wanted;
        wanted = 0;
    }
    position_ += static_cast<LONG>(valueIndex);
    WavHeader h = format_.header;
    h.DataHeader.ChunkSize = static_cast<LONG>(produced);
    h.RiffHeader.ChunkSize = static_cast<LONG>(produced + 36);
    Wav* w = nullptr;
    HRESULT hr = Wav::Adopt(h, std::move(block), &w);
    if (FAILED(hr)) return hr;
    *result = w;
    return S_OK;
}
