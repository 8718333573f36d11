// Ogg Vorbis decoding, compared with the decoder's own output.
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "common/audio_fixture.h"

namespace {

// A stereo or mono chirp with some noise, as an encoder would meet it.
std::string SignalWav(int channels, int rate, int frames) {
    std::string data;
    unsigned noise = 12345;
    for (int i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1103515245u + 12345u;
            double v = 0.6 * std::sin(2 * M_PI * (220 + 300 * t + 50 * c) * t) +
                       0.05 * ((noise >> 16) / 32768.0 - 1.0);
            Put16(data, static_cast<int>(v * 32767));
        }
    }
    return RiffWave(Chunk("fmt ", FmtBody(channels, rate, 16)) + Chunk("data", data));
}

// The decoder's float output converted as the library must: x * 32768
// truncated toward zero, clamped.
std::vector<AudioSample> Reference(const std::string& path, int* channels) {
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_filename(path.c_str(), &error, nullptr);
    std::vector<AudioSample> out;
    if (!v) return out;
    *channels = stb_vorbis_get_info(v).channels;
    float** frame = nullptr;
    int n;
    while ((n = stb_vorbis_get_frame_float(v, nullptr, &frame)) > 0) {
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < *channels; ++c) {
                double x = std::trunc(double(frame[c][i] * 32768.0f));
                out.push_back(static_cast<AudioSample>(std::clamp(x, -32768.0, 32767.0)));
            }
    }
    stb_vorbis_close(v);
    return out;
}

class OggFiles : public AudioLibrary {
  protected:
    // Encodes a signal once per suite.
    static void SetUpTestSuite() {
        AudioLibrary::SetUpTestSuite();
        WriteText(*dir_ / "stereo.wav", SignalWav(2, 22050, 22050 * 3));
        WriteText(*dir_ / "mono.wav", SignalWav(1, 44100, 30000));
        for (const char* name : {"stereo", "mono"}) {
            std::string base = *dir_ / name;
            ASSERT_EQ(RunCommand("oggenc -Q -q 3 -o '" + base + ".ogg' '" + base + ".wav'"), 0)
                << "oggenc (vorbis-tools) is needed";
        }
    }
    ComPtr<IWavReader> OpenOgg(const std::string& path) {
        ComPtr<IOggVorbisFile> file;
        EXPECT_EQ(globals_->OggVorbisFile(Bstr(path).get(), file.Out()), S_OK);
        ComPtr<IWavReader> r;
        EXPECT_EQ(file->OpenReader(r.Out()), S_OK);
        return r;
    }
    // Everything a reader gives in blocks of the given sizes, in turn.
    static std::vector<AudioSample> Drain(IWavReader* r, std::vector<LONG> sizes) {
        std::vector<AudioSample> all;
        for (std::size_t i = 0; !AtEnd(r) && i < 100000; ++i) {
            ComPtr<IWav> b;
            if (FAILED(r->Read(sizes[i % sizes.size()], b.Out()))) break;
            std::vector<AudioSample> v = ValuesOf(b.get());
            all.insert(all.end(), v.begin(), v.end());
        }
        return all;
    }
};

}  // namespace

