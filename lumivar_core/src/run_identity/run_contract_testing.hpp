#pragma once
// A small bundle contract for run-preparation tests: two inputs (one also
// live), a three-field configuration schema, a catalog with two bundle limits.

#include <string>
#include <vector>

#include "lumivar_core/run_identity/prepared_run.hpp"

namespace lumivar::testing {

inline const SchemaRef kTestKeySchema{"test.key", {1, 0, 0}};
inline const SchemaRef kTestLimitSchema{"test.limit.u64", {1, 0, 0}};

inline RunContract test_run_contract() {
  RunContract contract;
  contract.artifact = ArtifactContract{{"test.rom", {1, 0, 0}}, std::nullopt, 1, 16, 1};
  contract.machine = MachineIdentity{"testmachine", "1.0.0", "semantics.v1", "emulator/1", {"test.contract", {1, 0, 0}}};
  contract.configuration_schema = ConfigurationSchema{
      {"test.configuration", {1, 0, 0}},
      {
          {"mode", "Mode", "Which mode runs.", ChoiceDomain{{"fast", "slow"}}, JsonValue("fast")},
          {"count", "Count", "How many.", IntegerDomain{1, 100, 1}, JsonValue(4)},
          {"seed", "Seed", "Which seed.", IntegerDomain{0, 1000, 1}, JsonValue(0)},
      }};
  const CoordinatePolicy frame_policy{required_policy_schema(CoordinateBoundary::FrameStart),
                                      CoordinateBoundary::FrameStart};
  contract.input_catalog = InputCatalog{
      input_catalog_schema(),
      {
          InputDeclaration{"test.key.b", kTestKeySchema, frame_policy, {"test.key.application", {1, 0, 0}},
                           std::string("test.digital"), {.scheduled = true, .live = true}},
          InputDeclaration{"test.key.a", kTestKeySchema, frame_policy, {"test.key.application", {1, 0, 0}},
                           std::nullopt, {.scheduled = true, .live = false}},
      }};
  contract.execution_limits = ExecutionLimitCatalog{
      execution_limit_catalog_schema(),
      {{"test.limit.a", kTestLimitSchema, "First limit."}, {"test.limit.b", kTestLimitSchema, "Second limit."}}};
  return contract;
}

inline MachineConfiguration test_configuration(StructuredMap map) {
  return MachineConfiguration{{"test.configuration", {1, 0, 0}}, StructuredValue::map(std::move(map))};
}

inline ScheduledInput test_key_entry(std::uint64_t ordinal, std::uint64_t frame, bool pressed,
                                     std::string input_id = "test.key.a") {
  return ScheduledInput{ordinal, InputCoordinate::frame(frame), std::move(input_id),
                        TypedInputPayload{kTestKeySchema, StructuredValue::boolean(pressed)}};
}

inline BundleExecutionLimit test_limit(std::string id, std::uint64_t value) {
  return BundleExecutionLimit{std::move(id),
                              TypedStructuredValue{kTestLimitSchema, StructuredValue::unsigned_integer(value)}};
}

}  // namespace lumivar::testing
