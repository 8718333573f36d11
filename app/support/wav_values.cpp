#include "support/wav_values.h"

#include "com/comptr.h"
#include "support/app_error.h"
#include "support/integers.h"

namespace {
ComPtr<IWavValues> ValuesOf(IWav* wav) {
    ComPtr<IWavValues> values;
    Check(ComPtr<IWav>(wav).As(&values));
    return values;
}
}  // namespace

std::vector<AudioSample> ReadWavValues(IWav* wav) {
    LONG frames = 0;
    SHORT channels = 0;
    Check(wav->get_NumSamples(&frames));
    Check(wav->get_NumChannels(&channels));
    const LONG count = CheckedLong(LONGLONG{frames} * channels, "The audio is too long to read");
    std::vector<AudioSample> out(static_cast<std::size_t>(count > 0 ? count : 0));
    Check(ValuesOf(wav)->ReadValues(0, LONG(out.size()), out.data()));
    return out;
}

void WriteWavValues(IWav* wav, LONG first, const AudioSample* values, LONG count) {
    Check(ValuesOf(wav)->WriteValues(first, count, values));
}
