// The extension block of the song file: the mix, swing and arrangement kept
// with the song, other programs' records kept as they came, a damaged block
// left out with a notice, and songs without it written as before.
#include "song/song_extension.h"
#include "common/song_fixture.h"
#include "song/song_file.h"
#include "song/song_format.h"

using namespace song_format;

namespace {

using SongExtension = AudioLibrary;

Song Groove() {
    Song song;
    song.SetBpm(1234000);
    AddTracks(*song.Sequence(0), 4, 32);
    song.Sequence(0)->Track(2)->SetValue(6, true);
    for (int i = 0; i < 4; ++i) song.SampleAt(i)->SetCaption(u"t" + std::u16string(1, u'0' + i));
    return song;
}

}  // namespace

TEST_F(SongExtension, MixSwingArrangementAndUnknownRecordsRoundTrip) {
    TempDir dir;
    Song song = Groove();
    song.SampleAt(1)->SetMix({.volume = 150, .mute = false, .solo = true});
    song.SampleAt(3)->SetMix({.volume = 0, .mute = true, .solo = false});
    song.SetSwing(3300);
    song.SetArrangement({{0, 4}, {3, 1}, {0, 2}});
    song.SetUnknownRecords({{77, {1, 2, 3}}, {4000, {}}});
    WriteSongFile(song, dir / "a.loop");
    std::string notice;
    std::shared_ptr<Song> back = ReadSongFile(dir / "a.loop", &notice);
    EXPECT_EQ(notice, "");
    EXPECT_EQ(back->SampleAt(1)->Mix(), (TrackMix{150, false, true}));
    EXPECT_EQ(back->SampleAt(3)->Mix(), (TrackMix{0, true, false}));
    EXPECT_TRUE(back->SampleAt(0)->Mix().IsDefault());
    EXPECT_EQ(back->Swing(), 3300);
    EXPECT_EQ(back->Arrangement(), (std::vector<ArrangementStep>{{0, 4}, {3, 1}, {0, 2}}));
    EXPECT_EQ(back->UnknownRecords(), song.UnknownRecords()) << "kept through a save";
    WriteSongFile(*back, dir / "b.loop");
    EXPECT_EQ(ReadText(dir / "b.loop"), ReadText(dir / "a.loop"));

    // A reader of the records alone reads the same song and stops before the block.
    auto in = OpenFileForReading(dir / "a.loop");
    Song base;
    base.ReadFromFile(*in);
    EXPECT_EQ(Written(base), Written(Groove()));
    EXPECT_EQ(in->BytesLeft(), static_cast<long long>(ExtensionBlock(song).size()));
}

TEST_F(SongExtension, ASongWithoutExtrasIsWrittenAsBefore) {
    TempDir dir;
    Song song = Groove();
    song.SampleAt(2)->SetMix({});  // the default mix is no extra
    EXPECT_FALSE(HasExtension(song));
    WriteSongFile(song, dir / "plain.loop");
    const std::string bytes = ReadText(dir / "plain.loop");
    const ByteArray base = Written(song);
    EXPECT_EQ(bytes, std::string(base.begin(), base.end()));
}

TEST_F(SongExtension, ADamagedBlockIsLeftOutWithANotice) {
    TempDir dir;
    Song song = Groove();
    song.SetSwing(2500);
    song.SetArrangement({{1, 3}});
    const ByteArray base = Written(song);
    const ByteArray block = ExtensionBlock(song);
    auto open = [&](ByteArray tail, std::string* notice) {
        ByteArray file = base;
        file.insert(file.end(), tail.begin(), tail.end());
        WriteText(dir / "x.loop", std::string(file.begin(), file.end()));
        return ReadSongFile(dir / "x.loop", notice);
    };
    // Any byte of the block changed (but its tag): opened without it, said so.
    for (std::size_t at = 4; at < block.size(); ++at) {
        ByteArray bad = block;
        bad[at] ^= 0x41;
        std::string notice;
        std::shared_ptr<Song> s = open(bad, &notice);
        EXPECT_EQ(s->Swing(), 0) << at;
        EXPECT_TRUE(s->Arrangement().empty()) << at;
        EXPECT_EQ(notice.find("\u201Cx.loop\u201D opened without its mix, swing and arrangement"),
                  0u)
            << at << ": " << notice;
        EXPECT_EQ(Written(*s), base);
    }
    // Values out of range with a good checksum are damage too.
    Song loud = Groove();
    loud.SetSwing(5001);
    std::string notice;
    EXPECT_EQ(open(ExtensionBlock(loud), &notice)->Swing(), 0);
    EXPECT_NE(notice.find("a swing out of range"), std::string::npos) << notice;
    // Without its tag it is no block: the file is no song.
    ByteArray untagged = block;
    untagged[0] = 'X';
    EXPECT_THROW(open(untagged, nullptr), AppError);
}

