// A type library as tables compiled into the server: records with their
// fields, interfaces with their members and parameters, classes with their
// flags. IDispatch, ITypeInfo and IRecordInfo are driven by these tables.
#pragma once

#include <cstddef>
#include <vector>

#include "com/guid.h"
#include "com/hresult.h"
#include "com/types.h"
#include "com/variant.h"

struct RecordDesc;

struct FieldDesc {
    const char* name;
    VARTYPE vt;                          // element type for a fixed array
    ULONG offset;                        // byte offset in the record
    ULONG count = 0;                     // elements of a fixed array; 0 for a single value
    const RecordDesc* record = nullptr;  // for VT_RECORD fields
    const char* help = nullptr;
};

struct RecordDesc {
    const char* name;
    GUID guid;
    ULONG size;
    std::vector<FieldDesc> fields;
    const char* help = nullptr;
};

// A default for an optional parameter that was left out.
struct DefaultValue {
    enum Kind { kNone, kInteger, kReal, kText } kind = kNone;
    LONGLONG integer = 0;
    double real = 0;
    const char* text = nullptr;

    static DefaultValue Integer(LONGLONG v) { return {kInteger, v, 0, nullptr}; }
    static DefaultValue Real(double v) { return {kReal, 0, v, nullptr}; }
    static DefaultValue Text(const char* v) { return {kText, 0, 0, v}; }
};

struct ParamDesc {
    const char* name;
    VARTYPE vt;                          // declared type; VT_ARRAY|elem for arrays
    const IID* iid = nullptr;            // interface type of VT_DISPATCH/VT_UNKNOWN parameters
    const RecordDesc* record = nullptr;  // for VT_RECORD
    bool byRef = false;                  // [in, out]
    bool optional = false;
    DefaultValue def;
};

struct MemberDesc;

// Calls the member on an interface pointer with its arguments already
// converted to the declared types (args[0] is the first parameter), and
// stores the result, if any, in *result.
using InvokeThunk = HRESULT (*)(void* iface, VARIANT* args, VARIANT* result,
                                const MemberDesc& member);

enum class MemberKind { kMethod = 1, kPropertyGet = 2, kPropertyPut = 4 };

struct MemberDesc {
    const char* name;
    DISPID dispid;
    MemberKind kind;
    std::vector<ParamDesc> params;  // without the result
    bool hasResult = false;
    VARTYPE resultVt = VT_EMPTY;
    const RecordDesc* resultRecord = nullptr;
    const char* help = nullptr;
    InvokeThunk thunk = nullptr;
};

struct InterfaceDesc {
    const char* name;
    IID iid;
    const char* help;
    std::vector<MemberDesc> members;  // in slot order
    WORD flags = 0;                   // TYPEFLAG_*
};

constexpr WORD TYPEFLAG_FAPPOBJECT = 0x1;
constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
constexpr WORD TYPEFLAG_FPREDECLID = 0x8;
constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;

struct CoclassDesc {
    const char* name;
    CLSID clsid;
    const char* help;
    WORD flags;
    const InterfaceDesc* defaultInterface;
};

// A named synonym of an automation type (typedef).
struct AliasDesc {
    const char* name;
    GUID guid;
    VARTYPE vt;
};

struct TypeLibDesc {
    const char* name;
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    const char* help;
    std::vector<const RecordDesc*> records;
    std::vector<const InterfaceDesc*> interfaces;
    std::vector<const CoclassDesc*> coclasses;
    std::vector<AliasDesc> aliases = {};
};

// The first member with that DISPID whose kind is one of kinds (a mask of
// MemberKind values); null when there is none.
const MemberDesc* FindMember(const InterfaceDesc& desc, DISPID id, int kinds);
