#include "com/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Layout: [ULONG byte length][characters ...][NUL NUL]; the BSTR points at
// the first character.
BSTR AllocBytes(const void* src, std::size_t bytes) {
    if (bytes > std::numeric_limits<ULONG>::max() - 16) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(ULONG) + bytes + 2));
    if (!block) return nullptr;
    ULONG len = static_cast<ULONG>(bytes);
    std::memcpy(block, &len, sizeof len);
    unsigned char* data = block + sizeof(ULONG);
    if (src)
        std::memcpy(data, src, bytes);
    else
        std::memset(data, 0, bytes);
    data[bytes] = 0;
    data[bytes + 1] = 0;
    return reinterpret_cast<BSTR>(data);
}

ULONG PrefixOf(BSTR s) {
    ULONG len;
    std::memcpy(&len, reinterpret_cast<unsigned char*>(s) - sizeof(ULONG), sizeof len);
    return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    std::size_t n = std::char_traits<OLECHAR>::length(text);
    return AllocBytes(text, n * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT len) {
    return AllocBytes(text, std::size_t{len} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT len) {
    return AllocBytes(bytes, len);
}

void SysFreeString(BSTR s) {
    if (s) std::free(reinterpret_cast<unsigned char*>(s) - sizeof(ULONG));
}

UINT SysStringLen(BSTR s) {
    return s ? PrefixOf(s) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR s) {
    return s ? PrefixOf(s) : 0;
}

std::u16string Utf16FromUtf8(std::string_view in) {
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    std::u16string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (extra == 0) {
            cp = c;
        } else if (extra > 0 && in.size() - i > static_cast<std::size_t>(extra)) {
            char32_t v = c & (0x3F >> extra);
            bool ok = true;
            for (int k = 1; k <= extra; ++k) {
                unsigned char cc = static_cast<unsigned char>(in[i + k]);
                ok = ok && (cc & 0xC0) == 0x80;
                v = (v << 6) | (cc & 0x3F);
            }
            if (ok && v >= kMin[extra] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                cp = v;
                len = static_cast<std::size_t>(extra) + 1;
            }
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

BSTR BstrFromUtf8(std::string_view utf8) {
    std::u16string w = Utf16FromUtf8(utf8);
    return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

BSTR OvraBstrFromUtf8(const char* utf8) {
    if (!utf8) return nullptr;
    try {
        return BstrFromUtf8(utf8);
    } catch (...) {
        return nullptr;  // out of memory: C callers see null
    }
}

std::string Utf8FromBstr(BSTR s) {
    if (!s) return {};
    return Utf8FromUtf16(std::u16string_view(s, SysStringLen(s)));
}

std::string Utf8FromOle(LPCOLESTR s) {
    if (!s) return {};
    return Utf8FromUtf16(std::u16string_view(s));
}
