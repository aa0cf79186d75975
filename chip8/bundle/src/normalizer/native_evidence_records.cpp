#include "chip8_bundle/normalizer/native_evidence_records.hpp"

#include <algorithm>
#include <string>

#include "chip8_bundle/contract/capability_catalog.hpp"
#include "chip8_bundle/contract/machine_contract.hpp"
#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {

namespace {

lumivar::SchemaVersion record_version(EndOfRunRecord record) {
  return record == EndOfRunRecord::ExecutionSummary ? lumivar::SchemaVersion{2, 0, 0}
                                                    : lumivar::SchemaVersion{1, 0, 0};
}

lumivar::JsonValue record_payload(EndOfRunRecord record, const Chip8Emulator& emulator) {
  using lumivar::JsonValue;
  switch (record) {
    case EndOfRunRecord::Framebuffer:
      return JsonValue(lumivar::JsonObject{
          {"width", JsonValue(static_cast<std::uint64_t>(kDisplayColumns))},
          {"height", JsonValue(static_cast<std::uint64_t>(kDisplayRows))},
          {"planes", JsonValue(static_cast<std::uint64_t>(kPlaneCount))},
          {"bytes", lumivar::bytes_to_json(emulator.export_frame())},
      });
    case EndOfRunRecord::ExecutionSummary:
      return JsonValue(lumivar::JsonObject{
          {"rom_hash", JsonValue(emulator.rom_hash())},
          {"draw_count", JsonValue(emulator.draw_count())},
          {"collision_count", JsonValue(emulator.collision_count())},
          {"input_opcode_count", JsonValue(emulator.input_opcode_count())},
      });
    case EndOfRunRecord::Coverage:
      return JsonValue(lumivar::JsonObject{
          {"unique_pcs", JsonValue(static_cast<std::uint64_t>(emulator.unique_pcs()))},
          {"unique_edges", JsonValue(static_cast<std::uint64_t>(emulator.unique_edges()))},
          {"memory_written_bytes", JsonValue(static_cast<std::uint64_t>(emulator.memory_written_bytes()))},
          {"max_stack_depth", JsonValue(static_cast<std::uint64_t>(emulator.max_stack_depth()))},
      });
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
