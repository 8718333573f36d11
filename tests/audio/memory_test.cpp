// In-memory audio: shapes, samples, peaks, byte images and memory readers.
#include "common/audio_fixture.h"

namespace {

std::vector<BYTE> ImageOf(IWav* w) {
    SAFEARRAY* a = nullptr;
    std::vector<BYTE> v;
    if (FAILED(w->ToByteArray(&a))) return v;
    auto* p = static_cast<BYTE*>(a->pvData);
    v.assign(p, p + a->rgsabound[0].cElements);
    SafeArrayDestroy(a);
    return v;
}

SAFEARRAY* ArrayOf(const std::vector<BYTE>& bytes) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!bytes.empty()) std::memcpy(a->pvData, bytes.data(), bytes.size());
    return a;
}

}  // namespace

TEST_F(AudioLibrary, MakeWavBuildsSilenceOfTheGivenShape) {
    ComPtr<IWav> w = MakeWav(10);
    SHORT channels = 0, bytes = 0;
    LONG rate = 0, byteRate = 0;
    w->get_NumChannels(&channels);
    w->get_SampleRate(&rate);
    w->get_ByteRate(&byteRate);
    w->get_BytesPerSample(&bytes);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(byteRate, 176400);
    EXPECT_EQ(bytes, 2);
    EXPECT_EQ(FramesOf(w.get()), 10);
    WavHeader h;
    ASSERT_EQ(w->get_Header(&h), S_OK);
    EXPECT_EQ(h.FormatHeader.BlockAlign, 4);
    EXPECT_EQ(h.DataHeader.ChunkSize, 40);
    EXPECT_EQ(ValuesOf(w.get()), std::vector<AudioSample>(20, 0));

    std::vector<BYTE> image = ImageOf(w.get());
    ASSERT_EQ(image.size(), 84u);
    EXPECT_EQ(std::memcmp(image.data(), &h, 44), 0);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(image.begin() + 8, image.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(h.RiffHeader.ChunkSize, 76);

    // ToByteArray of MakeWav(n, c, r, b) is 44 + b*n*c bytes; 0 frames is the header alone.
    EXPECT_EQ(ImageOf(MakeWav(7, 1, 8000, 1).get()).size(), 44u + 7);
    EXPECT_EQ(ImageOf(MakeWav(0).get()).size(), 44u);
    WAVEFORMATEX fx{};
    fx.nSize = 77;
    ASSERT_EQ(MakeWav(3, 1, 22050)->get_fxFormat(&fx), S_OK);
    EXPECT_EQ(fx.nFormatTag, 1);
    EXPECT_EQ(fx.nChannels, 1);
    EXPECT_EQ(fx.lSamplesPerSec, 22050);
    EXPECT_EQ(fx.lAvgBytesPerSec, 44100);
    EXPECT_EQ(fx.nBlockAlign, 2);
    EXPECT_EQ(fx.nBitsPerSample, 16);
    EXPECT_EQ(fx.nSize, 77) << "the size field is not written";

    ComPtr<IWav> bad;
    EXPECT_EQ(globals_->MakeWav(-1, 2, 44100, 2, bad.Out()), E_FAIL);
    EXPECT_EQ(globals_->MakeWav(1, 0, 44100, 2, bad.Out()), E_FAIL);
    EXPECT_EQ(globals_->MakeWav(1, 2, 44100, 0, bad.Out()), E_FAIL);
    // A byte count beyond 32 bits fails instead of wrapping to a short buffer.
    EXPECT_EQ(globals_->MakeWav(0x40000000, 2, 44100, 2, bad.Out()), E_OUTOFMEMORY);
    EXPECT_EQ(globals_->MakeWav(1, 2, 44100, 2, nullptr), E_POINTER);
}

TEST_F(AudioLibrary, SamplesAreAddressedByFlatPosition) {
    ComPtr<IWav> w = MakeWav(3);
    EXPECT_EQ(w->put_Sample(1, 0, 11), S_OK);
    EXPECT_EQ(w->put_Sample(2, 0, 22), S_OK);  // channel 0 of frame 1
    AudioSample v = -1;
    EXPECT_EQ(w->get_Sample(0, 1, &v), S_OK);
    EXPECT_EQ(v, 22);
    EXPECT_EQ(ValuesOf(w.get()), (std::vector<AudioSample>{0, 11, 22, 0, 0, 0}));
    // Beyond the data: get answers 0, put fails and changes nothing.
    EXPECT_EQ(w->get_Sample(0, 3, &v), S_OK);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(w->get_Sample(-1, 0, &v), S_OK);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(w->put_Sample(0, 3, 5), E_FAIL);
    EXPECT_EQ(w->put_Sample(0, -1, 5), E_FAIL);
    EXPECT_EQ(w->get_Sample(0, 0, nullptr), E_POINTER);
    // Only 16-bit audio has sample members.
    ComPtr<IWav> bytes = MakeWav(4, 1, 8000, 1);
    EXPECT_EQ(bytes->get_Sample(0, 0, &v), E_FAIL);
    EXPECT_EQ(bytes->put_Sample(0, 0, 1), E_FAIL);
    SAFEARRAY* a = nullptr;
    EXPECT_EQ(bytes->get_RawData(0, -1, &a), E_FAIL);
    EXPECT_EQ(bytes->Peaks(1, &a), E_FAIL);
}

TEST_F(AudioLibrary, RawDataCopiesWhatRemainsFromAFrame) {
    ComPtr<IWav> w = MakeSignal(5, 2, [](LONG i) { return AudioSample(i); });
    SAFEARRAY* a = nullptr;
    ASSERT_EQ(w->get_RawData(0, -1, &a), S_OK);
    EXPECT_EQ(a->rgsabound[0].cElements, 10u);
    SafeArrayDestroy(a);
    ASSERT_EQ(w->get_RawData(3, 100, &a), S_OK);  // more than remains: what remains
    ASSERT_EQ(a->rgsabound[0].cElements, 4u);
    EXPECT_EQ(static_cast<AudioSample*>(a->pvData)[0], 6);
    SafeArrayDestroy(a);
    ASSERT_EQ(w->get_RawData(5, -1, &a), S_OK);  // from the end: empty
    EXPECT_EQ(a->rgsabound[0].cElements, 0u);
    SafeArrayDestroy(a);
    EXPECT_EQ(w->get_RawData(6, -1, &a), E_FAIL);
    EXPECT_EQ(w->get_RawData(-1, 2, &a), E_FAIL);
    // Not provided: E_NOTIMPL and nothing changes.
    EXPECT_EQ(w->get_Data(0, 0, -1, &a), E_NOTIMPL);
    EXPECT_EQ(w->put_NumSamples(1), E_NOTIMPL);
    EXPECT_EQ(w->put_NumChannels(1), E_NOTIMPL);
    LONG index;
    EXPECT_EQ(w->SampleIndexFromSeconds(1.0f, &index), E_NOTIMPL);
    EXPECT_EQ(FramesOf(w.get()), 5);
}

TEST_F(AudioLibrary, PeaksSummariseWholeBlocksOfAllChannels) {
    ComPtr<IWav> w = MakeSignal(1050, 2, [](LONG i) {
        LONG frame = i / 2;
        return AudioSample(i % 2 ? -frame : frame);  // right channel mirrored
    });
    SAFEARRAY* a = nullptr;
    ASSERT_EQ(w->Peaks(100, &a), S_OK);
    VARTYPE vt;
    SafeArrayGetVartype(a, &vt);
    EXPECT_EQ(vt, VT_RECORD);
    EXPECT_EQ(SafeArrayGetElemsize(a), 4u);
    std::vector<Peak> p = PeaksOf(a);
    ASSERT_EQ(p.size(), 10u);  // frames 1000..1049 are not summarised
    EXPECT_EQ(p[0].Min, -99);
    EXPECT_EQ(p[0].Max, 99);
    EXPECT_EQ(p[9].Min, -999);
    EXPECT_EQ(p[9].Max, 999);
    ASSERT_EQ(w->Peaks(2000, &a), S_OK);
    EXPECT_TRUE(PeaksOf(a).empty());
    EXPECT_EQ(w->Peaks(0, &a), E_FAIL);
    EXPECT_EQ(w->Peaks(-5, &a), E_FAIL);
    EXPECT_EQ(w->Peaks(1, nullptr), E_POINTER);
}

TEST_F(AudioLibrary, ByteImagesRoundTripAndBadImagesAreRefused) {
    ComPtr<IWav> w = MakeSignal(300, 2, [](LONG i) { return AudioSample(i * 101); });
    std::vector<BYTE> image = ImageOf(w.get());
    SAFEARRAY* a = ArrayOf(image);
    ComPtr<IWav> back;
    ASSERT_EQ(globals_->ReadWavFromArray(&a, back.Out()), S_OK);
    EXPECT_EQ(a->cLocks, 0u);
    EXPECT_EQ(ImageOf(back.get()), image);
    EXPECT_EQ(ValuesOf(back.get()), ValuesOf(w.get()));
    SafeArrayDestroy(a);

    auto refused = [&](std::vector<BYTE> bytes) {
        SAFEARRAY* arr = ArrayOf(bytes);
        ComPtr<IWav> out;
        HRESULT hr = globals_->ReadWavFromArray(&arr, out.Out());
        SafeArrayDestroy(arr);
        return hr == E_FAIL && !out;
    };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused(std::vector<BYTE>(image.begin(), image.begin() + 43)));
    EXPECT_TRUE(refused(std::vector<BYTE>(image.begin(), image.end() - 1)));  // data cut short
    std::vector<BYTE> noChannels = image;
    noChannels[22] = noChannels[23] = 0;
    EXPECT_TRUE(refused(noChannels));
    std::vector<BYTE> fourBits = image;
    fourBits[34] = 4;
    EXPECT_TRUE(refused(fourBits));
    std::vector<BYTE> hugeData = image;
    hugeData[40] = hugeData[41] = hugeData[42] = 0xFF;
    hugeData[43] = 0x7F;
    EXPECT_TRUE(refused(hugeData));
    SAFEARRAY* none = nullptr;
    ComPtr<IWav> out;
    EXPECT_EQ(globals_->ReadWavFromArray(&none, out.Out()), E_FAIL);
    EXPECT_EQ(globals_->ReadWavFromArray(nullptr, out.Out()), E_FAIL);
    // The header is taken as it is: a rate of 0 is not the library's business.
    std::vector<BYTE> odd = image;
    odd[24] = odd[25] = 0;
    EXPECT_FALSE(refused(odd));
}

