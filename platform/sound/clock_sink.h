// Where an output with a callback of its own sends its MIDI clock besides
// its own clock port: each message with the moment it is due. The
// real-time contract is the device callback's own: Send runs on the
// device's real-time thread only and must not allocate, lock, wait or make
// a system call; a sink that cannot keep up drops and counts.
#pragma once

#include <cstddef>
#include <cstdint>

class ClockSink {
  public:
    virtual ~ClockSink() = default;
    // A message of one to three bytes, due at the steady clock's
    // microsecond dueUs (when the frame it stands on is heard).
    virtual void Send(const std::uint8_t* data, std::size_t size, std::int64_t dueUs) = 0;
};
