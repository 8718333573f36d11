#include "audio/wav.h"

#include <cstring>

#include "audio/wav_memory_reader.h"

HRESULT Wav::Create(const WavHeader& h, LONG n, bool zeroed, Wav** out, LONGLONG capacity) {
    *out = nullptr;
    Wav* w = nullptr;
    HRESULT hr = CreateObject(&w);
    if (FAILED(hr)) return hr;
    hr = w->format_.SizeTo(h, n);
    if (SUCCEEDED(hr)) {
        LONGLONG size = w->format_.DataSize();
        if (capacity >= 0 && capacity < size) size = capacity;
        std::size_t bytes = static_cast<std::size_t>(size);
        // Never a null buffer, so copies of 0 bytes have somewhere to point.
        w->data_.reset(static_cast<unsigned char*>(zeroed ? std::calloc(bytes ? bytes : 1, 1)
                                                          : std::malloc(bytes ? bytes : 1)));
        if (!w->data_) hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        w->Release();
        return hr;
    }
    *out = w;
    return S_OK;
}

HRESULT Wav::Adopt(const WavHeader& h, CBuffer buffer, Wav** out) {
    *out = nullptr;
    Wav* w = nullptr;
    HRESULT hr = CreateObject(&w);
    if (FAILED(hr)) return hr;
    w->format_.AdoptHeader(h);
    w->data_ = std::move(buffer);
    *out = w;
    return S_OK;
}

HRESULT Wav::QueryInterface(REFIID riid, void** ppv) {
    if (ppv && riid == IWavValues::iid) {
        *ppv = static_cast<IWavValues*>(this);
        AddRef();
        return S_OK;
    }
    return FormatMembers::QueryInterface(riid, ppv);
}

HRESULT Wav::OpenReader(IWavReader** result) {
    if (!result) return E_POINTER;
    return WavMemoryReader::Create(this, result);
}

HRESULT Wav::Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!HasSixteenBitSamples()) return E_FAIL;
    return SummarisePeaks(Values(), format_.numSamples, format_.NumChannels(), NumSamplesPerPeak,
                          result);
}

HRESULT Wav::get_RawData(LONG FirstSampleIndex, LONG NumSamples, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (FirstSampleIndex < 0 || !HasSixteenBitSamples()) return E_FAIL;
    LONGLONG remaining = LONGLONG{format_.numSamples} - FirstSampleIndex;
    LONGLONG n = NumSamples < 0 ? remaining : std::min<LONGLONG>(NumSamples, remaining);
    LONGLONG count = n * format_.NumChannels();
    if (count < 0 || count > 0x7FFFFFFF) return E_FAIL;
    SAFEARRAY* a = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(count));
    if (!a) return E_FAIL;
    if (count > 0)
        std::memcpy(a->pvData, Values() + LONGLONG{FirstSampleIndex} * format_.NumChannels(),
                    static_cast<std::size_t>(count) * sizeof(AudioSample));
    *result = a;
    return S_OK;
}

LONGLONG Wav::ValueIndex(SHORT channel, LONG frame) const {
    LONGLONG i = LONGLONG{format_.NumChannels()} * frame + channel;
    return (i < 0 || i >= format_.numValues) ? -1 : i;
}

HRESULT Wav::get_Sample(SHORT ChannelIndex, LONG SampleIndex, AudioSample* result) {
    if (!result) return E_POINTER;
    if (!HasSixteenBitSamples()) return E_FAIL;
    LONGLONG i = ValueIndex(ChannelIndex, SampleIndex);
    *result = i < 0 ? 0 : Values()[i];
    return S_OK;
}

HRESULT Wav::put_Sample(SHORT ChannelIndex, LONG SampleIndex, AudioSample value) {
    if (!HasSixteenBitSamples()) return E_FAIL;
    LONGLONG i = ValueIndex(ChannelIndex, SampleIndex);
    if (i < 0) return E_FAIL;
    reinterpret_cast<AudioSample*>(data_.get())[i] = value;
    return S_OK;
}

HRESULT Wav::ToByteArray(SAFEARRAY** result) {
    if (!result) return E_POINTER;
    LONG size = format_.DataSize() > 0 && data_ ? format_.DataSize() : 0;
    *result = MakeByteArray(&format_.header, sizeof(WavHeader), data_.get(),
                            static_cast<std::size_t>(size));
    return *result ? S_OK : E_FAIL;
}

bool Wav::HoldsValues(LONG first, LONG count) const {
    return HasSixteenBitSamples() && first >= 0 && count >= 0 &&
           LONGLONG{first} + count <= format_.numValues;
}

HRESULT Wav::ReadValues(LONG FirstValueIndex, LONG Count, AudioSample* Values) {
    if (!Values && Count > 0) return E_POINTER;
    if (!HoldsValues(FirstValueIndex, Count)) return E_FAIL;
    if (Count > 0)
        std::memcpy(Values, Wav::Values() + FirstValueIndex,
                    std::size_t(Count) * sizeof(AudioSample));
    return S_OK;
}

HRESULT Wav::WriteValues(LONG FirstValueIndex, LONG Count, const AudioSample* Values) {
    if (!Values && Count > 0) return E_POINTER;
    if (!HoldsValues(FirstValueIndex, Count)) return E_FAIL;
    if (Count > 0)
        std::memcpy(data_.get() + std::size_t(FirstValueIndex) * sizeof(AudioSample), Values,
                    std::size_t(Count) * sizeof(AudioSample));
    return S_OK;
}
