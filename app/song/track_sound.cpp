#include "song/track_sound.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "song/mix_reader.h"
#include "support/app_error.h"
#include "support/integers.h"
#include "support/wav_values.h"

SoundFrames SoundFramesOf(IWav* wav) {
    SoundFrames frames;
    frames.values = ReadWavValues(wav);
    Check(wav->get_NumSamples(&frames.frames));
    Check(wav->get_NumChannels(&frames.channels));
    return frames;
}

SoundFrames InLoopShape(const SoundFrames& src, SHORT channels) {
    if (src.channels == channels) return src;
    SoundFrames out;
    out.frames = src.frames;
    out.channels = channels;
    out.values.assign(std::size_t(std::max<LONG>(src.frames, 0)) * std::size_t(channels), 0);
    const std::size_t size = src.values.size();
    for (std::size_t f = 0; f < std::size_t(std::max<LONG>(src.frames, 0)); ++f)
        for (SHORT j = 0; j < channels; ++j) {
            const std::size_t k = f * std::size_t(src.channels) + std::size_t(j);
            out.values[f * std::size_t(channels) + std::size_t(j)] = k < size ? src.values[k] : 0;
        }
    return out;
}

SoundFrames ShapeFrames(const SoundFrames& src, const TrackSound& sound) {
    const std::size_t ch = std::size_t(std::max<SHORT>(src.channels, 1));
    const std::size_t frames =
        std::min(std::size_t(std::max<LONG>(src.frames, 0)), src.values.size() / ch);
    const std::size_t start = std::min<std::size_t>(sound.start, frames);
    const std::size_t end =
        sound.end == 0 ? frames : std::clamp<std::size_t>(sound.end, start, frames);
    SoundFrames out;
    out.channels = SHORT(ch);
    out.values.assign(src.values.begin() + std::ptrdiff_t(start * ch),
                      src.values.begin() + std::ptrdiff_t(end * ch));
    if (sound.reverse)
        for (std::size_t a = 0, b = end - start; a + 1 < b; ++a, --b)
            std::swap_ranges(out.values.begin() + std::ptrdiff_t(a * ch),
                             out.values.begin() + std::ptrdiff_t((a + 1) * ch),
                             out.values.begin() + std::ptrdiff_t((b - 1) * ch));
    out.frames = LONG(end - start);
    if (sound.pitch == 0 || out.frames == 0) return out;

    // Played ratio times as fast: read at ratio, written at 1.
    const double ratio = std::exp2(sound.pitch / 1200.0);
    const std::size_t length = std::size_t(std::ceil(double(out.frames) / ratio));
    std::vector<AudioSample> pitched(length * ch);
    // Without dither: the same song renders the same every time.
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t done = 0;
    if (soxr_error_t error =
            soxr_oneshot(ratio, 1.0, unsigned(ch), out.values.data(), std::size_t(out.frames),
                         nullptr, pitched.data(), length, &done, &io, &quality, nullptr))
        ThrowError(kErrInvalidArgument, std::string("The sample could not be pitched: ") + error);
    pitched.resize(done * ch);
    out.values = std::move(pitched);
    out.frames = LONG(done);
    return out;
}

namespace {
// What the frames kept with a sample were made from, and the frames: shaped
// (trim, reverse, pitch), and those levelled (pan, volume, master) too.
struct Shaped {
    IWav* wav = nullptr;
    ComPtr<IWav> hold;  // keeps wav from being another sample's address
    TrackSound sound;
    SHORT channels = 0;
    std::shared_ptr<const SoundFrames> frames;
    int volume = -1, master = 0;
    std::shared_ptr<const SoundFrames> levelled;
};

bool SameShape(const TrackSound& a, const TrackSound& b) {
    return a.pitch == b.pitch && a.start == b.start && a.end == b.end && a.reverse == b.reverse;
}

std::shared_ptr<const Shaped> KeptFor(const Sample& sample, SHORT channels) {
    auto kept = std::static_pointer_cast<const Shaped>(sample.ShapedCache());
    if (kept && kept->wav == sample.Wav().get() && SameShape(kept->sound, sample.Sound()) &&
        kept->channels == channels)
        return kept;
    return nullptr;
}
}  // namespace