TEST_F(SongExtension, WhatCannotBeReadIsKeptAndWrittenBackAndNothingGrowsPastTheReader) {
    TempDir dir;
    Song song = Groove();
    song.SetSwing(2500);
    // An unknown record before the known ones keeps its place.
    song.SetRecordOrder({900, kRecordSwing});
    song.SetUnknownRecords({{900, {9, 9}}});
    WriteSongFile(song, dir / "ordered.loop");
    std::shared_ptr<Song> back = ReadSongFile(dir / "ordered.loop");
    EXPECT_EQ(back->RecordOrder(), (std::vector<std::uint16_t>{900, kRecordSwing}));
    WriteSongFile(*back, dir / "again.loop");
    EXPECT_EQ(ReadText(dir / "again.loop"), ReadText(dir / "ordered.loop"));

    // A damaged block, and one of a newer program: opened without them,
    // said so, and saved back unchanged while the song has no block of its own.
    const ByteArray base = Written(song);
    ByteArray damaged = ExtensionBlock(song);
    damaged[12] ^= 0x41;
    ByteArray newer = ExtensionBlock(song);
    newer[4] = 2;
    for (bool isNewer : {false, true}) {
        const ByteArray& block = isNewer ? newer : damaged;
        ByteArray file = base;
        file.insert(file.end(), block.begin(), block.end());
        WriteText(dir / "x.loop", std::string(file.begin(), file.end()));
        std::string notice;
        std::shared_ptr<Song> s = ReadSongFile(dir / "x.loop", &notice);
        EXPECT_EQ(s->Swing(), 0);
        EXPECT_NE(notice.find("saved back unchanged"), std::string::npos) << notice;
        EXPECT_EQ(notice.find("newer Trellon") != std::string::npos, isNewer) << notice;
        WriteSongFile(*s, dir / "y.loop");
        EXPECT_EQ(ReadText(dir / "y.loop"), ReadText(dir / "x.loop")) << "nothing lost";
        // Given a swing of its own, the song's own block replaces it.
        s->SetSwing(1000);
        WriteSongFile(*s, dir / "z.loop");
        EXPECT_EQ(ReadSongFile(dir / "z.loop")->Swing(), 1000);
    }

    // A block no reader would take is refused, and the file stays as it was.
    Song big = Groove();
    big.SetUnknownRecords({{901, ByteArray(std::size_t(kMaxExtensionSize) - 64, 7)}});
    big.SetSwing(100);
    WriteSongFile(Groove(), dir / "kept.loop");
    const std::string kept = ReadText(dir / "kept.loop");
    big.SetArrangement(std::vector<ArrangementStep>(40, ArrangementStep{1, 2}));
    EXPECT_EQ(ErrorOf([&] { WriteSongFile(big, dir / "kept.loop"); }), kErrOverflow);
    EXPECT_EQ(ReadText(dir / "kept.loop"), kept);

    // Mix entries beyond the song's tracks (a song read has ten) add none.
    Song few = Groove();
    few.SetSampleSlots(std::vector<std::shared_ptr<Sample>>(few.SampleSlots().begin(),
                                                            few.SampleSlots().begin() + 4));
    for (int i = 0; i < 40; ++i) few.SampleAt(i)->SetMix({.volume = 50});
    WriteSongFile(few, dir / "many-mixes.loop");
    Song four = Groove();
    four.SetSampleSlots(std::vector<std::shared_ptr<Sample>>(four.SampleSlots().begin(),
                                                             four.SampleSlots().begin() + 4));
    ByteArray file = Written(four);
    const ByteArray block = ExtensionBlock(few);
    file.insert(file.end(), block.begin(), block.end());
    WriteText(dir / "extra.loop", std::string(file.begin(), file.end()));
    std::shared_ptr<Song> extra = ReadSongFile(dir / "extra.loop");
    EXPECT_EQ(extra->NumTracks(), 10);
    EXPECT_EQ(extra->SampleSlots()[3]->Mix().volume, 50);
    EXPECT_EQ(extra->SampleSlots()[9]->Mix().volume, 50);
}

