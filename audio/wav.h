// Wav: a complete piece of PCM audio in one buffer from the C allocator,
// with its header. Sized once when made; only Sample (put) changes it.
#pragma once

#include "audio/typelib.h"
#include "audio/wav_format.h"
#include "com/object.h"

class Wav final : public FormatMembers<DispatchObject<Wav, IWav>>, public IWavValues {
  public:
    static const InterfaceDesc& Interface() { return WavInterface(); }

    // IUnknown for both interfaces; IWavValues besides the dual interface.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }

    // A new Wav of n frames in the format of h, its buffer zeroed or not.
    // capacity, when given, is the buffer's size in bytes, for a block that
    // is described as n frames until a reader shrinks it to what it got.
    static HRESULT Create(const WavHeader& h, LONG n, bool zeroed, Wav** out,
                          LONGLONG capacity = -1);
    // A new Wav that takes buffer (at least the header's DataSize bytes).
    static HRESULT Adopt(const WavHeader& h, CBuffer buffer, Wav** out);

    unsigned char* Data() const { return data_.get(); }
    const AudioSample* Values() const { return reinterpret_cast<const AudioSample*>(data_.get()); }
    // Shrinks the description to what a reader delivered; the buffer stays.
    void ShrinkTo(LONG values) { format_.ShrinkTo(values); }

    HRESULT OpenReader(IWavReader** result) override;
    HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) override;
    HRESULT put_NumChannels(SHORT) override { return E_NOTIMPL; }
    HRESULT put_SampleRate(LONG) override { return E_NOTIMPL; }
    HRESULT put_ByteRate(LONG) override { return E_NOTIMPL; }
    HRESULT put_NumSamples(LONG) override { return E_NOTIMPL; }
    HRESULT put_BytesPerSample(SHORT) override { return E_NOTIMPL; }
    HRESULT get_Data(SHORT, LONG, LONG, SAFEARRAY** result) override {
        if (!result) return E_POINTER;
        return E_NOTIMPL;
    }
    HRESULT get_RawData(LONG FirstSampleIndex, LONG NumSamples, SAFEARRAY** result) override;
    HRESULT get_Sample(SHORT ChannelIndex, LONG SampleIndex, AudioSample* result) override;
    HRESULT put_Sample(SHORT ChannelIndex, LONG SampleIndex, AudioSample value) override;
    HRESULT ToByteArray(SAFEARRAY** result) override;

    HRESULT ReadValues(LONG FirstValueIndex, LONG Count, AudioSample* Values) override;
    HRESULT WriteValues(LONG FirstValueIndex, LONG Count, const AudioSample* Values) override;

  private:
    // The sample members read the buffer as 16-bit values.
    bool HasSixteenBitSamples() const { return format_.bytesPerSample == 2 && format_.IsUsable(); }
    // The flat value index of (channel, frame), or -1 when outside the data.
    LONGLONG ValueIndex(SHORT channel, LONG frame) const;
    // Whether values [first, first + count) lie inside the data.
    bool HoldsValues(LONG first, LONG count) const;

    CBuffer data_;
};
