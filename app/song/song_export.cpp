#include "song/song_export.h"

#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "OvraAudio.h"
#include "com/bstr.h"
#include "files/atomic_file.h"
#include "song/loop_renderer.h"
#include "support/app_error.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "support/wav_values.h"

namespace {

constexpr int kLoopsReached = 10;  // the window reaches loops 0 to 9
constexpr std::uint64_t kMaxWavData = 0xFFFFFFFFull - 36;
constexpr LONG kRate = 44100;
constexpr LONG kFrameBytes = 4;

bool HoldsATick(const SequenceLoop& loop) {
    for (const auto& t : loop.Tracks())
        for (std::uint8_t b : t->TickBytes())
            if (b) return true;
    return false;
}

// Every loop the passes play, rendered once, as the window renders it when
// it is selected and played.
// clipped gets each loop's values at full scale.
std::map<std::uint8_t, std::vector<AudioSample>> RenderLoops(
    Song& song, const ExportChoice& choice, std::map<std::uint8_t, std::uint64_t>& clipped) {
    std::map<std::uint8_t, std::vector<AudioSample>> loops;
    std::vector<std::uint8_t> wanted;
    if (choice.arrangement)
        for (const ArrangementStep& step : song.Arrangement()) wanted.push_back(step.loop);
    else
        wanted.push_back(std::uint8_t(choice.loop));
    for (std::uint8_t k : wanted) {
        if (loops.count(k)) continue;
        LoopRenderer r;
        r.NumTracks = song.NumTracks();
        r.SelectedLoopIndex = k;
        r.OnlyTrack = choice.onlyTrack;
        r.UseFormatOf(*song.Sequence(k));
        // Rendered straight into the values kept: one buffer per loop.
        loops[k] = r.RenderLoopValues(song, LoopGrid(*song.Sequence(k)));
        clipped[k] = std::uint64_t(r.Clipped);
    }
    return loops;
}

[[noreturn]] void ThrowWriteError(const std::string& what, const std::string& path) {
    const int e = errno;
    ThrowError(e == ENOENT                 ? kErrFileNotFound
               : e == EACCES || e == EPERM ? kErrPermissionDenied
                                           : kErrFileAccess,
               what + " \"" + path + "\": " + std::strerror(e));
}

}  // namespace

std::string Duration(double seconds) {
    long long s = std::llround(seconds);
    const long long h = s / 3600, m = s / 60 % 60;
    s %= 60;
    std::string text;
    if (h) text += Thousands(h) + " h ";
    if (h || m) text += std::to_string(m) + " min ";
    return text + std::to_string(s) + " s";
}

bool ForEachPass(const Song& song, const ExportChoice& choice,
                 const std::function<bool(std::uint8_t)>& pass) {
    for (int t = 0; t < choice.times; ++t) {
        if (!choice.arrangement) {
            if (!pass(std::uint8_t(choice.loop))) return false;
            continue;
        }
        for (const ArrangementStep& step : song.Arrangement())
            for (std::uint16_t r = 0; r < step.repeats; ++r)
                if (!pass(step.loop)) return false;
    }
    return true;
}

std::uint64_t PassCount(const Song& song, const ExportChoice& choice) {
    std::uint64_t perTime = 1;
    if (choice.arrangement) {
        perTime = 0;
        for (const ArrangementStep& step : song.Arrangement()) perTime += step.repeats;
    }
    return perTime * std::uint64_t(std::max(choice.times, 0));
}

namespace {

// Throws AppError when loop k of song cannot be rendered.
void CheckLoop(const Song& song, int k, const std::string& name) {
    if (k < 0 || k >= kLoopsReached)
        ThrowSubscriptOutOfRange("Loop " + std::to_string(k) +
                                 " is not one of the loops 0 to 9 of a song");
    const auto& slots = song.LoopSlots();
    if (std::size_t(k) >= slots.size() || !slots[std::size_t(k)] ||
        !HoldsATick(*slots[std::size_t(k)]))
        ThrowError(kErrInvalidArgument, "Loop " + std::to_string(k) + " of " + name +
                                            " holds no tick: there is nothing to render");
}

}  // namespace

void CheckArrangementLoops(const Song& song, const std::string& name) {
    for (const ArrangementStep& step : song.Arrangement()) CheckLoop(song, step.loop, name);
}

