// IDispatch over an interface table: names to DISPIDs and late-bound calls
// with argument conversion, named arguments and defaults.
#pragma once

#include "com/interfaces.h"
#include "com/typelib.h"

// Looks up a member name (case-insensitive) and then its parameter names;
// the DISPID of a parameter is its position. Cached per interface.
HRESULT DispatchGetIDsOfNames(const InterfaceDesc& desc, LPOLESTR* names, UINT count, DISPID* ids);

// Calls a member on iface, an interface pointer of the type desc describes.
// A member that fails makes the call fail with DISP_E_EXCEPTION and its
// HRESULT in excepInfo->scode when excepInfo is given, else with its HRESULT.
HRESULT DispatchInvoke(const InterfaceDesc& desc, void* iface, DISPID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// The ITypeInfo of an interface table (names, documentation, invocation).
HRESULT CreateTypeInfo(const InterfaceDesc& desc, ITypeInfo** out);
