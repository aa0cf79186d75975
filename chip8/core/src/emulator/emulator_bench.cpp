// Plain frame-mode execution (statistics on, observation off) of two looping
// programs, against a bare dispatch loop that runs the same programs with the
// same semantics but keeps no events, statuses or statistics.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "chip8_core/emulator/emulator.hpp"
#include "chip8_core/state_codec/state_codec.hpp"
#include "chip8_core/testing/benchmark_roms.hpp"

namespace chip8 {
namespace {

constexpr std::uint32_t kCyclesPerFrame = 1000;

// Just the opcodes the two programs use; anything else stops the loop.
bool bare_step(Chip8Machine& m) {
  const std::uint16_t op = read_word(m.memory, m.PC);
  m.PC = static_cast<std::uint16_t>(m.PC + 2);
  const unsigned x = (op >> 8) & 0xF;
  const unsigned y = (op >> 4) & 0xF;
  const auto nn = static_cast<std::uint8_t>(op);
  const auto nnn = static_cast<std::uint16_t>(op & 0xFFF);
  std::uint8_t& vx = m.V[x];
  const std::uint8_t vy = m.V[y];
  switch (op >> 12) {
    case 0x0:
      if (op != 0x00EE || m.SP == 0) return false;
      m.PC = m.stack[--m.SP];
      return true;
    case 0x1: m.PC = nnn; return true;
    case 0x2:
      if (m.SP >= kStackDepth) return false;
      m.stack[m.SP++] = m.PC;
      m.PC = nnn;
      return true;
    case 0x3: if (vx == nn) m.PC = static_cast<std::uint16_t>(m.PC + 2); return true;
    case 0x4: if (vx != nn) m.PC = static_cast<std::uint16_t>(m.PC + 2); return true;
    case 0x5: if (vx == vy) m.PC = static_cast<std::uint16_t>(m.PC + 2); return true;
    case 0x6: vx = nn; return true;
    case 0x7: vx = static_cast<std::uint8_t>(vx + nn); return true;
    case 0x8:
      switch (op & 0xF) {
        case 0x0: vx = vy; return true;
        case 0x1: vx |= vy; return true;
        case 0x2: vx &= vy; return true;
        case 0x3: vx ^= vy; return true;
        case 0x4: { const unsigned s = vx + vy; vx = static_cast<std::uint8_t>(s); m.V[0xF] = s > 0xFF; return true; }
        case 0x5: { const bool nb = vx >= vy; vx = static_cast<std::uint8_t>(vx - vy); m.V[0xF] = nb; return true; }
        case 0x6: m.V[0xF] = vy & 1; vx = static_cast<std::uint8_t>(vy >> 1); return true;
        case 0xE: m.V[0xF] = static_cast<std::uint8_t>(vy >> 7); vx = static_cast<std::uint8_t>(vy << 1); return true;
        default: return false;
      }
    case 0x9: if (vx != vy) m.PC = static_cast<std::uint16_t>(m.PC + 2); return true;
    case 0xA: m.I = nnn; return true;
    case 0xD: {
      const std::size_t length = sprite_bytes_per_plane(op & 0xF);
      if (m.I + length > 0x10000) return false;
      const std::uint8_t xv = vx;
      m.V[0xF] = m.display.draw_sprite(xv, vy, static_cast<std::uint8_t>(op & 0xF),
                                       std::span(m.memory).subspan(m.I, length), m.quirks.clip_sprites);
      return true;
    }
    case 0xF:
      switch (nn) {
        case 0x1E: m.I = static_cast<std::uint16_t>(m.I + vx); return true;
        case 0x29: m.I = static_cast<std::uint16_t>(kSmallFontAddress + 5 * (vx & 0xF)); return true;
        case 0x33:
          if (m.I > 0xFFFD) return false;
          m.memory[m.I] = vx / 100;
          m.memory[m.I + 1] = vx / 10 % 10;
          m.memory[m.I + 2] = vx % 10;
          return true;
        case 0x55:
          if (m.I + x > 0xFFFF) return false;
          for (unsigned i = 0; i <= x; ++i) m.memory[m.I + i] = m.V[i];
          m.I = static_cast<std::uint16_t>(m.I + x + 1);
          return true;
        case 0x65:
          if (m.I + x > 0xFFFF) return false;
          for (unsigned i = 0; i <= x; ++i) m.V[i] = m.memory[m.I + i];
          m.I = static_cast<std::uint16_t>(m.I + x + 1);
          return true;
        default: return false;
      }
    default: return false;
  }
}

Chip8Emulator make_emulator(const std::vector<std::uint8_t>& rom) {
  Chip8Emulator emulator = *Chip8Emulator::create(rom, *find_quirk_preset("chip8"), 1);
  emulator.set_cycles_per_frame(kCyclesPerFrame);
  return emulator;
}

// Both loops must end in the same machine state, or the comparison means nothing.
bool bare_loop_matches_emulator(const std::vector<std::uint8_t>& rom) {
  Chip8Emulator emulator = make_emulator(rom);
  Chip8Machine bare = emulator.machine();
  for (int frame = 0; frame < 50; ++frame) {
    if (!emulator.run_frame().completed()) return false;
    for (std::uint32_t c = 0; c < kCyclesPerFrame; ++c) {
      if (!bare_step(bare)) return false;
    }
    if (bare.delay > 0) --bare.delay;
    if (bare.sound > 0) --bare.sound;
  }
  return encode_state(capture_machine_state(bare)) == encode_state(emulator.capture_state());
}

void run_emulator(benchmark::State& state, const std::vector<std::uint8_t>& rom) {
  if (!bare_loop_matches_emulator(rom)) {
    state.SkipWithError("the bare loop and the emulator disagree");
    return;
  }
  Chip8Emulator emulator = make_emulator(rom);
  std::int64_t cycles = 0;
  for (auto _ : state) {
    FrameOutcome outcome = emulator.run_frame();
    benchmark::DoNotOptimize(outcome);
    cycles += outcome.cycles_run;
  }
  state.SetItemsProcessed(cycles);
  state.counters["unique_edges"] = static_cast<double>(emulator.unique_edges());
}

void run_bare(benchmark::State& state, const std::vector<std::uint8_t>& rom) {
  Chip8Machine m = make_emulator(rom).machine();
  std::int64_t cycles = 0;
  for (auto _ : state) {
    for (std::uint32_t c = 0; c < kCyclesPerFrame; ++c) {
      if (!bare_step(m)) [[unlikely]] {
        state.SkipWithError("bare loop left its opcode subset");
        return;
      }
    }
    if (m.delay > 0) --m.delay;
    if (m.sound > 0) --m.sound;
    benchmark::DoNotOptimize(m.PC);
    cycles += kCyclesPerFrame;
  }
  state.SetItemsProcessed(cycles);
}

void BM_EmulatorAluLoop(benchmark::State& state) { run_emulator(state, testing::alu_loop_rom()); }
void BM_EmulatorDrawLoop(benchmark::State& state) { run_emulator(state, testing::draw_loop_rom()); }
void BM_BareAluLoop(benchmark::State& state) { run_bare(state, testing::alu_loop_rom()); }
void BM_BareDrawLoop(benchmark::State& state) { run_bare(state, testing::draw_loop_rom()); }

BENCHMARK(BM_EmulatorAluLoop);
BENCHMARK(BM_BareAluLoop);
BENCHMARK(BM_EmulatorDrawLoop);
BENCHMARK(BM_BareDrawLoop);

}  // namespace
}  // namespace chip8
