#include "song/loop_renderer.h"

#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "song/mix_reader.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/integers.h"
#include "support/wav_values.h"

namespace {

[[noreturn]] void ThrowZeroTempo() {
    ThrowError(kErrDivisionByZero, "The tempo is 0 beats per minute: a loop cannot be rendered");
}

struct Shape {
    LONG frames;
    SHORT channels;
};

Shape ShapeOf(IWav* wav) {
    Shape s{0, 0};
    Check(wav->get_NumSamples(&s.frames));
    Check(wav->get_NumChannels(&s.channels));
    return s;
}

// A source as the renderer reads it: value (channel j, frame i) at flat
// index i * its channels + j, 0 beyond its data, as the library's Sample does.
struct Source {
    std::vector<AudioSample> values;
    LONG frames = 0;
    SHORT channels = 1;
};

Source SourceOf(IWav* wav) {
    Source s;
    Shape shape = ShapeOf(wav);
    s.frames = shape.frames;
    s.channels = shape.channels;
    s.values = ReadWavValues(wav);
    return s;
}

// The sum of two values clipped to 16 bits (a saturating add).
inline AudioSample AddClipped(AudioSample a, AudioSample b) {
    return ClampSample(LONG{a} + LONG{b});
}

// dst[k] = dst[k] + from[k] clipped, for n values; eight at a time where
// the processor has saturating adds.
void AddRunClipped(AudioSample* dst, const AudioSample* from, std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    for (; k + 8 <= n; k += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + k));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), _mm_adds_epi16(a, b));
    }
#endif
    for (; k < n; ++k) dst[k] = AddClipped(dst[k], from[k]);
}

// Adds src at offset into the loop buffer out of frames x channels values,
// in the order of the per-value algorithm, so clipping comes out the same.
void AddInto(std::vector<AudioSample>& out, LONG frames, SHORT channels, LONG offset,
             const Source& src) {
    if (src.frames <= 0 || channels <= 0) return;
    if (frames <= 0) ThrowError(kErrDivisionByZero, "The loop buffer holds no frames");
    const std::size_t count = src.values.size();
    const std::size_t perFrame = std::size_t(channels);
    LONG p = offset % frames;
    if (src.channels == channels && count >= std::size_t(src.frames) * perFrame) {
        // Same shape: whole runs up to the loop's end, value for value.
        for (LONG i = 0; i < src.frames;) {
            const LONG run = std::min(src.frames - i, frames - p);
            AudioSample* dst = &out[std::size_t(p) * perFrame];
            const AudioSample* from = &src.values[std::size_t(i) * perFrame];
            const std::size_t n = std::size_t(run) * perFrame;
            AddRunClipped(dst, from, n);
            i += run;
            p += run;
            if (p == frames) p = 0;
        }
        return;
    }
    // Other shapes go through the flat index, as the library's Sample does.
    for (LONG i = 0; i < src.frames; ++i) {
        AudioSample* dst = &out[std::size_t(p) * perFrame];
        const std::size_t base = std::size_t(i) * std::size_t(src.channels);
        for (SHORT j = 0; j < channels; ++j) {
            std::size_t k = base + std::size_t(j);
            dst[j] = AddClipped(dst[j], k < count ? src.values[k] : 0);
        }
        if (++p == frames) p = 0;
    }
}

}  // namespace

bool LoopGrid::TickOn(int row, int tick) const {
    if (row < 0 || static_cast<std::size_t>(row) >= loop_.Tracks().size()) return false;
    const LoopTrack& t = *loop_.Tracks()[static_cast<std::size_t>(row)];
    return tick >= 0 && tick < t.NumTicks() && t.Value(static_cast<std::uint8_t>(tick));
}

LONG LoopRenderer::LoopFrames(std::int64_t bpm, LONG ticksPerLoop) {
    if (bpm == 0) ThrowZeroTempo();
    // 60 / bpm * ticks / 4 in double precision, kept as a single.
    const float seconds =
        static_cast<float>(60.0 / (static_cast<double>(bpm) / 10000.0) * ticksPerLoop / 4.0);
    return RoundToLong(static_cast<double>(seconds) * 44100.0,
                       "The loop is too long to render at this tempo");
}

LONG LoopRenderer::StepFrames(std::int64_t bpm, LONG sampleRate) {
    // bpm * 4 exactly in currency, then 60 / it, kept as a single.
    std::int64_t times4 = 0;
    if (__builtin_mul_overflow(bpm, 4, &times4))
        ThrowOverflow("The tempo is too large for its ticks to be rendered");
    if (times4 == 0) ThrowZeroTempo();
    const float step = static_cast<float>(60.0 / (static_cast<double>(times4) / 10000.0));
    return RoundToLong(static_cast<double>(step) * sampleRate,
                       "The ticks are too far apart to render at this tempo");
}

