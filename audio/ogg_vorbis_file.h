// OggVorbisFile: an Ogg Vorbis file by its path, read incrementally through
// a reader or decoded whole by ReadAll.
#pragma once

#include "OvraAudio.h"
#include "audio/typelib.h"
#include "audio/wav_format.h"
#include "com/object.h"

class OggVorbisFile final : public DispatchObject<OggVorbisFile, IOggVorbisFile> {
  public:
    static const InterfaceDesc& Interface() { return OggVorbisFileInterface(); }

    static HRESULT Create(BSTR path, IOggVorbisFile** out);

    HRESULT get_Path(BSTR* result) override {
        if (!result) return E_POINTER;
        return E_NOTIMPL;
    }
    HRESULT OpenReader(IWavReader** result) override;
    HRESULT ReadAll(IWav** result) override;

    Bstr* PathSlot() { return &path_; }

  private:
    Bstr path_;
};