TEST_F(SongExtension, GrooveSettingsRoundTripAndOutOfRangeOnesAreDamage) {
    TempDir dir;
    Song song = Groove();
    song.Sequence(0)->SetFormat({12, 3});
    song.Sequence(4)->SetFormat({64, 8});
    song.Sequence(2)->SetFormat({});  // made like loop 0; the default has no entry
    song.SampleAt(1)->SetSound(
        {.pan = -40, .pitch = -1250, .start = 7, .end = 70000, .reverse = true, .choke = 8});
    song.SampleAt(3)->SetSound({.pan = 100, .choke = 1});
    song.SetMasterLevel(-350);
    song.SetHumanize({.timing = 20, .velocity = 30, .seed = 0xDEADBEEF});
    WriteSongFile(song, dir / "g.loop");
    std::string notice;
    std::shared_ptr<Song> back = ReadSongFile(dir / "g.loop", &notice);
    EXPECT_EQ(notice, "");
    EXPECT_EQ(back->Sequence(0)->Format(), (LoopFormat{12, 3}));
    EXPECT_EQ(back->Sequence(4)->Format(), (LoopFormat{64, 8}));
    EXPECT_TRUE(back->Sequence(2)->Format().IsDefault());
    EXPECT_EQ(back->SampleAt(1)->Sound(), song.SampleAt(1)->Sound());
    EXPECT_EQ(back->SampleAt(3)->Sound(), song.SampleAt(3)->Sound());
    EXPECT_TRUE(back->SampleAt(0)->Sound().IsDefault());
    EXPECT_EQ(back->MasterLevel(), -350);
    EXPECT_EQ(back->GetHumanize(), song.GetHumanize());
    WriteSongFile(*back, dir / "again.loop");
    EXPECT_EQ(ReadText(dir / "again.loop"), ReadText(dir / "g.loop"));

    // Each setting out of range, with a good checksum, leaves the block out.
    const ByteArray base = Written(Groove());
    auto refused = [&](const std::function<void(Song&)>& spoil, const std::string& why) {
        Song bad = Groove();
        spoil(bad);
        // Only the block is written here: the setters take what they are given.
        ByteArray file = base;
        const ByteArray block = ExtensionBlock(bad);
        file.insert(file.end(), block.begin(), block.end());
        WriteText(dir / "bad.loop", std::string(file.begin(), file.end()));
        std::string said;
        std::shared_ptr<Song> s = ReadSongFile(dir / "bad.loop", &said);
        EXPECT_NE(said.find(why), std::string::npos) << said;
        EXPECT_EQ(s->MasterLevel(), 0);
        EXPECT_TRUE(s->Sequence(0)->Format().IsDefault());
    };
    refused([](Song& s) { s.Sequence(0)->SetFormat({65, 4}); }, "a loop format out of range");
    refused([](Song& s) { s.Sequence(0)->SetFormat({16, 5}); }, "a loop format out of range");
    refused([](Song& s) { s.Sequence(0)->SetFormat({0, 4}); }, "a loop format out of range");
    refused([](Song& s) { s.SampleAt(0)->SetSound({.pan = 101}); }, "a track sound out of range");
    refused([](Song& s) { s.SampleAt(0)->SetSound({.pitch = -2401}); },
            "a track sound out of range");
    refused([](Song& s) { s.SampleAt(0)->SetSound({.choke = 9}); }, "a track sound out of range");
    refused([](Song& s) { s.SampleAt(0)->SetSound({.start = 10, .end = 10}); },
            "a track sound out of range");
    refused([](Song& s) { s.SetMasterLevel(1201); }, "a master level out of range");
    refused([](Song& s) { s.SetHumanize({.timing = 21}); }, "a humanize out of range");
    refused([](Song& s) { s.SetHumanize({.velocity = 31}); }, "a humanize out of range");
}
