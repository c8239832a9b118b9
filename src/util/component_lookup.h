// Finds a named interface of a named simulation component, with a fixed
// explanation for each way the search can fail.
#pragma once

#include <cstdint>

#include "boundary/host_abi.h"

namespace vantric {

plexa::CAInterface* LookupComponentInterface(plexa::CAInterface* componentRegistryInterface,
                                             const char* componentName, const char* ifName,
                                             uint32_t minimumRevision, uint32_t* actualRevision,
                                             const char** errorText);

}  // namespace vantric
