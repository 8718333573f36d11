// Checks a recording of what a sound server played against the loops that
// were played: from the first sound on, the recording must be whole passes
// of the first loop, then whole passes of the next, and so on (the last
// pass may be cut off where the recording ends), frame for frame, with
// nothing inserted and nothing dropped.
//
// usage: stream_check [--min-seconds S] [--min-switches N] RECORDING.raw LOOP...
//        stream_check --restarts N --min-segment S RECORDING.raw LOOP
//   RECORDING.raw is 16-bit little-endian stereo at 44100 Hz; each LOOP a
//   16-bit stereo WAV file at that rate, or raw frames like the recording
//   (a whole expected stream, as one long pass).
//
// With --restarts, the recording is playback started N times and stopped
// in between: every start must be the loop from its first frame, pass
// after pass, for at least S seconds, and end only in silence that lasts
// until the next start.
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Frame = std::uint32_t;  // one stereo frame of two 16-bit values
constexpr double kRate = 44100;

std::vector<Frame> ReadRaw(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Frame> frames(bytes.size() / sizeof(Frame));
    std::memcpy(frames.data(), bytes.data(), frames.size() * sizeof(Frame));
    return frames;
}

// A loop: a WAV file, or raw frames (a name ending in .raw).
bool ReadLoop(const char* path, std::vector<Frame>* frames) {
    const std::string name = path;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".raw") == 0) {
        *frames = ReadRaw(path);
        return !frames->empty();
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (!f) {
        std::fprintf(stderr, "stream_check: cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    if (info.channels != 2 || info.samplerate != 44100) {
        std::fprintf(stderr, "stream_check: %s is not stereo at 44100 Hz\n", path);
        sf_close(f);
        return false;
    }
    std::vector<short> values(std::size_t(info.frames) * 2);
    const sf_count_t got = sf_readf_short(f, values.data(), info.frames);
    sf_close(f);
    frames->resize(std::size_t(got));
    std::memcpy(frames->data(), values.data(), frames->size() * sizeof(Frame));
    return !frames->empty();
}

double Seconds(std::size_t frames) {
    return double(frames) / kRate;
}

// How many frames from at on are silence.
std::size_t SilenceAt(const std::vector<Frame>& v, std::size_t at) {
    std::size_t n = 0;
    while (at + n < v.size() && v[at + n] == 0) ++n;
    return n;
}

// Where in the loop the sound at rec[at] lies: the offset into the first
// half second of the loop whose next frames it equals; -1 for none.
long OffsetInFirstPass(const std::vector<Frame>& loop, const std::vector<Frame>& rec,
                       std::size_t at) {
    const std::size_t probe = std::min<std::size_t>(256, rec.size() - at),
                      reach = std::min<std::size_t>(loop.size() - probe, std::size_t(kRate / 2));
    for (std::size_t into = 0; into <= reach; ++into)
        if (std::equal(loop.begin() + long(into), loop.begin() + long(into + probe),
                       rec.begin() + long(at)))
            return long(into);
    return -1;
}

// The --restarts check.
int CheckRestarts(const std::vector<Frame>& rec, const std::vector<Frame>& loop, int restarts,
                  double minSegment) {
    int segments = 0;
    std::size_t at = 0;
    for (;;) {
        while (at < rec.size() && rec[at] == 0) ++at;
        if (at == rec.size()) break;
        ++segments;
        // A new stream may be cut at its very start by the server; it
        // begins at the loop's start all the same.
        const long into = OffsetInFirstPass(loop, rec, at);
        if (into < 0 || at < std::size_t(into)) {
            std::printf("FAIL: start %d (%.3f s into the recording) is not the loop's start\n",
                        segments, Seconds(at));
            return 1;
        }
        const std::size_t start = at - std::size_t(into);
        // The loop, pass after pass, until the recording stops matching.
        while (at < rec.size() && rec[at] == loop[(at - start) % loop.size()]) ++at;
        const double lasted = Seconds(at - start);
        if (at == rec.size()) {
            std::printf("start %d: %.2f s of the loop to the end of the recording\n", segments,
                        lasted);
            break;
        }
        const std::size_t silent = SilenceAt(rec, at);
        const bool ended = at + silent == rec.size() || silent >= std::size_t(kRate / 20);
        if (!ended || lasted < minSegment) {
            std::printf(
                "FAIL: start %d stopped being the loop after %.3f s (pass %zu, frame %zu): %s\n",
                segments, lasted, (at - start) / loop.size() + 1, (at - start) % loop.size(),
                silent == 0 ? "a value differs" : "a gap, and then sound again");
            return 1;
        }
        std::printf("start %d: %.2f s of the loop, then silence\n", segments, lasted);
        at += silent;
    }
    if (segments != restarts) {
        std::printf("FAIL: %d starts heard, %d made\n", segments, restarts);
        return 1;
    }
    std::printf("%d starts, each the loop from its first frame\n", segments);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    double minSeconds = 0, minSegment = 0;
    int minSwitches = 0, restarts = 0, i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (!std::strcmp(argv[i], "--min-seconds"))
            minSeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--min-switches"))
            minSwitches = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--restarts"))
            restarts = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--min-segment"))
            minSegment = std::atof(argv[i + 1]);
        else
            break;
    }
    if (argc - i < 2) {
        std::fprintf(stderr,
                     "usage: stream_check [--min-seconds S] [--min-switches N] "
                     "RECORDING.raw LOOP.wav...\n");
        return 2;
    }
    const std::vector<Frame> rec = ReadRaw(argv[i]);
    std::vector<std::vector<Frame>> loops(std::size_t(argc - i - 1));
    for (std::size_t k = 0; k < loops.size(); ++k)
        if (!ReadLoop(argv[i + 1 + int(k)], &loops[k])) return 2;
    if (restarts > 0) return CheckRestarts(rec, loops[0], restarts, minSegment);

    // The first sound, and where in the first pass of the first loop it
    // lies. A sound server may cut the very start of a new stream (the sink
    // it joins has rendered ahead, and the monitor is rewound), so the
    // recording may begin a little way into the pass; from there on every
    // frame counts.
    const auto firstSound = std::find_if(rec.begin(), rec.end(), [](Frame f) { return f != 0; });
    if (firstSound == rec.end()) {
        std::printf("FAIL: the recording (%.1f s) is silent\n", Seconds(rec.size()));
        return 1;
    }
    const std::size_t soundAt = std::size_t(firstSound - rec.begin());
    const std::vector<Frame>& first = loops[0];
    const long found = OffsetInFirstPass(first, rec, soundAt);
    const std::size_t into = found < 0 ? 0 : std::size_t(found);
    if (found < 0 || soundAt < into) {
        std::printf("FAIL: the first sound is not the first half second of the first loop\n");
        return 1;
    }
    const std::size_t start = soundAt - into;
    const auto cutAtStart =
        std::find_if(first.begin(), first.end(), [](Frame f) { return f != 0; }) - first.begin();
    if (long(into) > cutAtStart)
        std::printf("the recording begins %zu frames into the first pass\n", into);
    std::size_t at = start, loop = 0;
    std::vector<int> passes(loops.size(), 0);
    std::string summary;
    for (;;) {
        const std::vector<Frame>& now = loops[loop];
        const std::size_t left = rec.size() - at;
        const std::size_t n = std::min(left, now.size());
        if (n == 0) break;
        // The frames the recording lacks at its start are zeros in it.
        const std::size_t skip = at < soundAt ? soundAt - at : 0;
        if (std::equal(now.begin() + long(skip), now.begin() + long(n),
                       rec.begin() + long(at + skip))) {
            if (n < now.size()) break;  // the recording ends inside this pass
            ++passes[loop];
            at += n;
            continue;
        }
        // Not this loop again: the next one, after at least one pass.
        if (passes[loop] > 0 && loop + 1 < loops.size()) {
            const std::vector<Frame>& next = loops[loop + 1];
            const std::size_t m = std::min(left, next.size());
            if (std::equal(next.begin(), next.begin() + long(m), rec.begin() + long(at))) {
                ++loop;
                continue;
            }
        }
        // Neither: say where and how it differs, in the loop that goes on
        // matching the longest (the next one, when it began there).
        std::size_t k = skip, shown = loop;
        while (k < n && now[k] == rec[at + k]) ++k;
        if (passes[loop] > 0 && loop + 1 < loops.size()) {
            const std::vector<Frame>& next = loops[loop + 1];
            const std::size_t m = std::min(left, next.size());
            std::size_t j = 0;
            while (j < m && next[j] == rec[at + j]) ++j;
            if (j > k) k = j, shown = loop + 1;
        }
        const std::size_t where = at + k;
        const std::size_t silent = SilenceAt(rec, where);
        std::printf(
            "FAIL: at %.3f s after the first sound (frame %zu of pass %d of loop %zu), "
            "the recording %s\n",
            Seconds(where - start), k, shown == loop ? passes[loop] + 1 : 1, shown,
            silent > 0 ? (std::to_string(silent) + " frames of silence where audio "
                                                   "belongs")
                             .c_str()
                       : "differs from the loop");
        return 1;
    }
    const std::size_t checked = at - start + std::min(rec.size() - at, loops[loop].size());
    if (loops.size() == 1 && passes[0] == 0)
        summary = "the expected stream";
    else
        for (std::size_t k = 0; k <= loop; ++k)
            summary += (k ? ", then " : "") + std::to_string(passes[k]) + " passes of loop " +
                       std::to_string(k);
    std::printf(
        "%.1f s from the first sound (%.2f s after recording began): %s, frame for "
        "frame\n",
        Seconds(checked), Seconds(soundAt), summary.c_str());
    if (Seconds(checked) < minSeconds) {
        std::printf("FAIL: only %.1f s checked, %.0f wanted\n", Seconds(checked), minSeconds);
        return 1;
    }
    if (int(loop) < minSwitches) {
        std::printf("FAIL: %zu loop switches, %d wanted\n", loop, minSwitches);
        return 1;
    }
    return 0;
}