TEST_F(AudioLibrary, MemoryReaderReadsSkipsAndKeepsItsWavAlive) {
    ComPtr<IWavReader> r;
    {
        ComPtr<IWav> w = MakeSignal(1000, 1, [](LONG i) { return AudioSample(i); });
        ASSERT_EQ(w->OpenReader(r.Out()), S_OK);
    }  // the reader holds the only reference now
    SAFEARRAY* p1 = nullptr;
    ASSERT_EQ(r->Peaks(100, &p1), S_OK);
    ComPtr<IWav> block;
    ASSERT_EQ(r->Read(600, block.Out()), S_OK);
    EXPECT_EQ(FramesOf(block.get()), 600);
    EXPECT_FALSE(AtEnd(r.get()));
    LONG pos = -1;
    ASSERT_EQ(r->Skip(-600), S_OK);
    r->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 0);
    ASSERT_EQ(r->Read(100, block.Out()), S_OK);
    std::vector<AudioSample> v = ValuesOf(block.get());
    ASSERT_EQ(v.size(), 100u);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[99], 99);
    ASSERT_EQ(r->Skip(200), S_OK);
    ASSERT_EQ(r->Read(-1, block.Out()), S_OK);
    EXPECT_EQ(FramesOf(block.get()), 700);
    EXPECT_TRUE(AtEnd(r.get()));
    ASSERT_EQ(r->Read(10, block.Out()), S_OK);
    EXPECT_EQ(FramesOf(block.get()), 0);
    SAFEARRAY* p2 = nullptr;
    ASSERT_EQ(r->Peaks(100, &p2), S_OK);
    std::vector<Peak> before = PeaksOf(p1), after = PeaksOf(p2);
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * 4), 0);

    ComPtr<IWav> w = MakeWav(1000, 1);
    ASSERT_EQ(w->OpenReader(r.Out()), S_OK);
    EXPECT_EQ(r->Skip(1001), E_FAIL);
    r->get_AbsolutePosition(&pos);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(r->Skip(-1), E_FAIL);
    EXPECT_EQ(r->Skip(1000), S_OK);
    EXPECT_TRUE(AtEnd(r.get()));
}

