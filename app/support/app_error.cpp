#include "app_error.h"

void ThrowOverflow() {
    throw AppError(kErrOverflow, "Overflow");
}

void ThrowSubscriptOutOfRange() {
    throw AppError(kErrSubscriptOutOfRange, "Subscript out of range");
}

void ThrowUnexpectedEof() {
    throw AppError(kErrUnexpectedEof, "Unexpected EOF");
}

AppError ErrorFromHResult(HRESULT hr) {
    return AppError(hr, HResultDescription(hr));
}
