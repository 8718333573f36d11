// Another drum machine's songs opened as ours: a hand-made song with its
// kit, every demo song that program installs, hostile files refused or
// read without leaving the kit, and a rendering set beside that program's
// own export of the same song.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/audio_fixture.h"
#include "common/engine_fixture.h"
#include "exchange/hydrogen_song.h"

namespace {

const char* const kDemoFolder = "/usr/share/hydrogen/data/demo_songs";

std::string Instrument(int id, const std::string& name, const std::string& rest) {
    return "<instrument><id>" + std::to_string(id) + "</id><name>" + name + "</name>" + rest +
           "</instrument>";
}

std::string Note(int position, int instrument, double velocity, const std::string& rest = "") {
    return "<note><position>" + std::to_string(position) + "</position><velocity>" +
           std::to_string(velocity) + "</velocity><instrument>" + std::to_string(instrument) +
           "</instrument>" + rest + "</note>";
}

// A song of the format as its newer versions write it, with an older
// instrument (pan pair, file by its whole path) among them.
std::string HandMadeSong() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<song><version>1.2.0</version>"
           "<bpm>96.5</bpm><volume>0.5</volume><name>Hand</name><swing_factor>0.2</swing_factor>"
           "<humanize_time>0</humanize_time><humanize_velocity>0</humanize_velocity>"
           "<instrumentList>" +
           Instrument(0, "Kick",
                      "<drumkit>Box</drumkit><volume>0.8</volume><isMuted>false</isMuted>"
                      "<pan>0.5</pan><midiOutNote>35</midiOutNote><muteGroup>-1</muteGroup>"
                      "<instrumentComponent><gain>1</gain>"
                      "<layer><filename>soft.wav</filename><min>0</min><max>0.5</max></layer>"
                      "<layer><filename>kick.wav</filename><min>0.5</min><max>1</max>"
                      "<gain>1.5</gain></layer></instrumentComponent>") +
           Instrument(7, "Hat",
                      "<drumkit>Box</drumkit><volume>1</volume><isMuted>true</isMuted>"
                      "<pan_L>1</pan_L><pan_R>0.25</pan_R><muteGroup>3</muteGroup>"
                      "<layer><filename>/somewhere/else/Box/hat.wav</filename></layer>") +
           Instrument(8, "Open Hat",
                      "<drumkit>Box</drumkit><muteGroup>3</muteGroup><pitchOffset>-2</pitchOffset>"
                      "<layer><filename>hat.wav</filename></layer>") +
           Instrument(9, "Missing",
                      "<drumkit>Box</drumkit><layer><filename>gone.wav</filename></layer>") +
           "</instrumentList><patternList>"
           "<pattern><name>verse</name><size>192</size><noteList>" +
           Note(0, 0, 1.0) + Note(48, 0, 0.5) + Note(24, 7, 0.8) + Note(26, 8, 0.8) +
           Note(12, 8, 0.6, "<pan>0.4</pan><leadlag>0.2</leadlag>") + Note(500, 0, 1.0) +
           Note(0, 42, 1.0) +
           "</noteList></pattern>"
           "<pattern><name>triplets</name><size>144</size><noteList>" +
           Note(0, 0, 1.0) + Note(16, 7, 1.0) + Note(32, 8, 1.0) +
           "</noteList></pattern>"
           "<pattern><name>silence</name><size>192</size><noteList/></pattern>"
           "</patternList><virtualPatternList><pattern><name>v</name></pattern>"
           "</virtualPatternList><patternSequence>"
           "<group><patternID>verse</patternID></group>"
           "<group><patternID>verse</patternID></group>"
           "<group><patternID>triplets</patternID><patternID>verse</patternID></group>"
           "<group><patternID>silence</patternID></group>"
           "<group><patternID>nowhere</patternID></group>"
           "<group><patternID>verse</patternID></group>"
           "</patternSequence></song>";
}

