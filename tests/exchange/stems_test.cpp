// Stems: one file per track, each as the mix has it, adding up to the mix.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>

#include "com/bstr.h"
#include "common/audio_fixture.h"
#include "common/engine_fixture.h"

namespace {

std::vector<short> ReadValues(const std::string& path, SF_INFO* info = nullptr) {
    SF_INFO i{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &i);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return {};
    std::vector<short> v(std::size_t(i.frames * i.channels));
    sf_readf_short(f, v.data(), i.frames);
    sf_close(f);
    if (info) *info = i;
    return v;
}

}  // namespace

using Stems = EngineTest;

TEST_F(Stems, AddUpToTheMixWithinOneStepPerTrackAndAreNamedAfterTheTracks) {
    Engine& e = OpenDefaultSong();
    // Volume, pan, pitch, a mute and a choke: each stem is as the mix has it.
    e.SetTrackVolume(1, 60);
    TrackSound panned;
    panned.pan = -70;
    panned.pitch = 300;
    e.SetTrackSound(2, panned);
    e.SetTrackMute(3, true);
    TrackSound choke;
    choke.choke = 1;
    e.SetTrackSound(4, choke);
    e.SetTrackSound(5, choke);
    e.SetMasterLevel(-300);

    ExportChoice choice;
    choice.times = 2;
    ASSERT_TRUE(e.Export(choice, Folder("mix.wav")));
    choice.stems = true;
    const std::string folder = Folder("stems");
    ASSERT_TRUE(e.Export(choice, folder));

    const std::vector<Stem> stems = StemsOf(*e.GetSong(), choice.format);
    ASSERT_EQ(stems.size(), std::size_t(e.NumTracks()));
    EXPECT_EQ(stems[0].file, "01 " + Utf8FromUtf16(e.GetSong()->SampleAt(0)->Caption()) + ".wav");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files += entry.is_regular_file();
    EXPECT_EQ(files, stems.size());

    const std::vector<short> mix = ReadValues(Folder("mix.wav"));
    ASSERT_FALSE(mix.empty());
    std::vector<long> sum(mix.size(), 0);
    for (const Stem& s : stems) {
        const std::vector<short> v = ReadValues(folder + "/" + s.file);
        ASSERT_EQ(v.size(), mix.size()) << s.file;  // all of the mix's length
        bool silent = true;
        for (std::size_t k = 0; k < v.size(); ++k) {
            sum[k] += v[k];
            silent = silent && v[k] == 0;
        }
        if (s.track == 3) {
            EXPECT_TRUE(silent) << "the muted track";
        }
        if (s.track == 0) {
            EXPECT_FALSE(silent);
        }
    }
    long worst = 0;
    for (std::size_t k = 0; k < mix.size(); ++k) worst = std::max(worst, std::abs(sum[k] - mix[k]));
    EXPECT_LE(worst, long(stems.size()));

    // FLAC stems carry the same values.
    choice.format = ExportChoice::Format::kFlac;
    ASSERT_TRUE(e.Export(choice, Folder("flac")));
    EXPECT_EQ(ReadValues(Folder("flac") + "/" + StemsOf(*e.GetSong(), choice.format)[2].file),
              ReadValues(folder + "/" + stems[2].file));
    // Stems are audio: not MIDI.
    choice.format = ExportChoice::Format::kMidi;
    EXPECT_EQ(ErrorOf([&] { e.Export(choice, Folder("midi")); }), kErrInvalidArgument);
}

TEST_F(Stems, TheCommandLineWritesStemsMidiAndTakesAnotherMachinesSong) {
    const std::string song = DEFAULT_SONG_PATH;
    const std::string run = std::string(TRELLON_PATH) + " --render ";
    ASSERT_EQ(RunCommand(run + song + " --stems " + Folder("st") + " --format flac 2>/dev/null"),
              0);
    std::size_t flac = 0;
    for (const auto& f : std::filesystem::directory_iterator(Folder("st")))
        flac += f.path().extension() == ".flac";
    EXPECT_GT(flac, 1u);
    ASSERT_EQ(RunCommand(run + song + " --passes 2 --out " + Folder("a.mid") + " 2>/dev/null"), 0);
    EXPECT_EQ(ReadText(Folder("a.mid")).substr(0, 4), "MThd");
    // Refused before anything is written.
    EXPECT_EQ(RunCommand(run + song + " --stems " + Folder("x") + " --format midi 2>/dev/null"), 2);
    EXPECT_EQ(RunCommand(run + song + " --stems " + Folder("x") + " --out " + Folder("y.wav") +
                         " 2>/dev/null"),
              2);
    EXPECT_FALSE(std::filesystem::exists(Folder("x")));

    // A song of the other format renders as it opens.
    std::filesystem::create_directories(Folder("h2/Kit"));
    WriteText(Folder("h2/Kit/kick.wav"), CanonicalWav(2, 2000));
    WriteText(
        Folder("h2/beat.h2song"),
        "<song><bpm>120</bpm><instrumentList><instrument><id>0</id><name>Boom</name>"
        "<drumkit>Kit</drumkit><layer><filename>kick.wav</filename></layer></instrument>"
        "</instrumentList><patternList><pattern><name>a</name><size>192</size><noteList>"
        "<note><position>0</position><velocity>1</velocity><instrument>0</instrument>"
        "</note></noteList></pattern></patternList><patternSequence><group><patternID>a"
        "</patternID></group><group><patternID>a</patternID></group></patternSequence></song>");
    ASSERT_EQ(RunCommand(run + Folder("h2/beat.h2song") + " --arrangement --out " +
                         Folder("b.wav") + " 2>/dev/null"),
              0);
    SF_INFO info{};
    ReadValues(Folder("b.wav"), &info);
    EXPECT_EQ(info.frames, 2 * 88200);  // two passes of a bar at 120 bpm
}
