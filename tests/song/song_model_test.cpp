// The song model: slots made on demand, loops copying loop 0's layout,
// track resizing and the errors of bad indices.
#include "common/song_fixture.h"

TEST(SongModel, SlotsAreMadeWhenAskedFor) {
    Song song;
    EXPECT_EQ(song.NumTracks(), 10);
    for (const auto& s : song.SampleSlots()) EXPECT_FALSE(s);
    for (const auto& l : song.LoopSlots()) EXPECT_FALSE(l);
    auto s3 = song.SampleAt(3);
    EXPECT_TRUE(s3);
    EXPECT_FALSE(s3->Wav());
    EXPECT_TRUE(s3->Caption().empty());
    EXPECT_EQ(song.SampleAt(3), s3);
    EXPECT_FALSE(song.SampleSlots()[2]);
    song.SampleAt(12);
    EXPECT_EQ(song.NumTracks(), 13);
    EXPECT_EQ(ErrorOf([&] { song.SampleAt(-1); }), kErrSubscriptOutOfRange);

    auto loop0 = song.Sequence(0);
    EXPECT_EQ(loop0->NumTracks(), 0);
    AddTracks(*loop0, 4, 32);
    loop0->Track(2)->SetValue(5, true);
    auto loop5 = song.Sequence(5);
    ASSERT_EQ(loop5->NumTracks(), 4);
    EXPECT_EQ(loop5->Track(3)->NumTicks(), 32);
    EXPECT_FALSE(loop5->Track(2)->Value(5)) << "the layout is copied, never the pattern";
    EXPECT_EQ(loop5->NumTicks(), 0);
    for (int k = 1; k < 5; ++k) EXPECT_FALSE(song.LoopSlots()[k]);
    AddTracks(*loop0, 1, 32);
    EXPECT_EQ(song.Sequence(5), loop5);
    EXPECT_EQ(loop5->NumTracks(), 4) << "an existing loop is returned unchanged";
    EXPECT_EQ(ErrorOf([&] { loop5->Track(4); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { loop5->Track(-1); }), kErrSubscriptOutOfRange);
}

TEST(SongModel, ClearLoopsKeepsTheLayoutAndSamples) {
    Song song;
    song.SetBpm(1200000);
    AddTracks(*song.Sequence(0), 3, 32);
    song.Sequence(0)->Track(0)->SetValue(0, true);
    for (int k = 1; k <= 12; ++k) song.Sequence(k)->Track(1)->SetValue(3, true);
    auto sample = song.SampleAt(1);
    song.ClearLoops();
    ASSERT_EQ(song.LoopSlots().size(), 10u);
    for (int k = 1; k < 10; ++k) EXPECT_FALSE(song.LoopSlots()[k]);
    auto loop0 = song.LoopSlots()[0];
    ASSERT_EQ(loop0->NumTracks(), 3);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(loop0->Track(j)->NumTicks(), 32);
        for (int i = 0; i < 32; ++i) EXPECT_FALSE(loop0->Track(j)->Value(i));
    }
    EXPECT_EQ(song.SampleAt(1), sample);
    EXPECT_EQ(song.Bpm(), 1200000);
    Song empty;
    EXPECT_EQ(ErrorOf([&] { empty.ClearLoops(); }), kErrSubscriptOutOfRange);
}

TEST(SongModel, TracksResizeKeepTicksAndStoreOnAs255) {
    LoopTrack t;
    t.SetNumTicks(32);
    t.SetValue(7, true);
    t.SetValue(20, true);
    EXPECT_EQ(t.TickBytes()[7], 255);
    t.SetNumTicks(16);
    EXPECT_TRUE(t.Value(7));
    EXPECT_EQ(ErrorOf([&] { t.Value(20); }), kErrSubscriptOutOfRange);
    t.SetNumTicks(32);
    EXPECT_FALSE(t.Value(20)) << "ticks that come back are off";
    EXPECT_EQ(ErrorOf([&] { t.SetValue(32, true); }), kErrSubscriptOutOfRange);

    SequenceLoop loop;
    AddTracks(loop, 3, 32);
    loop.SetNumTicks(16);
    EXPECT_EQ(loop.NumTicks(), 16);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(loop.Track(j)->NumTicks(), 16);
    AddTracks(loop, 253, 1);
    EXPECT_EQ(ErrorOf([&] { loop.NumTracks(); }), kErrOverflow);
    loop.Clear();
    EXPECT_EQ(loop.NumTracks(), 0);
    EXPECT_EQ(loop.NumTicks(), 16);
}

TEST(SongModel, RemoveTrackShiftsSamplesAndEveryLoop) {
    Song song;
    AddTracks(*song.Sequence(0), 4, 8);
    for (int j = 0; j < 4; ++j) {
        song.SampleAt(j)->SetCaption(std::u16string(1, u'A' + j));
        song.Sequence(0)->Track(j)->SetValue(static_cast<std::uint8_t>(j), true);
    }
    song.Sequence(2);
    song.RemoveTrack(1);
    EXPECT_EQ(song.NumTracks(), 9);
    EXPECT_EQ(song.SampleAt(1)->Caption(), u"C");
    ASSERT_EQ(song.Sequence(0)->NumTracks(), 3);
    EXPECT_TRUE(song.Sequence(0)->Track(1)->Value(2));
    EXPECT_EQ(song.Sequence(2)->NumTracks(), 3);
    EXPECT_EQ(ErrorOf([&] { song.RemoveTrack(9); }), kErrSubscriptOutOfRange);
}
