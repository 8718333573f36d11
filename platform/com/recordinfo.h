// IRecordInfo over a record table: creation, copying and clearing of
// records, and field access by name.
#pragma once

#include "com/interfaces.h"
#include "com/typelib.h"

// A new IRecordInfo describing desc (one reference for the caller).
HRESULT CreateRecordInfo(const RecordDesc& desc, IRecordInfo** out);

// A VT_RECORD variant holding a copy of the record at data.
HRESULT RecordToVariant(const RecordDesc& desc, const void* data, VARIANT* out);
