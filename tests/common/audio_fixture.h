// The library as a client sees it: registered into a test registry with
// ovra-regsvr and created by activation.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "OvraAudio.h"
#include "com/activation.h"
#include "com/comptr.h"
#include "common/test_support.h"

class AudioLibrary : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        ::setenv("OVRA_REGISTRY", (*dir_ / "registry.reg").c_str(), 1);
        ASSERT_EQ(RunCommand(std::string(REGSVR_PATH) + " -s " + AUDIO_LIBRARY_PATH), 0);
    }
    static void TearDownTestSuite() {
        CoFreeUnusedLibraries();
        delete dir_;
    }
    void SetUp() override {
        ASSERT_EQ(CoCreateInstance(CLSID_OvraAudioGlobals, globals_.Out()), S_OK);
    }

    std::string Path(const std::string& name) const { return *dir_ / name; }

    ComPtr<IWav> MakeWav(LONG frames, SHORT channels = 2, LONG rate = 44100, SHORT bytes = 2) {
        ComPtr<IWav> w;
        EXPECT_EQ(globals_->MakeWav(frames, channels, rate, bytes, w.Out()), S_OK);
        return w;
    }
    // A Wav whose value i is f(i).
    template <class F>
    ComPtr<IWav> MakeSignal(LONG frames, SHORT channels, F f) {
        ComPtr<IWav> w = MakeWav(frames, channels);
        for (LONG i = 0; i < frames * channels; ++i)
            EXPECT_EQ(w->put_Sample(static_cast<SHORT>(i % channels), i / channels, f(i)), S_OK);
        return w;
    }
    ComPtr<IWavReader> OpenFile(const std::string& path) {
        ComPtr<IWavFile> file;
        EXPECT_EQ(globals_->WavFile(Bstr(path).get(), file.Out()), S_OK);
        ComPtr<IWavReader> r;
        EXPECT_EQ(file->OpenReader(r.Out()), S_OK);
        return r;
    }

    static TempDir* dir_;
    ComPtr<IOvraAudioGlobals> globals_;
};
inline TempDir* AudioLibrary::dir_ = nullptr;

// The values of a Wav, interleaved.
inline std::vector<AudioSample> ValuesOf(IWav* w) {
    SafeArrayPtr a;
    if (FAILED(w->get_RawData(0, -1, a.Out()))) return {};
    return std::vector<AudioSample>(a.Data<AudioSample>(), a.Data<AudioSample>() + a.Count());
}

// The peaks of an array handed out by the library, which it takes over.
inline std::vector<Peak> PeaksOf(SAFEARRAY* array) {
    SafeArrayPtr a(array);
    return std::vector<Peak>(a.Data<Peak>(), a.Data<Peak>() + a.Count());
}

inline LONG FramesOf(IWav* w) {
    LONG n = -99;
    w->get_NumSamples(&n);
    return n;
}

inline bool AtEnd(IWavReader* r) {
    VARIANT_BOOL eof = 0;
    r->get_EOF(&eof);
    return eof == VARIANT_TRUE;
}

// Little-endian bytes for WAV files written by the tests.
inline void Put16(std::string& s, int v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::uint32_t v) {
    Put16(s, static_cast<int>(v & 0xFFFF));
    Put16(s, static_cast<int>(v >> 16));
}
inline std::string Chunk(const char* id, const std::string& body) {
    std::string s(id, 4);
    Put32(s, static_cast<std::uint32_t>(body.size()));
    s += body;
    if (body.size() & 1) s += '\0';
    return s;
}
inline std::string FmtBody(int channels, int rate, int bits, int tag = 1) {
    std::string f;
    Put16(f, tag);
    Put16(f, channels);
    Put32(f, static_cast<std::uint32_t>(rate));
    Put32(f, static_cast<std::uint32_t>(rate * channels * bits / 8));
    Put16(f, channels * bits / 8);
    Put16(f, bits);
    return f;
}
// 16-bit PCM data whose value i is i * 7 (wrapping).
inline std::string PcmData(int values) {
    std::string d;
    for (int i = 0; i < values; ++i) Put16(d, (i * 7) & 0xFFFF);
    return d;
}
inline std::string RiffWave(const std::string& chunks) {
    std::string s = "RIFF";
    Put32(s, static_cast<std::uint32_t>(chunks.size() + 4));
    return s + "WAVE" + chunks;
}
// A canonical 44-byte-header file of 16-bit audio.
inline std::string CanonicalWav(int channels, int frames, int rate = 44100) {
    return RiffWave(Chunk("fmt ", FmtBody(channels, rate, 16)) +
                    Chunk("data", PcmData(frames * channels)));
}
