#include "drum_kit.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

// Deterministic white noise in [-1, 1].
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : state_(seed) {}
    double Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ / 2147483648.0 - 1.0;
    }

  private:
    std::uint32_t state_;
};

// A two-pole filter (the cookbook biquads), for band and high passes.
class Biquad {
  public:
    static Biquad BandPass(double freq, double q) {
        double w = 2 * kPi * freq / kRate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
        return Biquad(alpha / a0, 0, -alpha / a0, -2 * std::cos(w) / a0, (1 - alpha) / a0);
    }
    static Biquad HighPass(double freq, double q) {
        double w = 2 * kPi * freq / kRate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
        double a0 = 1 + alpha;
        return Biquad((1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0,
                      (1 - alpha) / a0);
    }
    static Biquad LowPass(double freq, double q) {
        double w = 2 * kPi * freq / kRate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
        double a0 = 1 + alpha;
        return Biquad((1 - c) / 2 / a0, (1 - c) / a0, (1 - c) / 2 / a0, -2 * c / a0,
                      (1 - alpha) / a0);
    }
    double operator()(double x) {
        double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

  private:
    Biquad(double b0, double b1, double b2, double a1, double a2)
        : b0_(b0), b1_(b1), b2_(b2), a1_(a1), a2_(a2) {}
    double b0_, b1_, b2_, a1_, a2_;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

double Decay(double t, double seconds) {
    return std::exp(-t / seconds);
}

// A short fade-in so no voice starts with a click of its own.
double Attack(double t) {
    return std::min(1.0, t / 0.0008);
}

// Mono voice to 16-bit stereo at a peak level, with a little width from a
// delay on one side, ending in a short fade-out.
DrumVoice Finish(const char16_t* caption, std::vector<double> mono, double peak, int widthFrames) {
    double top = 1e-9;
    for (double v : mono) top = std::max(top, std::fabs(v));
    const std::size_t n = mono.size();
    const std::size_t fade = std::min<std::size_t>(n, 441);
    DrumVoice voice{caption, std::vector<std::int16_t>(2 * n)};
    for (std::size_t i = 0; i < n; ++i) {
        double gain = peak / top * (i + fade >= n ? double(n - i) / fade : 1.0);
        double left = mono[i] * gain;
        double right = (i >= std::size_t(widthFrames) ? mono[i - widthFrames] : 0.0) * gain;
        voice.frames[2 * i] = static_cast<std::int16_t>(std::lround(left * 32767));
        voice.frames[2 * i + 1] = static_cast<std::int16_t>(std::lround(right * 32767));
    }
    return voice;
}

std::vector<double> Buffer(double seconds) {
    return std::vector<double>(static_cast<std::size_t>(seconds * kRate));
}

DrumVoice Kick() {
    auto out = Buffer(0.55);
    Noise noise(1);
    Biquad click = Biquad::LowPass(3500, 0.7);
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate;
        double freq = 48 + 110 * std::exp(-t / 0.035);  // the pitch falls fast, then sits
        phase += 2 * kPi * freq / kRate;
        double body = std::sin(phase) * Decay(t, 0.22);
        double beater = click(noise.Next()) * Decay(t, 0.004) * 0.6;
        out[i] = std::tanh(1.6 * (body + beater)) * Attack(t);
    }
    return Finish(u"Kick", out, 0.52, 0);
}

DrumVoice Snare() {
    auto out = Buffer(0.35);
    Noise noise(2);
    Biquad hp = Biquad::HighPass(1200, 0.7), bp = Biquad::BandPass(5000, 0.8);
    double p1 = 0, p2 = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate;
        p1 += 2 * kPi * (185 + 30 * std::exp(-t / 0.01)) / kRate;
        p2 += 2 * kPi * 330 / kRate;
        double tone = (0.7 * std::sin(p1) + 0.35 * std::sin(p2)) * Decay(t, 0.07);
        double n = noise.Next();
        double rattle = (0.8 * hp(n) + 0.5 * bp(n)) * Decay(t, 0.13);
        out[i] = (tone + rattle) * Attack(t);
    }
    return Finish(u"Snare", out, 0.38, 6);
}

// Six detuned square waves, as analogue hats are made, through a high pass.
std::vector<double> Metal(double seconds, double decay, std::uint32_t seed, double cutoff) {
    static const double kRatios[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    auto out = Buffer(seconds);
    Noise noise(seed);
    Biquad hp1 = Biquad::HighPass(cutoff, 0.7), hp2 = Biquad::HighPass(cutoff, 0.7);
    Biquad bp = Biquad::BandPass(10000, 0.6);
    double phase[6] = {};
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate, sum = 0;
        for (int k = 0; k < 6; ++k) {
            phase[k] += kRatios[k] * 1.7 / kRate;
            sum += (phase[k] - std::floor(phase[k]) < 0.5) ? 1.0 : -1.0;
        }
        double x = sum / 6 + 0.25 * noise.Next();
        out[i] = (0.7 * hp2(hp1(x)) + 0.3 * bp(x)) * Decay(t, decay) * Attack(t);
    }
    return out;
}

DrumVoice ClosedHat() {
    return Finish(u"Closed Hat", Metal(0.12, 0.028, 3, 7000), 0.2, 9);
}
DrumVoice OpenHat() {
    return Finish(u"Open Hat", Metal(0.6, 0.18, 4, 6500), 0.2, 9);
}

DrumVoice Clap() {
    auto out = Buffer(0.4);
    Noise noise(5);
    Biquad bp = Biquad::BandPass(1300, 1.2), hp = Biquad::HighPass(700, 0.7);
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate;
        // Three quick hands, then the room.
        double env = 0;
        for (int k = 0; k < 3; ++k) {
            double tk = t - 0.011 * k;
            if (tk >= 0) env = std::max(env, Decay(tk, 0.006));
        }
        if (t >= 0.022) env = std::max(env, 0.8 * Decay(t - 0.022, 0.11));
        out[i] = hp(bp(noise.Next())) * env * Attack(t);
    }
    return Finish(u"Clap", out, 0.35, 14);
}

