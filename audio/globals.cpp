#include "audio/globals.h"

#include <cstring>

#include "audio/ogg_vorbis_file.h"
#include "audio/wav.h"
#include "audio/wav_file.h"
#include "com/comptr.h"

HRESULT OvraAudioGlobals::WavFile(BSTR Path, IWavFile** result) {
    if (!result) return E_POINTER;
    return ::WavFile::Create(Path, result);
}

HRESULT OvraAudioGlobals::MakeWav(LONG NumSamples, SHORT NumChannels, LONG SampleRate,
                                  SHORT BytesPerSample, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (NumSamples < 0 || NumChannels < 1 || BytesPerSample < 1) return E_FAIL;
    Wav* w = nullptr;
    HRESULT hr = Wav::Create(BuildHeader(NumSamples, NumChannels, SampleRate, BytesPerSample),
                             NumSamples, true, &w);
    if (FAILED(hr)) return hr;
    *result = w;
    return S_OK;
}

HRESULT OvraAudioGlobals::OggVorbisFile(BSTR Path, IOggVorbisFile** result) {
    if (!result) return E_POINTER;
    return ::OggVorbisFile::Create(Path, result);
}

HRESULT OvraAudioGlobals::LoadWav(BSTR Path, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    ComPtr<IWavFile> file;
    HRESULT hr = WavFile(Path, file.Out());
    if (FAILED(hr)) return hr;
    return file->ReadAll(result);
}

HRESULT OvraAudioGlobals::ReadWavFromArray(SAFEARRAY** Bytes, IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    SAFEARRAY* a = Bytes ? *Bytes : nullptr;
    if (!a || a->cDims != 1 || a->cbElements != 1) return E_FAIL;
    if (FAILED(SafeArrayLock(a))) return E_FAIL;
    const std::size_t size = a->rgsabound[0].cElements;
    const auto* bytes = static_cast<const unsigned char*>(a->pvData);
    HRESULT hr = E_FAIL;
    WavHeader h;
    WavFormat check;
    if (size >= sizeof h) {
        std::memcpy(&h, bytes, sizeof h);
        LONG dataSize = h.DataHeader.ChunkSize;
        // The image must describe audio and hold all of its data.
        if (check.AdoptHeader(h) && dataSize >= 0 &&
            static_cast<std::size_t>(dataSize) <= size - sizeof h) {
            CBuffer buffer(static_cast<unsigned char*>(std::malloc(dataSize ? dataSize : 1)));
            if (!buffer) {
                hr = E_OUTOFMEMORY;
            } else {
                std::memcpy(buffer.get(), bytes + sizeof h, static_cast<std::size_t>(dataSize));
                Wav* w = nullptr;
                hr = Wav::Adopt(h, std::move(buffer), &w);
                if (SUCCEEDED(hr)) *result = w;
            }
        }
    }
    SafeArrayUnlock(a);
    return hr;
}
