// Opening a file as a song: every song the writer can produce opens, and
// anything else is refused with the file's name and what is wrong.
#include <sndfile.h>

#include <sys/stat.h>

#include <cstring>
#include <limits>
#include <random>

#include "common/song_fixture.h"
#include "song/song_file.h"
#include "song/song_format.h"

namespace {

using SongRefusal = AudioLibrary;

ComPtr<IWav> Tone(IOvraAudioGlobals* g, LONG frames, SHORT channels, LONG rate, SHORT bytes) {
    ComPtr<IWav> w;
    g->MakeWav(frames, channels, rate, bytes, w.Out());
    for (LONG i = 0; i < frames; ++i) w->put_Sample(0, i, AudioSample(i * 37));
    return w;
}

// The error a file gives when opened as a song, number and text.
AppError RefusalOf(const std::string& path) {
    try {
        ReadSongFile(path);
    } catch (const AppError& e) {
        return e;
    }
    return AppError(0, "opened");
}

std::string Bytes(const ByteArray& b) {
    return std::string(b.begin(), b.end());
}

// A song with audio on sample 3, as the window saves one.
Song SongWithSample3(IOvraAudioGlobals* g) {
    Song song;
    song.SetBpm(1200000);
    AddTracks(*song.Sequence(0), 4, 32);
    song.Sequence(0)->Track(1)->SetValue(5, true);
    for (int i = 0; i < 4; ++i) song.SampleAt(i)->SetCaption(u"T" + std::u16string(1, u'0' + i));
    song.SampleAt(3)->SetWav(Tone(g, 2048, 2, 44100, 2));  // 8,192 bytes of audio
    return song;
}

}  // namespace

TEST_F(SongRefusal, EverySongTheWriterCanProduceOpensAsWritten) {
    TempDir dir;
    std::vector<Song> songs(6);
    for (Song& song : songs) song.SetBpm(1200000);
    // An empty song: no loop, no sample, the slowest tempo.
    songs[0].SetBpm(song_format::kMinBpm);
    // Gaps, the highest slot numbers, loops of no tracks and tracks of no or
    // 255 ticks, raw tick bytes as read from a file.
    songs[1].SetBpm(song_format::kMaxBpm);
    AddTracks(*songs[1].Sequence(0), 3, 32);
    songs[1].Sequence(3);
    AddTracks(*songs[1].Sequence(255), 2, 255);
    songs[1].Sequence(254)->Tracks().push_back(std::make_shared<LoopTrack>());
    songs[1].Sequence(0)->SetNumTicks(9);
    {
        MemoryStream raw;
        raw.WriteBytes(ByteArray{4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 128, 7, 255});
        songs[1].Sequence(3)->Tracks().push_back(std::make_shared<LoopTrack>());
        songs[1].Sequence(3)->Tracks().back()->ReadFromFile(raw);
    }
    // Samples without audio, with empty and longest captions, and audio of
    // every shape the library holds: none at all, 8-bit mono, 16-bit stereo.
    songs[2].SampleAt(0);
    std::u16string longest;
    while (longest.size() < 254) longest += u"\U0001F941";  // surrogate pairs
    songs[2].SampleAt(1)->SetCaption(longest + u"x");
    songs[2].SampleAt(4)->SetCaption(std::u16string(u"Sn\u00E4re\0x", 7));
    songs[2].SampleAt(5)->SetWav(Tone(globals_.get(), 0, 2, 44100, 2));
    songs[2].SampleAt(6)->SetWav(Tone(globals_.get(), 300, 1, 8000, 1));
    songs[2].SampleAt(255)->SetWav(Tone(globals_.get(), 100, 2, 44100, 2));
    // The most loops and samples a file holds.
    for (int i = 0; i < 255; ++i) songs[3].Sequence(i);
    for (int i = 0; i < 255; ++i) songs[4].SampleAt(i)->SetCaption(u"s");
    songs[5] = SongWithSample3(globals_.get());
    for (std::size_t k = 0; k < songs.size(); ++k) {
        const std::string path = dir / ("corner" + std::to_string(k) + ".loop");
        WriteSongFile(songs[k], path);
        std::shared_ptr<Song> back;
        EXPECT_NO_THROW(back = ReadSongFile(path)) << "song " << k;
        if (back) {
            EXPECT_EQ(Written(*back), Written(songs[k])) << "song " << k;
        }
    }
}

