// Importing audio files as a listener would judge them: the same length in
// seconds, the same pitch, the same level, the channels as they should be;
// files made here with libsndfile in every common format.
#include <sndfile.h>

#include <cmath>
#include <functional>

#include "common/audio_fixture.h"
#include "import/audio_import.h"
#include "import/drum_kit.h"
#include "support/app_error.h"

namespace {

using Import = AudioLibrary;

// Writes frames of channels at rate in format; value(frame, channel) in -1..1 (or beyond).
std::string Write(const std::string& path, int format, int rate, int channels, long frames,
                  const std::function<double(long, int)>& value) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr) << " for " << path;
    if (!f) return path;
    // Values beyond full scale are written as they are (float files).
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    std::vector<double> v(std::size_t(frames) * channels);
    for (long i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) v[std::size_t(i) * channels + c] = value(i, c);
    sf_writef_double(f, v.data(), frames);
    sf_close(f);
    return path;
}

// A 1 kHz sine at half scale.
std::function<double(long, int)> Sine(int rate) {
    return [rate](long i, int) { return 0.5 * std::sin(2 * M_PI * 1000.0 * double(i) / rate); };
}

struct Heard {
    long frames = 0;
    double seconds = 0;
    double crossingsPerSecond = 0;  // of the left channel, rising through zero
    double rmsDb = 0;               // of the left channel, dB below full scale
    bool sidesEqual = true;
};

Heard Listen(IWav* wav) {
    std::vector<AudioSample> v = ValuesOf(wav);
    Heard h;
    h.frames = long(v.size() / 2);
    h.seconds = double(h.frames) / 44100;
    long rising = 0;
    double sum = 0;
    for (long i = 0; i < h.frames; ++i) {
        const double l = v[2 * i] / 32768.0;
        sum += l * l;
        if (i > 0 && v[2 * (i - 1)] < 0 && v[2 * i] >= 0) ++rising;
        if (v[2 * i] != v[2 * i + 1]) h.sidesEqual = false;
    }
    h.crossingsPerSecond = rising / h.seconds;
    h.rmsDb = 10 * std::log10(sum / double(h.frames));
    return h;
}

long Expected(long frames, int rate) {
    return std::lround(double(frames) * 44100 / rate);
}

}  // namespace

