#pragma once
// The one-line assembler text of an executed instruction, with its encoding
// identifier and raw bytes. The text is part of the normalized trace and so of
// every digest over it: it must not change by a single character.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "chip8_core/event/memory_capture.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kWord16Format = "chip8.word16.be";   // every two-byte instruction
inline constexpr std::string_view kWord32Format = "xochip.word32.be";  // F000 NNNN

struct DecodedInstruction {
  std::string_view format;       // kWord16Format or kWord32Format
  std::array<std::uint8_t, 4> raw{};  // the instruction bytes in memory order; `length` of them are used
  std::uint8_t length = 0;       // 2, or 4 for F000 NNNN
  std::string text;

  std::span<const std::uint8_t> bytes() const { return std::span<const std::uint8_t>(raw).first(length); }

  friend bool operator==(const DecodedInstruction&, const DecodedInstruction&) = default;
};

// What a step that fetched an instruction tells about it.
struct FetchedInstruction {
  std::uint16_t pc = 0;                // where the opcode word was fetched
  std::uint16_t opcode = 0;            // the word the step executed
  std::span<const MemoryRead> reads;   // the step's memory reads, in order
  std::uint16_t i_after = 0;           // I after the step
};

inline constexpr std::uint16_t kLongLoadOpcode = 0xF000;

// The two-byte form of any opcode word other than 0xF000. Words the decoder
// rejects print as "UNKNOWN 0x....", the 0NNN no-operations as "SYS 0x...".
DecodedInstruction disassemble_word(std::uint16_t opcode);

// The four-byte form F0 00 hi lo, "LD I, 0x....".
DecodedInstruction disassemble_long_load(std::uint16_t immediate);

// The immediate word of F000 NNNN fetched at `pc`: the bytes the step read at
// pc + 2 and pc + 3 (modulo 64 KiB); a byte the reads do not hold comes from
// the same half of I after the step, which the instruction loaded it into.
std::uint16_t long_load_immediate(std::uint16_t pc, std::span<const MemoryRead> reads, std::uint16_t i_after);

// The instruction a fetching step executed, in whichever of the two forms fits.
DecodedInstruction disassemble(const FetchedInstruction& fetched);

}  // namespace chip8::bundle