TEST_F(SongRefusal, FilesThatAreNoSongAreRefusedNamingTheFileAndWhy) {
    TempDir dir;
    // Audio and image files, text and noise.
    const std::string flac = dir / "x.loop";
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(flac.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<short> frames(2 * 44100);
        for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = short((i * 977) % 20000);
        sf_writef_short(f, frames.data(), 44100);
        sf_close(f);
    }
    WriteText(dir / "sound.loop", CanonicalWav(2, 1000));
    const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
        0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    WriteText(dir / "picture.loop", std::string(reinterpret_cast<const char*>(png), sizeof png));
    WriteText(dir / "notes.loop", "Kick on one, snare on two.\nRemember the hats!\n");
    for (const char* name : {"x.loop", "sound.loop", "picture.loop", "notes.loop"}) {
        AppError e = RefusalOf(dir / name);
        EXPECT_TRUE(e.Number() == kErrInvalidFileFormat || e.Number() == kErrUnexpectedEof)
            << name << ": " << e.what();
        EXPECT_EQ(e.Description().find("\u201C" + std::string(name) + "\u201D"), 0u) << e.what();
    }
    // Kinds of files people open by mistake are said to be what they are.
    EXPECT_STREQ(RefusalOf(dir / "sound.loop").what(),
                 "\u201Csound.loop\u201D is not a Trellon song (it looks like a WAV file)");
    EXPECT_STREQ(RefusalOf(dir / "x.loop").what(),
                 "\u201Cx.loop\u201D is not a Trellon song (it looks like a FLAC file)");
    EXPECT_STREQ(RefusalOf(dir / "notes.loop").what(),
                 "\u201Cnotes.loop\u201D is not a Trellon song (it looks like a text file)");
    std::mt19937 random(2026);
    for (int k = 0; k < 300; ++k) {
        std::string noise(random() % 5000, '\0');
        for (char& c : noise) c = char(random());
        WriteText(dir / "noise.loop", noise);
        EXPECT_NE(RefusalOf(dir / "noise.loop").Number(), 0) << "noise " << k;
    }

    // A song with anything after it, or cut short.
    const ByteArray song = Written(SongWithSample3(globals_.get()));
    WriteText(dir / "y.loop", Bytes(song) + "!");
    EXPECT_STREQ(RefusalOf(dir / "y.loop").what(),
                 "\u201Cy.loop\u201D is not a Trellon song: 1 byte follows the last sample");
    WriteText(dir / "y.loop", Bytes(song) + std::string(11200, 'z'));
    EXPECT_STREQ(RefusalOf(dir / "y.loop").what(),
                 "\u201Cy.loop\u201D is not a Trellon song: 11,200 bytes follow the last sample");
    WriteText(dir / "y.loop", Bytes(ByteArray(song.begin(), song.end() - 4096)));
    AppError cut = RefusalOf(dir / "y.loop");
    EXPECT_EQ(cut.Number(), kErrUnexpectedEof);
    EXPECT_STREQ(
        cut.what(),
        "\u201Cy.loop\u201D is cut short: expected 4,096 more bytes of audio for sample 3");
    WriteText(dir / "y.loop", Bytes(ByteArray(song.begin(), song.begin() + 20)));
    EXPECT_STREQ(RefusalOf(dir / "y.loop").what(),
                 "\u201Cy.loop\u201D is cut short: expected 10 more bytes of the header of track 0 "
                 "in loop 0");

    // Records the writer never writes.
    auto patched = [&](std::size_t at, std::uint8_t value) {
        ByteArray b = song;
        b[at] = value;
        WriteText(dir / "z.loop", Bytes(b));
        return std::string(RefusalOf(dir / "z.loop").what());
    };
    using namespace song_format;
    const std::size_t loop0 = kSongHeaderSize;
    EXPECT_EQ(patched(loop0 + 1, 9),
              "\u201Cz.loop\u201D is not a Trellon song: a nonzero reserved byte before loop 0");
    EXPECT_EQ(patched(loop0 + kItemPrefixSize + kLoopHeaderSize + 5, 1),
              "\u201Cz.loop\u201D is not a Trellon song: nonzero reserved bytes in the header of "
              "track 0 in loop 0");
    const std::size_t sample0 = loop0 + kItemPrefixSize + kLoopHeaderSize + 4 * (16 + 32);
    // Sample 1 listed as sample 0 again.
    const std::size_t sample1 = sample0 + kItemPrefixSize + kSampleHeaderSize + 2 * 2;
    EXPECT_EQ(patched(sample1, 0),
              "\u201Cz.loop\u201D is not a Trellon song: sample 0 listed after sample 0");
    EXPECT_EQ(patched(sample1 + kItemPrefixSize + 1, 7),
              "\u201Cz.loop\u201D is not a Trellon song: an audio flag of 7 for sample 1");
    EXPECT_EQ(patched(sample1 + kItemPrefixSize + 2, 9),
              "\u201Cz.loop\u201D is not a Trellon song: an audio length of 9 without audio for "
              "sample 1");
    const std::size_t image3 = song.size() - 8192 - 44;
    EXPECT_EQ(patched(image3 + 8, 'X'),
              "\u201Cz.loop\u201D is not a Trellon song: audio that is no WAV image (no RIFF/WAVE "
              "header) for sample 3");
    EXPECT_EQ(patched(image3 + 41, 0x10),  // 4,096 of the 8,192 bytes
              "\u201Cz.loop\u201D is not a Trellon song: audio that is no WAV image (a data size "
              "that is not the rest of the audio) for sample 3");
    // Not there at all: the file system's error, naming the path.
    EXPECT_EQ(RefusalOf(dir / "missing.loop").Number(), kErrFileNotFound);
}

