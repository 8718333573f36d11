// WavMemoryReader: a reader over an in-memory Wav, which it keeps alive.
#pragma once

#include "audio/typelib.h"
#include "audio/wav_format.h"
#include "com/comptr.h"
#include "com/object.h"

class Wav;

class WavMemoryReader final : public FormatMembers<DispatchObject<WavMemoryReader, IWavReader>> {
  public:
    static const InterfaceDesc& Interface() { return WavReaderInterface(); }

    // A reader at the start of source.
    static HRESULT Create(Wav* source, IWavReader** out);

    HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) override;
    HRESULT get_EOF(VARIANT_BOOL* result) override;
    HRESULT Read(LONG NumSamplesToRead, IWav** result) override;
    HRESULT get_AbsolutePosition(LONG* result) override;
    HRESULT Skip(LONG NumSamplesToSkip) override;

  private:
    ComPtr<IWav> source_;  // keeps the audio alive
    Wav* impl_ = nullptr;  // its implementation, for the buffer
    LONG position_ = 0;
};
