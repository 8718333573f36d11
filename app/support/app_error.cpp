#include "support/app_error.h"

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
