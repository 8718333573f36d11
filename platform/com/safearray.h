// Automation arrays with the Windows descriptor layout. The runtime makes
// one-dimensional vectors; the descriptor is preceded by a hidden 16-byte
// block holding the element type and, for arrays of records, the record's
// IRecordInfo, as on Windows.
#pragma once

#include "com/hresult.h"
#include "com/types.h"

struct IRecordInfo;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

constexpr USHORT FADF_AUTO = 0x1;
constexpr USHORT FADF_STATIC = 0x2;
constexpr USHORT FADF_EMBEDDED = 0x4;
constexpr USHORT FADF_FIXEDSIZE = 0x10;
constexpr USHORT FADF_RECORD = 0x20;
constexpr USHORT FADF_HAVEIID = 0x40;
constexpr USHORT FADF_HAVEVARTYPE = 0x80;
constexpr USHORT FADF_BSTR = 0x100;
constexpr USHORT FADF_UNKNOWN = 0x200;
constexpr USHORT FADF_DISPATCH = 0x400;
constexpr USHORT FADF_VARIANT = 0x800;

// As SafeArrayCreateVector for plain element types (numbers, BOOL), but the
// data is left uninitialised: for callers that write every element at once.
SAFEARRAY* SafeArrayCreateVectorUninit(VARTYPE vt, LONG lLbound, ULONG cElements);
// A vector of cElements elements of type vt, zero-filled; null when vt is not
// an element type, is VT_RECORD (use the Ex form) or memory runs out.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// As above; for VT_RECORD, extra is the element's IRecordInfo (referenced).
SAFEARRAY* SafeArrayCreateVectorEx(VARTYPE vt, LONG lLbound, ULONG cElements, void* extra);
// Frees the elements (strings, references, records) and the array itself.
// Fails with DISP_E_ARRAYISLOCKED while the array is locked.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** prinfo);
// A deep copy: strings duplicated, references added, records copied.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// Element access by index (one index for a vector), copying in and out.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// Bytes per element of an array of vt; 0 when vt cannot be an element type.
ULONG SafeArrayElementSize(VARTYPE vt);
