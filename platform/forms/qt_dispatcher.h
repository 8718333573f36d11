// Sound notifications on the user-interface thread: while a QtDispatcher
// lives, every delivery of the event service is posted to the Qt event
// loop and runs there between the program's other events.
#pragma once

class QtDispatcher {
  public:
    // With deliveryThread, signals of real devices are picked up as they
    // come; without it they wait for DeliverPending (virtual devices).
    explicit QtDispatcher(bool deliveryThread = true);
    ~QtDispatcher();
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;
};