TEST_F(AudioLibrary, ValuesAreReadAndWrittenAsBlocks) {
    ComPtr<IWav> w = MakeWav(3);  // stereo: six values
    ComPtr<IWavValues> values;
    ASSERT_EQ(w.As(&values), S_OK);
    // The same object behind both interfaces.
    ComPtr<IUnknown> a, b;
    w.As(&a);
    values.As(&b);
    EXPECT_EQ(a.get(), b.get());

    const AudioSample in[3] = {7, -8, 9};
    EXPECT_EQ(values->WriteValues(2, 3, in), S_OK);
    EXPECT_EQ(ValuesOf(w.get()), (std::vector<AudioSample>{0, 0, 7, -8, 9, 0}));
    AudioSample out[4] = {};
    EXPECT_EQ(values->ReadValues(1, 4, out), S_OK);
    EXPECT_EQ(std::vector<AudioSample>(out, out + 4), (std::vector<AudioSample>{0, 7, -8, 9}));

    // Ranges outside the values change nothing.
    EXPECT_EQ(values->WriteValues(4, 3, in), E_FAIL);
    EXPECT_EQ(values->WriteValues(-1, 1, in), E_FAIL);
    EXPECT_EQ(values->ReadValues(0, 7, out), E_FAIL);
    EXPECT_EQ(ValuesOf(w.get()), (std::vector<AudioSample>{0, 0, 7, -8, 9, 0}));
    EXPECT_EQ(values->WriteValues(0, 1, nullptr), E_POINTER);
    EXPECT_EQ(values->WriteValues(6, 0, nullptr), S_OK);
    // Only 16-bit audio has 16-bit values.
    ComPtr<IWav> bytes = MakeWav(4, 1, 8000, 1);
    ComPtr<IWavValues> byteValues;
    ASSERT_EQ(bytes.As(&byteValues), S_OK);
    EXPECT_EQ(byteValues->ReadValues(0, 1, out), E_FAIL);
}