class HydrogenSongs : public EngineTest {
  protected:
    // A kit folder "Box" under kits, with three sounds, and a sound outside it.
    void MakeKit() {
        std::filesystem::create_directories(Folder("kits/Box"));
        WriteText(Folder("kits/Box/kick.wav"), CanonicalWav(2, 4410));
        WriteText(Folder("kits/Box/soft.wav"), CanonicalWav(2, 100));
        WriteText(Folder("kits/Box/hat.wav"), CanonicalWav(1, 2205));
        WriteText(Folder("secret.wav"), CanonicalWav(1, 10));
    }
    std::shared_ptr<Song> Read(const std::string& text, std::string* notice = nullptr) {
        const std::string path = Folder("songs/song.h2song");
        std::filesystem::create_directories(Folder("songs"));
        WriteText(path, text);
        return ReadHydrogenSong(path, notice, {}, {Folder("kits")});
    }
    static std::string RefusalOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const AppError& e) {
            return e.what();
        }
        return "";
    }
};

std::vector<int> Row(const Song& song, int loop, int track) {
    std::vector<int> on;
    const auto& t = *song.LoopSlots()[std::size_t(loop)]->Tracks()[std::size_t(track)];
    for (int i = 0; i < t.NumTicks(); ++i)
        if (t.Value(std::uint8_t(i))) on.push_back(i * 1000 + t.Velocity(std::uint8_t(i)));
    return on;
}

}  // namespace

TEST_F(HydrogenSongs, AHandMadeSongOpensWithItsKitItsPatternsAndItsSequence) {
    MakeKit();
    std::string notice;
    const auto song = Read(HandMadeSong(), &notice);
    EXPECT_EQ(song->Bpm(), 965000);
    EXPECT_EQ(song->Swing(), 1000);        // 0.2 of the format's 50 %
    EXPECT_EQ(song->MasterLevel(), -602);  // its volume 0.5
    ASSERT_EQ(song->NumTracks(), 4);
    const Sample& kick = *song->SampleAt(0);
    EXPECT_EQ(kick.Caption(), u"Kick");
    EXPECT_EQ(FramesOf(kick.Wav().get()), 4410);  // the full-velocity layer
    EXPECT_EQ(kick.Mix().volume, 120);            // 0.8 x the layer's 1.5
    EXPECT_EQ(kick.Sound().pan, 50);
    EXPECT_EQ(kick.MidiNote(), 35);
    const Sample& hat = *song->SampleAt(1);
    EXPECT_TRUE(hat.Mix().mute);
    EXPECT_EQ(hat.Sound().pan, -75);  // right at a quarter: left
    ASSERT_TRUE(hat.Wav());           // found in the kit by its name
    EXPECT_EQ(hat.Sound().choke, 1);  // mute group 3, the first
    EXPECT_EQ(song->SampleAt(2)->Sound().choke, 1);
    EXPECT_EQ(song->SampleAt(2)->Sound().pitch, -200);
    EXPECT_FALSE(song->SampleAt(3)->Wav());
    EXPECT_EQ(song->SampleAt(3)->Caption(), u"Missing");

    // 192 ticks of 48 a quarter: 16 sixteenths; 144 in thirds of a beat: 9.
    std::size_t loops = 0;
    for (const auto& l : song->LoopSlots()) loops += l != nullptr;
    ASSERT_EQ(loops, 3u);
    EXPECT_EQ(song->LoopSlots()[0]->Format(), (LoopFormat{16, 4}));
    EXPECT_EQ(song->LoopSlots()[1]->Format(), (LoopFormat{9, 3}));
    EXPECT_EQ(Row(*song, 0, 0), (std::vector<int>{127, 4064}));
    EXPECT_EQ(Row(*song, 0, 1), (std::vector<int>{2102}));
    EXPECT_EQ(Row(*song, 0, 2), (std::vector<int>{1076, 2102}));  // 26 is nearest 24
    EXPECT_EQ(Row(*song, 1, 0), (std::vector<int>{127}));
    EXPECT_EQ(Row(*song, 1, 1), (std::vector<int>{1127}));
    EXPECT_EQ(Row(*song, 1, 2), (std::vector<int>{2127}));
    // verse twice, triplets (of a column of two), verse; the silent and the
    // unknown columns are left out.
    EXPECT_EQ(song->Arrangement(), (std::vector<ArrangementStep>{{0, 2}, {1, 1}, {0, 1}}));
    for (const char* said :
         {"a note between ticks", "a note's own pan", "a note's own lead or lag",
          "2 notes past their pattern's end or of no instrument",
          "a column of several patterns at once", "a column of a pattern not among the first ten",
          "an empty column", "a virtual pattern", "an instrument's other velocity layers",
          "samples not found in their kit or beside the song: Missing (gone.wav)"})
        EXPECT_NE(notice.find(said), std::string::npos) << said << " in " << notice;

    // Opened by the engine: a new song, differing from any file; saving it
    // as ours keeps what was carried over.
    const std::string path = Folder("songs/song.h2song");
    std::string opened;
    engine_->OpenSong(path, &opened);
    EXPECT_EQ(engine_->FilePath(), "");
    EXPECT_TRUE(engine_->IsModified());
    EXPECT_EQ(engine_->DocumentName(), "Untitled");
    EXPECT_EQ(opened.empty(), false);
    engine_->SaveSong(Folder("converted.loop"));
    engine_->OpenSong(Folder("converted.loop"));
    EXPECT_EQ(engine_->FormatOf(1), (LoopFormat{9, 3}));
    EXPECT_EQ(engine_->GetSong()->Arrangement().size(), 3u);
}

