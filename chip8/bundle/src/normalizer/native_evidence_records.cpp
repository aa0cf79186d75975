#include "chip8_bundle/normalizer/native_evidence_records.hpp"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "chip8_bundle/contract/capability_catalog.hpp"
#include "chip8_bundle/contract/machine_contract.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

namespace {

lumivar::SchemaVersion record_version(EndOfRunRecord record) {
  return record == EndOfRunRecord::ExecutionSummary ? lumivar::SchemaVersion{2, 0, 0}
                                                    : lumivar::SchemaVersion{1, 0, 0};
}

// The members are moved in: a brace list would copy them, and the framebuffer
// bytes are thousands of values.
lumivar::JsonValue object_of(std::initializer_list<std::string_view> keys, std::vector<lumivar::JsonValue> values) {
  lumivar::JsonObject object;
  std::size_t i = 0;
  for (const std::string_view key : keys) object.emplace(std::string(key), std::move(values[i++]));
  return lumivar::JsonValue(std::move(object));
}

lumivar::JsonValue record_payload(EndOfRunRecord record, const Chip8Emulator& emulator) {
  using lumivar::JsonValue;
  std::vector<JsonValue> values;
  values.reserve(4);
  switch (record) {
    case EndOfRunRecord::Framebuffer:
      values.emplace_back(static_cast<std::uint64_t>(kDisplayColumns));
      values.emplace_back(static_cast<std::uint64_t>(kDisplayRows));
      values.emplace_back(static_cast<std::uint64_t>(kPlaneCount));
      values.push_back(lumivar::bytes_to_json(emulator.export_frame()));
      return object_of({"width", "height", "planes", "bytes"}, std::move(values));
    case EndOfRunRecord::ExecutionSummary:
      values.emplace_back(emulator.rom_hash());
      values.emplace_back(emulator.draw_count());
      values.emplace_back(emulator.collision_count());
      values.emplace_back(emulator.input_opcode_count());
      return object_of({"rom_hash", "draw_count", "collision_count", "input_opcode_count"}, std::move(values));
    case EndOfRunRecord::Coverage:
      values.emplace_back(static_cast<std::uint64_t>(emulator.unique_pcs()));
      values.emplace_back(static_cast<std::uint64_t>(emulator.unique_edges()));
      values.emplace_back(static_cast<std::uint64_t>(emulator.memory_written_bytes()));
      values.emplace_back(static_cast<std::uint64_t>(emulator.max_stack_depth()));
      return object_of({"unique_pcs", "unique_edges", "memory_written_bytes", "max_stack_depth"}, std::move(values));
  }
  lumivar::fatal("end-of-run record out of range");
}

}  // namespace

std::string_view record_kind(EndOfRunRecord record) {
  switch (record) {
    case EndOfRunRecord::Framebuffer: return kFramebufferCapability;
    case EndOfRunRecord::ExecutionSummary: return kExecutionSummaryCapability;
    case EndOfRunRecord::Coverage: return kCoverageCapability;
  }
  lumivar::fatal("end-of-run record out of range");
}

bool native_evidence_selected(const lumivar::NativeEvidenceRequest& request, std::string_view kind) {
  if (!request.enabled) return false;
  return request.all || std::ranges::find(request.kinds, kind) != request.kinds.end();
}

lumivar::NativeEvidenceRecord end_of_run_record(EndOfRunRecord record, const Chip8Emulator& emulator,
                                                std::string_view run_id) {
  const std::string kind(record_kind(record));
  lumivar::NativeEvent event{lumivar::SchemaRef{kind, record_version(record)}, kind, record_payload(record, emulator)};
  return lumivar::native_evidence_record(std::string(run_id), std::string(kMachineId), std::string(kMachineVersion),
                                         std::move(event), static_cast<std::uint64_t>(record),
                                         emulator.cycle_count());
}

}  // namespace chip8::bundle
