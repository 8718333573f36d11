// Velocity per tick: an edit like any other, heard in the rendering as
// the sample scaled by velocity / 127, and kept in the song's file.
#include <cmath>

#include "common/engine_fixture.h"
#include "song/song_extension.h"
#include "song/song_file.h"

namespace {

AudioSample Ramp(LONG i) {
    return AudioSample((i % 2 ? -1 : 1) * (300 + 37 * (i / 2)));
}

}  // namespace

TEST_F(EngineTest, AVelocityScalesItsHitIsUndoneAndADragIsOneEdit) {
    Engine& engine = *engine_;
    engine.StartEmpty();
    engine.SetSample(0, MakeSignal(1000, 2, Ramp), u"ramp");
    engine.SetTick(0, 0, 4, true);
    const std::vector<AudioSample> full = ValuesOf(engine.LoopWav().get());
    const std::size_t at = std::size_t(4 * engine.TickLength()) * 2;
    ASSERT_EQ(full[at], Ramp(0));

    // A drag through 100, 80 and 64 is one edit, heard at 64/127.
    const std::size_t edits = engine.Undo().Count();
    for (int v : {100, 80, 64}) engine.SetVelocity(0, 0, 4, v);
    EXPECT_EQ(engine.Undo().Count(), edits + 1);
    EXPECT_EQ(engine.Undo().UndoText(), "Velocity");
    const std::vector<AudioSample> soft = ValuesOf(engine.LoopWav().get());
    for (std::size_t i = 0; i < full.size(); ++i) {
        const bool inHit = i >= at && i < at + 2000;
        const long want = inHit ? std::lround(double(Ramp(LONG(i - at))) * 64 / 127) : 0;
        ASSERT_EQ(soft[i], want) << i;
    }
    // Undone: full again, value for value.
    engine.Undo().Undo();
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), full);
    engine.Undo().Redo();
    EXPECT_EQ(engine.GetSong()->Sequence(0)->Track(0)->Velocity(4), 64);

    // A tick turned off and back by Undo plays at its velocity again; one
    // turned on anew plays full.
    engine.SetTick(0, 0, 4, false);
    engine.Undo().Undo();
    EXPECT_EQ(engine.GetSong()->Sequence(0)->Track(0)->Velocity(4), 64);
    EXPECT_EQ(ValuesOf(engine.LoopWav().get()), soft);
    engine.SetTick(0, 0, 4, false);
    engine.SetTick(0, 0, 4, true);
    EXPECT_EQ(engine.GetSong()->Sequence(0)->Track(0)->Velocity(4), 127);

    // Refused: a tick that is off, and velocities outside 1 to 127.
    EXPECT_EQ(ErrorOf([&] { engine.SetVelocity(0, 0, 5, 64); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetVelocity(0, 0, 4, 0); }), kErrInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { engine.SetVelocity(0, 0, 4, 128); }), kErrInvalidArgument);
}

TEST_F(EngineTest, VelocitiesAreKeptInTheSongFileAndAFullSongWritesNoneOfThem) {
    Engine& engine = OpenDefaultSong();
    const std::string path = Folder("velocity.loop");
    // The default song has no velocity below full: its block holds none.
    EXPECT_FALSE(HasExtension(*engine.GetSong()));
    const auto& loop0 = engine.GetSong()->LoopSlots()[0];
    std::vector<std::pair<LONG, short>> on;
    for (LONG t = 0; t < LONG(loop0->Tracks().size()); ++t)
        for (short i = 0; i < loop0->Tracks()[std::size_t(t)]->NumTicks(); ++i)
            if (loop0->Tracks()[std::size_t(t)]->Value(std::uint8_t(i))) on.emplace_back(t, i);
    ASSERT_GE(on.size(), 2u);
    engine.SetVelocity(0, on[0].first, on[0].second, 1);
    engine.SetVelocity(0, on[1].first, on[1].second, 126);
    const std::vector<AudioSample> heard = ValuesOf(engine.LoopWav().get());
    engine.SaveSong(path);

    Engine again;
    again.OpenSong(path);
    const auto& read = again.GetSong()->LoopSlots()[0];
    EXPECT_EQ(read->Tracks()[std::size_t(on[0].first)]->Velocity(std::uint8_t(on[0].second)), 1);
    EXPECT_EQ(read->Tracks()[std::size_t(on[1].first)]->Velocity(std::uint8_t(on[1].second)), 126);
    EXPECT_EQ(ValuesOf(again.LoopWav().get()), heard);
    // The ticks' bytes stay 0 and 255: a program that knows no velocity
    // reads the same ticks.
    for (const auto& t : read->Tracks())
        for (std::uint8_t b : t->TickBytes()) EXPECT_TRUE(b == 0 || b == 255);

    // A velocity record out of range is a damaged block: left out whole.
    Song song;
    song.Sequence(0)->Tracks().push_back(std::make_shared<LoopTrack>());
    song.Sequence(0)->Tracks()[0]->SetNumTicks(32);
    song.Sequence(0)->Tracks()[0]->SetValue(3, true);
    song.Sequence(0)->Tracks()[0]->SetVelocity(3, 50);
    ByteArray block = ExtensionBlock(song);
    ASSERT_EQ(block.size(), 10u + 6 + 4 + 4 + 4);
    Song copy;
    copy.Sequence(0)->Tracks().push_back(std::make_shared<LoopTrack>());
    copy.Sequence(0)->Tracks()[0]->SetNumTicks(32);
    copy.Sequence(0)->Tracks()[0]->SetValue(3, true);
    EXPECT_EQ(ReadExtensionBlock(block, copy), "");
    EXPECT_EQ(copy.Sequence(0)->Tracks()[0]->Velocity(3), 50);
    block[10 + 6 + 4 + 3] = 127;  // the velocity, now out of range
    const std::uint32_t crc = Crc32(block.data(), block.size() - 4);
    for (int k = 0; k < 4; ++k)
        block[block.size() - 4 + std::size_t(k)] = std::uint8_t(crc >> (8 * k));
    Song damaged;
    damaged.Sequence(0)->Tracks().push_back(std::make_shared<LoopTrack>());
    damaged.Sequence(0)->Tracks()[0]->SetNumTicks(32);
    damaged.Sequence(0)->Tracks()[0]->SetValue(3, true);
    EXPECT_EQ(ReadExtensionBlock(block, damaged), "a velocity out of range");
    EXPECT_EQ(damaged.Sequence(0)->Tracks()[0]->Velocity(3), 127);
}
