#include "import/audio_import.h"

#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "com/bstr.h"
#include "files/regular_file.h"
#include "support/app_error.h"
#include "support/audio_library.h"
#include "support/paths.h"
#include "support/text_format.h"
#include "support/wav_values.h"

namespace {

constexpr sf_count_t kChunkFrames = 16384;

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
struct SoxrDeleter {
    void operator()(soxr* s) const { soxr_delete(s); }
};

// One value in the song's format: rounded, clamped, silence for NaN.
AudioSample ToSample(double x) {
    if (x != x) return 0;
    const double v = std::nearbyint(x * 32768.0);
    return static_cast<AudioSample>(v < -32768.0 ? -32768.0 : v > 32767.0 ? 32767.0 : v);
}

// Interleaved frames of any channel count as stereo: mono to both sides,
// more than two channels averaged into both.
void ToStereo(const double* in, sf_count_t frames, int channels, double* out) {
    for (sf_count_t i = 0; i < frames; ++i) {
        const double* f = in + i * channels;
        if (channels == 2) {
            out[2 * i] = f[0];
            out[2 * i + 1] = f[1];
            continue;
        }
        double sum = 0;
        for (int c = 0; c < channels; ++c) sum += f[c];
        out[2 * i] = out[2 * i + 1] = sum / channels;
    }
}

// Writes stereo frames into the Wav from frame at on, as far as it reaches.
class Output {
  public:
    Output(IWav* wav, LONG frames) : wav_(wav), frames_(frames) {}
    void Put(const double* stereo, std::size_t frames) {
        const std::size_t n = std::min<std::size_t>(frames, std::size_t(frames_ - at_));
        values_.resize(2 * n);
        for (std::size_t k = 0; k < 2 * n; ++k) values_[k] = ToSample(stereo[k]);
        if (n) WriteWavValues(wav_, 2 * at_, values_.data(), LONG(2 * n));
        at_ += LONG(n);
    }

  private:
    IWav* wav_;
    LONG frames_;
    LONG at_ = 0;
    std::vector<AudioSample> values_;
};

}  // namespace

std::string CaptionOfPath(const std::string& path) {
    std::string caption = FileNameOfPath(path);
    const std::size_t dot = caption.find_last_of('.');
    if (dot != std::string::npos && dot > 0) caption.resize(dot);
    return caption;
}

std::string ImportableFilePatterns() {
    return "*.wav *.wave *.flac *.ogg *.oga *.aif *.aiff *.aifc *.au *.snd *.caf *.w64 *.rf64 "
           "*.voc *.opus *.mp3 *.WAV *.FLAC *.OGG *.AIF *.AIFF";
}

ImportedAudio ImportAudioFile(const std::string& path, const Progress& progress) {
    const std::string name = Quoted(FileNameOfPath(path));
    // Only a regular file: a FIFO would block, a device never end.
    const FilePtr source = OpenRegularFile(path);
    if (!source && errno == ENOENT)
        ThrowError(kErrFileNotFound,
                   name + " cannot be imported: it does not exist (" + path + ")");
    if (!source && errno == EINVAL)
        ThrowError(kErrFileAccess, name + " cannot be imported: it is not a regular file");
    if (!source) ThrowError(kErrFileAccess, name + " cannot be imported: " + std::strerror(errno));
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(
        sf_open_fd(::fileno(source.get()), SFM_READ, &info, SF_FALSE));
    if (!file)
        ThrowError(kErrInvalidFileFormat, name + " cannot be imported: " + sf_strerror(nullptr));
    if (info.frames <= 0 || info.channels < 1 || info.samplerate < 1)
        ThrowError(kErrInvalidFileFormat, name + " holds no audio");
    // A rate no recording has: at 1 Hz each block would resample into
    // gigabytes (the resampler's output grows with the ratio).
    if (info.samplerate < kMinImportRate || info.samplerate > kMaxImportRate)
        ThrowError(kErrInvalidFileFormat, name + " cannot be imported: its sample rate of " +
                                              Thousands(info.samplerate) +
                                              " Hz is outside 1,000 to 384,000 Hz");

    // The length in the song's rate, rounded: what a listener hears as the
    // same duration.
    const double ratio = double(kImportRate) / double(info.samplerate);
    const long double exact = static_cast<long double>(info.frames) * ratio;
    // A sound shorter than a frame at the song's rate is still one frame.
    const long long frames = std::max<long long>(1, std::llround(exact));
    if (frames > (0x7FFFFFFFLL - 44) / (2 * kImportChannels))
        ThrowError(kErrOverflow, name + " is too long to be a sample (" +
                                     Thousands(info.frames / info.samplerate) + " seconds)");
    ImportedAudio out;
    Doing("import " + name, [&] {
        Check(
            AudioLibrary()->MakeWav(LONG(frames), kImportChannels, kImportRate, 2, out.wav.Out()));
    });
    Output output(out.wav.get(), LONG(frames));

    std::unique_ptr<soxr, SoxrDeleter> resampler;
    if (info.samplerate != kImportRate) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        resampler.reset(soxr_create(info.samplerate, kImportRate, kImportChannels, &error, &io,
                                    &quality, nullptr));
        if (!resampler) ThrowError(kErrOutOfMemory, name + " cannot be resampled: " + error);
    }
    std::vector<double> in(std::size_t(kChunkFrames) * std::size_t(info.channels));
    std::vector<double> stereo(std::size_t(kChunkFrames) * 2);
    std::vector<double> resampled(std::size_t(kChunkFrames * ratio + 64) * 2);
    auto resample = [&](const double* from, std::size_t count) {
        // Until the resampler has given all it holds for this input.
        for (;;) {
            std::size_t used = 0, made = 0;
            soxr_error_t error = soxr_process(resampler.get(), from, count, &used, resampled.data(),
                                              resampled.size() / 2, &made);
            if (error) ThrowError(kErrInvalidFileFormat, name + " cannot be resampled: " + error);
            output.Put(resampled.data(), made);
            if (from) from += used * 2;
            count -= used;
            if (made == 0 && count == 0) break;
        }
    };
    for (sf_count_t read = 0;;) {
        ReportProgress(progress, double(read) / double(info.frames));
        const sf_count_t got = sf_readf_double(file.get(), in.data(), kChunkFrames);
        if (got <= 0) break;
        read += got;
        ToStereo(in.data(), got, info.channels, stereo.data());
        if (resampler)
            resample(stereo.data(), std::size_t(got));
        else
            output.Put(stereo.data(), std::size_t(got));
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        ThrowError(kErrInvalidFileFormat, name + " cannot be imported: " + sf_strerror(file.get()));
    if (resampler) resample(nullptr, 0);  // what the filter still holds
    out.caption = Utf16FromUtf8(CaptionOfPath(path));
    return out;
}
