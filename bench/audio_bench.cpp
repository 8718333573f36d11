// Throughput of the WAV and Ogg readers and of byte images, each against a
// plain baseline measured in the same run, with other libraries as peers.
#include <sndfile.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/globals.h"
#include "bench_support.h"
#include "com/comptr.h"
#include "com/server.h"

namespace {

std::string TempPath(const char* name) {
    return "/tmp/ovra-bench-" + std::to_string(::getpid()) + "-" + name;
}

// A canonical 16-bit stereo WAV file of a tone with noise.
void WriteWav(const std::string& path, long frames) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::uint32_t data = static_cast<std::uint32_t>(frames * 4);
    std::fwrite("RIFF", 1, 4, f);
    u32(data + 36);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(176400);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(data);
    std::vector<std::int16_t> block(2 * 44100);
    unsigned noise = 1;
    for (long done = 0; done < frames;) {
        long n = std::min<long>(44100, frames - done);
        for (long i = 0; i < n; ++i) {
            noise = noise * 1103515245u + 12345u;
            double t = double(done + i) / 44100;
            double v = 0.5 * std::sin(2 * M_PI * 330 * t) * std::sin(2 * M_PI * 0.5 * t) +
                       0.1 * ((noise >> 16) / 32768.0 - 1);
            block[2 * i] = block[2 * i + 1] = static_cast<std::int16_t>(v * 32767);
        }
        std::fwrite(block.data(), 4, static_cast<std::size_t>(n), f);
        done += n;
    }
    std::fclose(f);
}

struct Files {
    std::string wav = TempPath("50mb.wav");
    std::string ogg = TempPath("3min.ogg");
    Files() {
        WriteWav(wav, 50L * 1000 * 1000 / 4);
        std::string tone = TempPath("3min.wav");
        WriteWav(tone, 180L * 44100);
        std::string cmd = "oggenc -Q -q 4 -o '" + ogg + "' '" + tone + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "oggenc failed\n");
        std::remove(tone.c_str());
    }
    ~Files() {
        std::remove(wav.c_str());
        std::remove(ogg.c_str());
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

ComPtr<IOvraAudioGlobals> Globals() {
    ComPtr<IOvraAudioGlobals> g;
    CreateInstanceOf<OvraAudioGlobals>(IOvraAudioGlobals::iid, g.OutVoid());
    return g;
}

// --- WAV file reading, one second per block ---

void BM_WavRead_fread_baseline(benchmark::State& state) {
    TheFiles();  // made before anything is timed
    std::vector<char> buffer(44100 * 4);
    const double spent = TimeEach(state, [&] {
        std::FILE* f = std::fopen(TheFiles().wav.c_str(), "rb");
        std::fseek(f, 44, SEEK_SET);
        while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
        }
        std::fclose(f);
    });
    RecordBaseline(state, "wav", spent);
    state.SetBytesProcessed(state.iterations() * 50'000'000);
}

void BM_WavRead_WavFileReader(benchmark::State& state) {
    TheFiles();  // made before anything is timed
    ComPtr<IOvraAudioGlobals> g = Globals();
    const double spent = TimeEach(state, [&] {
        ComPtr<IWavFile> file;
        g->WavFile(Bstr(TheFiles().wav).get(), file.Out());
        ComPtr<IWavReader> r;
        file->OpenReader(r.Out());
        VARIANT_BOOL eof = VARIANT_FALSE;
        while (!eof) {
            ComPtr<IWav> block;
            r->Read(44100, block.Out());
            r->get_EOF(&eof);
        }
    });
    CompareWithBaseline(state, "wav", spent);
    state.SetBytesProcessed(state.iterations() * 50'000'000);
}

void BM_WavRead_sndfile_peer(benchmark::State& state) {
    TheFiles();  // made before anything is timed
    std::vector<short> buffer(44100 * 2);
    const double spent = TimeEach(state, [&] {
        SF_INFO info{};
        SNDFILE* f = sf_open(TheFiles().wav.c_str(), SFM_READ, &info);
        while (sf_readf_short(f, buffer.data(), 44100) > 0) {
        }
        sf_close(f);
    });
    CompareWithBaseline(state, "wav", spent);
    state.SetBytesProcessed(state.iterations() * 50'000'000);
}

// --- Ogg Vorbis decoding of three minutes ---

