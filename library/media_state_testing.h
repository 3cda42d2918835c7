// For tests only: another memory device slot table in place of the shipped one, so that the card
// paths of the media operations can be reached. Slots beyond the shipped table's have no media state.
#pragma once

#include <span>

#include "library/media_state.h"

namespace vxmp3::testing {

// Routes the slots through `table`, which must outlive its use; an empty table restores the
// shipped one.
void UseSlotTable(std::span<const MemoryDevice> table);

}  // namespace vxmp3::testing
