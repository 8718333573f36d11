// OvraAudioGlobals: the entry object. Stateless; it makes file objects,
// silent audio, and audio from a WAV byte image.
#pragma once

#include "OvraAudio.h"
#include "audio/typelib.h"
#include "com/object.h"

class OvraAudioGlobals final : public DispatchObject<OvraAudioGlobals, IOvraAudioGlobals> {
  public:
    static const InterfaceDesc& Interface() { return GlobalsInterface(); }

    HRESULT WavFile(BSTR Path, IWavFile** result) override;
    HRESULT WavReader(VARIANT, IWavReader** result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return E_NOTIMPL;
    }
    HRESULT WavWriter(VARIANT, IWavWriter** result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return E_NOTIMPL;
    }
    HRESULT MakeWav(LONG NumSamples, SHORT NumChannels, LONG SampleRate, SHORT BytesPerSample,
                    IWav** result) override;
    HRESULT OggVorbisFile(BSTR Path, IOggVorbisFile** result) override;
    HRESULT LoadWav(BSTR Path, IWav** result) override;
    HRESULT ReadWavFromArray(SAFEARRAY** Bytes, IWav** result) override;
};
