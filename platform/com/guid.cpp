#include "com/guid.h"

#include <cstdio>

std::optional<GUID> GuidFromString(std::string_view text) {
    return com_detail::ParseGuid(text);
}

std::string GuidToString(const GUID& g) {
    char out[39];
    std::snprintf(out, sizeof out, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return out;
}
