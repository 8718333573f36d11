#include "audio/ogg_vorbis_file.h"

#include "audio/ogg_vorbis_reader.h"
#include "audio/ogg_whole_decode.h"

HRESULT OggVorbisFile::Create(BSTR path, IOggVorbisFile** out) {
    return CreateWithPath<OggVorbisFile>(path, out);
}

HRESULT OggVorbisFile::OpenReader(IWavReader** result) {
    if (!result) return E_POINTER;
    return OggVorbisFileReader::Open(path_.utf8(), result);
}

HRESULT OggVorbisFile::ReadAll(IWav** result) {
    if (!result) return E_POINTER;
    return DecodeWholeOgg(path_.utf8(), result);
}
