// Rendering the selected loop into one stereo 44100 Hz 16-bit buffer, as
// long as one pass: every track's sample is added at the start of every tick
// that is on (scaled by the tick's velocity when below full), wrapping at
// the loop's end, each addition clipped to 16 bits. A track's sound setting
// (song/track_sound.h) shapes, pans and chokes its sample, the master level
// scales every track, and the song's humanize moves each hit and its
// velocity by a draw of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "song/song.h"

// The tick check boxes the renderer reads: row j, tick i.
class TickGrid {
  public:
    virtual ~TickGrid() = default;
    virtual bool TickOn(int row, int tick) const = 0;
    // How hard a tick that is on plays, 1 to 127: its sample is scaled by
    // velocity / 127 (at 127 it is added as it is).
    virtual int Velocity(int /*row*/, int /*tick*/) const { return 127; }
};

// A loop's own tracks as a grid, for rendering without a window.
class LoopGrid : public TickGrid {
  public:
    explicit LoopGrid(const SequenceLoop& loop) : loop_(loop) {}
    bool TickOn(int row, int tick) const override;
    int Velocity(int row, int tick) const override;

  private:
    const SequenceLoop& loop_;
};

class LoopRenderer {
  public:
    ComPtr<IWav> LoopWav;    // the buffer; also the selected loop's Wav
    LONG TickLength = 0;     // frames per tick, for the tick display
    LONG TicksPerLoop = 32;  // the grid's width
    LONG TicksPerBeat = 4;   // the loop's resolution
    LONG NumTracks = 1;      // track rows
    std::uint8_t SelectedLoopIndex = 0;
    // The one track whose hits are added (a stem); -1 for all. The others
    // still choke it as they do in the mix.
    LONG OnlyTrack = -1;

    // Of the last rendering: its largest magnitude (32768 at most), and
    // how many of its values are at full scale (clipped, or as loud).
    LONG Peak = 0;
    LONG Clipped = 0;

    // The grid's width and resolution become loop's.
    void UseFormatOf(const SequenceLoop& loop) {
        TicksPerLoop = loop.Format().ticks;
        TicksPerBeat = loop.Format().ticksPerBeat;
    }

    // A new silent buffer for one pass at the song's tempo. Error 11 for a
    // tempo of 0, before anything is made.
    void PrepareLoopWav(const Song& song);
    // Silence in the whole buffer.
    void ClearLoopWav();
    // Adds source into target from frame offset on, wrapping at the end of
    // LoopWav, each value clipped.
    void MixWavInto(IWav* target, LONG offset, IWav* source);
    // Renders the rows' pattern afresh into LoopWav and makes it the
    // selected loop's rendering. Tracks whose sample has no audio are skipped.
    void RenderSelectedLoop(Song& song, const TickGrid& grid);

    // The same rendering into values of its own, without a LoopWav: one
    // pass of loop SelectedLoopIndex at the song's tempo, stereo 44100 Hz,
    // interleaved. For exports, which need no buffer of the library's.
    std::vector<AudioSample> RenderLoopValues(Song& song, const TickGrid& grid);

    // The frames from one tick's start to the next at the song's tempo.
    static LONG StepFrames(std::int64_t bpm, LONG sampleRate, LONG ticksPerBeat = 4);
    // Frames in one pass of ticksPerLoop ticks at the song's tempo.
    static LONG LoopFrames(std::int64_t bpm, LONG ticksPerLoop, LONG ticksPerBeat = 4);

  private:
    // Receives a rendering a stretch at a time: frames [first, first + count)
    // of the loop, count x channels interleaved values.
    using ChunkSink = std::function<void(LONG first, LONG count, const AudioSample* values)>;
    static constexpr LONG kChunkFrames = 16384;

    // Sums the grid's pattern over a loop of frames x channels, one stretch
    // of kChunkFrames at a time, handing each to sink.
    void Mix(Song& song, const TickGrid& grid, LONG frames, SHORT channels, LONG rate,
             const ChunkSink& sink);

    std::vector<AudioSample> chunk_;  // where a stretch is summed before it is handed on
};
