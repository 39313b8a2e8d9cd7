// The pages' display slots as JSON: the "pages" object of a headless tick event, written by the
// headless host and read back by the page viewer. One field table serves both directions.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "monitor/base/Error.h"
#include "monitor/core/JsonLine.h"
#include "monitor/core/PageSlots.h"

namespace velmo::core {

// {"cpu": {...}, ["cpu2": {...} on board model 4,] "system": {...}, "misc": {...}}; a value slot
// holding kNoValue is written as null.
nlohmann::ordered_json PageSlotsToJson(const PageSlots& pageSlots, int32_t mbModel);
// The same object under `key` in `line`, as the tick event has it.
void WritePageSlots(JsonLine& line, const char* key, const PageSlots& pageSlots, int32_t mbModel);

// `start` with the slots that pages sets; keys that are missing leave their slot as it was,
// unknown keys are ignored. Values are integers in int32 range or booleans; a value slot may also
// be null, which reads as kNoValue. An error naming the first bad entry.
base::Expected<PageSlots> PageSlotsFromJson(const nlohmann::json& pages, PageSlots start = {});

}  // namespace velmo::core
