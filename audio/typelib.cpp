// The type library of OvraAudio as tables: what late-bound clients see of
// its records, interfaces and classes.
#include "audio/typelib.h"

#include "OvraAudio.h"
#include "com/members.h"

namespace {

constexpr WORD kInterfaceFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
constexpr const char* kBytesPerSampleHelp = "Returns the number of bytes per sample per channel.";

const RecordDesc& RiffRecord() {
    static const RecordDesc r{"WavRiffHeader",
                              GUID_WavRiffHeader,
                              sizeof(WavRiffHeader),
                              {{"ChunkID", VT_UI1, 0, 4, nullptr, "Should be \"RIFF\""},
                               {"ChunkSize", VT_I4, 4},
                               {"Format", VT_UI1, 8, 4, nullptr, "Should be \"WAVE\""}}};
    return r;
}

const RecordDesc& FormatRecord() {
    static const RecordDesc r{"WavFormatHeader",
                              GUID_WavFormatHeader,
                              sizeof(WavFormatHeader),
                              {{"ChunkID", VT_UI1, 0, 4, nullptr, "Should be \"fmt \""},
                               {"ChunkSize", VT_I4, 4},
                               {"AudioFormat", VT_I2, 8},
                               {"NumChannels", VT_I2, 10},
                               {"SampleRate", VT_I4, 12},
                               {"ByteRate", VT_I4, 16},
                               {"BlockAlign", VT_I2, 20},
                               {"BitsPerSample", VT_I2, 22}}};
    return r;
}

const RecordDesc& DataRecord() {
    static const RecordDesc r{
        "WavDataHeader",
        GUID_WavDataHeader,
        sizeof(WavDataHeader),
        {{"ChunkID", VT_UI1, 0, 4, nullptr, "Should be \"data\""}, {"ChunkSize", VT_I4, 4}}};
    return r;
}

// Imported from the sound API's type library.
const RecordDesc& WaveFormatRecord() {
    static const RecordDesc r{"WAVEFORMATEX",
                              GUID_WAVEFORMATEX,
                              sizeof(WAVEFORMATEX),
                              {{"nFormatTag", VT_I2, 0},
                               {"nChannels", VT_I2, 2},
                               {"lSamplesPerSec", VT_I4, 4},
                               {"lAvgBytesPerSec", VT_I4, 8},
                               {"nBlockAlign", VT_I2, 12},
                               {"nBitsPerSample", VT_I2, 14},
                               {"nSize", VT_I2, 16},
                               {"lExtra", VT_I4, 20}}};
    return r;
}

const InterfaceDesc& WavWriterInterface() {
    static const InterfaceDesc d{
        "IWavWriter",
        IWavWriter::iid,
        "IWavWriter Interface",
        {Get<&IWavWriter::get_Header>("Header", 0x60020000, {},
                                      {nullptr, VT_EMPTY, &WavHeaderRecord()}),
         Get<&IWavWriter::get_fxFormat>("fxFormat", 0x60020001, {},
                                        {nullptr, VT_EMPTY, &WaveFormatRecord()}),
         Get<&IWavWriter::get_NumChannels>("NumChannels", 0x60020002),
         Get<&IWavWriter::get_SampleRate>("SampleRate", 0x60020003),
         Get<&IWavWriter::get_ByteRate>("ByteRate", 0x60020004),
         Get<&IWavWriter::get_DataSize>("DataSize", 0x60020005),
         Get<&IWavWriter::get_BytesPerSample>("BytesPerSample", 0x60020006)},
        kInterfaceFlags};
    return d;
}

}  // namespace

const RecordDesc& PeakRecord() {
    static const RecordDesc r{
        "Peak", GUID_Peak, sizeof(Peak), {{"Min", VT_I2, 0}, {"Max", VT_I2, 2}}};
    return r;
}

const RecordDesc& WavHeaderRecord() {
    static const RecordDesc r{"WavHeader",
                              GUID_WavHeader,
                              sizeof(WavHeader),
                              {{"RiffHeader", VT_RECORD, 0, 0, &RiffRecord()},
                               {"FormatHeader", VT_RECORD, 12, 0, &FormatRecord()},
                               {"DataHeader", VT_RECORD, 36, 0, &DataRecord()}}};
    return r;
}

