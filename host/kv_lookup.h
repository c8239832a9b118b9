// Shared answer rule of every host object's LookupInterface: a name is
// answered only when the caller's minimum revision does not exceed the
// revision the object registers under.
#pragma once

#include <cstdint>
#include <cstring>

#include "host_abi.h"

namespace kvhost {

inline plexa::CAInterface* AnswerIfRevision(plexa::CAInterface* object, uint32_t registered,
                                            uint32_t minimumRevision, uint32_t* actualRevision) {
    if (object == nullptr || minimumRevision > registered) return nullptr;
    if (actualRevision != nullptr) *actualRevision = registered;
    return object;
}

inline bool SameName(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace kvhost
