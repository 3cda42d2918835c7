// Keeps allocation failures inside the module: a builder that runs out of memory answers
// NO_MEMORY instead of letting std::bad_alloc cross the interface.
#pragma once

#include <new>

#include "firmware_image/image_status.h"

namespace firmware_image {

template <typename Result, typename Build>
Result WithoutAllocationFailure(Build&& build) {
    try {
        return build();
    } catch (const std::bad_alloc&) {
        Result result{};
        result.status = ImageStatus::NO_MEMORY;
        return result;
    }
}

}  // namespace firmware_image
