/* OvraAudio for C clients: the library's interfaces as the platform's C
 * binding has them, each a structure whose lpVtbl points at its members in
 * slot order, with the object itself as the first argument:
 *
 *     IOvraAudioGlobals* audio = NULL;
 *     if (FAILED(CoCreateInstance(&CLSID_OvraAudioGlobals, NULL, CLSCTX_INPROC_SERVER,
 *                                 &IID_IOvraAudioGlobals, (void**)&audio))) ...
 *     audio->lpVtbl->MakeWav(audio, 441, 2, 44100, 2, &wav);
 *     audio->lpVtbl->Release(audio);
 *
 * It needs C11 (char16_t, anonymous unions). Clients link the runtime, which
 * is C++: pkg-config --cflags --libs ovra-audio. C++ clients include
 * OvraAudio.h instead; the two are not for one translation unit.
 *
 * What OvraAudio.h says of each member holds here: members marked "not
 * implemented" return E_NOTIMPL and set any result to NULL, and a WAV path
 * that does not exist opens as an empty reader (0 frames), so a client
 * that must tell the cases apart checks the file first.
 */
#ifndef OVRA_AUDIO_C_H
#define OVRA_AUDIO_C_H

#ifdef __cplusplus
#error "C++ clients include OvraAudio.h"
#endif

#include <stddef.h>
#include <stdint.h>
#include <uchar.h>

/* Basic types, as the platform names them. */
typedef uint8_t BYTE;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef uint16_t WORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint32_t LCID;
typedef int32_t DISPID;
typedef int32_t HRESULT;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;
typedef int32_t SCODE;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

/* Results. */
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)

/* UTF-16 text; a BSTR carries its byte length before its first character. */
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;

typedef struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND;

typedef struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

typedef struct IUnknown IUnknown;
typedef struct IDispatch IDispatch;
typedef struct ITypeInfo ITypeInfo;
typedef struct IRecordInfo IRecordInfo;
typedef struct DISPPARAMS DISPPARAMS;
typedef struct EXCEPINFO EXCEPINFO;

typedef union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
} CY;

/* A value of any automation type; vt says which member holds it. */
typedef struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BYTE bVal;
        signed char cVal;
        SHORT iVal;
        USHORT uiVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        void* byref;
        struct {
            void* pvRecord;
            IRecordInfo* pRecInfo;
        } rec;
    };
} VARIANT;

enum { VT_EMPTY = 0, VT_I2 = 2, VT_I4 = 3, VT_BSTR = 8, VT_UI1 = 17, VT_ARRAY = 0x2000 };

/* Formats and headers. */
typedef SHORT AudioSample;

typedef struct Peak {
    AudioSample Min;
    AudioSample Max;
} Peak;

typedef struct WAVEFORMATEX {
    SHORT nFormatTag; /* 1 for integer PCM */
    SHORT nChannels;
    LONG lSamplesPerSec; /* frames per second */
    LONG lAvgBytesPerSec;
    SHORT nBlockAlign; /* bytes per frame */
    SHORT nBitsPerSample;
    SHORT nSize; /* bytes of extra format information */
    LONG lExtra;
} WAVEFORMATEX;

typedef struct WavRiffHeader {
    BYTE ChunkID[4]; /* "RIFF" */
    LONG ChunkSize;  /* DataSize + 36 */
    BYTE Format[4];  /* "WAVE" */
} WavRiffHeader;

typedef struct WavFormatHeader {
    BYTE ChunkID[4]; /* "fmt " */
    LONG ChunkSize;  /* 16 */
    SHORT AudioFormat;
    SHORT NumChannels;
    LONG SampleRate;
    LONG ByteRate;
    SHORT BlockAlign;
    SHORT BitsPerSample;
} WavFormatHeader;

typedef struct WavDataHeader {
    BYTE ChunkID[4]; /* "data" */
    LONG ChunkSize;  /* bytes of sample data */
} WavDataHeader;

/* The canonical 44-byte header of a PCM WAV file whose data begins at 44. */
typedef struct WavHeader {
    WavRiffHeader RiffHeader;
    WavFormatHeader FormatHeader;
    WavDataHeader DataHeader;
} WavHeader;

