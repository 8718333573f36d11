#include "song/loop_renderer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "song/humanize.h"
#include "song/mix_reader.h"
#include "song/track_sound.h"
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
using Source = SoundFrames;

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

// Adds src, starting at loop frame offset and wrapping at the loop's end
// (frames long), into the loop's frames [first, first + count), which out
// holds (count x channels values). Each value gets its additions in the
// order of the per-value algorithm (the source's frames ascending), so
// clipping comes out the same whatever range is rendered.
void AddRangeInto(AudioSample* out, LONG first, LONG count, LONG frames, SHORT channels,
                  LONG offset, const Source& src) {
    if (src.frames <= 0 || channels <= 0 || count <= 0) return;
    if (frames <= 0) ThrowError(kErrDivisionByZero, "The loop buffer holds no frames");
    const std::size_t perFrame = std::size_t(channels);
    const std::size_t size = src.values.size();
    const bool sameShape = src.channels == channels && size >= std::size_t(src.frames) * perFrame;
    // Source frame f plays at unwrapped position o + f; the range recurs at
    // first + m * frames for every pass m the source reaches into.
    const std::int64_t o = offset % frames, end = o + src.frames;
    for (std::int64_t pass = first; pass < end; pass += frames) {
        const std::int64_t a = std::max(pass, o), b = std::min(pass + count, end);
        if (a >= b) continue;
        AudioSample* dst = out + std::size_t(a - pass) * perFrame;
        if (sameShape) {
            AddRunClipped(dst, &src.values[std::size_t(a - o) * perFrame],
                          std::size_t(b - a) * perFrame);
            continue;
        }
        // Other shapes go through the flat index, as the library's Sample does.
        for (std::int64_t f = a - o; f < b - o; ++f, dst += perFrame) {
            const std::size_t base = std::size_t(f) * std::size_t(src.channels);
            for (SHORT j = 0; j < channels; ++j) {
                const std::size_t k = base + std::size_t(j);
                dst[j] = AddClipped(dst[j], k < size ? src.values[k] : 0);
            }
        }
    }
}

}  // namespace

bool LoopGrid::TickOn(int row, int tick) const {
    if (row < 0 || static_cast<std::size_t>(row) >= loop_.Tracks().size()) return false;
    const LoopTrack& t = *loop_.Tracks()[static_cast<std::size_t>(row)];
    return tick >= 0 && tick < t.NumTicks() && t.Value(static_cast<std::uint8_t>(tick));
}

int LoopGrid::Velocity(int row, int tick) const {
    if (row < 0 || static_cast<std::size_t>(row) >= loop_.Tracks().size()) return 127;
    const LoopTrack& t = *loop_.Tracks()[static_cast<std::size_t>(row)];
    return tick >= 0 && tick < t.NumTicks() ? t.Velocity(static_cast<std::uint8_t>(tick)) : 127;
}

LONG LoopRenderer::LoopFrames(std::int64_t bpm, LONG ticksPerLoop, LONG ticksPerBeat) {
    if (bpm == 0) ThrowZeroTempo();
    if (ticksPerBeat <= 0) ThrowError(kErrDivisionByZero, "A beat of no ticks cannot be rendered");
    // 60 / bpm * ticks / ticks per beat in double precision, kept as a single.
    const float seconds = static_cast<float>(60.0 / (static_cast<double>(bpm) / 10000.0) *
                                             ticksPerLoop / double(ticksPerBeat));
    return RoundToLong(static_cast<double>(seconds) * 44100.0,
                       "The loop is too long to render at this tempo");
}

LONG LoopRenderer::StepFrames(std::int64_t bpm, LONG sampleRate, LONG ticksPerBeat) {
    // bpm * ticks per beat exactly in currency, then 60 / it, kept as a single.
    std::int64_t times4 = 0;
    if (__builtin_mul_overflow(bpm, std::int64_t(ticksPerBeat), &times4))
        ThrowOverflow("The tempo is too large for its ticks to be rendered");
    if (times4 == 0) ThrowZeroTempo();
    const float step = static_cast<float>(60.0 / (static_cast<double>(times4) / 10000.0));
    return RoundToLong(static_cast<double>(step) * sampleRate,
                       "The ticks are too far apart to render at this tempo");
}

