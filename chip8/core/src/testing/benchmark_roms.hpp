#pragma once
// The two looping programs the emulator benchmark runs; the tests check that
// they run fault-free, so a broken benchmark ROM fails loudly.

#include <cstdint>
#include <vector>

#include "chip8_core/testing/rom.hpp"

namespace chip8::testing {

// ALU work, skips, a two-level call, BCD, stores and loads; a font glyph is drawn
// once every 16 passes of the loop (about one instruction in 450).
inline std::vector<std::uint8_t> alu_loop_rom() {
  return rom({
      0xA400,  // 200 LD I, 0x400
      0x6B00,  // 202 LD VB, 0
      0x7A01,  // 204 ADD VA, 1        loop
      0x81A0,  // 206 LD V1, VA
      0x8114,  // 208 ADD V1, V1
      0x8215,  // 20A SUB V2, V1
      0x8326,  // 20C SHR V3, V2
      0x842E,  // 20E SHL V4, V2
      0x8512,  // 210 AND V5, V1
      0x8613,  // 212 XOR V6, V1
      0x8711,  // 214 OR V7, V1
      0x2280,  // 216 CALL 0x280
      0x3A00,  // 218 SE VA, 0x00      rarely taken
      0x4A01,  // 21A SNE VA, 0x01     mostly taken
      0x7201,  // 21C ADD V2, 1
      0x5A10,  // 21E SE VA, V1
      0x9A10,  // 220 SNE VA, V1
      0x7301,  // 222 ADD V3, 1
      0xA400,  // 224 LD I, 0x400
      0xFA33,  // 226 BCD VA
      0xF255,  // 228 LD [I], V2
      0xF265,  // 22A LD V2, [I]
      0xF71E,  // 22C ADD I, V7
      0x7B10,  // 22E ADD VB, 0x10
      0x3B00,  // 230 SE VB, 0         every 16th pass falls into the draw
      0x1204,  // 232 JP 0x204
      0xF129,  // 234 LD F, V1
      0xD345,  // 236 DRW V3, V4, 5
      0x1204,  // 238 JP 0x204
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,  // 23A-27E
      0x8874,  // 280 ADD V8, V7
      0x2290,  // 282 CALL 0x290
      0x00EE,  // 284 RET
      0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
      0x8985,  // 290 SUB V9, V8
      0x00EE,  // 292 RET
  });
}

// A draw on every eighth instruction, at positions that wander over the screen
// and across its right and bottom edges.
inline std::vector<std::uint8_t> draw_loop_rom() {
  return rom({
      0x7001,  // 200 ADD V0, 1        loop
      0x7103,  // 202 ADD V1, 3
      0x7205,  // 204 ADD V2, 5
      0x8304,  // 206 ADD V3, V0
      0x8403,  // 208 XOR V4, V0
      0xF029,  // 20A LD F, V0
      0xD125,  // 20C DRW V1, V2, 5
      0x1200,  // 20E JP 0x200
  });
}

}  // namespace chip8::testing
