// The default song built next to the program, and rendering it from the
// command line.
#include "common/song_fixture.h"
#include "song/loop_renderer.h"
#include "song/song_file.h"
#include "song/song_render.h"

namespace {

using DefaultSong = AudioLibrary;

int Trellon(const std::string& args) {
    return RunCommand(std::string(TRELLON_PATH) + " " + args + " 2>/dev/null");
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
