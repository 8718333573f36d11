#include "audio/wav_format.h"

#include <cstring>
#include <limits>

#include "audio/typelib.h"
#include "com/comptr.h"
#include "com/recordinfo.h"

LONG WavFormat::FrameBytes() const {
    return IsUsable()
               ? LONG{header.FormatHeader.NumChannels} * (header.FormatHeader.BitsPerSample >> 3)
               : 0;
}

bool WavFormat::IsUsable() const {
    return header.FormatHeader.NumChannels >= 1 && header.FormatHeader.BitsPerSample >= 8;
}

bool WavFormat::AdoptHeader(const WavHeader& h) {
    header = h;
    bytesPerSample = static_cast<SHORT>(h.FormatHeader.BitsPerSample >> 3);
    if (!IsUsable()) {
        numSamples = numValues = 0;
        return false;
    }
    if (h.DataHeader.ChunkSize < 0) {
        numSamples = numValues = -1;  // length unknown
    } else {
        auto size = static_cast<std::uint32_t>(h.DataHeader.ChunkSize);
        numSamples = static_cast<LONG>(size / static_cast<std::uint32_t>(FrameBytes()));
        numValues = numSamples * h.FormatHeader.NumChannels;
    }
    return true;
}

HRESULT WavFormat::SizeTo(const WavHeader& h, LONG n) {
    if (n < 0) return E_FAIL;
    AdoptHeader(h);
    LONGLONG values = LONGLONG{n} * header.FormatHeader.NumChannels;
    LONGLONG bytes = values * bytesPerSample;
    if (values < 0 || bytes > std::numeric_limits<LONG>::max() - 44) return E_OUTOFMEMORY;
    numSamples = n;
    numValues = static_cast<LONG>(values);
    header.DataHeader.ChunkSize = static_cast<LONG>(bytes);
    header.RiffHeader.ChunkSize = header.DataHeader.ChunkSize + 36;
    return S_OK;
}

void WavFormat::ShrinkTo(LONG values) {
    numValues = values;
    numSamples = NumChannels() > 0 ? values / NumChannels() : 0;
    header.DataHeader.ChunkSize = values * bytesPerSample;
    header.RiffHeader.ChunkSize = header.DataHeader.ChunkSize + 36;
}

WavHeader BuildHeader(LONG n, SHORT channels, LONG rate, SHORT bytesPerSample) {
    // Products in 64 bits, stored as the 32-bit fields hold them.
    auto field = [](LONGLONG v) { return static_cast<LONG>(static_cast<std::uint32_t>(v)); };
    WavHeader h{};
    LONG dataSize = field(LONGLONG{bytesPerSample} * n * channels);
    std::memcpy(h.RiffHeader.ChunkID, "RIFF", 4);
    h.RiffHeader.ChunkSize = field(LONGLONG{dataSize} + 36);
    std::memcpy(h.RiffHeader.Format, "WAVE", 4);
    std::memcpy(h.FormatHeader.ChunkID, "fmt ", 4);
    h.FormatHeader.ChunkSize = 16;
    h.FormatHeader.AudioFormat = 1;
    h.FormatHeader.NumChannels = channels;
    h.FormatHeader.SampleRate = rate;
    h.FormatHeader.ByteRate = field(LONGLONG{bytesPerSample} * rate * channels);
    h.FormatHeader.BlockAlign = static_cast<SHORT>(bytesPerSample * channels);
    h.FormatHeader.BitsPerSample = static_cast<SHORT>(8 * bytesPerSample);
    std::memcpy(h.DataHeader.ChunkID, "data", 4);
    h.DataHeader.ChunkSize = dataSize;
    return h;
}

void FillWaveFormat(const WavHeader& h, WAVEFORMATEX* out) {
    out->nFormatTag = h.FormatHeader.AudioFormat;
    out->nChannels = h.FormatHeader.NumChannels;
    out->lSamplesPerSec = h.FormatHeader.SampleRate;
    out->lAvgBytesPerSec = h.FormatHeader.ByteRate;
    out->nBlockAlign = h.FormatHeader.BlockAlign;
    out->nBitsPerSample = h.FormatHeader.BitsPerSample;
    out->lExtra = 0;
}

bool CopyPath(BSTR from, Bstr* to) {
    if (!from) return true;
    to->Attach(SysAllocStringLen(from, SysStringLen(from)));
    return to->get() != nullptr;
}

SAFEARRAY* MakePeakArray(LONG count) {
    if (count < 0) return nullptr;
    ComPtr<IRecordInfo> info;
    if (FAILED(CreateRecordInfo(PeakRecord(), info.Out()))) return nullptr;
    return SafeArrayCreateVectorEx(VT_RECORD, 0, static_cast<ULONG>(count), info.get());
}

SAFEARRAY* MakeByteArray(const void* first, std::size_t firstBytes, const void* second,
                         std::size_t secondBytes) {
    std::size_t total = firstBytes + secondBytes;
    if (total > static_cast<std::size_t>(std::numeric_limits<LONG>::max())) return nullptr;
    SAFEARRAY* a = SafeArrayCreateVectorUninit(VT_UI1, 0, static_cast<ULONG>(total));
    if (!a) return nullptr;
    auto* p = static_cast<unsigned char*>(a->pvData);
    if (firstBytes) std::memcpy(p, first, firstBytes);
    if (secondBytes) std::memcpy(p + firstBytes, second, secondBytes);
    return a;
}

HRESULT SummarisePeaks(const AudioSample* values, LONG numSamples, SHORT channels,
                       LONG framesPerPeak, SAFEARRAY** result) {
    if (framesPerPeak <= 0 || channels < 1) return E_FAIL;
    LONG count = numSamples > 0 ? numSamples / framesPerPeak : 0;
    SAFEARRAY* a = MakePeakArray(count);
    if (!a) return E_FAIL;
    auto* peaks = static_cast<Peak*>(a->pvData);
    const std::size_t block = std::size_t(framesPerPeak) * std::size_t(channels);
    for (LONG k = 0; k < count; ++k) peaks[k] = PeakOf(values + std::size_t(k) * block, block);
    *result = a;
    return S_OK;
}