std::vector<double> Tom(double high, double low, double decay, std::uint32_t seed) {
    auto out = Buffer(decay * 5);
    Noise noise(seed);
    Biquad lp = Biquad::LowPass(2500, 0.7);
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate;
        double freq = low + (high - low) * std::exp(-t / 0.08);
        phase += 2 * kPi * freq / kRate;
        double skin = std::sin(phase) + 0.15 * std::sin(2.7 * phase);
        out[i] = (skin * Decay(t, decay) + 0.2 * lp(noise.Next()) * Decay(t, 0.02)) * Attack(t);
    }
    return out;
}

DrumVoice LowTom() {
    return Finish(u"Low Tom", Tom(125, 92, 0.16, 6), 0.4, 4);
}
DrumVoice HighTom() {
    return Finish(u"High Tom", Tom(210, 160, 0.12, 7), 0.42, 4);
}

DrumVoice RimShot() {
    auto out = Buffer(0.09);
    Noise noise(8);
    Biquad bp = Biquad::BandPass(2500, 2.0);
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate;
        double knock = std::sin(2 * kPi * 1720 * t) * 0.6 + std::sin(2 * kPi * 455 * t) * 0.5;
        out[i] = (knock * Decay(t, 0.012) + bp(noise.Next()) * Decay(t, 0.005)) * Attack(t);
    }
    return Finish(u"Rim Shot", out, 0.32, 3);
}

DrumVoice Cowbell() {
    auto out = Buffer(0.4);
    Biquad bp = Biquad::BandPass(800, 1.5);
    double a = 0, b = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        double t = i / kRate;
        a += 540 / kRate;
        b += 800 / kRate;
        double sq = ((a - std::floor(a)) < 0.5 ? 1 : -1) + ((b - std::floor(b)) < 0.5 ? 1 : -1);
        double env = 0.6 * Decay(t, 0.015) + 0.4 * Decay(t, 0.12);
        out[i] = bp(sq) * env * Attack(t);
    }
    return Finish(u"Cowbell", out, 0.2, 7);
}

DrumVoice Crash() {
    auto metal = Metal(1.8, 0.55, 9, 4000);
    Noise noise(10);
    Biquad hp = Biquad::HighPass(3000, 0.7);
    for (std::size_t i = 0; i < metal.size(); ++i) {
        double t = i / kRate;
        metal[i] += 0.6 * hp(noise.Next()) * Decay(t, 0.7) * Attack(t);
    }
    return Finish(u"Crash", metal, 0.2, 17);
}

}  // namespace

std::vector<DrumVoice> SynthesiseDrumKit() {
    return {Kick(),   Snare(),   ClosedHat(), OpenHat(), Clap(),
            LowTom(), HighTom(), RimShot(),   Cowbell(), Crash()};
}
