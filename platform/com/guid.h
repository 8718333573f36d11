// 128-bit identifiers of interfaces, classes, records and type libraries,
// in the Windows memory layout, with the braced text form
// "{8E296B1A-FFBC-4A12-9DA1-4A4628765602}".
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "com/types.h"

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}
inline bool operator<(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) < 0;
}

namespace com_detail {
constexpr int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}
// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" with or without braces.
constexpr std::optional<GUID> ParseGuid(std::string_view s) {
    if (s.size() == 38) {
        if (s.front() != '{' || s.back() != '}') return std::nullopt;
        s = s.substr(1, 36);
    }
    if (s.size() != 36) return std::nullopt;
    std::uint8_t bytes[16] = {};
    int n = 0;
    for (std::size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    GUID g{};
    g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
              (std::uint32_t{bytes[2]} << 8) | bytes[3];
    g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int k = 0; k < 8; ++k) g.Data4[k] = bytes[8 + k];
    return g;
}
}  // namespace com_detail

// A GUID from its text, checked at compile time when used in a constant
// (always in C++20; in C++17, where a constant is initialised with it).
#if defined(__cpp_consteval)
#define OVRA_CONSTEVAL consteval
#else
#define OVRA_CONSTEVAL constexpr
#endif
OVRA_CONSTEVAL GUID MakeGuid(const char* text) {
    std::string_view s(text);
    auto g = com_detail::ParseGuid(s);
    if (!g) throw "malformed GUID literal";
    return *g;
}

// Parses the braced (or bare) text form; nullopt when it is malformed.
std::optional<GUID> GuidFromString(std::string_view text);

// Upper-case braced text form.
std::string GuidToString(const GUID& g);

constexpr GUID GUID_NULL{};
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
