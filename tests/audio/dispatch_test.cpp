// The library as a late-bound client and the registry see it.
#include "com/registry.h"
#include "common/audio_fixture.h"

namespace {

HRESULT Call(IDispatch* d, const char* name, WORD flags, std::vector<Variant> args,
             VARIANT* result) {
    std::u16string wide = Utf16FromUtf8(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id;
    HRESULT hr = d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> rev(args.rbegin(), args.rend());
    DISPPARAMS params{rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    return d->Invoke(id, GUID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

Variant Long(LONG v) {
    Variant r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}

}  // namespace

TEST_F(AudioLibrary, IsRegisteredWithItsProgIdsAndServesEmptyObjects) {
    Registry reg;
    ASSERT_EQ(ReadRegistry(Registry::DefaultPath(), &reg, nullptr), S_OK);
    std::string v;
    ASSERT_TRUE(reg.GetValue("CLSID\\" + GuidToString(CLSID_WavMemoryReader) + "\\InprocServer32",
                             "ThreadingModel", &v));
    EXPECT_EQ(v, "Both");
    ASSERT_TRUE(reg.GetValue("OvraAudio.OggVorbisFileReader\\CurVer", "", &v));
    EXPECT_EQ(v, "OvraAudio.OggVorbisFileReader.1");
    ASSERT_TRUE(reg.GetValue("AppID\\" + GuidToString(APPID_OvraAudio), "", &v));
    EXPECT_EQ(v, "OvraAudio");
    ASSERT_TRUE(reg.GetValue("TypeLib\\" + GuidToString(LIBID_OvraAudio) + "\\1.0", "", &v));
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"OvraAudio.OvraAudioGlobals", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_OvraAudioGlobals);

    ComPtr<IWav> wav;
    ASSERT_EQ(CoCreateInstance(CLSID_Wav, wav.Out()), S_OK);
    EXPECT_EQ(FramesOf(wav.get()), 0);
    ComPtr<IWavReader> r;
    ASSERT_EQ(wav->OpenReader(r.Out()), S_OK);
    EXPECT_TRUE(AtEnd(r.get()));
    for (const CLSID& c : {CLSID_WavFileReader, CLSID_WavMemoryReader, CLSID_OggVorbisFileReader}) {
        ASSERT_EQ(CoCreateInstance(c, r.Out()), S_OK);
        EXPECT_TRUE(AtEnd(r.get()));
        LONG pos = -1;
        r->get_AbsolutePosition(&pos);
        EXPECT_EQ(pos, 0);
    }
    ComPtr<IWavFile> file;
    ASSERT_EQ(CoCreateInstance(CLSID_WavFile, file.Out()), S_OK);
    Bstr path;
    ASSERT_EQ(file->get_Path(path.Out()), S_OK);
    EXPECT_EQ(path.get(), nullptr);
    ComPtr<ISupportErrorInfo> sei = wav.As<ISupportErrorInfo>();
    ASSERT_TRUE(sei);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IWav::iid), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IWavReader::iid), S_FALSE);
}

TEST_F(AudioLibrary, MembersCanBeCalledByName) {
    ComPtr<IDispatch> d = globals_.As<IDispatch>();
    Variant wav;
    // Optional arguments take their defaults: stereo, 44100, 16 bits.
    ASSERT_EQ(Call(d.get(), "makewav", DISPATCH_METHOD, {Long(8)}, &wav), S_OK);
    ASSERT_EQ(wav.vt, VT_DISPATCH);
    Variant r;
    ASSERT_EQ(Call(wav.pdispVal, "NumChannels", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I2);
    EXPECT_EQ(r.iVal, 2);
    ASSERT_EQ(Call(wav.pdispVal, "Header", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_RECORD);
    Variant field;
    ASSERT_EQ(r.pRecInfo->GetField(r.pvRecord, u"FormatHeader", &field), S_OK);
    ASSERT_EQ(field.vt, VT_RECORD);
    Variant rate;
    ASSERT_EQ(field.pRecInfo->GetField(field.pvRecord, u"SampleRate", &rate), S_OK);
    EXPECT_EQ(rate.lVal, 44100);

    ASSERT_EQ(Call(wav.pdispVal, "Peaks", DISPATCH_METHOD, {Long(4)}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_ARRAY | VT_RECORD);
    EXPECT_EQ(r.parray->rgsabound[0].cElements, 2u);
    ASSERT_EQ(Call(wav.pdispVal, "ToByteArray", DISPATCH_METHOD, {}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(r.parray->rgsabound[0].cElements, 44u + 32);

    // The byte image goes back in by reference, as an in/out array.
    Variant ref;
    ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
    ref.pparray = &r.parray;
    Variant back;
    ASSERT_EQ(Call(d.get(), "ReadWavFromArray", DISPATCH_METHOD, {ref}, &back), S_OK);
    ASSERT_EQ(back.vt, VT_DISPATCH);
    Variant reader, eof;
    ASSERT_EQ(Call(back.pdispVal, "OpenReader", DISPATCH_METHOD, {}, &reader), S_OK);
    ASSERT_EQ(Call(reader.pdispVal, "EOF", DISPATCH_PROPERTYGET, {}, &eof), S_OK);
    EXPECT_EQ(eof.vt, VT_BOOL);
    EXPECT_EQ(eof.boolVal, VARIANT_FALSE);

    // A failing member reports its code.
    EXPECT_EQ(Call(d.get(), "MakeWav", DISPATCH_METHOD, {Long(-1)}, &r), E_FAIL);
    ComPtr<ITypeInfo> ti;
    ASSERT_EQ(wav.pdispVal->GetTypeInfo(0, 0, ti.Out()), S_OK);
    Bstr name, doc;
    ASSERT_EQ(ti->GetDocumentation(0x60020010, name.Out(), doc.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.utf8(), "RawData");
    EXPECT_EQ(doc.utf8(), "Returns the interleaved samples for all channels.");
}
