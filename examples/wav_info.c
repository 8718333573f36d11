/* A C client of OvraAudio: prints a WAV file's frames, channels, rate and
 * peak. It creates the entry object by ProgID, opens the file through
 * IWavFile, reads it whole into one IWav and takes the peak from its
 * values. Build it with:
 *
 *     cc -std=c11 -o wav_info wav_info.c $(pkg-config --cflags --libs ovra-audio)
 */
#include <stdio.h>
#include <sys/stat.h>

#include "OvraAudio_c.h"

static int Fail(const char* what, HRESULT hr) {
    fprintf(stderr, "wav_info: %s failed (0x%08X)\n", what, (unsigned)hr);
    return 1;
}

/* The peak of every value of wav, through IWavValues. */
static HRESULT PeakOfWav(IWav* wav, LONG values, Peak* peak) {
    IWavValues* access = NULL;
    HRESULT hr = wav->lpVtbl->QueryInterface(wav, &IID_IWavValues, (void**)&access);
    if (FAILED(hr)) return hr;
    peak->Min = 32767;
    peak->Max = -32768;
    AudioSample block[4096];
    for (LONG at = 0; at < values && SUCCEEDED(hr); at += 4096) {
        LONG count = values - at < 4096 ? values - at : 4096;
        hr = access->lpVtbl->ReadValues(access, at, count, block);
        for (LONG i = 0; SUCCEEDED(hr) && i < count; ++i) {
            if (block[i] < peak->Min) peak->Min = block[i];
            if (block[i] > peak->Max) peak->Max = block[i];
        }
    }
    access->lpVtbl->Release(access);
    return hr;
}

static int Describe(IOvraAudioGlobals* audio, const char* path) {
    /* A path that does not exist opens as an empty reader: look first. */
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        fprintf(stderr, "wav_info: %s: no such file\n", path);
        return 1;
    }
    BSTR name = OvraBstrFromUtf8(path);
    IWavFile* file = NULL;
    HRESULT hr = audio->lpVtbl->WavFile(audio, name, &file);
    SysFreeString(name);
    if (FAILED(hr)) return Fail("WavFile", hr);

    IWavReader* reader = NULL;
    hr = file->lpVtbl->OpenReader(file, &reader);
    file->lpVtbl->Release(file);
    if (FAILED(hr)) return Fail("OpenReader", hr);
    LONG frames = 0, rate = 0;
    SHORT channels = 0;
    IWav* wav = NULL;
    if (SUCCEEDED(hr = reader->lpVtbl->get_NumSamples(reader, &frames)) &&
        SUCCEEDED(hr = reader->lpVtbl->get_NumChannels(reader, &channels)) &&
        SUCCEEDED(hr = reader->lpVtbl->get_SampleRate(reader, &rate)) && frames > 0)
        hr = reader->lpVtbl->Read(reader, frames, &wav);
    reader->lpVtbl->Release(reader);
    if (FAILED(hr)) return Fail("reading the file", hr);
    if (frames == 0) {
        /* Not a WAV file the library reads, or one without audio. */
        fprintf(stderr, "wav_info: %s: no audio to read\n", path);
        return 1;
    }

    Peak peak;
    hr = PeakOfWav(wav, frames * channels, &peak);
    wav->lpVtbl->Release(wav);
    if (FAILED(hr)) return Fail("reading the values", hr);
    printf("%s: %ld frames, %d channels, %ld Hz, peak %d..%d\n", path, (long)frames, (int)channels,
           (long)rate, (int)peak.Min, (int)peak.Max);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: wav_info FILE.wav...\n");
        return 2;
    }
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(u"OvraAudio.OvraAudioGlobals", &clsid);
    if (FAILED(hr)) return Fail("CLSIDFromProgID", hr);
    IOvraAudioGlobals* audio = NULL;
    hr = CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID_IOvraAudioGlobals,
                          (void**)&audio);
    if (FAILED(hr)) return Fail("creating OvraAudio.OvraAudioGlobals", hr);

    int status = 0;
    for (int i = 1; i < argc; ++i)
        if (Describe(audio, argv[i]) != 0) status = 1;
    audio->lpVtbl->Release(audio);
    return status;
}
