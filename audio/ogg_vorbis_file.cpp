#include "audio/ogg_vorbis_file.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <limits>

#include "audio/ogg_vorbis_reader.h"
#include "audio/wav.h"

HRESULT OggVorbisFile::Create(BSTR path, IOggVorbisFile** out) {
    return CreateWithPath<OggVorbisFile>(path, out);
}

HRESULT OggVorbisFile::OpenReader(IWavReader** result) {
    if (!result) return E_POINTER;
    return OggVorbisFileReader::Open(path_.utf8(), result);
}

HRESULT OggVorbisFile::ReadAll(IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    std::string path = path_.utf8();
    if (path.empty()) return E_FAIL;
    int channels = 0;
    short* samples = nullptr;
    int frames = stb_vorbis_decode_filename(path.c_str(), &channels, nullptr, &samples);
    if (frames == -2) return E_OUTOFMEMORY;
    if (frames < 0) return E_FAIL;
    CBuffer buffer(reinterpret_cast<unsigned char*>(samples));
    if (channels < 1 || channels > OggVorbisFileReader::kMaxChannels) return E_FAIL;
    LONGLONG bytes = 2LL * frames * channels;
    if (bytes > std::numeric_limits<LONG>::max() - 44) return E_OUTOFMEMORY;
    WavHeader h =
        BuildHeader(frames, static_cast<SHORT>(channels), OggVorbisFileReader::kSampleRate, 2);
    Wav* w = nullptr;
    HRESULT hr = Wav::Adopt(h, std::move(buffer), &w);
    if (FAILED(hr)) return hr;
    *result = w;
    return S_OK;
}
