// Automation strings: UTF-16 text preceded by a 4-byte byte length and
// followed by a 16-bit NUL, handed around as a pointer to the first character.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "com/types.h"

using OLECHAR = char16_t;  // UTF-16; wchar_t is 32 bits here and never used
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// A new string holding the NUL-terminated text; null for a null source.
extern "C" BSTR SysAllocString(const OLECHAR* text);
// A new string of len characters copied from text (zero-filled when text is null).
extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
// A new string of len bytes (an odd length is allowed, as on Windows).
BSTR SysAllocStringByteLen(const char* bytes, UINT len);
extern "C" void SysFreeString(BSTR s);
// Characters in the string, from its prefix; 0 for null.
extern "C" UINT SysStringLen(BSTR s);
extern "C" UINT SysStringByteLen(BSTR s);

// Conversions for paths and messages; malformed input becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);
BSTR BstrFromUtf8(std::string_view utf8);
// The same for C clients: NUL-terminated UTF-8; null for null.
extern "C" BSTR OvraBstrFromUtf8(const char* utf8);
// The whole string by its prefix, embedded NULs included; "" for null.
std::string Utf8FromBstr(BSTR s);
// A NUL-terminated wide string that is not necessarily a BSTR.
std::string Utf8FromOle(LPCOLESTR s);

// Owns one BSTR and frees it when it goes.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) : s_(BstrFromUtf8(utf8)) {}
    explicit Bstr(const OLECHAR* text) : s_(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            SysFreeString(s_);
            s_ = std::exchange(o.s_, nullptr);
        }
        return *this;
    }
    ~Bstr() { SysFreeString(s_); }

    BSTR get() const { return s_; }
    UINT size() const { return SysStringLen(s_); }
    std::string utf8() const { return Utf8FromBstr(s_); }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* Out() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }
    BSTR Detach() { return std::exchange(s_, nullptr); }
    void Attach(BSTR s) {
        SysFreeString(s_);
        s_ = s;
    }

  private:
    BSTR s_ = nullptr;
};
