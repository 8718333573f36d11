#include "engine/transport_watch.h"

#include <cmath>

TransportWatch::TransportWatch(See see, Changed changed)
    : see_(std::move(see)), changed_(std::move(changed)), thread_([this] { Run(); }) {}

TransportWatch::~TransportWatch() {
    stop_ = true;
    thread_.join();
}

void TransportWatch::Run() {
    TransportView last;
    while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const TransportView v = see_();
        if (!v.known || v.cycle == last.cycle) continue;
        const auto now = std::chrono::steady_clock::now();
        // A start waits at its frame: seen once, and again if moved meanwhile.
        bool relocated = false, changed = !last.known || v.rolling != last.rolling ||
                                          v.starting != last.starting ||
                                          (v.starting && v.frame != last.frame);
        if (v.rolling && last.known && last.rolling) {
            // Rolling moves the frame a period a cycle; anything else is a
            // relocation.
            const double expected = double(v.cycle - last.cycle) * v.period;
            const double moved = double(v.frame) - double(last.frame);
            relocated = std::abs(moved - expected) > v.period;
        }
        if (v.bbt && std::abs(v.bpm - last.bpm) >= 0.05) changed = true;
        if (changed || relocated) changed_(v, now, relocated);
        last = v;
    }
}
