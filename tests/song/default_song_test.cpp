// The default song built next to the program, and rendering it from the
// command line.
#include <sndfile.h>

#include "common/song_fixture.h"
#include "song/loop_renderer.h"
#include "song/song_export.h"
#include "song/song_file.h"

namespace {

using DefaultSong = AudioLibrary;

int Trellon(const std::string& args) {
    return RunCommand(std::string(TRELLON_PATH) + " " + args + " 2>/dev/null");
}

// What Trellon says on its standard error stream for args.
std::string Said(const std::string& args, const TempDir& dir) {
    RunCommand(std::string(TRELLON_PATH) + " " + args + " 2>" + (dir / "said.txt"));
    return ReadText(dir / "said.txt");
}

// The values of a FLAC file, read with libsndfile.
std::vector<short> FlacValues(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr);
    if (!f) return {};
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    std::vector<short> v(std::size_t(info.frames) * 2);
    sf_readf_short(f, v.data(), info.frames);
    sf_close(f);
    return v;
}

}  // namespace

TEST_F(DefaultSong, HoldsTheKitAndSixDistinctGroovesAt120) {
    std::shared_ptr<Song> song = ReadSongFile(DEFAULT_SONG_PATH);
    EXPECT_EQ(song->Bpm(), 1200000);
    EXPECT_EQ(song->NumTracks(), 10);
    std::set<std::u16string> captions;
    for (int j = 0; j < 10; ++j) {
        auto s = song->SampleAt(j);
        ASSERT_TRUE(s->Wav()) << j;
        EXPECT_GT(FramesOf(s->Wav().get()), 1000) << j;
        captions.insert(s->Caption());
    }
    EXPECT_EQ(captions.size(), 10u);
    EXPECT_TRUE(captions.count(u"Kick") && captions.count(u"Snare") && captions.count(u"Clap"));
    std::set<std::vector<std::uint8_t>> patterns;
    for (int k = 0; k < 6; ++k) {
        auto loop = song->Sequence(k);
        ASSERT_EQ(loop->NumTracks(), 10) << k;
        std::vector<std::uint8_t> all;
        for (int j = 0; j < 10; ++j) {
            ASSERT_EQ(loop->Track(j)->NumTicks(), 32);
            const auto& t = loop->Track(j)->TickBytes();
            all.insert(all.end(), t.begin(), t.end());
        }
        patterns.insert(all);
    }
    EXPECT_EQ(patterns.size(), 6u);
}