const InterfaceDesc& WavInterface() {
    static const InterfaceDesc d{
        "IWav",
        IWav::iid,
        "IWav Interface",
        {FuncR<&IWav::OpenReader>("OpenReader", 0x60020000),
         Get<&IWav::get_Header>("Header", 0x60020001, {}, {nullptr, VT_EMPTY, &WavHeaderRecord()}),
         Get<&IWav::get_fxFormat>("fxFormat", 0x60020002, {},
                                  {nullptr, VT_EMPTY, &WaveFormatRecord()}),
         Get<&IWav::get_NumChannels>("NumChannels", 0x60020003),
         Get<&IWav::get_SampleRate>("SampleRate", 0x60020004),
         Get<&IWav::get_ByteRate>("ByteRate", 0x60020005),
         Get<&IWav::get_NumSamples>("NumSamples", 0x60020006),
         Get<&IWav::get_BytesPerSample>("BytesPerSample", 0x60020007),
         FuncR<&IWav::Peaks>("Peaks", 0x60020008, {{"NumSamplesPerPeak"}},
                             {nullptr, VT_RECORD, &PeakRecord()}),
         FuncR<&IWav::SampleIndexFromSeconds>("SampleIndexFromSeconds", 0x60020009,
                                              {{"NumSeconds"}}),
         Put<&IWav::put_NumChannels>("NumChannels", 0x60020003, {{"value"}}),
         Put<&IWav::put_SampleRate>("SampleRate", 0x60020004, {{"value"}}),
         Put<&IWav::put_ByteRate>("ByteRate", 0x60020005, {{"value"}}),
         Put<&IWav::put_NumSamples>("NumSamples", 0x60020006, {{"value"}}),
         Put<&IWav::put_BytesPerSample>("BytesPerSample", 0x60020007, {{"value"}}),
         Get<&IWav::get_Data>("Data", 0x6002000f,
                              {{"ChannelIndex"},
                               {"FirstSampleIndex", VT_EMPTY, true, DefaultValue::Integer(0)},
                               {"NumSamples", VT_EMPTY, true, DefaultValue::Integer(-1)}},
                              {"Returns the samples for a single channel.", VT_I2}),
         Get<&IWav::get_RawData>("RawData", 0x60020010,
                                 {{"FirstSampleIndex", VT_EMPTY, true, DefaultValue::Integer(0)},
                                  {"NumSamples", VT_EMPTY, true, DefaultValue::Integer(-1)}},
                                 {"Returns the interleaved samples for all channels.", VT_I2}),
         Get<&IWav::get_Sample>("Sample", 0x60020011, {{"ChannelIndex"}, {"SampleIndex"}}),
         Put<&IWav::put_Sample>("Sample", 0x60020011,
                                {{"ChannelIndex"}, {"SampleIndex"}, {"value"}}),
         FuncR<&IWav::ToByteArray>("ToByteArray", 0x60020013, {}, {nullptr, VT_UI1})},
        kInterfaceFlags};
    return d;
}

const InterfaceDesc& WavReaderInterface() {
    static const InterfaceDesc d{
        "IWavReader",
        IWavReader::iid,
        "IWavReader Interface",
        {Get<&IWavReader::get_Header>("Header", 0x60020000, {},
                                      {nullptr, VT_EMPTY, &WavHeaderRecord()}),
         Get<&IWavReader::get_fxFormat>("fxFormat", 0x60020001, {},
                                        {nullptr, VT_EMPTY, &WaveFormatRecord()}),
         Get<&IWavReader::get_NumChannels>("NumChannels", 0x60020002),
         Get<&IWavReader::get_SampleRate>("SampleRate", 0x60020003),
         Get<&IWavReader::get_ByteRate>("ByteRate", 0x60020004),
         Get<&IWavReader::get_NumSamples>("NumSamples", 0x60020005),
         Get<&IWavReader::get_BytesPerSample>("BytesPerSample", 0x60020006, {},
                                              {kBytesPerSampleHelp}),
         FuncR<&IWavReader::Peaks>("Peaks", 0x60020007, {{"NumSamplesPerPeak"}},
                                   {nullptr, VT_RECORD, &PeakRecord()}),
         FuncR<&IWavReader::SampleIndexFromSeconds>("SampleIndexFromSeconds", 0x60020008,
                                                    {{"NumSeconds"}}),
         Get<&IWavReader::get_EOF>("EOF", 0x60020009, {}, {nullptr, VT_BOOL}),
         FuncR<&IWavReader::Read>(
             "Read", 0x6002000a, {{"NumSamplesToRead", VT_EMPTY, true, DefaultValue::Integer(-1)}}),
         Get<&IWavReader::get_AbsolutePosition>("AbsolutePosition", 0x6002000b),
         Func<&IWavReader::Skip>("Skip", 0x6002000c, {{"NumSamplesToSkip"}})},
        kInterfaceFlags};
    return d;
}

const InterfaceDesc& WavFileInterface() {
    static const InterfaceDesc d{
        "IWavFile",
        IWavFile::iid,
        "IWavFile Interface",
        {Get<&IWavFile::get_Path>("Path", 0x60020000),
         FuncR<&IWavFile::OpenReader>("OpenReader", 0x60020001),
         FuncR<&IWavFile::Create>("Create", 0x60020002,
                                  {{"NumChannels", VT_EMPTY, true, DefaultValue::Integer(2)},
                                   {"SampleRate", VT_EMPTY, true, DefaultValue::Integer(44100)},
                                   {"BytesPerSample", VT_EMPTY, true, DefaultValue::Integer(2)}}),
         FuncR<&IWavFile::Peaks>("Peaks", 0x60020003, {{"NumSamplesPerPeak"}},
                                 {nullptr, VT_RECORD, &PeakRecord()}),
         FuncR<&IWavFile::ReadAll>("ReadAll", 0x60020004)},
        kInterfaceFlags};
    return d;
}

