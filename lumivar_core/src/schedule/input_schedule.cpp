#include "lumivar_core/schedule/input_schedule.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "lumivar_core/configuration/contract_forms.hpp"

namespace lumivar {
namespace {

JsonValue schedule_json(const SchemaRef& schema, const std::vector<ScheduledInput>& entries) {
  JsonArray array;
  array.reserve(entries.size());
  for (const ScheduledInput& entry : entries) array.push_back(to_json(entry));
  JsonObject object;
  object.emplace("schema", to_json(schema));
  object.emplace("entries", std::move(array));
  return JsonValue(std::move(object));
}

// The index of the first entry whose ordinal an earlier entry already has, or
// entries.size() when all ordinals are distinct. Schedules are nearly always
// written in ordinal order, which is checked in one pass without allocating.
std::size_t first_repeated_ordinal(const std::vector<ScheduledInput>& entries) {
  bool ascending = true;
  for (std::size_t i = 1; i < entries.size() && ascending; ++i) {
    ascending = entries[i - 1].ordinal < entries[i].ordinal;
  }
  if (ascending) return entries.size();
  // (ordinal, index) pairs sorted: every pair equal in ordinal to its
  // predecessor is a repeat, and the smallest such index is the first one.
  std::vector<std::pair<std::uint64_t, std::size_t>> order;
  order.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) order.emplace_back(entries[i].ordinal, i);
  std::ranges::sort(order);
  std::size_t first = entries.size();
  for (std::size_t k = 1; k < order.size(); ++k) {
    if (order[k].first == order[k - 1].first) first = std::min(first, order[k].second);
  }
  return first;
}

}  // namespace

SchemaRef input_schedule_schema() { return SchemaRef{"lumivar.input_schedule", {1, 0, 0}}; }

InputSchedule empty_input_schedule() { return InputSchedule{input_schedule_schema(), {}}; }

JsonValue to_json(const ScheduledInput& entry) {
  JsonObject object;
  object.emplace("ordinal", entry.ordinal);
  object.emplace("coordinate", to_json(entry.coordinate));
  object.emplace("input_id", entry.input_id);
  object.emplace("payload", to_json(entry.payload));
  return JsonValue(std::move(object));
}

JsonValue to_json(const InputSchedule& schedule) { return schedule_json(schedule.schema, schedule.entries); }

JsonValue to_json(const ResolvedInputSchedule& schedule) { return schedule_json(schedule.schema, schedule.entries); }

Result<void> check_input_schedule(const InputSchedule& schedule) {
  const SchemaRef expected = input_schedule_schema();
  if (schedule.schema != expected) {
    return fail("unsupported input schedule schema " + schema_id_and_version(schedule.schema) + "; expected " +
                schema_id_and_version(expected));
  }
  const std::size_t repeated = first_repeated_ordinal(schedule.entries);
  for (std::size_t i = 0; i < schedule.entries.size(); ++i) {
    const ScheduledInput& entry = schedule.entries[i];
    if (i == repeated) return fail("input schedule repeats ordinal " + std::to_string(entry.ordinal));
    if (auto checked = check_input_payload(entry.payload); !checked) return checked;
    if (auto checked = check_input_coordinate(entry.coordinate); !checked) return checked;
  }
  return {};
}

Result<void> check_resolved_input_schedule(const ResolvedInputSchedule& schedule) {
  const SchemaRef expected = input_schedule_schema();
  if (schedule.schema != expected) {
    return fail("unsupported resolved input schedule schema " + schema_id_and_version(schedule.schema) +
                "; expected " + schema_id_and_version(expected));
  }
  for (std::size_t i = 1; i < schedule.entries.size(); ++i) {
    if (schedule.entries[i - 1].ordinal >= schedule.entries[i].ordinal) {
      return fail("resolved input schedule must be sorted by unique ordinal");
    }
  }
  for (const ScheduledInput& entry : schedule.entries) {
    if (auto checked = check_input_payload(entry.payload); !checked) return checked;
  }
  return {};
}

Result<ResolvedInputSchedule> resolve_input_schedule(const InputSchedule& schedule, const InputCatalog& catalog) {
  if (auto checked = check_input_schedule(schedule); !checked) return std::unexpected(checked.error());
  if (auto checked = check_input_catalog(catalog); !checked) return std::unexpected(checked.error());
  for (const ScheduledInput& entry : schedule.entries) {
    const InputDeclaration* declaration = catalog.find(entry.input_id);
    if (declaration == nullptr) return fail("input schedule references undeclared input " + entry.input_id);
    if (!declaration->delivery_modes.scheduled) {
      return fail("input " + entry.input_id + " does not advertise scheduled delivery");
    }
    if (auto matched = match_coordinate(entry.coordinate, declaration->coordinate_policy); !matched) {
      return std::unexpected(matched.error());
    }
    if (entry.payload.schema != declaration->payload_schema) {
      return fail("input " + entry.input_id + " payload schema " + schema_id_and_version(entry.payload.schema) +
                  " does not match declared schema " + schema_id_and_version(declaration->payload_schema));
    }
    if (auto checked = check_input_payload(entry.payload); !checked) return std::unexpected(checked.error());
  }
  ResolvedInputSchedule resolved{schedule.schema, schedule.entries};
  // Ordinals are unique by the schedule check, so the order is total.
  std::ranges::sort(resolved.entries, std::less<>{}, &ScheduledInput::ordinal);
  return resolved;
}

}  // namespace lumivar