_Static_assert(sizeof(GUID) == 16, "GUID");
_Static_assert(sizeof(VARIANT) == 24, "VARIANT");
_Static_assert(sizeof(WAVEFORMATEX) == 24, "WAVEFORMATEX");
_Static_assert(sizeof(WavHeader) == 44, "WavHeader");
_Static_assert(offsetof(WavHeader, DataHeader) == 36, "WavHeader");

/* Identifiers. */
static const GUID LIBID_OvraAudio = {
    0x8E296B1A, 0xFFBC, 0x4A12, {0x9D, 0xA1, 0x4A, 0x46, 0x28, 0x76, 0x56, 0x02}};
static const GUID GUID_AudioSample = {
    0x7B723F20, 0x0B6B, 0x45EA, {0x85, 0x9B, 0x82, 0x00, 0x0A, 0x4D, 0x6A, 0xD5}};
static const GUID GUID_Peak = {
    0x60EB6FAA, 0x6F81, 0x40E0, {0xBD, 0x23, 0x04, 0x14, 0x52, 0x0C, 0x68, 0x54}};
static const GUID GUID_WavRiffHeader = {
    0xE057C3A0, 0xD41D, 0x4EAB, {0xAE, 0xF9, 0x3F, 0xA1, 0x34, 0x2A, 0x97, 0xE9}};
static const GUID GUID_WavFormatHeader = {
    0x120CFAB8, 0xFE2E, 0x4EFC, {0x82, 0x67, 0x70, 0x1E, 0x69, 0x6C, 0xEC, 0x45}};
static const GUID GUID_WavDataHeader = {
    0x14317D79, 0xEA12, 0x41F6, {0x92, 0x7C, 0x87, 0x15, 0x69, 0x88, 0x88, 0x85}};
static const GUID GUID_WavHeader = {
    0x4A5A7A03, 0x6AB6, 0x45B5, {0x87, 0x49, 0x29, 0xEF, 0xAF, 0x98, 0x68, 0x18}};
static const CLSID CLSID_OvraAudioGlobals = {
    0xDE15BFF7, 0x7686, 0x43AB, {0xBA, 0x8F, 0x55, 0x28, 0xA4, 0x0E, 0x3E, 0x4A}};
static const CLSID CLSID_WavFile = {
    0x7D4F97F2, 0x6AC6, 0x4EB3, {0x95, 0xBA, 0xF8, 0xD3, 0xC8, 0x33, 0xC7, 0x6D}};
static const CLSID CLSID_WavFileReader = {
    0xE07F3294, 0x0246, 0x4215, {0x95, 0x92, 0xAE, 0xF2, 0x34, 0xD3, 0x66, 0xA7}};
static const CLSID CLSID_Wav = {
    0xC9381173, 0x4CAF, 0x42DA, {0x8C, 0xE2, 0x9E, 0xEA, 0x65, 0x08, 0xC0, 0x0A}};
static const CLSID CLSID_OggVorbisFile = {
    0x171B51B0, 0x44D5, 0x4B46, {0x9C, 0xF8, 0x9D, 0x9B, 0x50, 0xC9, 0xF1, 0xA1}};
static const CLSID CLSID_OggVorbisFileReader = {
    0x715BE3CC, 0xDAB6, 0x46F5, {0x9A, 0xA2, 0x7F, 0x79, 0x80, 0x7A, 0x9C, 0x21}};
static const CLSID CLSID_WavMemoryReader = {
    0xD4E1B49A, 0x9D41, 0x4093, {0xB6, 0x11, 0xB1, 0xB5, 0x1A, 0x7C, 0x21, 0xA1}};
static const GUID APPID_OvraAudio = {
    0xDEC6B15F, 0xA1D1, 0x453A, {0x91, 0x85, 0xC5, 0x22, 0x85, 0x2A, 0x52, 0x51}};
static const IID IID_IWavReader = {
    0x7B930DD0, 0x3DDB, 0x404A, {0x96, 0x57, 0xDD, 0x6B, 0x0B, 0x82, 0xC6, 0x49}};
static const IID IID_IWav = {
    0xBFFBF813, 0xF7BC, 0x4891, {0xAE, 0xE0, 0x39, 0xC0, 0x72, 0xB1, 0x52, 0x16}};
static const IID IID_IWavWriter = {
    0xFAE435F7, 0xB617, 0x4BCE, {0x8A, 0xF2, 0x1D, 0x0C, 0xCB, 0x0E, 0x8A, 0x14}};
