#include "audio/wav_memory_reader.h"

#include <cstring>

#include "audio/wav.h"

HRESULT WavMemoryReader::Create(Wav* source, IWavReader** out) {
    *out = nullptr;
    WavMemoryReader* r = nullptr;
    HRESULT hr = CreateObject(&r);
    if (FAILED(hr)) return hr;
    r->source_ = ComPtr<IWav>(source);
    r->impl_ = source;
    r->format_.AdoptHeader(source->Format().header);
    *out = r;
    return S_OK;
}

HRESULT WavMemoryReader::Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!impl_) return E_FAIL;
    return impl_->Peaks(NumSamplesPerPeak, result);
}

HRESULT WavMemoryReader::get_EOF(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = position_ >= format_.numSamples ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WavMemoryReader::Read(LONG NumSamplesToRead, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    LONG total = impl_ ? impl_->Format().numSamples : 0;
    LONGLONG n = NumSamplesToRead < 0 ? format_.numSamples : NumSamplesToRead;
    if (position_ + n >= total) n = total - position_;
    if (n < 0) n = 0;
    Wav* block = nullptr;
    HRESULT hr = Wav::Create(format_.header, static_cast<LONG>(n), false, &block);
    if (FAILED(hr)) return hr;
    std::size_t bytes = static_cast<std::size_t>(block->Format().DataSize());
    if (bytes > 0)
        std::memcpy(block->Data(),
                    impl_->Data() + std::size_t(position_) * std::size_t(format_.FrameBytes()),
                    bytes);
    position_ += static_cast<LONG>(n);
    *result = block;
    return S_OK;
}

HRESULT WavMemoryReader::get_AbsolutePosition(LONG* result) {
    if (!result) return E_POINTER;
    *result = position_;
    return S_OK;
}

HRESULT WavMemoryReader::Skip(LONG NumSamplesToSkip) {
    LONG total = impl_ ? impl_->Format().numSamples : 0;
    LONGLONG to = LONGLONG{position_} + NumSamplesToSkip;
    if (to > total || to < 0) return E_FAIL;
    position_ = static_cast<LONG>(to);
    return S_OK;
}
