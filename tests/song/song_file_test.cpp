// The song file: the exact bytes, round trips, and damaged files.
#include "common/song_fixture.h"
#include "song/song_format.h"

namespace {

using SongFiles = AudioLibrary;

ComPtr<IWav> Audio(IOvraAudioGlobals* g, LONG frames, AudioSample first) {
    ComPtr<IWav> w;
    g->MakeWav(frames, 2, 44100, 2, w.Out());
    w->put_Sample(0, 0, first);
    return w;
}

ByteArray ImageOf(IWav* w) {
    SafeArrayPtr a;
    w->ToByteArray(a.Out());
    return ByteArray(a.Bytes(), a.Bytes() + a.Count());
}

}  // namespace

TEST_F(SongFiles, WritesTheDocumentedBytes) {
    Song song;
    song.SetBpm(1200000);
    AddTracks(*song.Sequence(0), 1, 32);
    song.Sequence(0)->Track(0)->SetValue(3, true);
    auto sample = song.SampleAt(0);
    sample->SetCaption(u"Kick");
    sample->SetWav(Audio(globals_.get(), 5, 77));
    ByteArray image = ImageOf(sample->Wav().get());

    ByteArray want = {1, 1, 0x80, 0x4F, 0x12, 0, 0, 0, 0, 0, 0, 0, 1, 0, 32};
    want.insert(want.end(), 15, 0);
    for (int i = 0; i < 32; ++i) want.push_back(i == 3 ? 255 : 0);
    want.insert(want.end(), {0, 0, 4, 1});
    std::uint32_t n = static_cast<std::uint32_t>(image.size());
    want.insert(want.end(), {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16),
                             std::uint8_t(n >> 24)});
    want.insert(want.end(), {'K', 0, 'i', 0, 'c', 0, 'k', 0});
    want.insert(want.end(), image.begin(), image.end());
    EXPECT_EQ(Written(song), want);

    song.SetBpm(1105000);  // 110.5
    ByteArray b = Written(song);
    std::int64_t bpm;
    std::memcpy(&bpm, &b[song_format::kSongHeaderBpm], 8);
    EXPECT_EQ(bpm, 1105000);
}

TEST_F(SongFiles, RoundTripsGapsCaptionsSilentSamplesAndRawTickBytes) {
    Song song;
    song.SetBpm(1234567);
    AddTracks(*song.Sequence(0), 2, 32);
    AddTracks(*song.Sequence(2), 2, 16);
    song.Sequence(2)->SetNumTicks(16);
    song.SampleAt(0)->SetCaption(u"Snäre 🥁");
    song.SampleAt(0)->SetWav(Audio(globals_.get(), 100, -5));
    song.SampleAt(4);  // no caption, no audio
    song.SampleAt(5)->SetCaption(u"Silent");
    // Tick bytes of 1 and 128 as a file from elsewhere might hold them.
    ByteArray bytes = Written(song);
    std::size_t firstTick = 10 + 2 + 2 + 16;
    bytes[firstTick + 1] = 1;
    bytes[firstTick + 2] = 128;

    MemoryStream in(bytes);
    Song back;
    back.ReadFromFile(in);
    EXPECT_EQ(back.Bpm(), 1234567);
    EXPECT_TRUE(back.LoopSlots()[0]);
    EXPECT_FALSE(back.LoopSlots()[1]);
    ASSERT_TRUE(back.LoopSlots()[2]);
    EXPECT_EQ(back.LoopSlots()[2]->NumTicks(), 16);
    EXPECT_EQ(back.LoopSlots()[2]->Track(1)->NumTicks(), 16);
    EXPECT_TRUE(back.Sequence(0)->Track(0)->Value(1));
    EXPECT_TRUE(back.Sequence(0)->Track(0)->Value(2));
    EXPECT_FALSE(back.Sequence(0)->Track(0)->Value(3));
    EXPECT_EQ(back.SampleAt(0)->Caption(), u"Snäre 🥁");
    EXPECT_EQ(ImageOf(back.SampleAt(0)->Wav().get()), ImageOf(song.SampleAt(0)->Wav().get()));
    EXPECT_TRUE(back.SampleSlots()[4]);
    EXPECT_FALSE(back.SampleAt(4)->Wav());
    EXPECT_TRUE(back.SampleAt(4)->Caption().empty());
    EXPECT_EQ(back.SampleAt(5)->Caption(), u"Silent");
    EXPECT_FALSE(back.SampleSlots()[1]);
    EXPECT_FALSE(back.Sequence(0)->Wav()) << "renderings are never stored";
    EXPECT_EQ(Written(back), bytes) << "tick bytes are written back as held";
}