static const IID IID_IWavFile = {
    0x47D9EE70, 0x8E44, 0x4F61, {0xAB, 0x47, 0xA0, 0x2B, 0x2B, 0x1C, 0xB7, 0xF8}};
static const IID IID_IOggVorbisFile = {
    0xF4F087F1, 0x1E44, 0x4486, {0xB4, 0xAF, 0xF4, 0xA7, 0x44, 0x0E, 0xA2, 0x1B}};
static const IID IID_IWavValues = {
    0x08987295, 0x8F53, 0x449F, {0x86, 0x7D, 0x52, 0x87, 0x3F, 0xBB, 0xBE, 0x39}};
static const IID IID_IOvraAudioGlobals = {
    0x62BB28B6, 0x5A1D, 0x4C32, {0xA9, 0x92, 0x8A, 0x0D, 0x13, 0xE6, 0x84, 0x60}};

/* The members every interface starts with. */
#define OVRA_IUNKNOWN_MEMBERS(T)                                  \
    HRESULT (*QueryInterface)(T * This, REFIID riid, void** ppv); \
    ULONG (*AddRef)(T * This);                                    \
    ULONG (*Release)(T * This);
#define OVRA_IDISPATCH_MEMBERS(T)                                                                  \
    OVRA_IUNKNOWN_MEMBERS(T)                                                                       \
    HRESULT (*GetTypeInfoCount)(T * This, UINT * pctinfo);                                         \
    HRESULT (*GetTypeInfo)(T * This, UINT iTInfo, LCID lcid, ITypeInfo * *ppTInfo);                \
    HRESULT(*GetIDsOfNames)                                                                        \
    (T * This, REFIID riid, LPOLESTR * rgszNames, UINT cNames, LCID lcid, DISPID * rgDispId);      \
    HRESULT(*Invoke)                                                                               \
    (T * This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS * pDispParams, \
     VARIANT * pVarResult, EXCEPINFO * pExcepInfo, UINT * puArgErr);

typedef struct IUnknownVtbl {
    OVRA_IUNKNOWN_MEMBERS(IUnknown)
} IUnknownVtbl;
struct IUnknown {
    const struct IUnknownVtbl* lpVtbl;
};

typedef struct IDispatchVtbl {
    OVRA_IDISPATCH_MEMBERS(IDispatch)
} IDispatchVtbl;
struct IDispatch {
    const struct IDispatchVtbl* lpVtbl;
};

typedef struct IWavReader IWavReader;
typedef struct IWav IWav;
typedef struct IWavWriter IWavWriter;
typedef struct IWavFile IWavFile;
typedef struct IOggVorbisFile IOggVorbisFile;
typedef struct IWavValues IWavValues;
typedef struct IOvraAudioGlobals IOvraAudioGlobals;

// A sequential reader of audio: Read hands out the next block as a new IWav.
// SampleIndexFromSeconds: not implemented. A reader of an Ogg Vorbis file
// implements neither Peaks nor Skip.
typedef struct IWavReaderVtbl {
    OVRA_IDISPATCH_MEMBERS(IWavReader)
    HRESULT (*get_Header)(IWavReader* This, WavHeader* result);
    HRESULT (*get_fxFormat)(IWavReader* This, WAVEFORMATEX* result);
    HRESULT (*get_NumChannels)(IWavReader* This, SHORT* result);
    HRESULT (*get_SampleRate)(IWavReader* This, LONG* result);
    HRESULT (*get_ByteRate)(IWavReader* This, LONG* result);
    HRESULT (*get_NumSamples)(IWavReader* This, LONG* result);
    HRESULT (*get_BytesPerSample)(IWavReader* This, SHORT* result);
    HRESULT (*Peaks)(IWavReader* This, LONG NumSamplesPerPeak, SAFEARRAY** result);
    HRESULT (*SampleIndexFromSeconds)(IWavReader* This, float NumSeconds, LONG* result);
    HRESULT (*get_EOF)(IWavReader* This, VARIANT_BOOL* result);
    HRESULT (*Read)(IWavReader* This, LONG NumSamplesToRead, IWav** result);
    HRESULT (*get_AbsolutePosition)(IWavReader* This, LONG* result);
    HRESULT (*Skip)(IWavReader* This, LONG NumSamplesToSkip);
} IWavReaderVtbl;
struct IWavReader {
    const struct IWavReaderVtbl* lpVtbl;
};