void LoopRenderer::PrepareLoopWav(const Song& song) {
    const LONG frames = LoopFrames(song.Bpm(), TicksPerLoop, TicksPerBeat);
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
    AddRangeInto(values.data(), 0, std::min(shape.frames, loopFrames), loopFrames, shape.channels,
                 offset, SoundFramesOf(source));
    WriteWavValues(target, values);
}

void LoopRenderer::RenderSelectedLoop(Song& song, const TickGrid& grid) {
    if (!LoopWav) ThrowError(kErrObjectNotSet, "No loop buffer has been prepared to render into");
    LONG rate = 0;
    Check(LoopWav->get_SampleRate(&rate));
    const Shape shape = ShapeOf(LoopWav.get());
    // Rendered a stretch at a time straight into the buffer, which is all
    // the memory a rendering holds beyond the samples.
    Mix(song, grid, shape.frames, shape.channels, rate,
        [&](LONG first, LONG count, const AudioSample* values) {
            WriteWavValues(LoopWav.get(), first * shape.channels, values, count * shape.channels);
        });
    song.Sequence(SelectedLoopIndex)->SetWav(LoopWav);
}

std::vector<AudioSample> LoopRenderer::RenderLoopValues(Song& song, const TickGrid& grid) {
    if (TicksPerLoop == 0) ThrowError(kErrDivisionByZero, "A loop of 0 ticks cannot be rendered");
    const LONG frames = LoopFrames(song.Bpm(), TicksPerLoop, TicksPerBeat);
    std::vector<AudioSample> out(std::size_t(frames) * 2);
    Mix(song, grid, frames, 2, 44100, [&](LONG first, LONG count, const AudioSample* values) {
        std::copy(values, values + std::size_t(count) * 2, out.begin() + std::ptrdiff_t(first) * 2);
    });
    return out;
}

