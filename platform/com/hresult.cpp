#include "com/hresult.h"

#include <cstdio>

std::string HResultDescription(HRESULT hr) {
    switch (hr) {
        case S_OK:
            return "The operation completed successfully.";
        case S_FALSE:
            return "The operation completed with a false result.";
        case E_NOTIMPL:
            return "Not implemented";
        case E_NOINTERFACE:
            return "No such interface supported";
        case E_POINTER:
            return "Invalid pointer";
        case E_ABORT:
            return "Operation aborted";
        case E_FAIL:
            return "Unspecified error";
        case E_UNEXPECTED:
            return "Catastrophic failure";
        case E_ACCESSDENIED:
            return "Access is denied.";
        case E_OUTOFMEMORY:
            return "Out of memory";
        case E_INVALIDARG:
            return "The parameter is incorrect.";
        case DISP_E_UNKNOWNINTERFACE:
            return "Unknown interface.";
        case DISP_E_MEMBERNOTFOUND:
            return "Member not found.";
        case DISP_E_PARAMNOTFOUND:
            return "Parameter not found.";
        case DISP_E_TYPEMISMATCH:
            return "Type mismatch.";
        case DISP_E_UNKNOWNNAME:
            return "Unknown name.";
        case DISP_E_NONAMEDARGS:
            return "No named arguments.";
        case DISP_E_BADVARTYPE:
            return "Bad variable type.";
        case DISP_E_EXCEPTION:
            return "Exception occurred.";
        case DISP_E_OVERFLOW:
            return "Out of present range.";
        case DISP_E_BADINDEX:
            return "Invalid index.";
        case DISP_E_UNKNOWNLCID:
            return "Unknown language.";
        case DISP_E_ARRAYISLOCKED:
            return "Memory is locked.";
        case DISP_E_BADPARAMCOUNT:
            return "Invalid number of parameters.";
        case DISP_E_PARAMNOTOPTIONAL:
            return "Parameter not optional.";
        case TYPE_E_LIBNOTREGISTERED:
            return "Library not registered.";
        case TYPE_E_ELEMENTNOTFOUND:
            return "Element not found.";
        case REGDB_E_READREGDB:
            return "Could not read key from registry";
        case REGDB_E_WRITEREGDB:
            return "Could not write key to registry";
        case REGDB_E_INVALIDVALUE:
            return "Invalid value for registry";
        case REGDB_E_CLASSNOTREG:
            return "Class not registered";
        case CLASS_E_NOAGGREGATION:
            return "Class does not support aggregation";
        case CLASS_E_CLASSNOTAVAILABLE:
            return "ClassFactory cannot supply requested class";
        case SELFREG_E_TYPELIB:
            return "Failed to register or unregister the type library";
        case SELFREG_E_CLASS:
            return "Failed to register or unregister the classes";
        case CO_E_CLASSSTRING:
            return "Invalid class string";
        case CO_E_DLLNOTFOUND:
            return "DLL for class not found";
        case CO_E_ERRORINDLL:
            return "Error in the DLL";
        default:
            break;
    }
    return SUCCEEDED(hr) ? "Success" : "Error " + HResultHex(hr);
}

std::string HResultHex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}