// A complete piece of interleaved PCM audio in memory with its header. Its
// format is fixed when it is made: the put_ members (put_NumChannels ...
// put_BytesPerSample) are not implemented, nor are get_Data (use
// get_RawData, or IWavValues for many values at once) and
// SampleIndexFromSeconds.
typedef struct IWavVtbl {
    OVRA_IDISPATCH_MEMBERS(IWav)
    HRESULT (*OpenReader)(IWav* This, IWavReader** result);
    HRESULT (*get_Header)(IWav* This, WavHeader* result);
    HRESULT (*get_fxFormat)(IWav* This, WAVEFORMATEX* result);
    HRESULT (*get_NumChannels)(IWav* This, SHORT* result);
    HRESULT (*get_SampleRate)(IWav* This, LONG* result);
    HRESULT (*get_ByteRate)(IWav* This, LONG* result);
    HRESULT (*get_NumSamples)(IWav* This, LONG* result);
    HRESULT (*get_BytesPerSample)(IWav* This, SHORT* result);
    HRESULT (*Peaks)(IWav* This, LONG NumSamplesPerPeak, SAFEARRAY** result);
    HRESULT (*SampleIndexFromSeconds)(IWav* This, float NumSeconds, LONG* result);
    HRESULT (*put_NumChannels)(IWav* This, SHORT value);
    HRESULT (*put_SampleRate)(IWav* This, LONG value);
    HRESULT (*put_ByteRate)(IWav* This, LONG value);
    HRESULT (*put_NumSamples)(IWav* This, LONG value);
    HRESULT (*put_BytesPerSample)(IWav* This, SHORT value);
    HRESULT(*get_Data)
    (IWav* This, SHORT ChannelIndex, LONG FirstSampleIndex, LONG NumSamples, SAFEARRAY** result);
    HRESULT (*get_RawData)(IWav* This, LONG FirstSampleIndex, LONG NumSamples, SAFEARRAY** result);
    HRESULT (*get_Sample)(IWav* This, SHORT ChannelIndex, LONG SampleIndex, AudioSample* result);
    HRESULT (*put_Sample)(IWav* This, SHORT ChannelIndex, LONG SampleIndex, AudioSample value);
    HRESULT (*ToByteArray)(IWav* This, SAFEARRAY** result);
} IWavVtbl;
struct IWav {
    const struct IWavVtbl* lpVtbl;
};

// A WAV writer; published, but no class of the library provides one.
typedef struct IWavWriterVtbl {
    OVRA_IDISPATCH_MEMBERS(IWavWriter)
    HRESULT (*get_Header)(IWavWriter* This, WavHeader* result);
    HRESULT (*get_fxFormat)(IWavWriter* This, WAVEFORMATEX* result);
    HRESULT (*get_NumChannels)(IWavWriter* This, SHORT* result);
    HRESULT (*get_SampleRate)(IWavWriter* This, LONG* result);
    HRESULT (*get_ByteRate)(IWavWriter* This, LONG* result);
    HRESULT (*get_DataSize)(IWavWriter* This, LONG* result);
    HRESULT (*get_BytesPerSample)(IWavWriter* This, SHORT* result);
} IWavWriterVtbl;
struct IWavWriter {
    const struct IWavWriterVtbl* lpVtbl;
};

// A WAV file by its path. OpenReader never fails for want of a file: a path
// that does not exist, or a file that is no WAV file, opens as an empty
// reader (0 frames, at its end at once). A client that must tell those
// apart checks the file first, or checks get_NumSamples:
//
//   IWavReader* reader = NULL;
//   LONG frames = 0;
//   if (FAILED(file->lpVtbl->OpenReader(file, &reader)) ||
//       FAILED(reader->lpVtbl->get_NumSamples(reader, &frames)) || frames == 0) ...
//
// Create, Peaks and ReadAll are not implemented (read the file through
// OpenReader; Peaks is a reader's).
typedef struct IWavFileVtbl {
    OVRA_IDISPATCH_MEMBERS(IWavFile)
    HRESULT (*get_Path)(IWavFile* This, BSTR* result);
    HRESULT (*OpenReader)(IWavFile* This, IWavReader** result);
    HRESULT(*Create)
    (IWavFile* This, SHORT NumChannels, LONG SampleRate, SHORT BytesPerSample, IWavWriter** result);
    HRESULT (*Peaks)(IWavFile* This, LONG NumSamplesPerPeak, SAFEARRAY** result);
    HRESULT (*ReadAll)(IWavFile* This, IWav** result);
} IWavFileVtbl;
struct IWavFile {
    const struct IWavFileVtbl* lpVtbl;
};

