// Mixing readers: sums clipped once, the master deciding the end.
#include "common/song_fixture.h"
#include "song/mix_reader.h"

namespace {

using Mixing = AudioLibrary;

ComPtr<IWavReader> ReaderOf(IOvraAudioGlobals* g, std::vector<AudioSample> values,
                            SHORT channels = 2) {
    ComPtr<IWav> w;
    g->MakeWav(static_cast<LONG>(values.size() / channels), channels, 44100, 2, w.Out());
    for (std::size_t i = 0; i < values.size(); ++i)
        w->put_Sample(static_cast<SHORT>(i % channels), static_cast<LONG>(i / channels), values[i]);
    ComPtr<IWavReader> r;
    w->OpenReader(r.Out());
    return r;
}

std::vector<AudioSample> ReadValues(IWavReader* r, LONG frames) {
    ComPtr<IWav> block;
    EXPECT_EQ(r->Read(frames, block.Out()), S_OK);
    return block ? ValuesOf(block.get()) : std::vector<AudioSample>{};
}

}  // namespace

TEST(Clamp, KeepsValuesInSixteenBits) {
    EXPECT_EQ(ClampSample(40000), 32767);
    EXPECT_EQ(ClampSample(-40000), -32768);
    EXPECT_EQ(ClampSample(-5), -5);
    EXPECT_EQ(ClampSample(32767), 32767);
    EXPECT_EQ(ClampSample(-32768), -32768);
}

TEST_F(Mixing, SumsSourcesAndClipsOnce) {
    auto a = ReaderOf(globals_.get(), {30000, -30000, 30000, 100});
    auto b = ReaderOf(globals_.get(), {10000, -10000, -10000, 100});
    auto c = ReaderOf(globals_.get(), {-10000, 0, 0, -300});
    auto mix = MixReaders({a, b, c});
    // 30000 + 10000 - 10000 is 30000: no clipping of the partial sum.
    EXPECT_EQ(ReadValues(mix.get(), 2), (std::vector<AudioSample>{30000, -32768, 20000, -100}));

    auto one = ReaderOf(globals_.get(), {1, 2, 3, 4, 5, 6});
    auto alone = MixReaders({one});
    EXPECT_EQ(ReadValues(alone.get(), 3), (std::vector<AudioSample>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ErrorOf([&] { MixReaders({}); }), kErrSubscriptOutOfRange);
}

TEST_F(Mixing, TheMasterDecidesTheEndAndEveryFrameIsFilled) {
    auto longer = ReaderOf(globals_.get(), std::vector<AudioSample>(20, 1000));
    auto shorter = ReaderOf(globals_.get(), std::vector<AudioSample>(8, 500));
    auto mix = MixReaders({longer, shorter});
    LONG n = 0;
    mix->get_NumSamples(&n);
    EXPECT_EQ(n, 10);
    std::vector<AudioSample> first = ReadValues(mix.get(), 6);
    std::vector<AudioSample> want(12, 1000);
    for (int i = 0; i < 8; ++i) want[i] = 1500;
    EXPECT_EQ(first, want) << "the short source adds silence after its end";
    EXPECT_FALSE(AtEnd(mix.get()));
    LONG pos = 0;
    mix->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 6) << "the position follows the sources";

    // The last source ending first leaves no frame of the others out.
    auto shortFirst = MixReaders({ReaderOf(globals_.get(), std::vector<AudioSample>(4, 7)),
                                  ReaderOf(globals_.get(), std::vector<AudioSample>(20, 3))});
    mix->get_NumSamples(&n);
    std::vector<AudioSample> all = ReadValues(shortFirst.get(), 5);
    EXPECT_EQ(all.size(), 10u);
    EXPECT_EQ(all[0], 10);
    EXPECT_EQ(all[9], 3);
    EXPECT_TRUE(AtEnd(shortFirst.get())) << "the master ended";
    shortFirst->get_NumSamples(&n);
    EXPECT_EQ(n, 10);

    auto a = ReaderOf(globals_.get(), std::vector<AudioSample>(400, 1));
    auto b = ReaderOf(globals_.get(), std::vector<AudioSample>(400, 2));
    auto both = MixReaders({a, b});
    ASSERT_EQ(both->Skip(100), S_OK);
    a->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 100);
    b->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 100);
    ASSERT_EQ(both->Skip(-100), S_OK);
    both->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 0);
    ComPtr<IWav> bad;
    EXPECT_EQ(both->Read(-1, bad.Out()), E_FAIL);
}
