// The sound buffer's ring, cursor and notifications on the virtual device.
#include <gtest/gtest.h>

#include <vector>

#include "sound/directx8.h"
#include "sound/virtual_device.h"

namespace {

struct Recorder : DirectXEvent8 {
    std::vector<LONG> ids;
    void DXCallback(LONG id) override { ids.push_back(id); }
};

DSBUFFERDESC Desc(LONG bytes) {
    DSBUFFERDESC d{};
    d.lFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
    d.lBufferBytes = bytes;
    d.fxFormat = WAVEFORMATEX{1, 1, 44100, 88200, 2, 16, 0, 0};
    return d;
}

}  // namespace

TEST(SoundBuffer, SignalsPositionsAsTheCursorPassesThemAndStopOnlyWhenPlaying) {
    auto device = std::make_shared<VirtualDevice>();
    SetDefaultSoundDevice(device);
    DirectX8 dx;
    auto ds = dx.DirectSoundCreate("");
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->SetCooperativeLevel(0, DSSCL_NORMAL), S_OK);
    auto buffer = ds->CreateSoundBuffer(Desc(1000));
    ASSERT_TRUE(buffer);
    Recorder sink;
    LONG start = dx.CreateEvent(&sink), half = dx.CreateEvent(&sink), stop = dx.CreateEvent(&sink);
    DSBPOSITIONNOTIFY table[3] = {{1, start}, {500, half}, {DSBPN_OFFSETSTOP, stop}};
    ASSERT_EQ(buffer->SetNotificationPositions(3, table), S_OK);

    std::vector<unsigned char> bytes(1000);
    for (int i = 0; i < 1000; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    ASSERT_EQ(buffer->WriteBuffer(900, 200, bytes.data(), 0), S_OK);  // wraps at the end
    ASSERT_EQ(buffer->WriteBuffer(100, 800, bytes.data() + 200, 0), S_OK);

    device->AdvanceBytes(10);
    EXPECT_TRUE(sink.ids.empty()) << "a stopped buffer does not move";
    ASSERT_EQ(buffer->Play(DSBPLAY_LOOPING), S_OK);
    device->AdvanceBytes(1);
    EXPECT_EQ(sink.ids, std::vector<LONG>{start}) << "offset 1 fires right after playing from 0";
    device->AdvanceBytes(499);
    EXPECT_EQ(sink.ids, (std::vector<LONG>{start, half}));
    LONG play = -1;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 500);
    // One advance past the end and past 1 and 500 again signals all, in
    // order; the frames played a second time without a write in between
    // are silence, not the ring's old bytes.
    device->ClearPlayed();
    device->AdvanceBytes(1000);
    EXPECT_EQ(sink.ids, (std::vector<LONG>{start, half, start, half}));
    std::vector<unsigned char> ring(1000);
    for (int i = 0; i < 200; ++i) ring[(900 + i) % 1000] = bytes[i];
    for (int i = 0; i < 800; ++i) ring[100 + i] = bytes[200 + i];
    EXPECT_EQ(std::vector<unsigned char>(device->Played().begin(), device->Played().begin() + 500),
              std::vector<unsigned char>(ring.begin() + 500, ring.end()))
        << "the unplayed half plays as written";
    EXPECT_EQ(std::vector<unsigned char>(device->Played().begin() + 500, device->Played().end()),
              std::vector<unsigned char>(500, 0))
        << "a frame is played once per write";
    ASSERT_EQ(buffer->SetCurrentPosition(700), S_OK);
    device->DeliverPendingForTest();
    EXPECT_EQ(sink.ids.size(), 4u) << "moving the cursor signals nothing";

    // What was played is the ring's bytes from the cursor, except where
    // frames were played as silence: a write onto those came too late for
    // them and is dropped, and the next one is played.
    ASSERT_EQ(buffer->WriteBuffer(900, 200, bytes.data(), 0), S_OK);
    ASSERT_EQ(buffer->WriteBuffer(100, 800, bytes.data() + 200, 0), S_OK);
    device->ClearPlayed();
    device->AdvanceBytes(400);
    std::vector<unsigned char> lateDropped(ring.begin() + 700, ring.end());
    lateDropped.resize(400, 0);
    EXPECT_EQ(device->Played(), lateDropped);
    ASSERT_EQ(buffer->SetCurrentPosition(100), S_OK);
    ASSERT_EQ(buffer->WriteBuffer(100, 800, bytes.data() + 200, 0), S_OK);
    device->ClearPlayed();
    device->AdvanceBytes(400);
    EXPECT_EQ(device->Played(), std::vector<unsigned char>(ring.begin() + 100, ring.begin() + 500));
    EXPECT_EQ(sink.ids.size(), 6u);

    ASSERT_EQ(buffer->Stop(), S_OK);
    device->AdvanceBytes(0);
    EXPECT_EQ(sink.ids.back(), stop);
    ASSERT_EQ(buffer->Stop(), S_OK);
    device->AdvanceBytes(0);
    EXPECT_EQ(sink.ids.size(), 7u) << "stopping a stopped buffer signals nothing";
    device->ClearPlayed();
    device->AdvanceBytes(4);
    EXPECT_EQ(device->Played(), std::vector<unsigned char>(4, 0)) << "silence while stopped";
    dx.DestroyEvent(start);
    buffer->Play(DSBPLAY_LOOPING);
    device->AdvanceBytes(1000);
    EXPECT_EQ(sink.ids.back(), half) << "a destroyed event is not delivered";
    SetDefaultSoundDevice(nullptr);
}