void LoopRenderer::Mix(Song& song, const TickGrid& grid, LONG frames, SHORT channels, LONG rate,
                       const ChunkSink& sink) {
    const LONG step = StepFrames(song.Bpm(), rate, TicksPerBeat);
    Peak = 0;
    Clipped = 0;

    // Swing delays every second tick by a share of the step.
    const LONG swing = song.Swing() == 0 ? 0
                                         : RoundToLong(double(step) * song.Swing() / 10000.0,
                                                       "The swing is too long to render");
    // A soloed track silences those that are not; a muted one is silent.
    bool anySolo = false;
    for (LONG j = 0; j < NumTracks; ++j)
        if (std::size_t(j) < song.SampleSlots().size() && song.SampleSlots()[std::size_t(j)])
            anySolo = anySolo || song.SampleSlots()[std::size_t(j)]->Mix().solo;
    const double master = MasterGain(song.MasterLevel());

    // Each track's sample is fetched once, for the tracks that play at all,
    // and shaped, panned and levelled as its settings say.
    const std::size_t numTracks = static_cast<std::size_t>(std::max<LONG>(NumTracks, 0));
    std::vector<std::shared_ptr<const Source>> sources(numTracks);
    std::vector<int> chokeGroup(numTracks, 0);
    for (LONG j = 0; j < NumTracks; ++j) {
        bool any = false;
        for (LONG i = 0; i < TicksPerLoop && !any; ++i) any = grid.TickOn(j, i);
        if (!any) continue;
        const std::shared_ptr<Sample> sample = song.SampleAt(j);
        const TrackMix mix = sample->Mix();
        if (!sample->Wav() || mix.mute || (anySolo && !mix.solo)) continue;
        const TrackSound& sound = sample->Sound();
        if (sound.IsDefault() && master == 1.0) {
            // The volume scales the sample's values before they are added.
            auto source = std::make_shared<Source>(SoundFramesOf(sample->Wav().get()));
            ScaleFrames(*source, mix.volume, {});
            sources[std::size_t(j)] = std::move(source);
        } else {
            // Shaped, panned and levelled once, and kept with the sample.
            sources[std::size_t(j)] =
                LevelledFramesOf(*sample, channels, mix.volume, song.MasterLevel());
        }
        chokeGroup[std::size_t(j)] = sound.choke;
    }
    // Ticks ascending, tracks ascending within a tick: clipping depends on it.
    struct Hit {
        LONG offset;
        std::size_t track;
        int velocity;
        const Source* source;
    };
    const Humanize human = song.GetHumanize();
    const LONG timing = RoundToLong(double(human.timing) * rate / 1000.0, "The humanize");
    std::vector<Hit> hits;
    for (LONG i = 0; i < TicksPerLoop; ++i)
        for (LONG j = 0; j < NumTracks; ++j) {
            if (!sources[std::size_t(j)] || !grid.TickOn(j, i)) continue;
            int velocity = std::clamp(grid.Velocity(j, i), 1, 127);
            LONG offset = i * step + (i % 2 ? swing : 0);
            if (!human.IsOff()) {
                // Each hit's own draw: the song's seed, the loop, the
                // track and the tick.
                const std::uint64_t key =
                    HumanizeKey(human.seed, SelectedLoopIndex, int(j), int(i));
                if (timing > 0)
                    offset += RoundToLong(HumanizeTimingShare(key) * timing, "The humanize");
                velocity = HumanizedVelocity(velocity, human, key);
                if (frames > 0) offset = ((offset % frames) + frames) % frames;
            }
            hits.push_back({offset, std::size_t(j), velocity, sources[std::size_t(j)].get()});
        }
    // A hit below full velocity adds its track's sample scaled, made once
    // per track and velocity.
    std::map<std::pair<std::size_t, int>, Source> scaled;
    for (Hit& h : hits) {
        if (h.velocity == 127) continue;
        auto [at, made] = scaled.try_emplace({h.track, h.velocity}, *h.source);
        if (made)
            for (AudioSample& v : at->second.values)
                v = ClampSample(RoundToLong(double(v) * h.velocity / 127.0, "A value"));
        h.source = &at->second;
    }
    // A hit of a choke group ends at the next hit of another track of its
    // group (in this pass or, wrapping, the next), fading out over 5 ms.
    std::map<std::tuple<std::size_t, int, LONG>, Source> choked;
    const LONG fade = ChokeFadeFrames(rate);
    for (Hit& h : hits) {
        const int group = chokeGroup[h.track];
        if (group == 0 || frames <= 0) continue;
        LONG cut = -1;
        for (const Hit& other : hits) {
            if (other.track == h.track || chokeGroup[other.track] != group) continue;
            LONG d = ((other.offset - h.offset) % frames + frames) % frames;
            if (d == 0) d = frames;  // at the same time: the next pass's hit
            if (cut < 0 || d < cut) cut = d;
        }
        if (cut < 0 || cut >= h.source->frames) continue;
        auto [at, made] = choked.try_emplace({h.track, h.velocity, cut});
        if (made) at->second = ChokedFrames(*h.source, cut, fade);
        h.source = &at->second;
    }
    // The stretch buffer is kept between renderings: a fresh one would cost
    // page faults on every tick click.
    const std::size_t perFrame = std::size_t(std::max<SHORT>(channels, 0));
    chunk_.resize(std::size_t(kChunkFrames) * perFrame);
    for (LONG first = 0; first < frames; first += kChunkFrames) {
        const LONG count = std::min(kChunkFrames, frames - first);
        const std::size_t n = std::size_t(count) * perFrame;
        std::fill_n(chunk_.begin(), n, AudioSample{0});
        for (const Hit& h : hits)
            if (OnlyTrack < 0 || h.track == std::size_t(OnlyTrack))
                AddRangeInto(chunk_.data(), first, count, frames, channels, h.offset, *h.source);
        // Full scale counts as clipped: a sum that reached it may have been cut.
        for (std::size_t k = 0; k < n; ++k) {
            const LONG v = chunk_[k];
            const LONG magnitude = v < 0 ? -v : v;
            if (magnitude > Peak) Peak = magnitude;
            if (v >= 32767 || v <= -32768) ++Clipped;
        }
        sink(first, count, chunk_.data());
    }
}
