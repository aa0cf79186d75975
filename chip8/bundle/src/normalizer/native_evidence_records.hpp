#pragma once
// The three native evidence records a CHIP-8 run ends with: the final
// framebuffer, the execution summary and the coverage figures, each named by
// the capability it feeds.

#include <array>
#include <cstdint>
#include <string_view>

#include "chip8_core/emulator/emulator.hpp"
#include "lumivar_core/emission/emission_records.hpp"
#include "lumivar_core/observation/observation_request.hpp"

namespace chip8::bundle {

enum class EndOfRunRecord : std::uint8_t { Framebuffer = 0, ExecutionSummary = 1, Coverage = 2 };

inline constexpr std::array<EndOfRunRecord, 3> kEndOfRunRecords = {
    EndOfRunRecord::Framebuffer, EndOfRunRecord::ExecutionSummary, EndOfRunRecord::Coverage};

// The record's kind, which is also its native schema ID: "chip8.framebuffer",
// "chip8.execution_summary", "chip8.coverage".
[[nodiscard]] std::string_view record_kind(EndOfRunRecord record);

// Whether the native evidence request asks for a kind: enabled, and either
// all kinds or this one listed.
[[nodiscard]] bool native_evidence_selected(const lumivar::NativeEvidenceRequest& request, std::string_view kind);

// The record at its fixed position (its sequence): step = the cycle counter,
// the payload built from the display or the emulator statistics.
[[nodiscard]] lumivar::NativeEvidenceRecord end_of_run_record(EndOfRunRecord record, const Chip8Emulator& emulator,
                                                              std::string_view run_id);

}  // namespace chip8::bundle
