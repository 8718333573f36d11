// The event queue and service: contention, overflow, the delivery thread
// and the manual dispatcher. These also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "sound/event_service.h"

namespace {

using namespace std::chrono_literals;

struct Recorder : DirectXEvent8 {
    std::mutex mutex;
    std::vector<LONG> ids;
    std::vector<std::thread::id> threads;
    void DXCallback(LONG id) override {
        std::lock_guard<std::mutex> lock(mutex);
        ids.push_back(id);
        threads.push_back(std::this_thread::get_id());
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return ids.size();
    }
};

// Leaves the shared service as each test found it: no dispatcher, no thread,
// nothing queued.
struct EventServiceTest : ::testing::Test {
    EventService& service = EventService::Instance();
    void SetUp() override {
        service.StopDeliveryThread();
        service.SetDispatcher(nullptr);
        service.DeliverPending();
    }
    void TearDown() override { SetUp(); }
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

TEST(EventQueue, KeepsEachProducersOrderUnderContentionAndRefusesWhenFull) {
    EventQueue queue;
    // Full: 1024 fit, the next is refused, and a pop makes room again.
    LONG id = 0;
    int pushed = 0;
    while (queue.Push(++id)) ++pushed;
    EXPECT_EQ(pushed, 1024);
    LONG first = 0;
    ASSERT_TRUE(queue.Pop(&first));
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(queue.Push(5000));
    EXPECT_FALSE(queue.Push(5001));
    while (queue.Pop(&first)) {
    }
    EXPECT_EQ(first, 5000) << "the last in comes out last";

    // Four producers retrying while full, two consumers: every id arrives
    // once, and each producer's ids in the order pushed.
    constexpr int kProducers = 4, kEach = 20000;
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p)
        threads.emplace_back([&queue, p] {
            for (int i = 0; i < kEach; ++i)
                while (!queue.Push(LONG(p * kEach + i))) std::this_thread::yield();
        });
    std::vector<std::vector<LONG>> got(2);
    std::atomic<int> total{0};
    for (int c = 0; c < 2; ++c)
        threads.emplace_back([&, c] {
            LONG v;
            while (total.load() < kProducers * kEach)
                if (queue.Pop(&v)) {
                    got[c].push_back(v);
                    ++total;
                }
        });
    for (auto& t : threads) t.join();
    std::vector<int> seen(kProducers * kEach, 0);
    for (auto& consumer : got) {
        std::vector<LONG> last(kProducers, -1);
        for (LONG v : consumer) {
            ++seen[std::size_t(v)];
            EXPECT_GT(v, last[std::size_t(v / kEach)]) << "a producer's ids came out of order";
            last[std::size_t(v / kEach)] = v;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), kProducers * kEach);
}

TEST_F(EventServiceTest, OverflowCoalescesRepeatsAndLosesNothing) {
    Recorder sink;
    LONG filler = service.CreateEvent(&sink), a = service.CreateEvent(&sink),
         b = service.CreateEvent(&sink);
    const unsigned long overflowsBefore = service.Overflows(), lostBefore = service.Lost();
    for (int i = 0; i < 1024; ++i) service.Signal(filler);
    EXPECT_EQ(service.Overflows(), overflowsBefore) << "the queue holds 1024";
    for (int i = 0; i < 5; ++i) service.Signal(a);
    service.Signal(b);
    service.Signal(a);
    EXPECT_EQ(service.Overflows(), overflowsBefore + 7);
    service.DeliverPending();
    ASSERT_EQ(sink.ids.size(), 1026u);
    EXPECT_EQ(std::count(sink.ids.begin(), sink.ids.end(), filler), 1024);
    EXPECT_EQ(std::vector<LONG>(sink.ids.end() - 2, sink.ids.end()), (std::vector<LONG>{a, b}))
        << "overflowed events come once each, after what was queued, in the order they first came";
    EXPECT_EQ(service.Lost(), lostBefore);

    // Drained, the queue is used again, in order.
    sink.ids.clear();
    service.Signal(b);
    service.Signal(a);
    service.DeliverPending();
    EXPECT_EQ(sink.ids, (std::vector<LONG>{b, a}));

    // More distinct events than the overflow table holds: the rest are
    // counted as lost (and reported), never silently dropped.
    std::vector<LONG> many;
    for (std::size_t i = 0; i < EventService::kOverflowSlots + 3; ++i)
        many.push_back(service.CreateEvent(&sink));
    for (int i = 0; i < 1024; ++i) service.Signal(filler);
    for (LONG id : many) service.Signal(id);
    EXPECT_EQ(service.Lost(), lostBefore + 3);
    sink.ids.clear();
    service.DeliverPending();
    EXPECT_EQ(sink.ids.size(), 1024 + EventService::kOverflowSlots);
    for (LONG id : many) service.DestroyEvent(id);
    for (LONG id : {filler, a, b}) service.DestroyEvent(id);
}

TEST_F(EventServiceTest, OverflowUnderContentionDeliversEveryEventAfterItsLastSignal) {
    // Producers signal faster than a slow consumer takes them: whatever
    // overflows, each event's last signal is followed by a delivery.
    Recorder sink;
    constexpr int kEvents = 8, kSignals = 5000;
    std::vector<LONG> ids;
    for (int i = 0; i < kEvents; ++i) ids.push_back(service.CreateEvent(&sink));
    const unsigned long before = service.Overflows();
    std::atomic<bool> producing{true};
    std::thread consumer([&] {
        while (producing.load()) {
            service.DeliverPending();
            std::this_thread::sleep_for(2ms);
        }
    });
    // Each producer notes how many deliveries were made before its last
    // signal: its event must be among those made after.
    std::vector<std::size_t> before_last(kEvents);
    std::vector<std::thread> producers;
    for (int p = 0; p < kEvents; ++p)
        producers.emplace_back([&, p] {
            for (int i = 0; i < kSignals - 1; ++i) service.Signal(ids[std::size_t(p)]);
            before_last[std::size_t(p)] = sink.Count();
            service.Signal(ids[std::size_t(p)]);
        });
    for (auto& t : producers) t.join();
    producing = false;
    consumer.join();
    service.DeliverPending();
    EXPECT_GT(service.Overflows(), before) << "the test did not fill the queue";
    for (int p = 0; p < kEvents; ++p) {
        auto from = sink.ids.begin() + long(before_last[std::size_t(p)]);
        EXPECT_NE(std::find(from, sink.ids.end(), ids[std::size_t(p)]), sink.ids.end())
            << "event " << ids[std::size_t(p)] << " was not delivered after its last signal";
    }
    for (LONG id : ids) service.DestroyEvent(id);
}

TEST_F(EventServiceTest, DeliveryThreadStartsStopsAndDeliversWhatIsLeft) {
    Recorder sink;
    LONG id = service.CreateEvent(&sink);
    EXPECT_FALSE(service.DeliveryThreadRunning());
    service.Signal(id);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sink.Count(), 0u) << "without the thread, signals wait for DeliverPending";