TEST_F(DefaultSong, RendersFromTheCommandLineAsThePlayerWould) {
    TempDir dir;
    ASSERT_EQ(Trellon(std::string("--render ") + DEFAULT_SONG_PATH + " --loop 2 --out " +
                      (dir / "one.wav")),
              0);
    ASSERT_EQ(Trellon(std::string("--render ") + DEFAULT_SONG_PATH + " --loop 2 --passes 3 --out " +
                      (dir / "three.wav")),
              0);
    std::string one = ReadText(dir / "one.wav"), three = ReadText(dir / "three.wav");

    // The same rendering made here: the buffer's byte image, for one pass.
    std::shared_ptr<Song> song = ReadSongFile(DEFAULT_SONG_PATH);
    LoopRenderer r;
    r.NumTracks = song->NumTracks();
    r.SelectedLoopIndex = 2;
    r.PrepareLoopWav(*song);
    r.RenderSelectedLoop(*song, LoopGrid(*song->Sequence(2)));
    SafeArrayPtr image;
    ASSERT_EQ(r.LoopWav->ToByteArray(image.Out()), S_OK);
    std::string want(reinterpret_cast<char*>(image.Bytes()), image.Count());
    EXPECT_EQ(one.size(), 44u + 176400 * 4);
    EXPECT_TRUE(one == want) << "one pass is the loop buffer's image";
    ASSERT_EQ(three.size(), 44 + 3 * (one.size() - 44));
    std::uint32_t data;
    std::memcpy(&data, three.data() + 40, 4);
    EXPECT_EQ(data, 3 * 176400 * 4);
    EXPECT_EQ(three.substr(44 + 2 * (one.size() - 44)), one.substr(44));

    // Failures say so and exit non-zero, leaving no output behind.
    std::string cut = ReadText(DEFAULT_SONG_PATH).substr(0, 5000);
    WriteText(dir / "cut.loop", cut);
    EXPECT_NE(Trellon("--render " + (dir / "missing.loop") + " --out " + (dir / "x.wav")), 0);
    EXPECT_NE(Trellon("--render " + (dir / "cut.loop") + " --out " + (dir / "x.wav")), 0);
    // A file that merely starts like a song, and a WAV file, render nothing.
    WriteText(dir / "longer.loop", ReadText(DEFAULT_SONG_PATH) + "tail");
    WriteText(dir / "sound.loop", CanonicalWav(2, 100));
    EXPECT_NE(Trellon("--render " + (dir / "longer.loop") + " --out " + (dir / "x.wav")), 0);
    EXPECT_NE(Trellon("--render " + (dir / "sound.loop") + " --out " + (dir / "x.wav")), 0);
    EXPECT_NE(
        Trellon(std::string("--render ") + DEFAULT_SONG_PATH + " --out " + (dir / "no/x.wav")), 0);
    EXPECT_NE(Trellon(std::string("--render ") + DEFAULT_SONG_PATH + " --loop 300 --out " +
                      (dir / "x.wav")),
              0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
    EXPECT_EQ(Trellon("--help"), 0);
}

TEST_F(DefaultSong, RendersArrangementsAndFlacAndRefusesWhatCannotBeRendered) {
    TempDir dir;
    std::shared_ptr<Song> song = ReadSongFile(DEFAULT_SONG_PATH);
    song->SetArrangement({{1, 2}, {3, 1}});
    WriteSongFile(*song, dir / "piece.loop");
    const std::string piece = dir / "piece.loop";
    // Twice through the arrangement: loop 1, loop 1, loop 3, and again.
    ASSERT_EQ(Trellon("--render " + piece + " --arrangement --passes 2 --out " + (dir / "a.wav")),
              0);
    ASSERT_EQ(Trellon("--render " + piece + " --loop 1 --out " + (dir / "l1.wav")), 0);
    ASSERT_EQ(Trellon("--render " + piece + " --loop 3 --out " + (dir / "l3.wav")), 0);
    const std::string one = ReadText(dir / "l1.wav").substr(44),
                      three = ReadText(dir / "l3.wav").substr(44);
    const std::string a = ReadText(dir / "a.wav");
    EXPECT_EQ(a.substr(44), one + one + three + one + one + three);
    std::uint32_t data;
    std::memcpy(&data, a.data() + 40, 4);
    EXPECT_EQ(data, 6 * one.size());
    // FLAC holds the same values, by the option or by the file's name.
    ASSERT_EQ(
        Trellon("--render " + piece + " --arrangement --format flac --out " + (dir / "a.out")), 0);
    ASSERT_EQ(Trellon("--render " + piece + " --loop 3 --out " + (dir / "l3.flac")), 0);
    std::vector<short> flac = FlacValues(dir / "a.out");
    ASSERT_EQ(flac.size() * 2, 3 * one.size());
    EXPECT_EQ(std::memcmp(flac.data(), (one + one + three).data(), flac.size() * 2), 0);
    EXPECT_EQ(FlacValues(dir / "l3.flac").size() * 2, three.size());

    // Refusals, each with a reason and nothing written.
    const std::string x = " --out " + (dir / "x.wav");
    EXPECT_NE(Said("--render " + piece + " --loop 10" + x, dir).find("loop number from 0 to 9"),
              std::string::npos);
    EXPECT_NE(Said("--render " + piece + " --loop 7" + x, dir).find("Loop 7 of"),
              std::string::npos);
    EXPECT_NE(Said("--render " + piece + " --lop 1" + x, dir).find("unrecognized option '--lop'"),
              std::string::npos);
    EXPECT_NE(Said("--render " + piece + " --format mp3" + x, dir).find("wav, flac or midi"),
              std::string::npos);
    EXPECT_NE(Said("--render " + std::string(DEFAULT_SONG_PATH) + " --arrangement" + x, dir)
                  .find("has no arrangement"),
              std::string::npos);
    // 10,000 passes of 4 seconds are past WAV's 4 GiB: refused up front.
    const std::string tooLong = Said("--render " + piece + " --passes 10000" + x, dir);
    EXPECT_NE(tooLong.find("11 h 6 min 40 s of audio do not fit in a WAV file, which holds at "
                           "most 6 h 45 min 48 s"),
              std::string::npos)
        << tooLong;
    EXPECT_NE(Trellon("--render " + piece + " --passes 10000" + x), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));
}
