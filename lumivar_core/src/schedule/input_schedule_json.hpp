#pragma once
// Typed JSON readers of the input schedule and its parts. Unknown members are
// refused and every member is required. Input IDs must be dotted identifiers.
// A coordinate is adjacently tagged, {"kind": ..., "value": {...}}, with the two
// members in either order.

#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/schedule/input_coordinate.hpp"
#include "lumivar_core/schedule/input_payload.hpp"
#include "lumivar_core/schedule/input_schedule.hpp"

namespace lumivar {

[[nodiscard]] Result<InputCoordinate> read_input_coordinate(JsonReader& reader);
[[nodiscard]] Result<TypedInputPayload> read_typed_input_payload(JsonReader& reader);
[[nodiscard]] Result<ScheduledInput> read_scheduled_input(JsonReader& reader);
[[nodiscard]] Result<InputSchedule> read_input_schedule(JsonReader& reader);

// A whole text: `null` gives the empty schedule; otherwise one schedule
// followed by white space only.
[[nodiscard]] Result<InputSchedule> read_input_schedule_document(std::string_view text);

}  // namespace lumivar
