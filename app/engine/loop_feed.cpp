#include "engine/loop_feed.h"

#include <algorithm>

#include "com/safearray.h"
#include "support/app_error.h"
#include "support/audio_library.h"

namespace {
constexpr SHORT kChannels = 2;
constexpr LONG kRate = 44100;
}  // namespace

LoopFeed::LoopFeed(ComPtr<IWav> first, LONG ticks, LONG tickLength, int ticksPerBeat)
    : ticks_(ticks), tickLength_(tickLength), ticksPerBeat_(ticksPerBeat) {
    if (!first) ThrowError(kErrObjectNotSet, "A loop feed needs a rendering");
    Check(first->get_NumSamples(&frames_));
    Publish(std::move(first));
}

void LoopFeed::Publish(ComPtr<IWav> wav) {
    LONG frames = 0;
    SHORT channels = 0;
    Check(wav->get_NumSamples(&frames));
    Check(wav->get_NumChannels(&channels));
    if (frames != frames_ || channels != kChannels)
        ThrowError(kErrInvalidArgument,
                   "A loop's new rendering differs in length from the one that plays");
    auto r = std::make_shared<Rendering>();
    Check(wav.As(&r->values));
    r->wav = std::move(wav);
    newest_.store(std::move(r));
    generation_.fetch_add(1, std::memory_order_release);
}

ComPtr<IWav> LoopFeed::Current() const {
    return Newest()->wav;
}

ComPtr<IWavReader> OpenFeedReader(const std::shared_ptr<LoopFeed>& feed) {
    return ComPtr<IWavReader>::Attach(new LoopReader(feed));
}

LoopReader::LoopReader(std::shared_ptr<LoopFeed> feed) : feed_(std::move(feed)) {}

HRESULT LoopReader::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IFrameReader::iid) return QueryImpl(riid, ppv, static_cast<IFrameReader*>(this));
    return VtableObject::QueryInterface(riid, ppv);
}

HRESULT LoopReader::get_Header(WavHeader* result) {
    if (!result) return E_POINTER;
    return feed_->Current()->get_Header(result);
}

HRESULT LoopReader::get_fxFormat(WAVEFORMATEX* result) {
    if (!result) return E_POINTER;
    return feed_->Current()->get_fxFormat(result);
}

HRESULT LoopReader::get_NumChannels(SHORT* result) {
    if (!result) return E_POINTER;
    *result = kChannels;
    return S_OK;
}

HRESULT LoopReader::get_SampleRate(LONG* result) {
    if (!result) return E_POINTER;
    *result = kRate;
    return S_OK;
}

HRESULT LoopReader::get_ByteRate(LONG* result) {
    if (!result) return E_POINTER;
    *result = kRate * kChannels * 2;
    return S_OK;
}

HRESULT LoopReader::get_NumSamples(LONG* result) {
    if (!result) return E_POINTER;
    *result = feed_->Frames();
    return S_OK;
}

HRESULT LoopReader::get_BytesPerSample(SHORT* result) {
    if (!result) return E_POINTER;
    *result = 2;
    return S_OK;
}

HRESULT LoopReader::Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) {
    return feed_->Current()->Peaks(NumSamplesPerPeak, result);
}

HRESULT LoopReader::get_EOF(VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = position_ >= feed_->Frames() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT LoopReader::get_AbsolutePosition(LONG* result) {
    if (!result) return E_POINTER;
    *result = position_;
    return S_OK;
}

HRESULT LoopReader::Skip(LONG NumSamplesToSkip) {
    const long long to = (long long)position_ + NumSamplesToSkip;
    position_ = LONG(std::clamp<long long>(to, 0, feed_->Frames()));
    return S_OK;
}

HRESULT LoopReader::ReadInto(LONG NumSamplesToRead, AudioSample* Values, LONG* NumSamplesRead) {
    if (!NumSamplesRead || (NumSamplesToRead > 0 && !Values)) return E_POINTER;
    *NumSamplesRead = 0;
    if (NumSamplesToRead < 0) return E_INVALIDARG;
    const LONG n = std::min(NumSamplesToRead, feed_->Frames() - position_);
    if (n <= 0) return S_OK;
    // The newest rendering: one published meanwhile is read from the next
    // read on. Taken again only when the feed has another.
    if (const std::uint64_t g = feed_->Generation(); !rendering_ || g != generation_) {
        generation_ = g;
        rendering_ = feed_->Newest();
    }
    const HRESULT hr = rendering_->values->ReadValues(position_ * kChannels, n * kChannels, Values);
    if (FAILED(hr)) return hr;
    position_ += n;
    *NumSamplesRead = n;
    return S_OK;
}

HRESULT LoopReader::Read(LONG NumSamplesToRead, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (NumSamplesToRead < 0) NumSamplesToRead = feed_->Frames() - position_;
    const LONG n = std::max<LONG>(0, std::min(NumSamplesToRead, feed_->Frames() - position_));
    ComPtr<IWav> block;
    HRESULT hr = AudioLibrary()->MakeWav(n, kChannels, kRate, 2, block.Out());
    if (FAILED(hr)) return hr;
    ComPtr<IWavValues> values;
    hr = block.As(&values);
    if (FAILED(hr)) return hr;
    std::vector<AudioSample> data(std::size_t(n) * kChannels);
    LONG got = 0;
    hr = ReadInto(n, data.data(), &got);
    if (SUCCEEDED(hr)) hr = values->WriteValues(0, got * kChannels, data.data());
    if (FAILED(hr)) return hr;
    *result = block.Detach();
    return S_OK;
}