void LoopRenderer::PrepareLoopWav(const Song& song) {
    const LONG frames = LoopFrames(song.Bpm(), TicksPerLoop);
    if (TicksPerLoop == 0) ThrowError(kErrDivisionByZero, "A loop of 0 ticks cannot be rendered");
    TickLength =
        RoundToLong(static_cast<double>(frames) / TicksPerLoop, "The ticks are too long to render");
    ComPtr<IWav> wav;
    Check(AudioLibrary()->MakeWav(frames, 2, 44100, 2, wav.Out()));
    LoopWav = std::move(wav);
}

void LoopRenderer::ClearLoopWav() {
    const Shape shape = ShapeOf(LoopWav.get());
    WriteWavValues(LoopWav.get(),
                   std::vector<AudioSample>(std::size_t(shape.frames) * shape.channels, 0));
}

void LoopRenderer::MixWavInto(IWav* target, LONG offset, IWav* source) {
    const Shape shape = ShapeOf(target);
    const LONG loopFrames = ShapeOf(LoopWav.get()).frames;
    std::vector<AudioSample> values = ReadWavValues(target);
    AddInto(values, loopFrames, shape.channels, offset, SourceOf(source));
    WriteWavValues(target, values);
}

void LoopRenderer::RenderSelectedLoop(Song& song, const TickGrid& grid) {
    if (!LoopWav) ThrowError(kErrObjectNotSet, "No loop buffer has been prepared to render into");
    LONG rate = 0;
    Check(LoopWav->get_SampleRate(&rate));
    const Shape shape = ShapeOf(LoopWav.get());
    Mix(song, grid, shape.frames, shape.channels, rate);
    WriteWavValues(LoopWav.get(), mix_);
    song.Sequence(SelectedLoopIndex)->SetWav(LoopWav);
}

std::vector<AudioSample> LoopRenderer::RenderLoopValues(Song& song, const TickGrid& grid) {
    if (TicksPerLoop == 0) ThrowError(kErrDivisionByZero, "A loop of 0 ticks cannot be rendered");
    Mix(song, grid, LoopFrames(song.Bpm(), TicksPerLoop), 2, 44100);
    return std::move(mix_);
}

void LoopRenderer::Mix(Song& song, const TickGrid& grid, LONG frames, SHORT channels, LONG rate) {
    const LONG step = StepFrames(song.Bpm(), rate);
    const Shape shape{frames, channels};

    // Swing delays every second tick by a share of the step.
    const LONG swing = song.Swing() == 0 ? 0
                                         : RoundToLong(double(step) * song.Swing() / 10000.0,
                                                       "The swing is too long to render");
    // A soloed track silences those that are not; a muted one is silent.
    bool anySolo = false;
    for (LONG j = 0; j < NumTracks; ++j)
        if (std::size_t(j) < song.SampleSlots().size() && song.SampleSlots()[std::size_t(j)])
            anySolo = anySolo || song.SampleSlots()[std::size_t(j)]->Mix().solo;

    // Each track's sample is fetched once, for the tracks that play at all.
    std::vector<Source> sources(static_cast<std::size_t>(std::max<LONG>(NumTracks, 0)));
    std::vector<bool> plays(sources.size(), false);
    for (LONG j = 0; j < NumTracks; ++j) {
        bool any = false;
        for (LONG i = 0; i < TicksPerLoop && !any; ++i) any = grid.TickOn(j, i);
        if (!any) continue;
        const std::shared_ptr<Sample> sample = song.SampleAt(j);
        const TrackMix mix = sample->Mix();
        if (!sample->Wav() || mix.mute || (anySolo && !mix.solo)) continue;
        Source& source = sources[std::size_t(j)];
        source = SourceOf(sample->Wav().get());
        // The volume scales the sample's values before they are added.
        if (mix.volume != 100)
            for (AudioSample& v : source.values)
                v = ClampSample(RoundToLong(double(v) * mix.volume / 100.0, "A value"));
        plays[std::size_t(j)] = true;
    }
    // Ticks ascending, tracks ascending within a tick: clipping depends on it.
    // The mix is kept between renderings: a fresh buffer of this size would
    // cost a page fault per 4 KB on every tick click.
    mix_.assign(std::size_t(shape.frames) * std::size_t(shape.channels), 0);
    for (LONG i = 0; i < TicksPerLoop; ++i)
        for (LONG j = 0; j < NumTracks; ++j)
            if (plays[std::size_t(j)] && grid.TickOn(j, i))
                AddInto(mix_, shape.frames, shape.channels, i * step + (i % 2 ? swing : 0),
                        sources[std::size_t(j)]);
}
