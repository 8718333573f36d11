// The extension block of the song file: the mix, swing and arrangement kept
// with the song, other programs' records kept as they came, a damaged block
// left out with a notice, and songs without it written as before.
#include "song/song_extension.h"
#include "common/song_fixture.h"
#include "song/song_file.h"
#include "song/song_format.h"

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