// An Ogg Vorbis file by its path; ReadAll decodes all of it. get_Path is
// not implemented.
typedef struct IOggVorbisFileVtbl {
    OVRA_IDISPATCH_MEMBERS(IOggVorbisFile)
    HRESULT (*get_Path)(IOggVorbisFile* This, BSTR* result);
    HRESULT (*OpenReader)(IOggVorbisFile* This, IWavReader** result);
    HRESULT (*ReadAll)(IOggVorbisFile* This, IWav** result);
} IOggVorbisFileVtbl;
struct IOggVorbisFile {
    const struct IOggVorbisFileVtbl* lpVtbl;
};

// Block access to the values of an in-memory Wav (the interleaved 16-bit
// values of its data chunk), for in-process clients that read or write
// many values at once. A Wav answers QueryInterface for it. It takes plain
// pointers, so it is not an automation interface and is never marshalled.
// Both members return E_FAIL when the range is not inside the Wav's values,
// and WriteValues changes nothing then.
typedef struct IWavValuesVtbl {
    OVRA_IUNKNOWN_MEMBERS(IWavValues)
    HRESULT (*ReadValues)(IWavValues* This, LONG FirstValueIndex, LONG Count, AudioSample* Values);
    HRESULT(*WriteValues)
    (IWavValues* This, LONG FirstValueIndex, LONG Count, const AudioSample* Values);
} IWavValuesVtbl;
struct IWavValues {
    const struct IWavValuesVtbl* lpVtbl;
};

// The entry object. WavFile and OggVorbisFile accept any path (see
// IWavFile). WavReader and WavWriter are not implemented; LoadWav goes
// through IWavFile::ReadAll, so it returns E_NOTIMPL too: use
// WavFile(...)->OpenReader, or ReadWavFromArray on the file's bytes.
typedef struct IOvraAudioGlobalsVtbl {
    OVRA_IDISPATCH_MEMBERS(IOvraAudioGlobals)
    HRESULT (*WavFile)(IOvraAudioGlobals* This, BSTR Path, IWavFile** result);
    HRESULT (*WavReader)(IOvraAudioGlobals* This, VARIANT Stream, IWavReader** result);
    HRESULT (*WavWriter)(IOvraAudioGlobals* This, VARIANT Stream, IWavWriter** result);
    HRESULT(*MakeWav)
    (IOvraAudioGlobals* This, LONG NumSamples, SHORT NumChannels, LONG SampleRate,
     SHORT BytesPerSample, IWav** result);
    HRESULT (*OggVorbisFile)(IOvraAudioGlobals* This, BSTR Path, IOggVorbisFile** result);
    HRESULT (*LoadWav)(IOvraAudioGlobals* This, BSTR Path, IWav** result);
    HRESULT (*ReadWavFromArray)(IOvraAudioGlobals* This, SAFEARRAY** Bytes, IWav** result);
} IOvraAudioGlobalsVtbl;
struct IOvraAudioGlobals {
    const struct IOvraAudioGlobalsVtbl* lpVtbl;
};

/* The runtime: activation, strings, arrays and variants. */
#define CLSCTX_INPROC_SERVER 0x1

/* Creates an object of a registered class (the per-user registry first,
 * then the machine-wide one; OVRA_REGISTRY names another). */
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv);
/* The class of a ProgID such as "OvraAudio.OvraAudioGlobals". */
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
void SysFreeString(BSTR s);
UINT SysStringLen(BSTR s);
UINT SysStringByteLen(BSTR s);
/* A new BSTR holding UTF-8 text (a path as the system gives it); NULL for
 * NULL. Malformed UTF-8 becomes U+FFFD. Free it with SysFreeString. */
BSTR OvraBstrFromUtf8(const char* utf8);

HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);

void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);

#endif /* OVRA_AUDIO_C_H */
