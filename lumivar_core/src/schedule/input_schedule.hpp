#pragma once
// Inputs scheduled in advance, and their resolution against the bundle's input
// catalog into a schedule ordered by ordinal.

#include <cstdint>
#include <string>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/schedule/input_catalog.hpp"
#include "lumivar_core/schedule/input_coordinate.hpp"
#include "lumivar_core/schedule/input_payload.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

struct ScheduledInput {
  std::uint64_t ordinal = 0;  // identity of the entry inside its schedule; unique
  InputCoordinate coordinate;
  std::string input_id;  // input ID
  TypedInputPayload payload;

  friend bool operator==(const ScheduledInput&, const ScheduledInput&) = default;
};

// Entries in any ordinal order.
struct InputSchedule {
  SchemaRef schema;
  std::vector<ScheduledInput> entries;

  friend bool operator==(const InputSchedule&, const InputSchedule&) = default;
};

// Entries checked against the catalog and sorted by strictly increasing ordinal.
struct ResolvedInputSchedule {
  SchemaRef schema;
  std::vector<ScheduledInput> entries;

  friend bool operator==(const ResolvedInputSchedule&, const ResolvedInputSchedule&) = default;
};

// "lumivar.input_schedule" 1.0.0, the only schedule schema.
[[nodiscard]] SchemaRef input_schedule_schema();

// The schedule used when a caller supplies none: the schedule schema, no entries.
[[nodiscard]] InputSchedule empty_input_schedule();

[[nodiscard]] JsonValue to_json(const ScheduledInput& entry);
// {"schema": ..., "entries": [...]}
[[nodiscard]] JsonValue to_json(const InputSchedule& schedule);
[[nodiscard]] JsonValue to_json(const ResolvedInputSchedule& schedule);

// The schedule schema, then per entry (in the given order) an unseen ordinal, a
// valid payload and a well-formed bundle-defined coordinate.
[[nodiscard]] Result<void> check_input_schedule(const InputSchedule& schedule);

// The schedule schema, strictly increasing ordinals and valid payloads.
[[nodiscard]] Result<void> check_resolved_input_schedule(const ResolvedInputSchedule& schedule);

// Checks the schedule and the catalog, then each entry against its declaration
// (declared, scheduled delivery, matching coordinate, declared payload schema,
// valid payload), and sorts the entries by ordinal.
[[nodiscard]] Result<ResolvedInputSchedule> resolve_input_schedule(const InputSchedule& schedule,
                                                                   const InputCatalog& catalog);

}  // namespace lumivar
