#pragma once
// Where in a run an input applies, and the policies that say which coordinates
// an input accepts.

#include <cstdint>
#include <string_view>
#include <variant>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace lumivar {

struct FrameCoordinate {
  std::uint64_t frame = 0;
  friend bool operator==(const FrameCoordinate&, const FrameCoordinate&) = default;
};
struct StepCoordinate {
  std::uint64_t step = 0;
  friend bool operator==(const StepCoordinate&, const StepCoordinate&) = default;
};
struct CycleCoordinate {
  std::uint64_t cycle = 0;
  friend bool operator==(const CycleCoordinate&, const CycleCoordinate&) = default;
};
struct TickCoordinate {
  std::uint64_t tick = 0;
  friend bool operator==(const TickCoordinate&, const TickCoordinate&) = default;
};
struct BundleDefinedCoordinate {
  SchemaRef schema;
  StructuredValue value;
  friend bool operator==(const BundleDefinedCoordinate&, const BundleDefinedCoordinate&) = default;
};

// Adjacently tagged in JSON: {"kind": "frame", "value": {"frame": 12}}. The
// alternative order is the variant order of the document.
struct InputCoordinate {
  using Variant = std::variant<FrameCoordinate, StepCoordinate, CycleCoordinate, TickCoordinate,
                               BundleDefinedCoordinate>;
  Variant value;

  [[nodiscard]] static InputCoordinate frame(std::uint64_t n) { return {FrameCoordinate{n}}; }
  [[nodiscard]] static InputCoordinate step(std::uint64_t n) { return {StepCoordinate{n}}; }
  [[nodiscard]] static InputCoordinate cycle(std::uint64_t n) { return {CycleCoordinate{n}}; }
  [[nodiscard]] static InputCoordinate tick(std::uint64_t n) { return {TickCoordinate{n}}; }
  [[nodiscard]] static InputCoordinate bundle_defined(SchemaRef schema, StructuredValue value) {
    return {BundleDefinedCoordinate{std::move(schema), std::move(value)}};
  }

  template <class T> [[nodiscard]] const T* get_if() const { return std::get_if<T>(&value); }

  friend bool operator==(const InputCoordinate&, const InputCoordinate&) = default;
};

// "frame", "step", "cycle", "tick" or "bundle_defined"
[[nodiscard]] std::string_view coordinate_kind_text(const InputCoordinate& coordinate);

[[nodiscard]] JsonValue to_json(const InputCoordinate& coordinate);

// The coordinate inside canonical values: {"kind": Text, "value": Unsigned}, or
// for a bundle-defined one {"kind": "bundle_defined", "schema": ..., "value": ...}
// with schema and value side by side.
[[nodiscard]] StructuredValue coordinate_structured_value(const InputCoordinate& coordinate);

// A bundle-defined coordinate needs a non-empty schema ID and a value with
// canonical structured bytes; the fixed kinds are always well formed.
[[nodiscard]] Result<void> check_input_coordinate(const InputCoordinate& coordinate);

enum class CoordinateBoundary : std::uint8_t { FrameStart, Step, Cycle, Tick, BundleDefined };

// JSON spelling: "frame_start", "step", "cycle", "tick", "bundle_defined".
[[nodiscard]] std::string_view boundary_json_text(CoordinateBoundary boundary);
// Text form in messages: FrameStart, Step, Cycle, Tick, BundleDefined.
[[nodiscard]] std::string_view boundary_message_text(CoordinateBoundary boundary);

struct CoordinatePolicy {
  SchemaRef schema;
  CoordinateBoundary boundary = CoordinateBoundary::FrameStart;

  friend bool operator==(const CoordinatePolicy&, const CoordinatePolicy&) = default;
};

// The policy schema each fixed boundary requires ("lumivar.coordinate.frame"
// 1.0.0 and so on); the bundle-defined boundary has none.
[[nodiscard]] SchemaRef required_policy_schema(CoordinateBoundary boundary);

// {"schema": ..., "boundary": "frame_start"}
[[nodiscard]] JsonValue to_json(const CoordinatePolicy& policy);
// {"schema": schema map, "boundary": Text(JSON spelling)}
[[nodiscard]] StructuredValue policy_structured_value(const CoordinatePolicy& policy);

// A non-empty schema ID and, for a fixed boundary, exactly its required schema.
[[nodiscard]] Result<void> check_coordinate_policy(const CoordinatePolicy& policy);

// The policy check, then whether the coordinate is of the policy's kind (for
// bundle-defined ones: with the policy's exact schema).
[[nodiscard]] Result<void> match_coordinate(const InputCoordinate& coordinate, const CoordinatePolicy& policy);

}  // namespace lumivar
