// MyWavReader: a reader that plays several readers at once, each block the
// sum of one block from every source, clipped to 16 bits once. The first
// source (the master) answers for the format and the end of the mix.
#pragma once

#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "com/object.h"

// A 32-bit value clamped to -32768..32767; every mixing step uses it.
AudioSample ClampSample(LONG value);

class MyWavReader final : public VtableObject<MyWavReader, IWavReader> {
  public:
    // Takes the sources in order; at least one (AppError otherwise).
    void Initialize(const std::vector<ComPtr<IWavReader>>& readers);

    HRESULT get_Header(WavHeader* result) override { return master_->get_Header(result); }
    HRESULT get_fxFormat(WAVEFORMATEX* result) override { return master_->get_fxFormat(result); }
    HRESULT get_NumChannels(SHORT* result) override { return master_->get_NumChannels(result); }
    HRESULT get_SampleRate(LONG* result) override { return master_->get_SampleRate(result); }
    HRESULT get_ByteRate(LONG* result) override { return master_->get_ByteRate(result); }
    HRESULT get_NumSamples(LONG* result) override;
    HRESULT get_BytesPerSample(SHORT* result) override {
        return master_->get_BytesPerSample(result);
    }
    HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) override;
    HRESULT SampleIndexFromSeconds(float NumSeconds, LONG* result) override {
        return master_->SampleIndexFromSeconds(NumSeconds, result);
    }
    HRESULT get_EOF(VARIANT_BOOL* result) override { return master_->get_EOF(result); }
    HRESULT Read(LONG NumSamplesToRead, IWav** result) override;
    // Every source moves in step, so the master's position is the mix's.
    HRESULT get_AbsolutePosition(LONG* result) override {
        return master_->get_AbsolutePosition(result);
    }
    HRESULT Skip(LONG NumSamplesToSkip) override;

  private:
    std::vector<ComPtr<IWavReader>> sources_;
    ComPtr<IWavReader> master_;
    LONG maxNumSamples_ = 0;
};

// A mixing reader over readers, in order. Throws AppError for none.
ComPtr<IWavReader> MixReaders(const std::vector<ComPtr<IWavReader>>& readers);