TEST_F(SongFiles, EveryCutOfAFileFailsCleanlyOrReadsWhatIsThere) {
    Song song;
    song.SetBpm(1200000);
    AddTracks(*song.Sequence(0), 2, 4);
    song.Sequence(1);
    song.SampleAt(0)->SetCaption(u"A");
    song.SampleAt(1)->SetWav(Audio(globals_.get(), 3, 9));
    const ByteArray bytes = Written(song);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        MemoryStream in(ByteArray(bytes.begin(), bytes.begin() + cut));
        Song back;
        EXPECT_EQ(ErrorOf([&] { back.ReadFromFile(in); }), kErrUnexpectedEof) << "cut at " << cut;
    }
    // A cut inside the last sample's audio keeps what was read before it.
    MemoryStream in(ByteArray(bytes.begin(), bytes.end() - 1));
    Song back;
    EXPECT_EQ(ErrorOf([&] { back.ReadFromFile(in); }), kErrUnexpectedEof);
    EXPECT_EQ(back.SampleAt(0)->Caption(), u"A");
    EXPECT_EQ(back.Sequence(1)->NumTracks(), 2);
    // An image that is no WAV image the library writes is no song.
    ByteArray bad = bytes;
    const std::size_t image = bad.size() - 44 - 12;  // the last sample's image
    bad[image + 22] = bad[image + 23] = 0;           // with no channels
    EXPECT_EQ(ErrorOf([&] {
                  MemoryStream s(bad);
                  Song x;
                  x.ReadFromFile(s);
              }),
              kErrInvalidFileFormat);
}

TEST_F(SongFiles, HugeAnnouncedAudioIsAnEofWithoutAllocatingIt) {
    TempDir dir;
    ByteArray bytes = {0, 1, 0x80, 0x4F, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0xF0, 0xFF, 0xFF, 0x7F};
    WriteText(dir / "huge.loop", std::string(bytes.begin(), bytes.end()));
    auto in = OpenFileForReading(dir / "huge.loop");
    Song song;
    EXPECT_EQ(ErrorOf([&] { song.ReadFromFile(*in); }), kErrUnexpectedEof);
    // The stream never hands out more than the file holds.
    auto again = OpenFileForReading(dir / "huge.loop");
    EXPECT_EQ(again->ReadBytes(0x7FFFFFFF).size(), bytes.size());
    EXPECT_TRUE(again->ReadBytes(10).empty());
}

TEST_F(SongFiles, WritingStopsWithOverflowForCountsBeyondAByte) {
    Song song;
    song.SetBpm(1200000);
    song.Sequence(300);
    EXPECT_EQ(ErrorOf([&] { Written(song); }), kErrOverflow);
    Song captions;
    captions.SetBpm(1200000);
    captions.SampleAt(0)->SetCaption(std::u16string(256, u'x'));
    EXPECT_EQ(ErrorOf([&] { Written(captions); }), kErrOverflow);
}

TEST_F(SongFiles, ASaveThatFailsNeverDamagesTheFileItReplaces) {
    TempDir dir;
    std::string path = dir / "song.loop";
    WriteText(path, "the old song");
    {
        auto out = CreateFileForWriting(path);
        out->WriteBytes(ByteArray{1, 2, 3});
        EXPECT_EQ(ReadText(path), "the old song") << "untouched until the commit";
    }  // dropped without a commit
    EXPECT_EQ(ReadText(path), "the old song");
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1) << "no temporary file is left behind";

    Song overflowing;
    overflowing.SetBpm(1200000);
    overflowing.Sequence(300);
    EXPECT_EQ(ErrorOf([&] {
                  auto out = CreateFileForWriting(path);
                  overflowing.WriteToFile(*out);
                  out->Commit();
              }),
              kErrOverflow);
    EXPECT_EQ(ReadText(path), "the old song");

    auto out = CreateFileForWriting(path);
    out->WriteBytes(ByteArray{'n', 'e', 'w'});
    out->Commit();
    EXPECT_EQ(ReadText(path), "new");
    EXPECT_NE(ErrorOf([&] { CreateFileForWriting(dir / "no/such/folder.loop"); }), 0);
    EXPECT_NE(ErrorOf([&] { OpenFileForReading(dir / "missing.loop"); }), 0);
    EXPECT_NE(ErrorOf([&] { OpenFileForReading(dir.path()); }), 0);
}
