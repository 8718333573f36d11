// Playback held still while a command works (a dialog, a save): the device
// stops when the guard is made and plays on when it goes, whatever happens
// in between, failures included.
#pragma once

#include "output/av_system.h"

class PausedPlayback {
  public:
    explicit PausedPlayback(AvSystem& av) : av_(av) { av_.Pause(); }
    ~PausedPlayback() {
        try {
            av_.UnPause();
        } catch (const std::exception&) {
            // A device that cannot play on is found by the next Play.
        }
    }
    PausedPlayback(const PausedPlayback&) = delete;
    PausedPlayback& operator=(const PausedPlayback&) = delete;

  private:
    AvSystem& av_;
};
