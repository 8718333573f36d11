// The program's errors: a number and a description, thrown by an operation
// and caught by the event handler that started the work.
#pragma once

#include <stdexcept>
#include <string>

#include "com/hresult.h"

class AppError : public std::runtime_error {
  public:
    AppError(long number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    long Number() const { return number_; }
    std::string Description() const { return what(); }

  private:
    long number_;
};

// The program's own error numbers.
constexpr long kErrOverflow = 6;
constexpr long kErrSubscriptOutOfRange = 9;
constexpr long kErrDivisionByZero = 11;
constexpr long kErrUnexpectedEof = 111;

[[noreturn]] void ThrowOverflow();
[[noreturn]] void ThrowSubscriptOutOfRange();
[[noreturn]] void ThrowUnexpectedEof();

// The error for a failed HRESULT: the code as number, a plain description.
AppError ErrorFromHResult(HRESULT hr);

// Throws the error of hr when it failed.
inline void Check(HRESULT hr) {
    if (FAILED(hr)) throw ErrorFromHResult(hr);
}
