// OvraAudio: the interface header clients compile against.
//
// In-memory 16-bit PCM audio (IWav), sequential readers over WAV files,
// in-memory audio and Ogg Vorbis files (IWavReader), and the entry object
// (IOvraAudioGlobals) through which clients reach them. Clients create
// OvraAudioGlobals by class identifier (CLSID_OvraAudioGlobals) or ProgID
// ("OvraAudio.OvraAudioGlobals") and obtain every other object from it.
//
// It compiles alone as C++17 or C++20 and brings what a client needs: the
// interfaces, ComPtr, BSTR helpers and activation (CoCreateInstance).
// Clients link the runtime: pkg-config --cflags --libs ovra-audio.
//
//   ComPtr<IOvraAudioGlobals> audio;
//   if (FAILED(CoCreateInstance(CLSID_OvraAudioGlobals, audio.Out()))) ...
//
// Members marked "Not implemented" return E_NOTIMPL and set any result to
// null; every other member returns E_POINTER for a null result pointer.
#pragma once

#include <cstddef>

#include "com/activation.h"
#include "com/bstr.h"
#include "com/comptr.h"
#include "com/interfaces.h"
#include "com/wave_format.h"

// One sample value of one channel.
using AudioSample = SHORT;

// The smallest and largest value of a stretch of audio.
struct Peak {
    AudioSample Min;
    AudioSample Max;
};

// A 32-bit value clamped to the range of AudioSample.
constexpr AudioSample ClampToAudioSample(LONG value) {
    return static_cast<AudioSample>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// Widens peak to hold each of count values.
inline void ExtendPeak(Peak& peak, const AudioSample* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (values[i] < peak.Min) peak.Min = values[i];
        if (values[i] > peak.Max) peak.Max = values[i];
    }
}

// The peak of count values; of none, Min 32767 and Max -32768.
inline Peak PeakOf(const AudioSample* values, std::size_t count) {
    Peak peak{32767, -32768};
    ExtendPeak(peak, values, count);
    return peak;
}

struct WavRiffHeader {
    BYTE ChunkID[4];  // "RIFF"
    LONG ChunkSize;   // DataSize + 36
    BYTE Format[4];   // "WAVE"
};

struct WavFormatHeader {
    BYTE ChunkID[4];    // "fmt "
    LONG ChunkSize;     // 16
    SHORT AudioFormat;  // 1: integer PCM
    SHORT NumChannels;
    LONG SampleRate;   // frames per second
    LONG ByteRate;     // BytesPerSample * SampleRate * NumChannels
    SHORT BlockAlign;  // BytesPerSample * NumChannels
    SHORT BitsPerSample;
};

struct WavDataHeader {
    BYTE ChunkID[4];  // "data"
    LONG ChunkSize;   // DataSize: bytes of sample data
};

// The canonical 44-byte header of a PCM WAV file whose data begins at 44.
struct WavHeader {
    WavRiffHeader RiffHeader;
    WavFormatHeader FormatHeader;
    WavDataHeader DataHeader;
};

static_assert(sizeof(Peak) == 4 && offsetof(Peak, Max) == 2);
static_assert(sizeof(WavRiffHeader) == 12);
static_assert(offsetof(WavRiffHeader, ChunkSize) == 4 && offsetof(WavRiffHeader, Format) == 8);
static_assert(sizeof(WavFormatHeader) == 24);
static_assert(offsetof(WavFormatHeader, AudioFormat) == 8);
static_assert(offsetof(WavFormatHeader, NumChannels) == 10);
static_assert(offsetof(WavFormatHeader, SampleRate) == 12);
static_assert(offsetof(WavFormatHeader, ByteRate) == 16);
static_assert(offsetof(WavFormatHeader, BlockAlign) == 20);
static_assert(offsetof(WavFormatHeader, BitsPerSample) == 22);
static_assert(sizeof(WavDataHeader) == 8 && offsetof(WavDataHeader, ChunkSize) == 4);
static_assert(sizeof(WavHeader) == 44);
static_assert(offsetof(WavHeader, FormatHeader) == 12 && offsetof(WavHeader, DataHeader) == 36);

// Type library and record identifiers.
constexpr GUID LIBID_OvraAudio = MakeGuid("{8E296B1A-FFBC-4A12-9DA1-4A4628765602}");
constexpr GUID GUID_AudioSample = MakeGuid("{7B723F20-0B6B-45EA-859B-82000A4D6AD5}");
constexpr GUID GUID_Peak = MakeGuid("{60EB6FAA-6F81-40E0-BD23-0414520C6854}");
constexpr GUID GUID_WavRiffHeader = MakeGuid("{E057C3A0-D41D-4EAB-AEF9-3FA1342A97E9}");
constexpr GUID GUID_WavFormatHeader = MakeGuid("{120CFAB8-FE2E-4EFC-8267-701E696CEC45}");
constexpr GUID GUID_WavDataHeader = MakeGuid("{14317D79-EA12-41F6-927C-871569888885}");
constexpr GUID GUID_WavHeader = MakeGuid("{4A5A7A03-6AB6-45B5-8749-29EFAF986818}");