// Headers and images no writer produces: tempos no loop buffer holds (and
// that once reached undefined arithmetic or gigabyte buffers), counts past
// what follows, negative lengths, audio no output plays. Each is refused
// naming the file; the writer refuses to produce them in the first place.
TEST_F(SongRefusal, HeadersAndImagesNoWriterProducesAreRefused) {
    TempDir dir;
    const ByteArray song = Written(SongWithSample3(globals_.get()));
    auto refusal = [&](ByteArray b) {
        WriteText(dir / "h.loop", Bytes(b));
        return RefusalOf(dir / "h.loop");
    };
    auto withTempo = [&](std::int64_t bpm) {
        ByteArray b = song;
        std::memcpy(&b[song_format::kSongHeaderBpm], &bpm, 8);
        return b;
    };
    for (std::int64_t bpm :
         {std::int64_t{0}, std::int64_t{-1}, std::int64_t{-1200000}, std::int64_t{1} << 62,
          std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
          std::int64_t{827}, std::int64_t{395}, song_format::kMinBpm - 1,
          song_format::kMaxBpm + 1}) {
        AppError e = refusal(withTempo(bpm));
        EXPECT_EQ(e.Number(), kErrInvalidFileFormat) << bpm << ": " << e.what();
        EXPECT_EQ(e.Description().find("\u201Ch.loop\u201D is not a Trellon song: a tempo of " +
                                       std::to_string(bpm)),
                  0u)
            << e.what();
        Song s;
        s.SetBpm(bpm);
        EXPECT_THROW(Written(s), AppError) << bpm;
    }
    EXPECT_STREQ(refusal(withTempo(827)).what(),
                 "\u201Ch.loop\u201D is not a Trellon song: a tempo of 827 (0.0827 bpm): tempos "
                 "go from 1 to 10,000 bpm");
    for (std::int64_t bpm : {song_format::kMinBpm, song_format::kMaxBpm})
        EXPECT_EQ(refusal(withTempo(bpm)).Number(), 0) << bpm;

    // Counts of 255 loops and 255 samples over the records of one and four.
    ByteArray counts = song;
    counts[0] = counts[1] = 255;
    EXPECT_NE(refusal(counts).Number(), 0);
    // A negative audio length, and the largest one, for sample 3.
    const std::size_t length3 = song.size() - 8192 - 44 - 4 - 2 * 2;
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) {
        ByteArray b = song;
        std::memcpy(&b[length3], &length, 4);
        AppError e = refusal(b);
        EXPECT_NE(e.Number(), 0) << length;
        EXPECT_EQ(e.Description().find("\u201Ch.loop\u201D "), 0u) << e.what();
    }
    // Images of 0 Hz, of 32,767 and of 9 channels.
    const std::size_t image3 = song.size() - 8192 - 44;
    auto withFormat = [&](SHORT channels, LONG rate) {
        ByteArray b = song;
        std::memcpy(&b[image3 + 22], &channels, 2);
        std::memcpy(&b[image3 + 24], &rate, 4);
        return b;
    };
    EXPECT_STREQ(refusal(withFormat(2, 0)).what(),
                 "\u201Ch.loop\u201D is not a Trellon song: audio that is no WAV image (a sample "
                 "rate no output plays (1,000 to 384,000 Hz)) for sample 3");
    EXPECT_EQ(refusal(withFormat(32767, 44100)).Number(), kErrInvalidFileFormat);
    EXPECT_EQ(refusal(withFormat(9, 44100)).Number(), kErrInvalidFileFormat);
    Song odd;
    odd.SetBpm(1200000);
    odd.SampleAt(0)->SetWav(Tone(globals_.get(), 10, 2, 500, 2));
    EXPECT_THROW(Written(odd), AppError);

    // A FIFO given as the song is refused at once, not waited on.
    const std::string fifo = dir / "pipe.loop";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    AppError e = RefusalOf(fifo);
    EXPECT_EQ(e.Number(), kErrFileAccess);
    EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
}