TEST_F(HydrogenSongs, HostileFilesAreRefusedOrReadWithoutLeavingTheKit) {
    MakeKit();
    auto refusal = [&](const std::string& text) { return RefusalOf([&] { Read(text); }); };
    // An entity bomb and an outside entity: no document type is read at all.
    const std::string bomb =
        "<?xml version=\"1.0\"?><!DOCTYPE song [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
        "<song><name>&c;</name></song>";
    EXPECT_NE(refusal(bomb).find("declares a document type"), std::string::npos);
    const std::string outside = "<?xml version=\"1.0\"?><!DOCTYPE song [<!ENTITY x SYSTEM \"" +
                                Folder("secret.wav") + "\">]><song><name>&x;</name></song>";
    EXPECT_NE(refusal(outside).find("declares a document type"), std::string::npos);
    EXPECT_NE(refusal("<song><bpm>120</bpm>").find("at line 1"), std::string::npos);
    EXPECT_NE(refusal("<drumkit_info/>").find("does not start with <song>"), std::string::npos);
    EXPECT_NE(refusal("<song/>").find("holds no instrument"), std::string::npos);
    EXPECT_EQ(RefusalOf([&] { ReadHydrogenSong(Folder("none.h2song"), nullptr); }).empty(), false);

    // Files named out of the kit, and a kit named as a path, are not read.
    std::string notice;
    const auto song = Read(
        "<song><instrumentList>" +
            Instrument(
                0, "Up",
                "<drumkit>Box</drumkit><layer><filename>../../secret.wav</filename></layer>") +
            Instrument(1, "Path",
                       "<drumkit>../..</drumkit><layer><filename>secret.wav</filename></layer>") +
            Instrument(2, "Ok",
                       "<drumkit>Box</drumkit><layer><filename>kick.wav</filename></layer>") +
            "</instrumentList><patternList><pattern><name>p</name><size>999999999</"
            "size><noteList>" +
            Note(0, 2, 1.0) + Note(2000000000, 2, 1.0) +
            "</noteList></pattern></patternList><bpm>100000</bpm></song>",
        &notice);
    EXPECT_FALSE(song->SampleAt(0)->Wav());
    EXPECT_FALSE(song->SampleAt(1)->Wav());
    EXPECT_TRUE(song->SampleAt(2)->Wav());
    // Absurd sizes: the loop ends at 64 ticks, the tempo at 300.
    EXPECT_EQ(song->LoopSlots()[0]->Format().ticks, 64);
    EXPECT_EQ(song->Bpm(), 3000000);
    EXPECT_NE(notice.find("a pattern longer than 64 ticks"), std::string::npos) << notice;
    EXPECT_NE(notice.find("Up (../../secret.wav), Path (secret.wav)"), std::string::npos) << notice;
}

