#include "audio/wav_file.h"

#include "audio/wav_file_reader.h"

HRESULT WavFile::Create(BSTR path, IWavFile** out) {
    return CreateWithPath<WavFile>(path, out);
}

HRESULT WavFile::get_Path(BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (!path_.get()) return S_OK;
    *result = SysAllocStringLen(path_.get(), path_.size());
    return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT WavFile::OpenReader(IWavReader** result) {
    if (!result) return E_POINTER;
    return WavFileReader::Open(path_.utf8(), result);
}

HRESULT WavFile::Create(SHORT, LONG, SHORT, IWavWriter** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return E_NOTIMPL;
}

HRESULT WavFile::Peaks(LONG, SAFEARRAY** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return E_NOTIMPL;
}

HRESULT WavFile::ReadAll(IWav** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    return E_NOTIMPL;
}
