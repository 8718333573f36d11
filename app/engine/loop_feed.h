// The rendering of a loop as playback reads it. A LoopFeed holds the
// newest rendering of one loop buffer; the engine renders into a fresh
// buffer whenever the loop changes and puts it in (Publish), and readers
// on the feed take the newest one at each read. A buffer is never
// written once published, so a reader never meets a half-made rendering,
// and a tick clicked while the loop plays is heard from the next read on.
// Every rendering in a feed has the same length; a new length (another
// tempo) is a new feed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "OvraAudio.h"
#include "com/comptr.h"
#include "com/object.h"
#include "output/frame_reader.h"

class LoopFeed {
  public:
    // first: the loop's rendering, stereo 44100 Hz 16-bit, of ticks ticks
    // tickLength frames apart, ticksPerBeat of them a beat.
    LoopFeed(ComPtr<IWav> first, LONG ticks, LONG tickLength, int ticksPerBeat = 4);
    // A new rendering of the same length (AppError otherwise); any thread.
    void Publish(ComPtr<IWav> wav);
    // The newest rendering; any thread.
    ComPtr<IWav> Current() const;
    LONG Frames() const { return frames_; }
    // The loop's ticks and the frames per tick, for the lights.
    LONG Ticks() const { return ticks_; }
    LONG TickLength() const { return tickLength_; }
    int TicksPerBeat() const { return ticksPerBeat_; }

  private:
    struct Rendering {
        ComPtr<IWav> wav;
        ComPtr<IWavValues> values;
    };
    friend class LoopReader;
    std::shared_ptr<const Rendering> Newest() const { return newest_.load(); }
    // Counts the renderings published: a reader looks here before it takes
    // the newest one again.
    std::uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }

    std::atomic<std::shared_ptr<const Rendering>> newest_;
    std::atomic<std::uint64_t> generation_{0};
    LONG frames_ = 0;
    LONG ticks_ = 0;
    LONG tickLength_ = 0;
    int ticksPerBeat_ = 4;
};

// A new reader on feed, at its start.
ComPtr<IWavReader> OpenFeedReader(const std::shared_ptr<LoopFeed>& feed);

// A reader on a feed: the interface the streaming output plays, with the
// one-copy path (IFrameReader). Used by one thread at a time.
class LoopReader final : public VtableObject<LoopReader, IWavReader>, public IFrameReader {
  public:
    explicit LoopReader(std::shared_ptr<LoopFeed> feed);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }

    HRESULT get_Header(WavHeader* result) override;
    HRESULT get_fxFormat(WAVEFORMATEX* result) override;
    HRESULT get_NumChannels(SHORT* result) override;
    HRESULT get_SampleRate(LONG* result) override;
    HRESULT get_ByteRate(LONG* result) override;
    HRESULT get_NumSamples(LONG* result) override;
    HRESULT get_BytesPerSample(SHORT* result) override;
    HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) override;
    HRESULT SampleIndexFromSeconds(float, LONG*) override { return E_NOTIMPL; }
    // True once the last frame has been read, as the library's memory reader.
    HRESULT get_EOF(VARIANT_BOOL* result) override;
    HRESULT Read(LONG NumSamplesToRead, IWav** result) override;
    HRESULT get_AbsolutePosition(LONG* result) override;
    HRESULT Skip(LONG NumSamplesToSkip) override;
    HRESULT ReadInto(LONG NumSamplesToRead, AudioSample* Values, LONG* NumSamplesRead) override;

    const std::shared_ptr<LoopFeed>& Feed() const { return feed_; }

  private:
    std::shared_ptr<LoopFeed> feed_;
    LONG position_ = 0;
    // The rendering read last, and the feed's generation it was taken at.
    std::shared_ptr<const LoopFeed::Rendering> rendering_;
    std::uint64_t generation_ = 0;
};
