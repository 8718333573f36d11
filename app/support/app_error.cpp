#include "support/app_error.h"

#include <new>
#include <system_error>

#include "support/progress.h"

void ThrowError(long number, const std::string& description) {
    throw AppError(number, description);
}

void ThrowOverflow(const std::string& description) {
    ThrowError(kErrOverflow, description);
}

void ThrowSubscriptOutOfRange(const std::string& description) {
    ThrowError(kErrSubscriptOutOfRange, description);
}

void ThrowUnexpectedEof() {
    ThrowError(kErrUnexpectedEof, kTextUnexpectedEof);
}

void ThrowCancelled() {
    ThrowError(kErrCancelled, "Cancelled");
}

void ReportProgress(const Progress& progress, double done) {
    if (progress && !progress(done)) ThrowCancelled();
}

bool IsLibraryFailure(const AppError& e) {
    // The program's own numbers are small; the device's has a sentence;
    // one said with what was being done is said already.
    return e.Number() < 0 && e.Number() != kErrNoAudioDevice &&
           e.Description().rfind("Could not ", 0) != 0;
}

AppError ErrorFromHResult(HRESULT hr) {
    return AppError(hr, HResultDescription(hr));
}

AppError AsAppError(const std::exception& e) {
    if (const auto* app = dynamic_cast<const AppError*>(&e)) return *app;
    const auto* system = dynamic_cast<const std::system_error*>(&e);
    const bool noResources = system && system->code() == std::errc::resource_unavailable_try_again;
    if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const std::length_error*>(&e) ||
        noResources)
        return AppError(kErrOutOfMemory,
                        "Out of memory: there is not enough free memory for this. Close other "
                        "programs, or work with shorter sounds or a faster tempo");
    return AppError(kErrFileAccess, e.what());
}