// Class identifiers.
constexpr CLSID CLSID_OvraAudioGlobals = MakeGuid("{DE15BFF7-7686-43AB-BA8F-5528A40E3E4A}");
constexpr CLSID CLSID_WavFile = MakeGuid("{7D4F97F2-6AC6-4EB3-95BA-F8D3C833C76D}");
constexpr CLSID CLSID_WavFileReader = MakeGuid("{E07F3294-0246-4215-9592-AEF234D366A7}");
constexpr CLSID CLSID_Wav = MakeGuid("{C9381173-4CAF-42DA-8CE2-9EEA6508C00A}");
constexpr CLSID CLSID_OggVorbisFile = MakeGuid("{171B51B0-44D5-4B46-9CF8-9D9B50C9F1A1}");
constexpr CLSID CLSID_OggVorbisFileReader = MakeGuid("{715BE3CC-DAB6-46F5-9AA2-7F79807A9C21}");
constexpr CLSID CLSID_WavMemoryReader = MakeGuid("{D4E1B49A-9D41-4093-B611-B1B51A7C21A1}");
constexpr GUID APPID_OvraAudio = MakeGuid("{DEC6B15F-A1D1-453A-9185-C522852A5251}");

struct IWav;
struct IWavWriter;

// A sequential reader of audio: Read hands out the next block as a new IWav.
// SampleIndexFromSeconds: not implemented. A reader of an Ogg Vorbis file
// implements neither Peaks nor Skip.
struct IWavReader : IDispatch {
    static constexpr IID iid = MakeGuid("{7B930DD0-3DDB-404A-9657-DD6B0B82C649}");
    virtual HRESULT get_Header(WavHeader* result) = 0;
    virtual HRESULT get_fxFormat(WAVEFORMATEX* result) = 0;
    virtual HRESULT get_NumChannels(SHORT* result) = 0;
    virtual HRESULT get_SampleRate(LONG* result) = 0;
    virtual HRESULT get_ByteRate(LONG* result) = 0;
    virtual HRESULT get_NumSamples(LONG* result) = 0;
    virtual HRESULT get_BytesPerSample(SHORT* result) = 0;
    virtual HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) = 0;
    virtual HRESULT SampleIndexFromSeconds(float NumSeconds, LONG* result) = 0;
    virtual HRESULT get_EOF(VARIANT_BOOL* result) = 0;
    virtual HRESULT Read(LONG NumSamplesToRead, IWav** result) = 0;
    virtual HRESULT get_AbsolutePosition(LONG* result) = 0;
    virtual HRESULT Skip(LONG NumSamplesToSkip) = 0;
};

// A complete piece of interleaved PCM audio in memory with its header. Its
// format is fixed when it is made: the put_ members (put_NumChannels ...
// put_BytesPerSample) are not implemented, nor are get_Data (use
// get_RawData, or IWavValues for many values at once) and
// SampleIndexFromSeconds.
struct IWav : IDispatch {
    static constexpr IID iid = MakeGuid("{BFFBF813-F7BC-4891-AEE0-39C072B15216}");
    virtual HRESULT OpenReader(IWavReader** result) = 0;
    virtual HRESULT get_Header(WavHeader* result) = 0;
    virtual HRESULT get_fxFormat(WAVEFORMATEX* result) = 0;
    virtual HRESULT get_NumChannels(SHORT* result) = 0;
    virtual HRESULT get_SampleRate(LONG* result) = 0;
    virtual HRESULT get_ByteRate(LONG* result) = 0;
    virtual HRESULT get_NumSamples(LONG* result) = 0;
    virtual HRESULT get_BytesPerSample(SHORT* result) = 0;
    virtual HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) = 0;
    virtual HRESULT SampleIndexFromSeconds(float NumSeconds, LONG* result) = 0;
    virtual HRESULT put_NumChannels(SHORT value) = 0;
    virtual HRESULT put_SampleRate(LONG value) = 0;
    virtual HRESULT put_ByteRate(LONG value) = 0;
    virtual HRESULT put_NumSamples(LONG value) = 0;
    virtual HRESULT put_BytesPerSample(SHORT value) = 0;
    virtual HRESULT get_Data(SHORT ChannelIndex, LONG FirstSampleIndex, LONG NumSamples,
                             SAFEARRAY** result) = 0;
    virtual HRESULT get_RawData(LONG FirstSampleIndex, LONG NumSamples, SAFEARRAY** result) = 0;
    virtual HRESULT get_Sample(SHORT ChannelIndex, LONG SampleIndex, AudioSample* result) = 0;
    virtual HRESULT put_Sample(SHORT ChannelIndex, LONG SampleIndex, AudioSample value) = 0;
    virtual HRESULT ToByteArray(SAFEARRAY** result) = 0;
};

