// A place in a Link session: peers on the local network who share one
// tempo, one beat timeline and, when asked, playing and stopping. Times
// are the steady clock's microseconds (the clock the outputs are timed
// on); the session's own clock is converted on every call.
//
// Every member may be called from any thread except the real-time one:
// each takes the session's application state, which may briefly lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class LinkSession {
  public:
    // Joins no one until enabled; tempo is this peer's until others are met.
    explicit LinkSession(double bpm);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    void Enable(bool on);
    bool Enabled() const;
    // Whether playing and stopping are shared with the peers that share them.
    void ShareStartStop(bool on);
    bool SharesStartStop() const;
    std::size_t Peers() const;

    double Tempo() const;
    // A new tempo for everyone, the beat at this moment kept.
    void SetTempo(double bpm);
    // The beat at a moment (steady microseconds), and its phase within
    // a bar of `quantum` beats (0 up to quantum).
    double BeatAt(std::int64_t us, double quantum) const;
    double PhaseAt(std::int64_t us, double quantum) const;
    // The moment a beat falls at.
    std::int64_t TimeOfBeat(double beat, double quantum) const;

    // Whether the session plays (shared start and stop), and since when.
    bool Playing() const;
    std::int64_t PlayingSince() const;
    // Starts the session at the first bar of `quantum` beats from `us`
    // on (at `us` itself for a peer alone, its bar moved there), or
    // stops it; returns the moment playing starts.
    std::int64_t SetPlaying(bool playing, std::int64_t us, double quantum);

    // The steady clock now, in microseconds.
    static std::int64_t NowUs();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};