TEST_F(OggFiles, ReaderDeliversTheDecodersFramesInAnyBlockSizes) {
    int channels = 0;
    std::vector<AudioSample> want = Reference(Path("stereo.ogg"), &channels);
    ASSERT_EQ(channels, 2);
    ASSERT_GT(want.size(), 100000u);

    ComPtr<IWavReader> r = OpenOgg(Path("stereo.ogg"));
    SHORT ch = 0, align = 0;
    LONG rate = 0, byteRate = 0, n = 0;
    WavHeader h;
    r->get_NumChannels(&ch);
    r->get_SampleRate(&rate);
    r->get_ByteRate(&byteRate);
    r->get_NumSamples(&n);
    r->get_Header(&h);
    EXPECT_EQ(ch, 2);
    EXPECT_EQ(rate, 44100) << "always described at 44100, whatever the stream says";
    EXPECT_EQ(byteRate, 176400);
    EXPECT_EQ(h.FormatHeader.BlockAlign, 4);
    EXPECT_EQ(n, -1);
    align = h.FormatHeader.BitsPerSample;
    EXPECT_EQ(align, 16);

    // Two reads of 1000 are one read of 2000; positions count values.
    ComPtr<IWav> a, b, c;
    ASSERT_EQ(r->Read(1000, a.Out()), S_OK);
    LONG pos = 0;
    r->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 2000);
    ASSERT_EQ(r->Read(1000, b.Out()), S_OK);
    ComPtr<IWavReader> r2 = OpenOgg(Path("stereo.ogg"));
    ASSERT_EQ(r2->Read(2000, c.Out()), S_OK);
    std::vector<AudioSample> two = ValuesOf(a.get()), second = ValuesOf(b.get());
    two.insert(two.end(), second.begin(), second.end());
    EXPECT_EQ(two, ValuesOf(c.get()));
    EXPECT_EQ(two, std::vector<AudioSample>(want.begin(), want.begin() + 4000));

    // Odd sizes, tiny reads served from the carried-over frame, and the default.
    EXPECT_EQ(Drain(OpenOgg(Path("stereo.ogg")).get(), {777, 1, 3, 4096, 13}), want);
    ComPtr<IWavReader> tiny = OpenOgg(Path("stereo.ogg"));
    ASSERT_EQ(tiny->Read(100, a.Out()), S_OK);
    ASSERT_EQ(tiny->Read(1, b.Out()), S_OK);
    EXPECT_EQ(FramesOf(b.get()), 1);
    EXPECT_EQ(Drain(OpenOgg(Path("stereo.ogg")).get(), {-1}), want);

    SAFEARRAY* peaks = nullptr;
    EXPECT_EQ(r->Peaks(10, nullptr), E_POINTER);
    EXPECT_EQ(r->Peaks(10, &peaks), E_NOTIMPL);
    EXPECT_EQ(r->Skip(10), E_NOTIMPL);
    ComPtr<IOggVorbisFile> file;
    ASSERT_EQ(globals_->OggVorbisFile(Bstr(Path("stereo.ogg")).get(), file.Out()), S_OK);
    Bstr path;
    EXPECT_EQ(file->get_Path(path.Out()), E_NOTIMPL);
}

TEST_F(OggFiles, ReadAllIsTheWholeFileDecode) {
    for (const char* name : {"stereo.ogg", "mono.ogg"}) {
        int channels = 0;
        short* samples = nullptr;
        int frames = stb_vorbis_decode_filename(Path(name).c_str(), &channels, nullptr, &samples);
        ASSERT_GT(frames, 0);
        std::vector<AudioSample> want(samples, samples + std::size_t(frames) * channels);
        std::free(samples);

        ComPtr<IOggVorbisFile> file;
        ASSERT_EQ(globals_->OggVorbisFile(Bstr(Path(name)).get(), file.Out()), S_OK);
        ComPtr<IWav> w;
        ASSERT_EQ(file->ReadAll(w.Out()), S_OK);
        EXPECT_EQ(FramesOf(w.get()), frames);
        SHORT ch = 0;
        LONG rate = 0;
        w->get_NumChannels(&ch);
        w->get_SampleRate(&rate);
        EXPECT_EQ(ch, channels);
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(ValuesOf(w.get()), want);

        // The reader's truncation and the whole-file rounding differ by at most one step.
        std::vector<AudioSample> read = Drain(OpenOgg(Path(name)).get(), {4410});
        ASSERT_EQ(read.size(), want.size());
        int worst = 0;
        for (std::size_t i = 0; i < read.size(); ++i)
            worst = std::max(worst, std::abs(read[i] - want[i]));
        EXPECT_LE(worst, 1);
    }
}

