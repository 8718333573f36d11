// The standard interfaces of the runtime, as structs of pure virtual
// functions in the slot order of their Windows definitions, so a C client
// sees the same vtables. No virtual destructors: objects die by Release.
#pragma once

#include "com/bstr.h"
#include "com/guid.h"
#include "com/hresult.h"
#include "com/types.h"
#include "com/variant.h"

// The identifier of an interface type, as __uuidof gives it on Windows.
template <class T>
constexpr const IID& IidOf() {
    return T::iid;
}

struct IUnknown {
    static constexpr IID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
    static constexpr IID iid = MakeGuid("{00000001-0000-0000-C000-000000000046}");
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;
};

struct ISupportErrorInfo : IUnknown {
    static constexpr IID iid = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

// Structures of the full ITypeInfo that this runtime does not provide; the
// slots that take them answer E_NOTIMPL.
struct TYPEATTR;
struct FUNCDESC;
struct VARDESC;
struct ITypeComp;
struct ITypeLib;
using HREFTYPE = DWORD;
using INVOKEKIND = INT;

constexpr INVOKEKIND INVOKE_FUNC = 1;
constexpr INVOKEKIND INVOKE_PROPERTYGET = 2;
constexpr INVOKEKIND INVOKE_PROPERTYPUT = 4;
constexpr INVOKEKIND INVOKE_PROPERTYPUTREF = 8;
constexpr MEMBERID MEMBERID_NIL = -1;

struct ITypeInfo : IUnknown {
    static constexpr IID iid = MakeGuid("{00020401-0000-0000-C000-000000000046}");
    virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
    virtual HRESULT GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
    virtual HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
    virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
    virtual HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
    virtual HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                     DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                BSTR* pBstrName, WORD* pwOrdinal) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) = 0;
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) = 0;
    virtual HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
    virtual void ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};

struct IDispatch : IUnknown {
    static constexpr IID iid = MakeGuid("{00020400-0000-0000-C000-000000000046}");
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                  DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;
};

struct IRecordInfo : IUnknown {
    static constexpr IID iid = MakeGuid("{0000002F-0000-0000-C000-000000000046}");
    virtual HRESULT RecordInit(void* pvNew) = 0;
    virtual HRESULT RecordClear(void* pvExisting) = 0;
    virtual HRESULT RecordCopy(void* pvExisting, void* pvNew) = 0;
    virtual HRESULT GetGuid(GUID* pguid) = 0;
    virtual HRESULT GetName(BSTR* pbstrName) = 0;
    virtual HRESULT GetSize(ULONG* pcbSize) = 0;
    virtual HRESULT GetTypeInfo(ITypeInfo** ppTypeInfo) = 0;
    virtual HRESULT GetField(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
    virtual HRESULT GetFieldNoCopy(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField,
                                   void** ppvDataCArray) = 0;
    virtual HRESULT PutField(ULONG wFlags, void* pvData, LPCOLESTR szFieldName,
                             VARIANT* pvarField) = 0;
    virtual HRESULT PutFieldNoCopy(ULONG wFlags, void* pvData, LPCOLESTR szFieldName,
                                   VARIANT* pvarField) = 0;
    virtual HRESULT GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) = 0;
    virtual BOOL IsMatchingType(IRecordInfo* pRecordInfo) = 0;
    virtual void* RecordCreate() = 0;
    virtual HRESULT RecordCreateCopy(void* pvSource, void** ppvDest) = 0;
    virtual HRESULT RecordDestroy(void* pvRecord) = 0;
};

inline constexpr const IID& IID_IUnknown = IUnknown::iid;
inline constexpr const IID& IID_IDispatch = IDispatch::iid;
inline constexpr const IID& IID_IClassFactory = IClassFactory::iid;
inline constexpr const IID& IID_ISupportErrorInfo = ISupportErrorInfo::iid;
inline constexpr const IID& IID_ITypeInfo = ITypeInfo::iid;
inline constexpr const IID& IID_IRecordInfo = IRecordInfo::iid;
