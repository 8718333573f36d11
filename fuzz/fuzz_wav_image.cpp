// ReadWavFromArray on any bytes, then everything a Wav offers.
#include <cstring>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ComPtr<IOvraAudioGlobals> globals = Globals();
    SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
    if (!a) return 0;
    if (size) std::memcpy(a->pvData, data, size);
    ComPtr<IWav> w;
    if (SUCCEEDED(globals->ReadWavFromArray(&a, w.Out()))) {
        SAFEARRAY* out = nullptr;
        if (SUCCEEDED(w->ToByteArray(&out))) SafeArrayDestroy(out);
        if (SUCCEEDED(w->get_RawData(0, -1, &out))) SafeArrayDestroy(out);
        if (SUCCEEDED(w->Peaks(1 + static_cast<LONG>(size % 7), &out))) SafeArrayDestroy(out);
        AudioSample v;
        w->get_Sample(1, 3, &v);
        w->put_Sample(0, 2, 5);
        ComPtr<IWavReader> r;
        if (SUCCEEDED(w->OpenReader(r.Out()))) {
            r->Skip(3);
            Drain(r.get(), 7);
        }
    }
    SafeArrayDestroy(a);
    return 0;
}
