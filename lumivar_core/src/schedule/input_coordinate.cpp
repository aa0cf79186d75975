#include "lumivar_core/schedule/input_coordinate.hpp"

#include "lumivar_core/configuration/contract_forms.hpp"
#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

namespace lumivar {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

JsonValue tagged(std::string_view kind, JsonObject value) {
  JsonObject object;
  object.emplace("kind", std::string(kind));
  object.emplace("value", std::move(value));
  return JsonValue(std::move(object));
}

JsonObject one_member(std::string_view name, std::uint64_t n) {
  JsonObject object;
  object.emplace(std::string(name), n);
  return object;
}

}  // namespace

std::string_view coordinate_kind_text(const InputCoordinate& coordinate) {
  static constexpr std::string_view kKinds[] = {"frame", "step", "cycle", "tick", "bundle_defined"};
  return kKinds[coordinate.value.index()];
}

JsonValue to_json(const InputCoordinate& coordinate) {
  const std::string_view kind = coordinate_kind_text(coordinate);
  return std::visit(Overloaded{
                        [&](const FrameCoordinate& c) { return tagged(kind, one_member("frame", c.frame)); },
                        [&](const StepCoordinate& c) { return tagged(kind, one_member("step", c.step)); },
                        [&](const CycleCoordinate& c) { return tagged(kind, one_member("cycle", c.cycle)); },
                        [&](const TickCoordinate& c) { return tagged(kind, one_member("tick", c.tick)); },
                        [&](const BundleDefinedCoordinate& c) {
                          JsonObject value;
                          value.emplace("schema", to_json(c.schema));
                          value.emplace("value", to_json(c.value));
                          return tagged(kind, std::move(value));
                        },
                    },
                    coordinate.value);
}

StructuredValue coordinate_structured_value(const InputCoordinate& coordinate) {
  StructuredMap map;
  map.emplace("kind", StructuredValue::text(std::string(coordinate_kind_text(coordinate))));
  std::visit(Overloaded{
                 [&](const FrameCoordinate& c) { map.emplace("value", StructuredValue::unsigned_integer(c.frame)); },
                 [&](const StepCoordinate& c) { map.emplace("value", StructuredValue::unsigned_integer(c.step)); },
                 [&](const CycleCoordinate& c) { map.emplace("value", StructuredValue::unsigned_integer(c.cycle)); },
                 [&](const TickCoordinate& c) { map.emplace("value", StructuredValue::unsigned_integer(c.tick)); },
                 [&](const BundleDefinedCoordinate& c) {
                   map.emplace("schema", schema_structured_value(c.schema));
                   map.emplace("value", c.value);
                 },
             },
             coordinate.value);
  return StructuredValue::map(std::move(map));
}

Result<void> check_input_coordinate(const InputCoordinate& coordinate) {
  const auto* bundle_defined = coordinate.get_if<BundleDefinedCoordinate>();
  if (bundle_defined == nullptr) return {};
  if (auto checked = check_schema_id(bundle_defined->schema, "bundle-defined input coordinate"); !checked) {
    return checked;
  }
  return check_canonical_structured(bundle_defined->value);
}

std::string_view boundary_json_text(CoordinateBoundary boundary) {
  switch (boundary) {
    case CoordinateBoundary::FrameStart: return "frame_start";
    case CoordinateBoundary::Step: return "step";
    case CoordinateBoundary::Cycle: return "cycle";
    case CoordinateBoundary::Tick: return "tick";
    case CoordinateBoundary::BundleDefined: return "bundle_defined";
  }
  fatal("coordinate boundary out of range");
}

std::string_view boundary_message_text(CoordinateBoundary boundary) {
  switch (boundary) {
    case CoordinateBoundary::FrameStart: return "FrameStart";
    case CoordinateBoundary::Step: return "Step";
    case CoordinateBoundary::Cycle: return "Cycle";
    case CoordinateBoundary::Tick: return "Tick";
    case CoordinateBoundary::BundleDefined: return "BundleDefined";
  }
  fatal("coordinate boundary out of range");
}

namespace {

// The ID of required_policy_schema(boundary), whose version is always 1.0.0;
// a view, so checks compare against it without building a SchemaRef.
std::string_view required_policy_schema_id(CoordinateBoundary boundary) {
  switch (boundary) {
    case CoordinateBoundary::FrameStart: return "lumivar.coordinate.frame";
    case CoordinateBoundary::Step: return "lumivar.coordinate.step";
    case CoordinateBoundary::Cycle: return "lumivar.coordinate.cycle";
    case CoordinateBoundary::Tick: return "lumivar.coordinate.tick";
    case CoordinateBoundary::BundleDefined: break;
  }
  fatal("a bundle-defined coordinate boundary has no fixed policy schema");
}

constexpr SchemaVersion kRequiredPolicyVersion{1, 0, 0};

}  // namespace

SchemaRef required_policy_schema(CoordinateBoundary boundary) {
  return {std::string(required_policy_schema_id(boundary)), kRequiredPolicyVersion};
}

JsonValue to_json(const CoordinatePolicy& policy) {
  JsonObject object;
  object.emplace("schema", to_json(policy.schema));
  object.emplace("boundary", std::string(boundary_json_text(policy.boundary)));
  return JsonValue(std::move(object));
}

StructuredValue policy_structured_value(const CoordinatePolicy& policy) {
  StructuredMap map;
  map.emplace("schema", schema_structured_value(policy.schema));
  map.emplace("boundary", StructuredValue::text(std::string(boundary_json_text(policy.boundary))));
  return StructuredValue::map(std::move(map));
}

Result<void> check_coordinate_policy(const CoordinatePolicy& policy) {
  if (schema_id_is_empty(policy.schema.id)) return fail("coordinate policy has an empty schema ID");
  if (policy.boundary == CoordinateBoundary::BundleDefined) return {};
  if (policy.schema.id != required_policy_schema_id(policy.boundary) ||
      policy.schema.version != kRequiredPolicyVersion) {
    const SchemaRef required = required_policy_schema(policy.boundary);
    return fail("coordinate policy schema " + schema_ref_structured_text(policy.schema) + " does not match " +
                std::string(boundary_message_text(policy.boundary)) + " boundary; expected " +
                schema_ref_structured_text(required));
  }
  return {};
}

Result<void> match_coordinate(const InputCoordinate& coordinate, const CoordinatePolicy& policy) {
  if (auto checked = check_coordinate_policy(policy); !checked) return checked;
  bool matches = false;
  switch (policy.boundary) {
    case CoordinateBoundary::FrameStart: matches = coordinate.get_if<FrameCoordinate>() != nullptr; break;
    case CoordinateBoundary::Step: matches = coordinate.get_if<StepCoordinate>() != nullptr; break;
    case CoordinateBoundary::Cycle: matches = coordinate.get_if<CycleCoordinate>() != nullptr; break;
    case CoordinateBoundary::Tick: matches = coordinate.get_if<TickCoordinate>() != nullptr; break;
    case CoordinateBoundary::BundleDefined: {
      const auto* bundle_defined = coordinate.get_if<BundleDefinedCoordinate>();
      matches = bundle_defined != nullptr && bundle_defined->schema == policy.schema;
      break;
    }
  }
  if (!matches) {
    return fail("input coordinate does not match " + std::string(boundary_message_text(policy.boundary)) +
                " policy " + policy.schema.id);
  }
  return {};
}

}  // namespace lumivar
