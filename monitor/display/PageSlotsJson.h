// Reads the pages' display slots from JSON: the "pages" object of a headless tick event.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "monitor/core/PageSlots.h"

namespace velmo::display {

// Fills slots from pages ({"cpu": {...}, "cpu2": {...}, "system": {...}, "misc": {...}}); keys
// that are missing leave their slot as it was, unknown keys are ignored. Values are integers in
// int32 range or booleans. Returns false with error naming the first bad entry.
bool PageSlotsFromJson(const nlohmann::json& pages, core::PageSlots& pageSlots, std::string& error);

}  // namespace velmo::display