void CheckExport(const Song& song, const ExportChoice& choice, const std::string& name) {
    if (choice.stems && choice.format == ExportChoice::Format::kMidi)
        ThrowError(kErrInvalidArgument, "Stems are audio: write them as WAV or FLAC");
    if (choice.times < 1) ThrowError(kErrInvalidArgument, "Nothing to render: 0 passes");
    if (choice.arrangement) {
        if (song.Arrangement().empty())
            ThrowError(kErrInvalidArgument, name + " has no arrangement to render");
        CheckArrangementLoops(song, name);
    } else {
        CheckLoop(song, choice.loop, name);
    }
    if (choice.format == ExportChoice::Format::kWav) {
        auto framesOf = [&](int k) {
            const LoopFormat f = song.LoopSlots()[std::size_t(k)]->Format();
            return std::uint64_t(LoopRenderer::LoopFrames(song.Bpm(), f.ticks, f.ticksPerBeat));
        };
        std::uint64_t once = 0;  // frames of one time through
        if (choice.arrangement)
            for (const ArrangementStep& step : song.Arrangement())
                once += std::uint64_t(step.repeats) * framesOf(step.loop);
        else
            once = framesOf(choice.loop);
        const std::uint64_t frames = once * std::uint64_t(choice.times);
        if (frames * kFrameBytes > kMaxWavData)
            ThrowOverflow(Duration(double(frames) / kRate) +
                          " of audio do not fit in a WAV file, which holds at most " +
                          Duration(double(kMaxWavData / kFrameBytes) / kRate) +
                          " of 16-bit stereo at 44,100 Hz; write FLAC instead, or fewer passes");
    }
}

Song DetachedCopy(const Song& song) {
    Song copy;
    copy.SetBpm(song.Bpm());
    copy.SetSwing(song.Swing());
    copy.SetMasterLevel(song.MasterLevel());
    copy.SetHumanize(song.GetHumanize());
    copy.SetMidiChannel(song.MidiChannel());
    copy.SetArrangement(song.Arrangement());
    copy.SetUnknownRecords(song.UnknownRecords());
    copy.SetRecordOrder(song.RecordOrder());
    copy.SetUnreadBlock(song.UnreadBlock());
    std::vector<std::shared_ptr<Sample>> samples;
    for (const auto& s : song.SampleSlots())
        samples.push_back(s ? std::make_shared<Sample>(*s) : nullptr);
    copy.SetSampleSlots(std::move(samples));
    std::vector<std::shared_ptr<SequenceLoop>> loops;
    for (const auto& l : song.LoopSlots()) {
        if (!l) {
            loops.push_back(nullptr);
            continue;
        }
        auto loop = std::make_shared<SequenceLoop>();
        loop->SetNumTicks(l->NumTicks());
        loop->SetFormat(l->Format());
        for (const auto& t : l->Tracks()) loop->Tracks().push_back(std::make_shared<LoopTrack>(*t));
        loops.push_back(std::move(loop));
    }
    copy.SetLoopSlots(std::move(loops));
    return copy;
}

