// A buffer played by a device that asks for data in bursts, as a sound
// server does after a stall, while the program refills halves from its
// notifications on another thread. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "sound/event_service.h"
#include "sound/secondary_buffer.h"

namespace {

using namespace std::chrono_literals;

using Value = std::int16_t;  // 16-bit mono frames
constexpr LONG kHalfFrames = 256;

DSBUFFERDESC MonoDesc(LONG frames) {
    DSBUFFERDESC d{};
    d.lFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
    d.lBufferBytes = frames * 2;
    d.fxFormat = WAVEFORMATEX{1, 1, 44100, 88200, 2, 16, 0, 0};
    return d;
}

Value ValueAt(long n) {
    return Value(1 + n % 30000);
}

// The program's side: a counting stream written a half at a time, the
// second half when play enters the first and the first when it enters the
// second, like the streaming output.
struct Refiller : DirectXEvent8 {
    DirectSoundSecondaryBuffer8* buffer = nullptr;
    LONG startId = 0, halfId = 0;
    long next = 0;
    std::chrono::milliseconds delay{0};
    void WriteHalf(LONG offsetBytes) {
        std::vector<Value> half(kHalfFrames);
        for (auto& v : half) v = ValueAt(next++);
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        buffer->WriteBuffer(offsetBytes, kHalfFrames * 2, half.data(), 0);
    }
    void DXCallback(LONG id) override {
        if (id == startId) WriteHalf(kHalfFrames * 2);
        if (id == halfId) WriteHalf(0);
    }
};

struct BurstTest : ::testing::Test {
    EventService& service = EventService::Instance();
    DirectSoundSecondaryBuffer8 buffer{MonoDesc(2 * kHalfFrames), nullptr};
    Refiller refiller;
    void SetUp() override {
        service.SetDispatcher(nullptr);
        service.StartDeliveryThread();  // refills run on the delivery thread
        refiller.buffer = &buffer;
        refiller.startId = service.CreateEvent(&refiller);
        refiller.halfId = service.CreateEvent(&refiller);
        DSBPOSITIONNOTIFY table[2] = {{1, refiller.startId}, {kHalfFrames * 2, refiller.halfId}};
        ASSERT_EQ(buffer.SetNotificationPositions(2, table), S_OK);
        refiller.WriteHalf(0);
        ASSERT_EQ(buffer.Play(DSBPLAY_LOOPING), S_OK);
    }
    void TearDown() override {
        buffer.Stop();
        service.StopDeliveryThread();
        service.DestroyEvent(refiller.startId);
        service.DestroyEvent(refiller.halfId);
    }
    std::vector<Value> RenderFrames(std::size_t frames, std::chrono::milliseconds wait) {
        std::vector<Value> out(frames);
        buffer.Render(reinterpret_cast<unsigned char*>(out.data()), frames * 2, wait);
        return out;
    }
};

}  // namespace

TEST_F(BurstTest, BurstsThatLapTheRingStillPlayEveryRefillOnceInOrder) {
    // Bursts of one to eight 100-frame periods back to back (up to three
    // halves ahead of the refills), then a pause: the played stream is the
    // written stream, with no silence and nothing repeated.
    std::mt19937 random(7);
    std::vector<Value> played;
    while (played.size() < 40 * kHalfFrames) {
        const int periods = 1 + int(random() % 8);
        for (int p = 0; p < periods; ++p) {
            auto block = RenderFrames(100, 1s);
            played.insert(played.end(), block.begin(), block.end());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 4));
    }
    long wrong = -1;
    for (std::size_t n = 0; n < played.size() && wrong < 0; ++n)
        if (played[n] != ValueAt(long(n))) wrong = long(n);
    EXPECT_EQ(buffer.LateFrames(), 0u);
    EXPECT_LT(buffer.LongestRefill(), 1.0);
    EXPECT_EQ(wrong, -1) << "frame " << wrong << " played " << played[std::size_t(wrong)] << " for "
                         << ValueAt(wrong);
}

TEST_F(BurstTest, ARefillLaterThanTheWaitPlaysSilenceAndTheStreamGoesOn) {
    // The first half plays; the second is written 150 ms after play enters
    // the first, too late for a 20 ms wait: silence in its place, and the
    // cursor and notifications go on as if it had played.
    refiller.delay = 150ms;
    auto first = RenderFrames(kHalfFrames, 20ms);
    EXPECT_EQ(first.front(), ValueAt(0));
    EXPECT_EQ(first.back(), ValueAt(kHalfFrames - 1));
    auto t0 = std::chrono::steady_clock::now();
    auto late = RenderFrames(kHalfFrames, 20ms);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 140ms) << "the wait is bounded";
    EXPECT_EQ(late, std::vector<Value>(kHalfFrames, 0));
    EXPECT_EQ(buffer.LateFrames(), unsigned(kHalfFrames)) << "the silent frames are counted";
    LONG play = -1;
    buffer.GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0) << "the cursor passed the silent half";
    // The late write of the second half is dropped, not heard a lap later:
    // play goes on with the refills that follow, in order.
    std::this_thread::sleep_for(400ms);
    auto next = RenderFrames(kHalfFrames, 1s);
    EXPECT_EQ(next.front(), ValueAt(2 * kHalfFrames));
    EXPECT_EQ(next.back(), ValueAt(3 * kHalfFrames - 1));
    auto then = RenderFrames(kHalfFrames, 1s);
    EXPECT_EQ(then.front(), ValueAt(3 * kHalfFrames));
    EXPECT_GE(buffer.LongestRefill(), 0.14) << "the 150 ms refill is the longest";
}

TEST_F(BurstTest, StopEndsAWaitingRenderAtOnce) {
    refiller.delay = 300ms;  // the second half comes long after Stop
    RenderFrames(kHalfFrames, 0ms);
    std::vector<Value> waited;
    auto t0 = std::chrono::steady_clock::now();
    std::thread device([&] { waited = RenderFrames(kHalfFrames, 10s); });
    std::this_thread::sleep_for(50ms);
    buffer.Stop();
    device.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 250ms);
    EXPECT_EQ(waited, std::vector<Value>(kHalfFrames, 0)) << "silence once stopped";
    // TearDown's StopDeliveryThread waits for the refiller's late write.
}