// A WAV writer; published, but no class of the library provides one.
struct IWavWriter : IDispatch {
    static constexpr IID iid = MakeGuid("{FAE435F7-B617-4BCE-8AF2-1D0CCB0E8A14}");
    virtual HRESULT get_Header(WavHeader* result) = 0;
    virtual HRESULT get_fxFormat(WAVEFORMATEX* result) = 0;
    virtual HRESULT get_NumChannels(SHORT* result) = 0;
    virtual HRESULT get_SampleRate(LONG* result) = 0;
    virtual HRESULT get_ByteRate(LONG* result) = 0;
    virtual HRESULT get_DataSize(LONG* result) = 0;
    virtual HRESULT get_BytesPerSample(SHORT* result) = 0;
};

// A WAV file by its path. OpenReader never fails for want of a file: a path
// that does not exist, or a file that is no WAV file, opens as an empty
// reader (0 frames, at its end at once). A client that must tell those
// apart checks the file first, or checks get_NumSamples:
//
//   ComPtr<IWavReader> reader;
//   LONG frames = 0;
//   if (FAILED(file->OpenReader(reader.Out())) ||
//       FAILED(reader->get_NumSamples(&frames)) || frames == 0) ... // nothing to read
//
// Create, Peaks and ReadAll are not implemented (read the file through
// OpenReader; Peaks is a reader's).
struct IWavFile : IDispatch {
    static constexpr IID iid = MakeGuid("{47D9EE70-8E44-4F61-AB47-A02B2B1CB7F8}");
    virtual HRESULT get_Path(BSTR* result) = 0;
    virtual HRESULT OpenReader(IWavReader** result) = 0;
    virtual HRESULT Create(SHORT NumChannels, LONG SampleRate, SHORT BytesPerSample,
                           IWavWriter** result) = 0;
    virtual HRESULT Peaks(LONG NumSamplesPerPeak, SAFEARRAY** result) = 0;
    virtual HRESULT ReadAll(IWav** result) = 0;
};

// An Ogg Vorbis file by its path; ReadAll decodes all of it. get_Path is
// not implemented.
struct IOggVorbisFile : IDispatch {
    static constexpr IID iid = MakeGuid("{F4F087F1-1E44-4486-B4AF-F4A7440EA21B}");
    virtual HRESULT get_Path(BSTR* result) = 0;
    virtual HRESULT OpenReader(IWavReader** result) = 0;
    virtual HRESULT ReadAll(IWav** result) = 0;
};

// Block access to the values of an in-memory Wav (the interleaved 16-bit
// values of its data chunk), for in-process clients that read or write
// many values at once. A Wav answers QueryInterface for it. It takes plain
// pointers, so it is not an automation interface and is never marshalled.
struct IWavValues : IUnknown {
    static constexpr IID iid = MakeGuid("{08987295-8F53-449F-867D-52873FBBBE39}");
    // Copies Count values, from value index FirstValueIndex on, into Values.
    // E_FAIL when the range is not inside the Wav's values.
    virtual HRESULT ReadValues(LONG FirstValueIndex, LONG Count, AudioSample* Values) = 0;
    // Copies Count values from Values into the Wav from FirstValueIndex on.
    // E_FAIL when the range is not inside the Wav's values; nothing changes then.
    virtual HRESULT WriteValues(LONG FirstValueIndex, LONG Count, const AudioSample* Values) = 0;
};

// The entry object. WavFile and OggVorbisFile accept any path (see
// IWavFile). WavReader and WavWriter are not implemented; LoadWav goes
// through IWavFile::ReadAll, so it returns E_NOTIMPL too: use
// WavFile(...)->OpenReader, or ReadWavFromArray on the file's bytes.
struct IOvraAudioGlobals : IDispatch {
    static constexpr IID iid = MakeGuid("{62BB28B6-5A1D-4C32-A992-8A0D13E68460}");
    virtual HRESULT WavFile(BSTR Path, IWavFile** result) = 0;
    virtual HRESULT WavReader(VARIANT Stream, IWavReader** result) = 0;
    virtual HRESULT WavWriter(VARIANT Stream, IWavWriter** result) = 0;
    virtual HRESULT MakeWav(LONG NumSamples, SHORT NumChannels, LONG SampleRate,
                            SHORT BytesPerSample, IWav** result) = 0;
    virtual HRESULT OggVorbisFile(BSTR Path, IOggVorbisFile** result) = 0;
    virtual HRESULT LoadWav(BSTR Path, IWav** result) = 0;
    virtual HRESULT ReadWavFromArray(SAFEARRAY** Bytes, IWav** result) = 0;
};
