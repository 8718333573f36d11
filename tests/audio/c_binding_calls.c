/* The same calls made through the C binding: each interface's members
 * reached through lpVtbl, first slots to last, their results written as
 * text that the C++ side compares with its own. */
#include <stdio.h>
#include <string.h>

#include "OvraAudio_c.h"

#define SAY(...) (at += (size_t)snprintf(out + at, at < size ? size - at : 0, __VA_ARGS__))

size_t CBindingCalls(IOvraAudioGlobals* audio, const char* wavPath, char* out, size_t size) {
    size_t at = 0;
    IWav* wav = NULL;
    HRESULT hr = audio->lpVtbl->MakeWav(audio, 10, 2, 22050, 2, &wav);
    SAY("MakeWav %08X\n", (unsigned)hr);
    if (FAILED(hr)) return at;
    LONG frames = 0, rate = 0, byteRate = 0;
    SHORT channels = 0, bytes = 0;
    wav->lpVtbl->get_NumSamples(wav, &frames);
    wav->lpVtbl->get_NumChannels(wav, &channels);
    wav->lpVtbl->get_SampleRate(wav, &rate);
    wav->lpVtbl->get_ByteRate(wav, &byteRate);
    wav->lpVtbl->get_BytesPerSample(wav, &bytes);
    SAY("wav %d frames %d channels %d Hz %d B/s %d bytes\n", (int)frames, (int)channels, (int)rate,
        (int)byteRate, (int)bytes);
    SAY("put_NumChannels %08X\n", (unsigned)wav->lpVtbl->put_NumChannels(wav, 1));
    SAY("put_Sample %08X\n", (unsigned)wav->lpVtbl->put_Sample(wav, 1, 3, -1234));
    AudioSample sample = 0;
    wav->lpVtbl->get_Sample(wav, 1, 3, &sample);
    SAY("get_Sample %d\n", (int)sample);

    IWavValues* values = NULL;
    hr = wav->lpVtbl->QueryInterface(wav, &IID_IWavValues, (void**)&values);
    SAY("IWavValues %08X\n", (unsigned)hr);
    if (SUCCEEDED(hr)) {
        const AudioSample written[2] = {111, -222};
        AudioSample read[8] = {0};
        SAY("WriteValues %08X\n", (unsigned)values->lpVtbl->WriteValues(values, 0, 2, written));
        SAY("ReadValues %08X", (unsigned)values->lpVtbl->ReadValues(values, 0, 8, read));
        for (int i = 0; i < 8; ++i) SAY(" %d", (int)read[i]);
        SAY("\nReadValues past the end %08X\n",
            (unsigned)values->lpVtbl->ReadValues(values, 19, 2, read));
        values->lpVtbl->Release(values);
    }

    SAFEARRAY* bytesOut = NULL;
    hr = wav->lpVtbl->ToByteArray(wav, &bytesOut);
    LONG upper = -1;
    if (SUCCEEDED(hr)) SafeArrayGetUBound(bytesOut, 1, &upper);
    SAY("ToByteArray %08X last index %d\n", (unsigned)hr, (int)upper);
    IWav* copy = NULL;
    if (SUCCEEDED(hr)) {
        hr = audio->lpVtbl->ReadWavFromArray(audio, &bytesOut, &copy);
        SAY("ReadWavFromArray %08X\n", (unsigned)hr);
        SafeArrayDestroy(bytesOut);
    }

    IWavReader* reader = NULL;
    hr = copy ? copy->lpVtbl->OpenReader(copy, &reader) : E_POINTER;
    SAY("OpenReader %08X\n", (unsigned)hr);
    if (SUCCEEDED(hr)) {
        IWav* block = NULL;
        LONG position = 0, blockFrames = 0;
        VARIANT_BOOL eof = 0;
        SAY("Skip %08X\n", (unsigned)reader->lpVtbl->Skip(reader, 3));
        SAY("Read %08X\n", (unsigned)reader->lpVtbl->Read(reader, 4, &block));
        if (block) {
            block->lpVtbl->get_NumSamples(block, &blockFrames);
            AudioSample first = 0;
            block->lpVtbl->get_Sample(block, 1, 0, &first);
            SAY("block %d frames, first right %d\n", (int)blockFrames, (int)first);
            block->lpVtbl->Release(block);
        }
        reader->lpVtbl->get_AbsolutePosition(reader, &position);
        reader->lpVtbl->get_EOF(reader, &eof);
        LONG index = 0;
        SAY("position %d eof %d SampleIndexFromSeconds %08X\n", (int)position, (int)eof,
            (unsigned)reader->lpVtbl->SampleIndexFromSeconds(reader, 0.5f, &index));
        reader->lpVtbl->Release(reader);
    }
    if (copy) copy->lpVtbl->Release(copy);
    wav->lpVtbl->Release(wav);

    BSTR path = OvraBstrFromUtf8(wavPath);
    IWavFile* file = NULL;
    hr = audio->lpVtbl->WavFile(audio, path, &file);
    SAY("WavFile %08X\n", (unsigned)hr);
    if (SUCCEEDED(hr)) {
        BSTR back = NULL;
        file->lpVtbl->get_Path(file, &back);
        SAY("get_Path %s\n", SysStringLen(back) == SysStringLen(path) &&
                                     memcmp(back, path, SysStringByteLen(path)) == 0
                                 ? "same"
                                 : "different");
        SysFreeString(back);
        IWav* all = NULL;
        SAY("ReadAll %08X %s\n", (unsigned)file->lpVtbl->ReadAll(file, &all), all ? "set" : "null");
        IWavReader* fileReader = NULL;
        if (SUCCEEDED(file->lpVtbl->OpenReader(file, &fileReader))) {
            LONG fileFrames = 0;
            fileReader->lpVtbl->get_NumSamples(fileReader, &fileFrames);
            SAY("file %d frames\n", (int)fileFrames);
            fileReader->lpVtbl->Release(fileReader);
        }
        file->lpVtbl->Release(file);
    }
    IWav* loaded = NULL;
    SAY("LoadWav %08X\n", (unsigned)audio->lpVtbl->LoadWav(audio, path, &loaded));
    SysFreeString(path);
    return at;
}