bool ExportSong(const Song& original, const ExportChoice& choice, const std::string& out,
                const std::function<bool(double)>& progress, std::uint64_t* clipped) {
    if (choice.format == ExportChoice::Format::kMidi)
        ThrowError(kErrInvalidArgument, "A MIDI file holds notes, not audio: it is written apart");
    Song song = DetachedCopy(original);
    std::map<std::uint8_t, std::uint64_t> clippedOf;
    const auto loops = RenderLoops(song, choice, clippedOf);
    // Counted from the steps, never by walking the passes (there may be
    // billions).
    if (clipped) {
        std::uint64_t each = 0;  // in one time through
        if (choice.arrangement)
            for (const ArrangementStep& step : song.Arrangement())
                each += std::uint64_t(step.repeats) * clippedOf[step.loop];
        else
            each = clippedOf[std::uint8_t(choice.loop)];
        *clipped = each * std::uint64_t(std::max(choice.times, 0));
    }
    // The passes are walked, never laid out: memory does not grow with the
    // length of the piece.
    const std::uint64_t passes = PassCount(song, choice);
    std::uint64_t once = 0;  // frames of one time through
    if (choice.arrangement)
        for (const ArrangementStep& step : song.Arrangement())
            once += std::uint64_t(step.repeats) * (loops.at(step.loop).size() / 2);
    else
        once = loops.at(std::uint8_t(choice.loop)).size() / 2;
    const std::uint64_t total = once * std::uint64_t(std::max(choice.times, 0));

    AtomicFile file;
    if (!file.Open(out) && errno == EINVAL)
        ThrowError(kErrFileAccess, "Cannot write to \"" + out +
                                       "\": it is not a regular file (a pipe, device or socket)");
    if (!file.IsOpen()) ThrowWriteError("Cannot create a file beside", out);
    std::uint64_t done = 0;
    auto told = [&] {
        ++done;
        return !progress || progress(passes == 0 ? 1.0 : double(done) / double(passes));
    };
    if (choice.format == ExportChoice::Format::kWav) {
        WavHeader h{};
        std::memcpy(h.RiffHeader.ChunkID, "RIFF", 4);
        std::memcpy(h.RiffHeader.Format, "WAVE", 4);
        std::memcpy(h.FormatHeader.ChunkID, "fmt ", 4);
        h.FormatHeader.ChunkSize = 16;
        h.FormatHeader.AudioFormat = 1;
        h.FormatHeader.NumChannels = 2;
        h.FormatHeader.SampleRate = kRate;
        h.FormatHeader.ByteRate = kRate * kFrameBytes;
        h.FormatHeader.BlockAlign = kFrameBytes;
        h.FormatHeader.BitsPerSample = 16;
        std::memcpy(h.DataHeader.ChunkID, "data", 4);
        // Sizes up to 4 GiB: the fields hold them as unsigned numbers.
        const std::uint32_t data = std::uint32_t(total * kFrameBytes);
        h.DataHeader.ChunkSize = static_cast<LONG>(data);
        h.RiffHeader.ChunkSize = static_cast<LONG>(data + 36);
        if (!file.Write(&h, sizeof h)) ThrowWriteError("Cannot write", out);
        const bool whole = ForEachPass(song, choice, [&](std::uint8_t k) {
            const auto& values = loops.at(k);
            if (!file.Write(values.data(), values.size() * sizeof(AudioSample)))
                ThrowWriteError("Cannot write", out);
            return told();
        });
        if (!whole) return false;
    } else {
        if (!file.Flush()) ThrowWriteError("Cannot write", out);
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        struct SndfileCloser {
            void operator()(SNDFILE* f) const { sf_close(f); }
        };
        std::unique_ptr<SNDFILE, SndfileCloser> f(
            sf_open_fd(file.Descriptor(), SFM_WRITE, &info, SF_FALSE));
        if (!f)
            ThrowError(kErrFileAccess,
                       "Cannot write FLAC to \"" + out + "\": " + sf_strerror(nullptr));
        bool whole = true, going = true;
        ForEachPass(song, choice, [&](std::uint8_t k) {
            const auto& values = loops.at(k);
            const sf_count_t frames = sf_count_t(values.size() / 2);
            whole = sf_writef_short(f.get(), values.data(), frames) == frames;
            going = told();
            return whole && going;
        });
        const std::string why = whole ? "" : sf_strerror(f.get());
        // Closing writes the last frames: its failure is a failed write.
        if (sf_close(f.release()) != 0 && whole) whole = false;
        if (!whole) ThrowError(kErrFileAccess, "Cannot write \"" + out + "\": " + why);
        if (!going) return false;
    }
    if (!file.Commit()) ThrowWriteError("Cannot save", out);
    return true;
}

std::vector<Stem> StemsOf(const Song& song, ExportChoice::Format format) {
    std::vector<Stem> stems;
    const auto& slots = song.SampleSlots();
    for (std::size_t j = 0; j < slots.size(); ++j) {
        if (!slots[j] || !slots[j]->Wav()) continue;
        // A caption may hold anything; a file name holds no slash or control.
        std::string name = Utf8FromUtf16(slots[j]->Caption());
        for (char& c : name)
            if (c == '/' || (unsigned char)c < 0x20) c = '_';
        while (!name.empty() && (name.front() == ' ' || name.front() == '.')) name.erase(0, 1);
        if (name.size() > 120) name.resize(120);
        std::string number = std::to_string(j + 1);
        if (number.size() < 2) number = "0" + number;
        stems.push_back({int(j), number + (name.empty() ? "" : " " + name) +
                                     (format == ExportChoice::Format::kWav ? ".wav" : ".flac")});
    }
    return stems;
}

bool ExportStems(const Song& song, const ExportChoice& choice, const std::string& folder,
                 const std::function<bool(double)>& progress, std::uint64_t* clipped) {
    const std::vector<Stem> stems = StemsOf(song, choice.format);
    if (stems.empty())
        ThrowError(kErrInvalidArgument, "No track has a sound: there is no stem to write");
    std::error_code e;
    std::filesystem::create_directories(folder, e);
    if (e || !std::filesystem::is_directory(folder, e))
        ThrowError(kErrFileAccess, "Cannot make the folder \"" + folder + "\"" +
                                       (e ? ": " + e.message() : ": a file has its name"));
    if (clipped) *clipped = 0;
    for (std::size_t k = 0; k < stems.size(); ++k) {
        ExportChoice one = choice;
        one.onlyTrack = stems[k].track;
        std::uint64_t count = 0;
        const double n = double(stems.size());
        const bool whole = ExportSong(
            song, one, CombinePath(folder, stems[k].file),
            [&](double share) { return !progress || progress((double(k) + share) / n); }, &count);
        if (!whole) return false;
        if (clipped) *clipped += count;
    }
    return true;
}