TEST_F(OggFiles, DamagedOrMissingFilesEndCleanly) {
    std::string good = ReadText(Path("stereo.ogg"));
    std::string flipped = good;
    for (std::size_t i = 6000; i < flipped.size(); i += 997)
        flipped[i] = static_cast<char>(~flipped[i]);
    WriteText(Path("cut.ogg"), good.substr(0, good.size() / 2));
    WriteText(Path("flipped.ogg"), flipped);
    WriteText(Path("text.ogg"), std::string(5000, 'x'));
    WriteText(Path("headers.ogg"), good.substr(0, 300));

    int channels = 0;
    std::vector<AudioSample> want = Reference(Path("stereo.ogg"), &channels);
    std::vector<AudioSample> cut = Drain(OpenOgg(Path("cut.ogg")).get(), {3000});
    EXPECT_GT(cut.size(), want.size() / 3);
    EXPECT_LT(cut.size(), want.size());
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), want.begin()));
    Drain(OpenOgg(Path("flipped.ogg")).get(), {3000});  // whatever decodes, without a crash

    for (const char* name : {"text.ogg", "headers.ogg", "missing.ogg"}) {
        ComPtr<IWavReader> r = OpenOgg(Path(name));
        ASSERT_TRUE(r) << name;
        EXPECT_TRUE(AtEnd(r.get())) << name;
        ComPtr<IWav> b;
        EXPECT_EQ(r->Read(100, b.Out()), E_FAIL) << name;
        ComPtr<IOggVorbisFile> file;
        globals_->OggVorbisFile(Bstr(Path(name)).get(), file.Out());
        EXPECT_EQ(file->ReadAll(b.Out()), E_FAIL) << name;
    }
}

// Files that once made the whole-file decode write past a buffer, free a
// pointer it never set, leak, or decode 3 KB into 1.4 GB, and codebooks
// whose value tables the decoder sizes with int arithmetic that overflows
// (2 entries in 31 dimensions; 2^19 entries in 4096). Each must come back
// as a plain failure, or as audio no longer than its pages say.
TEST_F(OggFiles, ReadAllOfHostileFilesFailsCleanly) {
    const std::string dir = OGG_REGRESSIONS;
    struct Case {
        const char* name;
        HRESULT want;
    };
    for (const Case& c : {Case{"readall-comment-list-heap-overflow.ogg", E_FAIL},
                          Case{"readall-free-of-uninitialized-pointer.ogg", E_FAIL},
                          Case{"readall-leak-sparse-codebook.ogg", E_FAIL},
                          Case{"readall-3KB-ogg-1.4GB-decode.ogg", E_FAIL},
                          Case{"codebook-lookup1-size-overflow.ogg", E_FAIL},
                          Case{"codebook-lookup2-size-overflow.ogg", E_FAIL}}) {
        ComPtr<IOggVorbisFile> file;
        ASSERT_EQ(globals_->OggVorbisFile(Bstr(dir + "/" + c.name).get(), file.Out()), S_OK);
        ComPtr<IWav> w;
        EXPECT_EQ(file->ReadAll(w.Out()), c.want) << c.name;
        EXPECT_FALSE(w) << c.name;
        // The incremental reader refuses or ends them as well.
        Drain(OpenOgg(dir + "/" + c.name).get(), {4096});
    }
    // A stream that decodes to more than its pages' granule positions say
    // (here all zero, with no last page to trim at) stops at that bound.
    std::string bytes = ReadText(Path("stereo.ogg"));
    for (std::size_t at = bytes.find("OggS"); at != std::string::npos;
         at = bytes.find("OggS", at + 4)) {
        bytes[at + 5] = static_cast<char>(bytes[at + 5] & ~4);  // no end-of-stream flag
        std::fill(bytes.begin() + long(at) + 6, bytes.begin() + long(at) + 14, '\0');
    }
    WriteText(Path("no-length.ogg"), bytes);
    ComPtr<IOggVorbisFile> unbounded;
    ASSERT_EQ(globals_->OggVorbisFile(Bstr(Path("no-length.ogg")).get(), unbounded.Out()), S_OK);
    ComPtr<IWav> none;
    EXPECT_EQ(unbounded->ReadAll(none.Out()), E_OUTOFMEMORY);

    // A FIFO is no file to decode: refused at once rather than waited on.
    const std::string fifo = Path("pipe.ogg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ComPtr<IOggVorbisFile> file;
    ASSERT_EQ(globals_->OggVorbisFile(Bstr(fifo).get(), file.Out()), S_OK);
    ComPtr<IWav> w;
    EXPECT_EQ(file->ReadAll(w.Out()), E_FAIL);
    EXPECT_TRUE(AtEnd(OpenOgg(fifo).get()));
}