std::shared_ptr<const SoundFrames> ShapedFramesOf(const Sample& sample, SHORT channels) {
    if (!sample.Wav()) return nullptr;
    if (auto kept = KeptFor(sample, channels)) return kept->frames;
    const SoundFrames raw = SoundFramesOf(sample.Wav().get());
    auto made = std::make_shared<Shaped>();
    made->wav = sample.Wav().get();
    made->hold = sample.Wav();
    made->sound = sample.Sound();
    made->channels = channels;
    made->frames = std::make_shared<const SoundFrames>(
        ShapeFrames(InLoopShape(raw, channels), sample.Sound()));
    sample.SetShapedCache(made);
    return made->frames;
}

std::shared_ptr<const SoundFrames> LevelledFramesOf(const Sample& sample, SHORT channels,
                                                    int volume, int master) {
    if (!sample.Wav()) return nullptr;
    const std::shared_ptr<const SoundFrames> shaped =
        sample.Sound().ShapesFrames() ? ShapedFramesOf(sample, channels) : nullptr;
    auto kept = KeptFor(sample, channels);
    if (kept && kept->levelled && kept->sound.pan == sample.Sound().pan && kept->volume == volume &&
        kept->master == master)
        return kept->levelled;
    SoundFrames frames;
    if (shaped) {
        frames = *shaped;
    } else {
        frames = InLoopShape(SoundFramesOf(sample.Wav().get()), channels);
    }
    std::vector<double> gains;
    for (SHORT c = 0; c < channels; ++c)
        gains.push_back(PanGain(sample.Sound().pan, c, channels) * MasterGain(master));
    ScaleFrames(frames, volume, gains);
    // Kept beside the shaped frames (made above when the shape needs them).
    auto made = std::make_shared<Shaped>(kept ? *kept : Shaped{});
    if (!kept) {
        made->wav = sample.Wav().get();
        made->hold = sample.Wav();
        made->channels = channels;
        made->frames = shaped;
    }
    made->sound = sample.Sound();
    made->volume = volume;
    made->master = master;
    made->levelled = std::make_shared<const SoundFrames>(std::move(frames));
    sample.SetShapedCache(made);
    return made->levelled;
}

double PanGain(int pan, SHORT channel, SHORT channels) {
    if (channels != 2 || pan == 0) return 1.0;
    // Leaning right attenuates the left channel, and the other way.
    if ((pan > 0 && channel == 0) || (pan < 0 && channel == 1))
        return (100.0 - std::abs(pan)) / 100.0;
    return 1.0;
}

double MasterGain(int level) {
    return level == 0 ? 1.0 : std::pow(10.0, level / 2000.0);
}

void ScaleFrames(SoundFrames& frames, int volume, const std::vector<double>& gains) {
    bool unity = volume == 100;
    for (double g : gains) unity = unity && g == 1.0;
    if (unity) return;
    const std::size_t ch = std::size_t(std::max<SHORT>(frames.channels, 1));
    for (std::size_t k = 0; k < frames.values.size(); ++k) {
        const double g = k % ch < gains.size() ? gains[k % ch] : 1.0;
        AudioSample& v = frames.values[k];
        // Halves to the even neighbour, as nearbyint does in the default
        // rounding mode, without a library call: the values are small.
        const double x = double(v) * volume / 100.0 * g;
        const double r = (x + 6755399441055744.0) - 6755399441055744.0;
        v = AudioSample(std::clamp(r, -32768.0, 32767.0));
    }
}

SoundFrames ChokedFrames(const SoundFrames& src, LONG cut, LONG fade) {
    if (cut < 0 || cut >= src.frames) return src;
    const LONG length = std::min(src.frames, cut + std::max<LONG>(fade, 0));
    const std::size_t ch = std::size_t(std::max<SHORT>(src.channels, 1));
    SoundFrames out;
    out.channels = src.channels;
    out.frames = length;
    out.values.assign(
        src.values.begin(),
        src.values.begin() + std::ptrdiff_t(std::min(src.values.size(), std::size_t(length) * ch)));
    for (LONG k = 0; cut + k < length; ++k)
        for (std::size_t j = 0; j < ch; ++j) {
            const std::size_t at = std::size_t(cut + k) * ch + j;
            if (at < out.values.size())
                out.values[at] = AudioSample(
                    std::lround(double(out.values[at]) * double(fade - k) / double(fade)));
        }
    return out;
}
