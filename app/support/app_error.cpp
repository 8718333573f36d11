#include "support/app_error.h"

#include <new>

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

AppError ErrorFromHResult(HRESULT hr) {
    return AppError(hr, HResultDescription(hr));
}

AppError AsAppError(const std::exception& e) {
    if (const auto* app = dynamic_cast<const AppError*>(&e)) return *app;
    if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const std::length_error*>(&e))
        return AppError(kErrOutOfMemory,
                        "Out of memory: there is not enough free memory for this. Close other "
                        "programs, or work with shorter sounds or a faster tempo");
    return AppError(kErrFileAccess, e.what());
}
