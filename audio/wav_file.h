// WavFile: a WAV file by its path; the file is touched only by OpenReader.
#pragma once

#include "OvraAudio.h"
#include "audio/typelib.h"
#include "audio/wav_format.h"
#include "com/object.h"

class WavFile final : public DispatchObject<WavFile, IWavFile> {
  public:
    static const InterfaceDesc& Interface() { return WavFileInterface(); }

    static HRESULT Create(BSTR path, IWavFile** out);

    HRESULT get_Path(BSTR* result) override;
    HRESULT OpenReader(IWavReader** result) override;
    HRESULT Create(SHORT, LONG, SHORT, IWavWriter** result) override;
    HRESULT Peaks(LONG, SAFEARRAY** result) override;
    HRESULT ReadAll(IWav** result) override;

    Bstr* PathSlot() { return &path_; }

  private:
    Bstr path_;
};
