#pragma once
// The record of one input as it was applied to a machine.

#include <cstdint>
#include <string>

#include "lumivar_core/schedule/input_coordinate.hpp"
#include "lumivar_core/schedule/input_payload.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

enum class InputSourceKind : std::uint8_t { Scheduled, Live };

// Where an applied input came from: a schedule entry (by ordinal) or a live
// submission (by instance ID).
struct InputSource {
  InputSourceKind kind = InputSourceKind::Scheduled;
  std::uint64_t id = 0;  // the ordinal or the instance ID

  [[nodiscard]] static InputSource scheduled(std::uint64_t ordinal) { return {InputSourceKind::Scheduled, ordinal}; }
  [[nodiscard]] static InputSource live(std::uint64_t instance_id) { return {InputSourceKind::Live, instance_id}; }

  friend bool operator==(const InputSource&, const InputSource&) = default;
};

// Internally tagged: {"kind": "scheduled", "ordinal": n} or
// {"kind": "live", "instance_id": n}.
[[nodiscard]] JsonValue to_json(const InputSource& source);

struct InputApplication {
  std::string input_id;
  SchemaRef input_schema;
  InputSource source;
  InputCoordinate application_coordinate;  // where it was actually applied
  TypedInputPayload payload;

  friend bool operator==(const InputApplication&, const InputApplication&) = default;
};

[[nodiscard]] JsonValue to_json(const InputApplication& application);

}  // namespace lumivar