void BM_OggDecode_stb_whole_file_baseline(benchmark::State& state) {
    TheFiles();  // made before anything is timed
    const double spent = TimeEach(state, [&] {
        int channels = 0;
        short* out = nullptr;
        int frames = stb_vorbis_decode_filename(TheFiles().ogg.c_str(), &channels, nullptr, &out);
        benchmark::DoNotOptimize(frames);
        std::free(out);
    });
    RecordBaseline(state, "ogg", spent);
}

void BM_OggDecode_OggVorbisFileReader(benchmark::State& state) {
    TheFiles();  // made before anything is timed
    ComPtr<IOvraAudioGlobals> g = Globals();
    const double spent = TimeEach(state, [&] {
        ComPtr<IOggVorbisFile> file;
        g->OggVorbisFile(Bstr(TheFiles().ogg).get(), file.Out());
        ComPtr<IWavReader> r;
        file->OpenReader(r.Out());
        VARIANT_BOOL eof = VARIANT_FALSE;
        while (!eof) {
            ComPtr<IWav> block;
            if (FAILED(r->Read(44100, block.Out()))) break;
            r->get_EOF(&eof);
        }
    });
    CompareWithBaseline(state, "ogg", spent);
}

void BM_OggDecode_vorbisfile_peer(benchmark::State& state) {
    TheFiles();  // made before anything is timed
    std::vector<char> buffer(44100 * 4);
    const double spent = TimeEach(state, [&] {
        OggVorbis_File vf;
        ov_fopen(TheFiles().ogg.c_str(), &vf);
        int section = 0;
        while (ov_read(&vf, buffer.data(), static_cast<int>(buffer.size()), 0, 2, 1, &section) >
               0) {
        }
        ov_clear(&vf);
    });
    CompareWithBaseline(state, "ogg", spent);
}

// --- Byte images of 10 MB ---

constexpr LONG kImageFrames = 10'000'000 / 4;

void BM_Image_memcpy_baseline(benchmark::State& state) {
    std::vector<char> from(10'000'044, 1);
    const double spent = TimeEach(state, [&] {
        // A fresh destination each time, as an image is.
        void* fresh = std::malloc(from.size());
        std::memcpy(fresh, from.data(), from.size());
        benchmark::DoNotOptimize(fresh);
        std::free(fresh);
    });
    RecordBaseline(state, "image", spent);
    state.SetBytesProcessed(state.iterations() * 10'000'044);
}

// 10 MB of audio that is not silence, so no page is the zero page.
ComPtr<IWav> NoisyWav(IOvraAudioGlobals* g) {
    ComPtr<IWav> silent;
    g->MakeWav(kImageFrames, 2, 44100, 2, silent.Out());
    SAFEARRAY* image = nullptr;
    silent->ToByteArray(&image);
    auto* bytes = static_cast<unsigned char*>(image->pvData);
    for (std::size_t i = 44; i < image->rgsabound[0].cElements; ++i)
        bytes[i] = static_cast<unsigned char>(i * 131);
    ComPtr<IWav> w;
    g->ReadWavFromArray(&image, w.Out());
    SafeArrayDestroy(image);
    return w;
}

void BM_Image_ToByteArray(benchmark::State& state) {
    ComPtr<IOvraAudioGlobals> g = Globals();
    ComPtr<IWav> w = NoisyWav(g.get());
    const double spent = TimeEach(state, [&] {
        SAFEARRAY* a = nullptr;
        w->ToByteArray(&a);
        SafeArrayDestroy(a);
    });
    CompareWithBaseline(state, "image", spent);
    state.SetBytesProcessed(state.iterations() * 10'000'044);
}

void BM_Image_ReadWavFromArray(benchmark::State& state) {
    ComPtr<IOvraAudioGlobals> g = Globals();
    ComPtr<IWav> w = NoisyWav(g.get());
    SAFEARRAY* image = nullptr;
    w->ToByteArray(&image);
    const double spent = TimeEach(state, [&] {
        ComPtr<IWav> back;
        g->ReadWavFromArray(&image, back.Out());
    });
    SafeArrayDestroy(image);
    CompareWithBaseline(state, "image", spent);
    state.SetBytesProcessed(state.iterations() * 10'000'044);
}

}  // namespace

BENCHMARK(BM_WavRead_fread_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavRead_WavFileReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavRead_sndfile_peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggDecode_stb_whole_file_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggDecode_OggVorbisFileReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggDecode_vorbisfile_peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Image_memcpy_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Image_ToByteArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Image_ReadWavFromArray)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
