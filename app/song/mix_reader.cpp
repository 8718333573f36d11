#include "song/mix_reader.h"

#include <cmath>
#include <cstring>

#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/integers.h"

AudioSample ClampSample(LONG value) {
    return ClampToAudioSample(value);
}

void MyWavReader::Initialize(const std::vector<ComPtr<IWavReader>>& readers) {
    if (readers.empty() || !readers[0]) ThrowSubscriptOutOfRange("There is no reader to mix");
    sources_ = readers;
    maxNumSamples_ = 0;
    for (const auto& r : sources_) {
        LONG n = 0;
        Check(r->get_NumSamples(&n));
        maxNumSamples_ = MaxLong(maxNumSamples_, n);
    }
    master_ = sources_[0];
}

HRESULT MyWavReader::get_NumSamples(LONG* result) {
    if (!result) return E_POINTER;
    *result = maxNumSamples_;
    return S_OK;
}

HRESULT MyWavReader::Read(LONG NumSamplesToRead, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    SHORT channels = 0, bytesPerSample = 0;
    LONG rate = 0;
    HRESULT hr = master_->get_NumChannels(&channels);
    if (SUCCEEDED(hr)) hr = master_->get_SampleRate(&rate);
    if (SUCCEEDED(hr)) hr = master_->get_BytesPerSample(&bytesPerSample);
    ComPtr<IWav> out;
    if (SUCCEEDED(hr))
        hr = AudioLibrary()->MakeWav(NumSamplesToRead, channels, rate, bytesPerSample, out.Out());
    if (FAILED(hr)) return hr;
    const std::size_t values =
        std::size_t(NumSamplesToRead) * std::size_t(channels > 0 ? channels : 0);
    std::vector<LONG> sum(values, 0);
    for (const auto& source : sources_) {
        ComPtr<IWav> block;
        hr = source->Read(NumSamplesToRead, block.Out());
        if (FAILED(hr)) return hr;
        // A block shorter than asked for adds silence beyond its end.
        SafeArrayPtr data;
        hr = block->get_RawData(0, -1, data.Out());
        if (FAILED(hr)) return hr;
        const auto* v = data.Data<const AudioSample>();
        const std::size_t n = std::min<std::size_t>(values, data.Count());
        for (std::size_t i = 0; i < n; ++i) sum[i] += v[i];
    }
    // Every frame of the block comes from the sum, also where the last source ended.
    std::vector<AudioSample> mixed(values);
    for (std::size_t i = 0; i < values; ++i) mixed[i] = ClampSample(sum[i]);
    ComPtr<IWavValues> target;
    hr = out.As(&target);
    if (SUCCEEDED(hr)) hr = target->WriteValues(0, static_cast<LONG>(values), mixed.data());
    if (FAILED(hr)) return hr;
    *result = out.Detach();
    return S_OK;
}

HRESULT MyWavReader::Skip(LONG NumSamplesToSkip) {
    for (const auto& s : sources_) {
        HRESULT hr = s->Skip(NumSamplesToSkip);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT MyWavReader::Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (NumSamplesPerPeak <= 0) return E_FAIL;
    const LONG count = maxNumSamples_ / NumSamplesPerPeak;
    std::vector<LONG> lo(static_cast<std::size_t>(count), 0), hi(lo), contributors(lo);
    SafeArrayPtr model;  // the result is an array like the first source's
    for (const auto& s : sources_) {
        SafeArrayPtr p;
        HRESULT hr = s->Peaks(NumSamplesPerPeak, p.Out());
        if (FAILED(hr)) return hr;
        const auto* peaks = p.Data<const Peak>();
        const LONG n = MinLong(count, static_cast<LONG>(p.Count()));
        for (LONG h = 0; h < n; ++h) {
            lo[h] += peaks[h].Min;
            hi[h] += peaks[h].Max;
            ++contributors[h];
        }
        if (!model) model = std::move(p);
    }
    if (!model) return E_FAIL;
    ComPtr<IRecordInfo> info;
    SafeArrayGetRecordInfo(model.get(), info.Out());
    VARTYPE vt = VT_I4;
    SafeArrayGetVartype(model.get(), &vt);
    SafeArrayPtr out(vt == VT_RECORD ? SafeArrayCreateVectorEx(VT_RECORD, 0, count, info.get())
                                     : SafeArrayCreateVector(vt, 0, count));
    if (!out || out.get()->cbElements != sizeof(Peak)) return E_FAIL;
    auto* peaks = out.Data<Peak>();
    for (LONG h = 0; h < count; ++h) {
        // The mean of the sources, rounded half to even.
        double n = contributors[h] ? contributors[h] : 1;
        peaks[h].Min = ClampSample(static_cast<LONG>(std::nearbyint(lo[h] / n)));
        peaks[h].Max = ClampSample(static_cast<LONG>(std::nearbyint(hi[h] / n)));
    }
    *result = out.Detach();
    return S_OK;
}

ComPtr<IWavReader> MixReaders(const std::vector<ComPtr<IWavReader>>& readers) {
    MyWavReader* mix = nullptr;
    Check(CreateObject(&mix));
    ComPtr<IWavReader> result = ComPtr<IWavReader>::Attach(mix);
    mix->Initialize(readers);
    return result;
}