const InterfaceDesc& OggVorbisFileInterface() {
    static const InterfaceDesc d{"IOggVorbisFile",
                                 IOggVorbisFile::iid,
                                 "IOggVorbisFile Interface",
                                 {Get<&IOggVorbisFile::get_Path>("Path", 0x60020000),
                                  FuncR<&IOggVorbisFile::OpenReader>("OpenReader", 0x60020001),
                                  FuncR<&IOggVorbisFile::ReadAll>("ReadAll", 0x60020002)},
                                 kInterfaceFlags};
    return d;
}

const InterfaceDesc& GlobalsInterface() {
    static const InterfaceDesc d{
        "IOvraAudioGlobals",
        IOvraAudioGlobals::iid,
        "IOvraAudioGlobals Interface",
        {FuncR<&IOvraAudioGlobals::WavFile>("WavFile", 0x60020000, {{"Path"}}),
         FuncR<&IOvraAudioGlobals::WavReader>("WavReader", 0x60020001, {{"Stream"}}),
         FuncR<&IOvraAudioGlobals::WavWriter>("WavWriter", 0x60020002, {{"Stream"}}),
         FuncR<&IOvraAudioGlobals::MakeWav>(
             "MakeWav", 0x60020003,
             {{"NumSamples"},
              {"NumChannels", VT_EMPTY, true, DefaultValue::Integer(2)},
              {"SampleRate", VT_EMPTY, true, DefaultValue::Integer(44100)},
              {"BytesPerSample", VT_EMPTY, true, DefaultValue::Integer(2)}}),
         FuncR<&IOvraAudioGlobals::OggVorbisFile>("OggVorbisFile", 0x60020004, {{"Path"}}),
         FuncR<&IOvraAudioGlobals::LoadWav>("LoadWav", 0x60020005, {{"Path"}}),
         FuncR<&IOvraAudioGlobals::ReadWavFromArray>("ReadWavFromArray", 0x60020006,
                                                     {{"Bytes", VT_UI1}})},
        kInterfaceFlags};
    return d;
}

#define OVRA_COCLASS(Fn, Name, Help, Flags, Iface)                              \
    const CoclassDesc& Fn() {                                                   \
        static const CoclassDesc c{#Name, CLSID_##Name, Help, Flags, &Iface()}; \
        return c;                                                               \
    }
OVRA_COCLASS(GlobalsClass, OvraAudioGlobals, "OvraAudioGlobals Class",
             TYPEFLAG_FAPPOBJECT | TYPEFLAG_FCANCREATE | TYPEFLAG_FPREDECLID, GlobalsInterface)
OVRA_COCLASS(WavFileClass, WavFile, "WavFile Class", 0, WavFileInterface)
OVRA_COCLASS(WavFileReaderClass, WavFileReader, "WavFileReader Class", 0, WavReaderInterface)
OVRA_COCLASS(WavClass, Wav, "Wav Class", 0, WavInterface)
OVRA_COCLASS(OggVorbisFileClass, OggVorbisFile, "OggVorbisFile Class", 0, OggVorbisFileInterface)
OVRA_COCLASS(OggVorbisFileReaderClass, OggVorbisFileReader, "OggVorbisFileReader Class", 0,
             WavReaderInterface)
OVRA_COCLASS(WavMemoryReaderClass, WavMemoryReader, "WavMemoryReader Class", 0, WavReaderInterface)
#undef OVRA_COCLASS

const TypeLibDesc& OvraAudioTypeLib() {
    static const TypeLibDesc lib{
        "OvraAudio",
        LIBID_OvraAudio,
        1,
        0,
        0x409,
        "OvraAudio 1.0 Type Library: in-memory PCM audio, WAV and Ogg Vorbis readers",
        {&PeakRecord(), &RiffRecord(), &FormatRecord(), &DataRecord(), &WavHeaderRecord()},
        {&GlobalsInterface(), &WavFileInterface(), &WavReaderInterface(), &WavInterface(),
         &WavWriterInterface(), &OggVorbisFileInterface()},
        {&GlobalsClass(), &WavFileClass(), &WavFileReaderClass(), &WavClass(),
         &OggVorbisFileClass(), &OggVorbisFileReaderClass(), &WavMemoryReaderClass()},
        {{"AudioSample", GUID_AudioSample, VT_I2}}};
    return lib;
}