TEST_F(Import, EveryFormatKeepsLengthPitchAndLevel) {
    TempDir dir;
    const double sineDb = 10 * std::log10(0.125);  // a half-scale sine: -9.03 dB
    struct Case {
        const char* name;
        int format, rate, channels;
    } cases[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 44100, 1},
        {"s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2},
        {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2},
        {"s32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 44100, 2},
        {"f32.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2},
        {"f64.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 44100, 2},
        {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 44100, 2},
        {"mono22050.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1},
        {"mono48000.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1},
        {"six.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 6},
        {"flac48k.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, 2},
        {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2},
        {"aiff.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 32000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const long frames = c.rate;  // one second
        const std::string path =
            Write(dir / c.name, c.format, c.rate, c.channels, frames, Sine(c.rate));
        ImportedAudio a = ImportAudioFile(path);
        ASSERT_TRUE(a.wav);
        SHORT channels = 0;
        LONG rate = 0;
        a.wav->get_NumChannels(&channels);
        a.wav->get_SampleRate(&rate);
        EXPECT_EQ(channels, 2);
        EXPECT_EQ(rate, 44100);
        Heard h = Listen(a.wav.get());
        EXPECT_NEAR(h.frames, Expected(frames, c.rate), 1);
        EXPECT_NEAR(h.crossingsPerSecond, 1000, 2) << "the pitch";
        EXPECT_NEAR(h.rmsDb, sineDb, 0.1) << "the level";
        if (c.channels != 2) {
            EXPECT_TRUE(h.sidesEqual);
        }
        EXPECT_EQ(a.caption, Utf16FromUtf8(CaptionOfPath(c.name)));
    }
}

TEST_F(Import, ValuesAreExactRoundedAndClampedNeverWrapped) {
    TempDir dir;
    // 16-bit stereo at 44,100 Hz comes in value for value.
    const std::string plain =
        Write(dir / "plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 300,
              [](long i, int c) { return (i * 97 + c * 31) % 2000 / 32768.0 - 0.03; });
    ImportedAudio a = ImportAudioFile(plain);
    std::vector<AudioSample> v = ValuesOf(a.wav.get());
    for (long i = 0; i < 300; ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(v[2 * i + c],
                      AudioSample(std::lround(((i * 97 + c * 31) % 2000 / 32768.0 - 0.03) * 32768)))
                << i << " " << c;
    // Float beyond full scale is clamped; a 32-bit integer is rounded.
    const std::string loud =
        Write(dir / "loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 4, [](long i, int) {
            return i == 0 ? 1.5 : i == 1 ? -1.5 : i == 2 ? 1.0 : 0.49999 / 32768;
        });
    v = ValuesOf(ImportAudioFile(loud).wav.get());
    EXPECT_EQ(v, (std::vector<AudioSample>{32767, 32767, -32768, -32768, 32767, 32767, 0, 0}));
    // One frame at 384 kHz is shorter than a frame at 44,100 Hz: one frame.
    const std::string tiny = Write(dir / "tiny.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 384000, 1, 1,
                                   [](long, int) { return 0.5; });
    EXPECT_EQ(FramesOf(ImportAudioFile(tiny).wav.get()), 1);
    // Six channels: both sides hear every channel alike.
    const std::string six = Write(dir / "six.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 6, 10,
                                  [](long, int c) { return 0.05 * (c + 1); });
    v = ValuesOf(ImportAudioFile(six).wav.get());
    EXPECT_EQ(v[0], AudioSample(std::lround(0.175 * 32768)));
    EXPECT_EQ(v[0], v[1]);
}

TEST_F(Import, WhatIsNotAudioIsRefusedNamingTheFileAndTheReason) {
    TempDir dir;
    WriteText(dir / "empty.wav", "");
    WriteText(dir / "notes.wav", "Kick on one, snare on two.\n");
    const std::string whole =
        Write(dir / "whole.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 10, Sine(44100));
    WriteText(dir / "header-only.wav", ReadText(whole).substr(0, 44));
    // Rates no recording has; 1 Hz once asked the resampler for 11 GB.
    const std::string slow =
        Write(dir / "one-hertz.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 2, 221, Sine(1));
    const std::string fast =
        Write(dir / "too-fast.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 768000, 1, 100, Sine(768000));
    for (const char* name :
         {"empty.wav", "notes.wav", "header-only.wav", "one-hertz.wav", "too-fast.wav"}) {
        try {
            ImportAudioFile(dir / name);
            ADD_FAILURE() << name << " was imported";
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), kErrInvalidFileFormat) << e.what();
            EXPECT_EQ(std::string(e.what()).find("\u201C" + std::string(name) + "\u201D"), 0u)
                << e.what();
        }
    }
    try {
        ImportAudioFile(dir / "gone.wav");
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number(), kErrFileNotFound);
    }
    // A file cut inside its audio brings what is there, at the announced length.
    const std::string longer = Write(dir / "longer.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                     1000, [](long, int) { return 0.25; });
    WriteText(dir / "cut.wav", ReadText(longer).substr(0, 44 + 400 * 4));
    std::vector<AudioSample> v = ValuesOf(ImportAudioFile(dir / "cut.wav").wav.get());
    ASSERT_GE(v.size(), 800u);
    EXPECT_EQ(v[0], 8192);
    EXPECT_EQ(v[799], 8192);
}

TEST(DrumKit, TakesEachInstrumentsLayerForVelocityOrTheLoudest) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<drumkit_info xmlns="http://www.hydrogen-music.org/drumkit">
  <name>Test &amp; Kit</name>
  <instrumentList>
    <instrument>
      <id>0</id><name>Kick</name><midiOutNote>35</midiOutNote>
      <instrumentComponent><component_id>0</component_id>
        <layer><filename>kick-soft.wav</filename><min>0</min><max>0.5</max></layer>
        <layer><filename>kick-hard.wav</filename><min>0.5</min><max>1</max></layer>
      </instrumentComponent>
    </instrument>
    <instrument>
      <name>Snare</name><midiOutNote>200</midiOutNote>
      <layer><filename>snare-1.flac</filename><min>0</min><max>0.3</max></layer>
      <layer><filename>snare-2.flac</filename><min>0.3</min><max>0.6</max></layer>
    </instrument>
    <instrument><name>Hat</name><filename>/kits/test/hats/hat.wav</filename></instrument>
    <instrument><name>Other</name><filename>/kits/hat.wav</filename></instrument>
    <instrument><name>Up</name><filename>../other/ride.wav</filename></instrument>
    <instrument><name>Empty</name></instrument>
  </instrumentList>
</drumkit_info>)";
    DrumKit kit = ParseDrumKit(xml, "/kits/test", "drumkit.xml");
    EXPECT_EQ(kit.name, "Test & Kit");
    ASSERT_EQ(kit.instruments.size(), 3u);
    EXPECT_EQ(kit.instruments[0].name, "Kick");
    EXPECT_EQ(kit.instruments[0].sample, "/kits/test/kick-hard.wav");
    EXPECT_EQ(kit.instruments[1].sample, "/kits/test/snare-2.flac") << "the loudest";
    EXPECT_EQ(kit.instruments[2].sample, "/kits/test/hats/hat.wav");
    // The notes the kit plays its instruments with; none out of MIDI's range.
    EXPECT_EQ(kit.instruments[0].note, 35);
    EXPECT_EQ(kit.instruments[1].note, -1);
    EXPECT_EQ(kit.instruments[2].note, -1);
    // Files outside the kit's folder are none of its own.
    EXPECT_EQ(kit.outside,
              (std::vector<std::string>{"Other (/kits/hat.wav)", "Up (../other/ride.wav)"}));

    for (const char* bad : {"<drumkit_info><name>x</nam></drumkit_info>", "not xml at all",
                            "<song><instrumentList/></song>"}) {
        try {
            ParseDrumKit(bad, "/", "drumkit.xml");
            ADD_FAILURE() << bad;
        } catch (const AppError& e) {
            EXPECT_EQ(e.Number(), kErrInvalidFileFormat);
            EXPECT_EQ(std::string(e.what()).find("\u201Cdrumkit.xml\u201D is not a drum kit"), 0u)
                << e.what();
        }
    }
}