TEST_F(HydrogenSongs, TheInstalledDemoSongsOpenWithTheirInstrumentsLoopsTempoAndArrangement) {
    if (!std::filesystem::is_directory(kDemoFolder))
        GTEST_SKIP() << "no demo songs at " << kDemoFolder
                     << " (the other program is not installed)";
    int songs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kDemoFolder)) {
        if (entry.path().extension() != ".h2song") continue;
        ++songs;
        const std::string text = ReadText(entry.path());
        // Counted from the text with patterns of the test's own.
        auto count = [&](const std::string& list, const std::string& item) {
            const std::size_t from = text.find("<" + list + ">"), to = text.find("</" + list + ">");
            std::size_t n = 0;
            for (std::size_t at = text.find("<" + item + ">", from); at < to;
                 at = text.find("<" + item + ">", at + 1))
                ++n;
            return n;
        };
        std::smatch bpm;
        ASSERT_TRUE(std::regex_search(text, bpm, std::regex("<bpm>([0-9.]+)</bpm>")));
        std::string notice;
        const auto song = ReadHydrogenSong(entry.path(), &notice);
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(std::size_t(song->NumTracks()), count("instrumentList", "instrument"));
        for (const auto& s : song->SampleSlots())
            EXPECT_TRUE(s->Wav()) << Utf8FromUtf16(s->Caption());
        std::size_t loops = 0;
        for (const auto& l : song->LoopSlots()) loops += l != nullptr;
        EXPECT_EQ(loops, std::min<std::size_t>(10, count("patternList", "pattern")));
        EXPECT_EQ(song->Bpm(), std::llround(std::stod(bpm[1]) * 10) * 1000);
        std::size_t passes = 0;
        for (const auto& step : song->Arrangement()) passes += step.repeats;
        EXPECT_GT(passes, 0u);
        EXPECT_LE(passes, count("patternSequence", "group"));
        // Every song plays through as ours.
        ExportChoice choice;
        choice.arrangement = true;
        EXPECT_NO_THROW(CheckExport(*song, choice, "demo"));
    }
    EXPECT_GE(songs, 1);
}

TEST_F(HydrogenSongs, ARenderingMatchesTheOtherProgramsOwnExportInOnsetsAndLevel) {
    const std::string demo = std::string(kDemoFolder) + "/TR808kit-demo.h2song";
    if (!std::filesystem::exists(demo) || RunCommand("command -v h2cli >/dev/null") != 0)
        GTEST_SKIP() << "the other program's h2cli or its demo songs are not installed";
    // Its export, with a home of its own for its settings, through ALSA
    // (which it may fail to open: it writes the file anyway) and never
    // starting a JACK server that the other tests' programs would find.
    const std::string theirs = Folder("theirs.wav");
    std::filesystem::create_directories(Folder("home"));
    ASSERT_EQ(RunCommand("HOME=" + Folder("home") +
                         " JACK_NO_START_SERVER=1 timeout 180 h2cli -d alsa -s " + demo + " -o " +
                         theirs + " >/dev/null 2>&1"),
              0);
    engine_->OpenSong(demo);
    ExportChoice choice;
    choice.arrangement = true;
    ASSERT_TRUE(engine_->Export(choice, Folder("ours.wav")));
    // Envelopes in 10 ms windows.
    auto envelope = [](const std::string& path) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr);
        std::vector<double> env;
        std::vector<short> block(441 * std::size_t(info.channels));
        while (f && sf_readf_short(f, block.data(), 441) == 441) {
            double s = 0;
            for (short v : block) s += std::abs(double(v));
            env.push_back(s / double(block.size()));
        }
        if (f) sf_close(f);
        return env;
    };
    const auto a = envelope(theirs), b = envelope(Folder("ours.wav"));
    const std::size_t n = std::min(a.size(), b.size());
    ASSERT_GT(n, 1000u);
    auto correlation = [&](int lag) {
        double ma = 0, mb = 0, ab = 0, aa = 0, bb = 0;
        const std::size_t from = std::size_t(std::max(lag, 0)),
                          to = n - std::size_t(std::max(-lag, 0));
        for (std::size_t i = from; i < to; ++i) ma += a[i], mb += b[i - std::size_t(lag)];
        ma /= double(to - from), mb /= double(to - from);
        for (std::size_t i = from; i < to; ++i) {
            const double x = a[i] - ma, y = b[i - std::size_t(lag)] - mb;
            ab += x * y, aa += x * x, bb += y * y;
        }
        return ab / std::sqrt(aa * bb);
    };
    // The hits fall in the same windows: best at no lag, well above one window off.
    const double here = correlation(0);
    EXPECT_GT(here, 0.85);
    EXPECT_GT(here, correlation(1) + 0.1);
    EXPECT_GT(here, correlation(-1) + 0.1);
    double sa = 0, sb = 0;
    for (std::size_t i = 0; i < n; ++i) sa += a[i], sb += b[i];
    EXPECT_NEAR(20 * std::log10(sb / sa), 0.0, 1.5);
}
