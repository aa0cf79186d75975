#include "chip8_bundle/trace/disassembly.hpp"

#include <format>
#include <optional>

#include "lumivar_core/error/error.hpp"

namespace chip8::bundle {
namespace {

// The text of a two-byte word, following the decoder's dispatch group by group
// so that exactly the words it rejects fall through to UNKNOWN and exactly its
// 0NNN no-operations to SYS. Registers and nibbles print unpadded, NN as two
// digits, NNN as three, all in upper-case hexadecimal.
std::string word_text(std::uint16_t opcode) {
  const unsigned x = (opcode >> 8) & 0xF;
  const unsigned y = (opcode >> 4) & 0xF;
  const unsigned n = opcode & 0xF;
  const unsigned nn = opcode & 0xFF;
  const unsigned nnn = opcode & 0xFFF;

  switch (opcode >> 12) {
    case 0x0:  // 00CN 00DN 00E0 00EE 00FB-00FF; every other 0NNN is a no-op
      switch (opcode & 0xFFF0) {
        case 0x00C0: return std::format("SCD 0x{:X}", n);
        case 0x00D0: return std::format("SCU 0x{:X}", n);
        default: break;
      }
      switch (opcode) {
        case 0x00E0: return "CLS";
        case 0x00EE: return "RET";
        case 0x00FB: return "SCR";
        case 0x00FC: return "SCL";
        case 0x00FD: return "EXIT";
        case 0x00FE: return "LORES";
        case 0x00FF: return "HIRES";
        default: return std::format("SYS 0x{:03X}", nnn);
      }
    case 0x1: return std::format("JP 0x{:03X}", nnn);
    case 0x2: return std::format("CALL 0x{:03X}", nnn);
    case 0x3: return std::format("SE V{:X}, 0x{:02X}", x, nn);
    case 0x4: return std::format("SNE V{:X}, 0x{:02X}", x, nn);
    case 0x5:  // 5XY0 5XY2 5XY3
      switch (n) {
        case 0x0: return std::format("SE V{:X}, V{:X}", x, y);
        case 0x2: return std::format("SAVE V{:X}..V{:X}", x, y);
        case 0x3: return std::format("LOAD V{:X}..V{:X}", x, y);
        default: break;
      }
      break;
    case 0x6: return std::format("LD V{:X}, 0x{:02X}", x, nn);
    case 0x7: return std::format("ADD V{:X}, 0x{:02X}", x, nn);
    case 0x8: {  // 8XYN
      std::string_view mnemonic;
      switch (n) {
        case 0x0: mnemonic = "LD"; break;
        case 0x1: mnemonic = "OR"; break;
        case 0x2: mnemonic = "AND"; break;
        case 0x3: mnemonic = "XOR"; break;
        case 0x4: mnemonic = "ADD"; break;
        case 0x5: mnemonic = "SUB"; break;
        case 0x6: mnemonic = "SHR"; break;
        case 0x7: mnemonic = "SUBN"; break;
        case 0xE: mnemonic = "SHL"; break;
        default: break;
      }
      if (!mnemonic.empty()) return std::format("{} V{:X}, V{:X}", mnemonic, x, y);
      break;
    }
    case 0x9:  // 9XY0
      if (n == 0) return std::format("SNE V{:X}, V{:X}", x, y);
      break;
    case 0xA: return std::format("LD I, 0x{:03X}", nnn);
    // The text does not depend on the jump quirk: X is printed as the
    // candidate register either way, so one text serves every preset.
    case 0xB: return std::format("JP V0/V{:X}, 0x{:03X}", x, nnn);
    case 0xC: return std::format("RND V{:X}, 0x{:02X}", x, nn);
    case 0xD: return std::format("DRW V{:X}, V{:X}, 0x{:X}", x, y, n);
    case 0xE:  // EX9E EXA1
      switch (nn) {
        case 0x9E: return std::format("SKP V{:X}", x);
        case 0xA1: return std::format("SKNP V{:X}", x);
        default: break;
      }
      break;
    case 0xF: {  // FXNN; F000 NNNN is the four-byte form, FX00 with X != 0 is rejected
      switch (nn) {
        case 0x01: return std::format("PLANE 0x{:X}", x);
        case 0x02:
          if (x == 0) return "AUDIO";
          break;
        case 0x07: return std::format("LD V{:X}, DT", x);
        case 0x0A: return std::format("LD V{:X}, K", x);
        case 0x15: return std::format("LD DT, V{:X}", x);
        case 0x18: return std::format("LD ST, V{:X}", x);
        case 0x1E: return std::format("ADD I, V{:X}", x);
        case 0x29: return std::format("LD F, V{:X}", x);
        case 0x30: return std::format("LD HF, V{:X}", x);
        case 0x33: return std::format("BCD V{:X}", x);
        case 0x3A: return std::format("PITCH V{:X}", x);
        case 0x55: return std::format("LD [I], V{:X}", x);
        case 0x65: return std::format("LD V{:X}, [I]", x);
        case 0x75: return std::format("SAVEFLAGS V{:X}", x);
        case 0x85: return std::format("LOADFLAGS V{:X}", x);
        default: break;
      }
      break;
    }
    default: break;
  }
  return std::format("UNKNOWN 0x{:04X}", opcode);
}

// The byte at `address` among the reads, the first read that covers it winning.
std::optional<std::uint8_t> byte_read_at(std::span<const MemoryRead> reads, std::uint16_t address) {
  for (const MemoryRead& read : reads) {
    const auto offset = static_cast<std::uint16_t>(address - read.address);
    if (offset < read.bytes.size()) return read.bytes[offset];
  }
  return std::nullopt;
}

}  // namespace

DecodedInstruction disassemble_word(std::uint16_t opcode) {
  if (opcode == kLongLoadOpcode) lumivar::fatal("F000 NNNN disassembled without its immediate word");
  return DecodedInstruction{
      .format = kWord16Format,
      .raw = {static_cast<std::uint8_t>(opcode >> 8), static_cast<std::uint8_t>(opcode), 0, 0},
      .length = 2,
      .text = word_text(opcode),
  };
}

DecodedInstruction disassemble_long_load(std::uint16_t immediate) {
  return DecodedInstruction{
      .format = kWord32Format,
      .raw = {0xF0, 0x00, static_cast<std::uint8_t>(immediate >> 8), static_cast<std::uint8_t>(immediate)},
      .length = 4,
      .text = std::format("LD I, 0x{:04X}", immediate),
  };
}

std::uint16_t long_load_immediate(std::uint16_t pc, std::span<const MemoryRead> reads, std::uint16_t i_after) {
  const std::uint8_t high =
      byte_read_at(reads, static_cast<std::uint16_t>(pc + 2)).value_or(static_cast<std::uint8_t>(i_after >> 8));
  const std::uint8_t low =
      byte_read_at(reads, static_cast<std::uint16_t>(pc + 3)).value_or(static_cast<std::uint8_t>(i_after));
  return static_cast<std::uint16_t>(high << 8 | low);
}

DecodedInstruction disassemble(const FetchedInstruction& fetched) {
  if (fetched.opcode == kLongLoadOpcode) {
    return disassemble_long_load(long_load_immediate(fetched.pc, fetched.reads, fetched.i_after));
  }
  return disassemble_word(fetched.opcode);
}

}  // namespace chip8::bundle
