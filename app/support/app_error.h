// The program's errors: a number and a description, thrown by an operation
// and caught by the event handler that started the work.
#pragma once

#include <cstdint>
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

// The program's error numbers, the one table of them. Callers may test the
// numbers; the descriptions, made where the error is raised, say what went
// wrong in this program. A failed HRESULT from the audio library keeps its
// code as its number (ErrorFromHResult).
constexpr long kErrInvalidArgument = 5;      // an argument outside what is allowed
constexpr long kErrOverflow = 6;             // a count or size too large to hold
constexpr long kErrOutOfMemory = 7;          // an allocation failed
constexpr long kErrSubscriptOutOfRange = 9;  // a track, tick, loop or row that does not exist
constexpr long kErrDivisionByZero = 11;      // a tempo, tick count or size of zero
constexpr long kErrCancelled = 18;           // the user interrupted long work
constexpr long kErrFileNotFound = 53;        // a file or folder that does not exist
constexpr long kErrBadFileMode = 54;         // a stream used the wrong way round
constexpr long kErrPermissionDenied = 70;    // the file system refused access
constexpr long kErrFileAccess = 75;          // any other failure of the file system
constexpr long kErrObjectNotSet = 91;        // something used before it was made
constexpr long kErrUnexpectedEof = 111;      // a song file that ends too soon
constexpr long kErrInvalidFileFormat = 321;  // a file that is not what it should be
constexpr long kErrNoAudioDevice =           // no sound output could be opened
    static_cast<long>(static_cast<std::int32_t>(0xE0010031u));

// The descriptions the design fixes.
inline const char kTextUnexpectedEof[] = "Unexpected EOF";
inline const char kTextNoAudioDevice[] = "Unable to open audio output device.";

[[noreturn]] void ThrowError(long number, const std::string& description);
// Error 6 with what did not fit.
[[noreturn]] void ThrowOverflow(const std::string& description);
// Error 9 with what does not exist.
[[noreturn]] void ThrowSubscriptOutOfRange(const std::string& description);
// Error 111, "Unexpected EOF".
[[noreturn]] void ThrowUnexpectedEof();
// Error 18: long work the user cancelled.
[[noreturn]] void ThrowCancelled();

// Any exception as the program's error: an AppError as it is, a failed
// allocation (std::bad_alloc, or a container asked to grow past its limit)
// as error 7 with a plain description, anything else with its text.
AppError AsAppError(const std::exception& e);
// What a handler shows for it.
inline std::string ErrorText(const std::exception& e) {
    return AsAppError(e).Description();
}

// The error for a failed HRESULT: the code as number, a plain description.
AppError ErrorFromHResult(HRESULT hr);

// Throws the error of hr when it failed.
inline void Check(HRESULT hr) {
    if (FAILED(hr)) throw ErrorFromHResult(hr);
}

// Whether e is a failed call of the audio library (a bare HRESULT whose
// description says nothing of what was being done).
bool IsLibraryFailure(const AppError& e);

// Runs work; a failed library call in it is said with what was being
// done: "Could not render loop 3: Unspecified error". Other errors say
// that already and pass unchanged.
template <class F>
decltype(auto) Doing(const std::string& what, F&& work) {
    try {
        return work();
    } catch (const AppError& e) {
        if (!IsLibraryFailure(e)) throw;
        throw AppError(e.Number(), "Could not " + what + ": " + e.Description());
    }
}
