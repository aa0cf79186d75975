#include "lumivar_core/configuration/configuration_json.hpp"

#include <utility>

#include "lumivar_core/identifier/identifier.hpp"
#include "lumivar_core/json/record_readers.hpp"

namespace lumivar {
namespace {

template <class T>
Result<void> store(Result<T> value, T& out) {
  if (!value) return std::unexpected(std::move(value.error()));
  out = std::move(*value);
  return {};
}

}  // namespace

Result<MachineConfiguration> read_machine_configuration(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"schema"}, {"value"}};
  MachineConfiguration configuration;
  auto read = reader.read_object("struct MachineConfiguration", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) return store(read_schema_ref(reader), configuration.schema);
    return store(read_structured_value(reader), configuration.value);
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return configuration;
}

Result<BundleExecutionLimit> read_bundle_execution_limit(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"limit_id"}, {"value"}};
  BundleExecutionLimit limit;
  auto read = reader.read_object("struct BundleExecutionLimit", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) {
      if (auto id = reader.read_string_into(limit.limit_id); !id) return id;
      if (auto valid = validate_identifier("execution limit ID", limit.limit_id); !valid) {
        return reader.fail(valid.error().message);
      }
      return {};
    }
    return store(read_typed_structured_value(reader), limit.value);
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return limit;
}

Result<ExecutionControls> read_execution_controls(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {optional_field("frame_limit"), optional_field("step_limit"),
                                          {"bundle_limits"}};
  ExecutionControls controls;
  auto read = reader.read_object("struct ExecutionControls", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return reader.read_optional_into(controls.frame_limit, [&] { return reader.read_u64(); });
      case 1: return reader.read_optional_into(controls.step_limit, [&] { return reader.read_u64(); });
      default: {
        auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
          return store(read_bundle_execution_limit(reader), controls.bundle_limits.emplace_back());
        });
        if (!count) return std::unexpected(std::move(count.error()));
        return {};
      }
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return controls;
}

Result<std::optional<MachineConfiguration>> read_machine_configuration_document(std::string_view text) {
  return read_document<MachineConfiguration>(text, read_machine_configuration);
}

Result<ExecutionControls> read_execution_controls_document(std::string_view text) {
  auto document = read_document<ExecutionControls>(text, read_execution_controls);
  if (!document) return std::unexpected(std::move(document.error()));
  return document->value_or(ExecutionControls{});
}

}  // namespace lumivar
