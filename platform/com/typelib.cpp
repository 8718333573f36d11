#include "com/typelib.h"

const MemberDesc* FindMember(const InterfaceDesc& desc, DISPID id, int kinds) {
    for (const MemberDesc& m : desc.members)
        if (m.dispid == id && (static_cast<int>(m.kind) & kinds)) return &m;
    return nullptr;
}