    service.StartDeliveryThread();
    service.StartDeliveryThread();  // a second start is harmless
    EXPECT_TRUE(service.DeliveryThreadRunning());
    EXPECT_TRUE(WaitFor([&] { return sink.Count() == 1; })) << "a waiting signal is delivered";
    std::thread signaller([&] {
        for (int i = 0; i < 100; ++i) service.Signal(id);
    });
    signaller.join();
    EXPECT_TRUE(WaitFor([&] { return sink.Count() == 101; }));
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        EXPECT_NE(sink.threads.back(), std::this_thread::get_id())
            << "without a dispatcher, the delivery thread calls the sink";
    }

    service.StopDeliveryThread();
    service.StopDeliveryThread();
    EXPECT_FALSE(service.DeliveryThreadRunning());
    service.Signal(id);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sink.Count(), 101u) << "a stopped thread delivers nothing more";
    service.StartDeliveryThread();
    EXPECT_TRUE(WaitFor([&] { return sink.Count() == 102; })) << "and a restarted one does";
    service.DestroyEvent(id);
}

TEST_F(EventServiceTest, ManualDispatcherRunsDeliveriesOnItsOwnersThreadInOrder) {
    ManualDispatcher dispatcher;
    service.SetDispatcher(dispatcher.AsDispatcher());
    service.StartDeliveryThread();
    Recorder sink;
    LONG a = service.CreateEvent(&sink), b = service.CreateEvent(&sink),
         gone = service.CreateEvent(&sink);

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dispatcher.WaitAndRun(30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 25ms) << "an empty wait lasts its timeout";

    std::thread audio([&] {
        service.Signal(a);
        service.Signal(gone);
        service.Signal(b);
    });
    audio.join();
    // Destroyed after its signal, whether or not its delivery is queued yet.
    service.DestroyEvent(gone);
    auto until = std::chrono::steady_clock::now() + 5s;
    while (sink.Count() < 2 && std::chrono::steady_clock::now() < until) dispatcher.WaitAndRun(50);
    dispatcher.WaitAndRun(20);
    EXPECT_EQ(sink.ids, (std::vector<LONG>{a, b})) << "in order; a destroyed event is not called";
    for (auto thread : sink.threads) EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_EQ(dispatcher.RunPending(), 0);
    service.DestroyEvent(a);
    service.DestroyEvent(b);
    // The service lets go of the dispatcher before it goes.
    service.StopDeliveryThread();
    service.SetDispatcher(nullptr);
}
