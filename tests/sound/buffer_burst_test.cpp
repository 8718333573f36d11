// A buffer played by a device that asks for data in bursts, as a sound
// server does after a stall, while the program refills halves from its
// notifications on another thread. The device never waits for the program:
// what is not refilled in time plays as silence. Runs under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
    std::atomic<int> ignore{0};  // notifications to leave unanswered
    std::atomic<long> writes{0};
    void WriteHalf(LONG offsetBytes) {
        std::vector<Value> half(kHalfFrames);
        for (auto& v : half) v = ValueAt(next++);
        if (delay.count() > 0) std::this_thread::sleep_for(delay);
        buffer->WriteBuffer(offsetBytes, kHalfFrames * 2, half.data(), 0);
        writes.fetch_add(1);
    }
    void DXCallback(LONG id) override {
        if (ignore.load() > 0) {
            ignore.fetch_sub(1);
            next += kHalfFrames;  // the stream moves on as if written
            return;
        }
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
    std::vector<Value> RenderFrames(std::size_t frames) {
        std::vector<Value> out(frames);
        buffer.Render(reinterpret_cast<unsigned char*>(out.data()), frames * 2);
        return out;
    }
    // Waits until every notification signalled by the time frames were
    // played has been answered (less those left unanswered on purpose).
    void WaitForRefills(std::size_t frames, long unanswered = 0) {
        const long f = long(frames), h = kHalfFrames;
        const long starts = f >= 1 ? (f - 1) / (2 * h) + 1 : 0;
        const long halves = f >= h ? (f - h) / (2 * h) + 1 : 0;
        const long writes = 1 + starts + halves - unanswered;
        for (int i = 0; i < 2000 && refiller.writes.load() < writes; ++i)
            std::this_thread::sleep_for(1ms);
    }
    // The first frame that is neither silence, nor the stream's value for
    // its place, nor (while the refills lag laps behind, as they may when
    // the delivery thread is starved) the value of the same place a lap or
    // more before; -1 when there is none. A frame from the future is wrong.
    static long Wrong(const std::vector<Value>& played, std::size_t from) {
        const long lap = 2 * kHalfFrames;
        for (std::size_t n = from; n < played.size(); ++n) {
            const long v = played[n], m = v - 1;  // the stream's frame it holds
            if (v != 0 && (m > long(n) || (long(n) - m) % lap != 0)) return long(n);
        }
        return -1;
    }
};

}  // namespace

TEST_F(BurstTest, BurstsPlayEveryRefillInOrderAndWhatIsLatePlaysAsSilence) {
    // Bursts of up to one half, each asked for once the refills have
    // caught up (a server on its period): the stream exactly, nothing late.
    std::mt19937 random(7);
    std::vector<Value> played;
    while (played.size() < 20 * kHalfFrames) {
        WaitForRefills(played.size());
        auto block = RenderFrames(1 + random() % kHalfFrames);
        played.insert(played.end(), block.begin(), block.end());
    }
    for (std::size_t n = 0; n < played.size(); ++n)
        ASSERT_EQ(played[n], ValueAt(long(n))) << "frame " << n;
    EXPECT_EQ(buffer.LateFrames(), 0u);

    // Bursts of one to eight 100-frame periods back to back, halves ahead
    // of the refills: the device takes what is there and plays silence
    // for the rest, never a frame from the future.
    const std::size_t burstsFrom = played.size();
    while (played.size() < 60 * kHalfFrames) {
        const int periods = 1 + int(random() % 8);
        for (int p = 0; p < periods; ++p) {
            auto block = RenderFrames(100);
            played.insert(played.end(), block.begin(), block.end());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 4));
    }
    const long wrong = Wrong(played, burstsFrom);
    EXPECT_EQ(wrong, -1) << "frame " << wrong << " played " << played[std::size_t(wrong)];
    EXPECT_EQ(long(buffer.LateFrames()), std::count(played.begin(), played.end(), 0))
        << "every silent frame is counted as late";

    // Once the refills catch up, the stream is exact again, in time.
    const std::size_t settled = played.size();
    while (played.size() < settled + 8 * kHalfFrames) {
        WaitForRefills(played.size());
        auto block = RenderFrames(kHalfFrames - played.size() % kHalfFrames);
        played.insert(played.end(), block.begin(), block.end());
    }
    for (std::size_t n = settled + 2 * kHalfFrames; n < played.size(); ++n)
        ASSERT_EQ(played[n], ValueAt(long(n))) << "frame " << n;
    EXPECT_LT(buffer.LongestRefill(), 1.0);
}

TEST_F(BurstTest, ALateRefillPlaysSilenceAndIsNotHeardALapLater) {
    // The first half plays; the second is written 150 ms after play enters
    // the first, after the device asked for it: silence in its place, and
    // the cursor and notifications go on as if it had played.
    refiller.delay = 150ms;
    auto first = RenderFrames(kHalfFrames);
    EXPECT_EQ(first.front(), ValueAt(0));
    EXPECT_EQ(first.back(), ValueAt(kHalfFrames - 1));
    auto late = RenderFrames(kHalfFrames);
    EXPECT_EQ(late, std::vector<Value>(kHalfFrames, 0));
    EXPECT_EQ(buffer.LateFrames(), unsigned(kHalfFrames)) << "the silent frames are counted";
    LONG play = -1;
    buffer.GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0) << "the cursor passed the silent half";
    // The late write of the second half is dropped, not heard a lap later:
    // play goes on with the refills that follow, in order.
    WaitForRefills(2 * kHalfFrames);
    auto next = RenderFrames(kHalfFrames);
    EXPECT_EQ(next.front(), ValueAt(2 * kHalfFrames));
    EXPECT_EQ(next.back(), ValueAt(3 * kHalfFrames - 1));
    WaitForRefills(3 * kHalfFrames);
    auto then = RenderFrames(kHalfFrames);
    EXPECT_EQ(then.front(), ValueAt(3 * kHalfFrames));
    EXPECT_GE(buffer.LongestRefill(), 0.14) << "the 150 ms refill is the longest";
}

TEST_F(BurstTest, AHalfNeverRefilledPlaysSilenceOnceAndTheNextRefillIsHeard) {
    // The program leaves one notification unanswered: the half it was for
    // plays as silence that lap, and the refill that follows the next
    // notification plays the lap after, not dropped as a late write.
    refiller.ignore = 1;
    std::vector<Value> played;
    for (int half = 0; half < 8; ++half) {
        WaitForRefills(played.size(), 1);
        auto block = RenderFrames(kHalfFrames);
        played.insert(played.end(), block.begin(), block.end());
    }
    const std::vector<Value> second(played.begin() + kHalfFrames, played.begin() + 2 * kHalfFrames);
    EXPECT_EQ(second, std::vector<Value>(kHalfFrames, 0));
    for (std::size_t n = 2 * kHalfFrames; n < played.size(); ++n)
        ASSERT_EQ(played[n], ValueAt(long(n))) << "frame " << n;
    EXPECT_EQ(buffer.LateFrames(), unsigned(kHalfFrames));
}
