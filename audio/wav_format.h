// The format shared by in-memory audio and every reader: the 44-byte header
// as adopted or built, and the values derived from it.
#pragma once

#include <cstdlib>
#include <memory>

#include "OvraAudio.h"
#include "com/object.h"

struct WavFormat {
    WavHeader header{};
    LONG numValues = 0;   // NumSamples * NumChannels; -1 when the length is unknown
    LONG numSamples = 0;  // frames; -1 when the length is unknown
    SHORT bytesPerSample = 0;

    SHORT NumChannels() const { return header.FormatHeader.NumChannels; }
    LONG DataSize() const { return header.DataHeader.ChunkSize; }
    // Bytes of one frame; 0 for a header without channels or sample width.
    LONG FrameBytes() const;
    // Whether the header describes audio at all: 1 channel or more, 8 bits or more.
    bool IsUsable() const;

    // Copies the header and derives the length from its data size. A header
    // that is not usable adopts as 0 frames and returns false.
    bool AdoptHeader(const WavHeader& h);
    // AdoptHeader, then describes exactly n frames. Fails with
    // E_OUTOFMEMORY when the byte size would not fit 32 bits, E_FAIL for a
    // negative n.
    HRESULT SizeTo(const WavHeader& h, LONG n);
    // Shrinks the description to the values actually delivered.
    void ShrinkTo(LONG values);
};

// The canonical header of n frames; callers check the shape first.
WavHeader BuildHeader(LONG n, SHORT channels, LONG rate, SHORT bytesPerSample);

// Fills a WAVEFORMATEX from a header (its nSize field is left as it is).
void FillWaveFormat(const WavHeader& h, WAVEFORMATEX* out);

// Memory from the C allocator, released with free.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using CBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

// A copy of a path string (null stays null); false when memory runs out.
bool CopyPath(BSTR from, Bstr* to);

// Makes a T (a file object) holding a copy of path, handed out as I.
template <class T, class I>
HRESULT CreateWithPath(BSTR path, I** out) {
    *out = nullptr;
    T* object = nullptr;
    HRESULT hr = CreateObject(&object);
    if (FAILED(hr)) return hr;
    if (!CopyPath(path, object->PathSlot())) {
        object->Release();
        return E_OUTOFMEMORY;
    }
    *out = object;
    return S_OK;
}

// Vectors handed to clients; null when they cannot be made.
SAFEARRAY* MakePeakArray(LONG count);
SAFEARRAY* MakeByteArray(const void* first, std::size_t firstBytes, const void* second,
                         std::size_t secondBytes);

// Summarises interleaved 16-bit values in blocks of framesPerPeak frames,
// all channels pooled; the frames after the last whole block are left out.
HRESULT SummarisePeaks(const AudioSample* values, LONG numSamples, SHORT channels,
                       LONG framesPerPeak, SAFEARRAY** result);

// The members every reader and Wav answer from their format.
template <class Base>
class FormatMembers : public Base {
  public:
    HRESULT get_Header(WavHeader* result) override {
        if (!result) return E_POINTER;
        *result = format_.header;
        return S_OK;
    }
    HRESULT get_fxFormat(WAVEFORMATEX* result) override {
        if (!result) return E_POINTER;
        FillWaveFormat(format_.header, result);
        return S_OK;
    }
    HRESULT get_NumChannels(SHORT* result) override {
        if (!result) return E_POINTER;
        *result = format_.header.FormatHeader.NumChannels;
        return S_OK;
    }
    HRESULT get_SampleRate(LONG* result) override {
        if (!result) return E_POINTER;
        *result = format_.header.FormatHeader.SampleRate;
        return S_OK;
    }
    HRESULT get_ByteRate(LONG* result) override {
        if (!result) return E_POINTER;
        *result = format_.header.FormatHeader.ByteRate;
        return S_OK;
    }
    HRESULT get_NumSamples(LONG* result) override {
        if (!result) return E_POINTER;
        *result = format_.numSamples;
        return S_OK;
    }
    HRESULT get_BytesPerSample(SHORT* result) override {
        if (!result) return E_POINTER;
        *result = format_.bytesPerSample;
        return S_OK;
    }
    HRESULT SampleIndexFromSeconds(float, LONG* result) override {
        if (!result) return E_POINTER;
        return E_NOTIMPL;
    }

    const WavFormat& Format() const { return format_; }

  protected:
    WavFormat format_;
};
