#pragma once
// The decoder and the instruction handlers behind `step` and `execute`. Kept in
// a header so the emulator's frame loop can inline the whole step: with the step
// behind a call, plain frame-mode execution ran at about half its rate.
// Include instruction.hpp instead unless you are that loop.

#include <algorithm>
#include <bit>
#include <span>

#include "chip8_core/machine/instruction.hpp"

namespace chip8::detail {


using EventKind = MachineEvent::Kind;

// True when a block of `extent` + 1 bytes from `start` would run past 0xFFFF.
constexpr bool crosses_memory_end(std::uint16_t start, std::uint32_t extent) {
  return static_cast<std::uint32_t>(start) + extent > 0xFFFF;
}

// One decoded instruction acting on the machine. Handlers are named after the
// assembler mnemonics; each one checks for a fault before it changes anything.
class Instruction {
 public:
  Instruction(Chip8Machine& machine, std::uint16_t opcode, std::vector<MachineEvent>& events, MemoryCapture* capture)
      : m_(machine),
        events_(events),
        capture_(capture),
        opcode_(opcode),
        address_(static_cast<std::uint16_t>(machine.PC - 2)) {}

  [[gnu::always_inline]] StepStatus dispatch() {
    switch (opcode_ >> 12) {
      case 0x0:  // 00CN 00DN 00E0 00EE 00FB-00FF; every other 0NNN is a no-op
        switch (opcode_ & 0xFFF0) {
          case 0x00C0: return op_scd();
          case 0x00D0: return op_scu();
          default: break;
        }
        switch (opcode_) {
          case 0x00E0: return op_cls();
          case 0x00EE: return op_ret();
          case 0x00FB: return op_scr();
          case 0x00FC: return op_scl();
          case 0x00FD: return op_exit();
          case 0x00FE: return op_lores();
          case 0x00FF: return op_hires();
          default: return op_sys();
        }
      case 0x1: return op_jp();         // 1NNN
      case 0x2: return op_call();       // 2NNN
      case 0x3: return op_se_vx_nn();   // 3XNN
      case 0x4: return op_sne_vx_nn();  // 4XNN
      case 0x5:                         // 5XY0 5XY2 5XY3
        switch (n()) {
          case 0x0: return op_se_vx_vy();
          case 0x2: return op_save();
          case 0x3: return op_load();
          default: return op_invalid();
        }
      case 0x6: return op_ld_vx_nn();   // 6XNN
      case 0x7: return op_add_vx_nn();  // 7XNN
      case 0x8:                         // 8XYN
        switch (n()) {
          case 0x0: return op_ld_vx_vy();
          case 0x1: return op_or();
          case 0x2: return op_and();
          case 0x3: return op_xor();
          case 0x4: return op_add_vx_vy();
          case 0x5: return op_sub();
          case 0x6: return op_shr();
          case 0x7: return op_subn();
          case 0xE: return op_shl();
          default: return op_invalid();
        }
      case 0x9: return n() == 0 ? op_sne_vx_vy() : op_invalid();  // 9XY0
      case 0xA: return op_ld_i();                                 // ANNN
      case 0xB: return op_jp_v0();                                // BNNN
      case 0xC: return op_rnd();                                  // CXNN
      case 0xD: return op_drw();                                  // DXYN
      case 0xE:                                                   // EX9E EXA1
        switch (nn()) {
          case 0x9E: return op_skp();
          case 0xA1: return op_sknp();
          default: return op_invalid();
        }
      case 0xF:  // FXNN
        switch (nn()) {
          case 0x00: return x() == 0 ? op_ld_i_long() : op_invalid();  // F000 NNNN
          case 0x01: return op_plane();                                // FN01
          case 0x02: return x() == 0 ? op_audio() : op_invalid();      // F002
          case 0x07: return op_ld_vx_dt();
          case 0x0A: return op_ld_vx_k();
          case 0x15: return op_ld_dt_vx();
          case 0x18: return op_ld_st_vx();
          case 0x1E: return op_add_i_vx();
          case 0x29: return op_ld_f_vx();
          case 0x30: return op_ld_hf_vx();
          case 0x33: return op_bcd();
          case 0x3A: return op_pitch();
          case 0x55: return op_ld_mem_vx();
          case 0x65: return op_ld_vx_mem();
          case 0x75: return op_saveflags();
          case 0x85: return op_loadflags();
          default: return op_invalid();
        }
      default: return op_invalid();  // not reached: the top nibble has 16 values
    }
  }

 private:
  unsigned x() const { return (opcode_ >> 8) & 0xF; }
  unsigned y() const { return (opcode_ >> 4) & 0xF; }
  std::uint8_t n() const { return static_cast<std::uint8_t>(opcode_ & 0xF); }
  std::uint8_t nn() const { return static_cast<std::uint8_t>(opcode_ & 0xFF); }
  std::uint16_t nnn() const { return static_cast<std::uint16_t>(opcode_ & 0xFFF); }
  std::uint8_t& vx() { return m_.V[x()]; }
  std::uint8_t& vy() { return m_.V[y()]; }
  std::uint8_t& vf() { return m_.V[0xF]; }

  // Skips are always two bytes, also over the first word of F000 NNNN.
  StepStatus skip_if(bool condition) {
    if (condition) m_.PC = static_cast<std::uint16_t>(m_.PC + 2);
    return StepStatus::ok();
  }

  StepStatus event(MachineEvent e) {
    events_.push_back(e);
    return StepStatus::ok();
  }

  std::span<std::uint8_t> block(std::uint16_t start, std::size_t length) {
    return std::span<std::uint8_t>(m_.memory).subspan(start, length);
  }

  // Adds X + 1 to I after FX55 / FX65 unless the quirk keeps it.
  void advance_i_after_block() {
    if (!m_.quirks.load_store_keeps_i) m_.I = static_cast<std::uint16_t>(m_.I + x() + 1);
  }

  // Register number i of the 5XY2 / 5XY3 range, which runs downwards when X > Y.
  unsigned range_register(unsigned i) const { return x() <= y() ? x() + i : x() - i; }
  unsigned range_count() const { return (x() <= y() ? y() - x() : x() - y()) + 1; }

  // --- 0NNN -------------------------------------------------------------------
  StepStatus op_scd() {
    m_.display.scroll_down(n());
    return event(MachineEvent::scroll_down(n()));
  }
  StepStatus op_scu() {
    m_.display.scroll_up(n());
    return event(MachineEvent::scroll_up(n()));
  }
  StepStatus op_cls() {
    m_.display.clear_selected();
    return event(MachineEvent::simple(EventKind::ClearScreen));
  }
  StepStatus op_ret() {
    if (m_.SP == 0) return StepStatus::stack_underflow();
    m_.SP = static_cast<std::uint8_t>(m_.SP - 1);
    m_.PC = m_.stack[m_.SP];
    events_.push_back(MachineEvent::return_to(m_.PC));
    return event(MachineEvent::simple(EventKind::StackPop));
  }
  StepStatus op_scr() {
    m_.display.scroll_right();
    return event(MachineEvent::simple(EventKind::ScrollRight));
  }
  StepStatus op_scl() {
    m_.display.scroll_left();
    return event(MachineEvent::simple(EventKind::ScrollLeft));
  }
  StepStatus op_exit() {
    m_.halted = true;
    return StepStatus::halted();
  }
  StepStatus op_lores() {
    m_.display.set_resolution(false);
    return event(MachineEvent::simple(EventKind::LoresEnabled));
  }
  StepStatus op_hires() {
    m_.display.set_resolution(true);
    return event(MachineEvent::simple(EventKind::HiresEnabled));
  }
  StepStatus op_sys() { return StepStatus::ok(); }

  // --- 1NNN - 4XNN --------------------------------------------------------------
  StepStatus op_jp() {
    m_.PC = nnn();
    return event(MachineEvent::jump(address_, nnn()));
  }
  StepStatus op_call() {
    if (m_.SP >= kStackDepth) return StepStatus::stack_overflow();
    m_.stack[m_.SP] = m_.PC;
    m_.SP = static_cast<std::uint8_t>(m_.SP + 1);
    m_.PC = nnn();
    events_.push_back(MachineEvent::call(address_, nnn()));
    return event(MachineEvent::simple(EventKind::StackPush));
  }
  StepStatus op_se_vx_nn() { return skip_if(vx() == nn()); }
  StepStatus op_sne_vx_nn() { return skip_if(vx() != nn()); }

  // --- 5XYN ---------------------------------------------------------------------
  StepStatus op_se_vx_vy() { return skip_if(vx() == vy()); }
  StepStatus op_save() {
    const unsigned count = range_count();
    if (crosses_memory_end(m_.I, count - 1)) return StepStatus::memory_fault();
    const auto target = block(m_.I, count);
    MemoryWriteRecord record(capture_, m_.I, target);
    for (unsigned i = 0; i < count; ++i) target[i] = m_.V[range_register(i)];
    record.finish(target, events_);
    return StepStatus::ok();
  }
  StepStatus op_load() {
    const unsigned count = range_count();
    if (crosses_memory_end(m_.I, count - 1)) return StepStatus::memory_fault();
    const auto source = block(m_.I, count);
    record_read(capture_, m_.I, source);
    for (unsigned i = 0; i < count; ++i) m_.V[range_register(i)] = source[i];
    return StepStatus::ok();
  }

  // --- 6XNN 7XNN ------------------------------------------------------------------
  StepStatus op_ld_vx_nn() {
    vx() = nn();
    return StepStatus::ok();
  }
  StepStatus op_add_vx_nn() {
    vx() = static_cast<std::uint8_t>(vx() + nn());
    return StepStatus::ok();
  }

  // --- 8XYN -----------------------------------------------------------------------
  // The arithmetic rows write VF after VX, so with X = F the flag survives; the
  // shifts write VF before VX, so with X = F the shifted value survives.
  StepStatus op_ld_vx_vy() {
    vx() = vy();
    return StepStatus::ok();
  }
  StepStatus op_or() {
    vx() = static_cast<std::uint8_t>(vx() | vy());
    if (m_.quirks.logic_resets_vf) vf() = 0;
    return StepStatus::ok();
  }
  StepStatus op_and() {
    vx() = static_cast<std::uint8_t>(vx() & vy());
    if (m_.quirks.logic_resets_vf) vf() = 0;
    return StepStatus::ok();
  }
  StepStatus op_xor() {
    vx() = static_cast<std::uint8_t>(vx() ^ vy());
    if (m_.quirks.logic_resets_vf) vf() = 0;
    return StepStatus::ok();
  }
  StepStatus op_add_vx_vy() {
    const unsigned sum = vx() + vy();
    vx() = static_cast<std::uint8_t>(sum);
    vf() = sum > 0xFF ? 1 : 0;
    return StepStatus::ok();
  }
  StepStatus op_sub() {
    const std::uint8_t a = vx();
    const std::uint8_t b = vy();
    vx() = static_cast<std::uint8_t>(a - b);
    vf() = a >= b ? 1 : 0;
    return StepStatus::ok();
  }
  StepStatus op_shr() {
    const std::uint8_t source = m_.quirks.shift_uses_vx ? vx() : vy();
    vf() = source & 1;
    vx() = static_cast<std::uint8_t>(source >> 1);
    return StepStatus::ok();
  }
  StepStatus op_subn() {
    const std::uint8_t a = vx();
    const std::uint8_t b = vy();
    vx() = static_cast<std::uint8_t>(b - a);
    vf() = b >= a ? 1 : 0;
    return StepStatus::ok();
  }
  StepStatus op_shl() {
    const std::uint8_t source = m_.quirks.shift_uses_vx ? vx() : vy();
    vf() = static_cast<std::uint8_t>(source >> 7);
    vx() = static_cast<std::uint8_t>(source << 1);
    return StepStatus::ok();
  }

  // --- 9XY0 - DXYN ------------------------------------------------------------------
  StepStatus op_sne_vx_vy() { return skip_if(vx() != vy()); }
  StepStatus op_ld_i() {
    m_.I = nnn();
    return StepStatus::ok();
  }
  StepStatus op_jp_v0() {
    // A 16-bit sum: NNN 0xFFF plus 0xFF reaches 0x10FE, beyond the 12-bit range.
    const std::uint8_t offset = m_.quirks.jump_uses_vx ? vx() : m_.V[0];
    m_.PC = static_cast<std::uint16_t>(nnn() + offset);
    return event(MachineEvent::jump(address_, m_.PC));
  }
  StepStatus op_rnd() {
    vx() = static_cast<std::uint8_t>(nn() & m_.next_random());
    return StepStatus::ok();
  }
  StepStatus op_drw() {
    const std::uint8_t x_value = vx();
    const std::uint8_t y_value = vy();
    bool collision = false;
    const std::uint8_t mask = m_.display.plane_mask;
    if (mask != 0) {
      const std::size_t length = selected_plane_count(mask) * sprite_bytes_per_plane(n());
      if (crosses_memory_end(m_.I, static_cast<std::uint32_t>(length - 1))) return StepStatus::memory_fault();
      const auto sprite = block(m_.I, length);
      record_read(capture_, m_.I, sprite);
      collision = m_.display.draw_sprite(x_value, y_value, n(), sprite, m_.quirks.clip_sprites);
    }
    vf() = collision ? 1 : 0;
    return event(MachineEvent::draw(x_value, y_value, n(), collision));
  }

  // --- EXNN -------------------------------------------------------------------------
  StepStatus op_skp() { return skip_if(m_.key_down(vx())); }
  StepStatus op_sknp() { return skip_if(!m_.key_down(vx())); }

  // --- FXNN -------------------------------------------------------------------------
  StepStatus op_ld_i_long() {
    // The immediate word follows the instruction and is read modulo 64 KiB; at
    // 0xFFFF its two bytes are two separate one-byte blocks.
    const std::uint16_t at = m_.PC;
    if (at == 0xFFFF) {
      record_read(capture_, 0xFFFF, block(0xFFFF, 1));
      record_read(capture_, 0x0000, block(0x0000, 1));
    } else {
      record_read(capture_, at, block(at, 2));
    }
    m_.I = read_word(m_.memory, at);
    return skip_if(true);
  }
  StepStatus op_plane() {
    m_.display.plane_mask = static_cast<std::uint8_t>(x() & 3);
    return StepStatus::ok();
  }
  StepStatus op_audio() {
    if (crosses_memory_end(m_.I, 15)) return StepStatus::memory_fault();
    const auto source = block(m_.I, m_.pattern.size());
    record_read(capture_, m_.I, source);
    std::ranges::copy(source, m_.pattern.begin());
    return StepStatus::ok();
  }
  StepStatus op_ld_vx_dt() {
    vx() = m_.delay;
    return StepStatus::ok();
  }
  StepStatus op_ld_vx_k() {
    m_.key_wait = KeyWait::wait_press(static_cast<std::uint8_t>(x()));
    return event(MachineEvent::simple(EventKind::KeyWaitEntered));
  }
  StepStatus op_ld_dt_vx() {
    m_.delay = vx();
    return event(MachineEvent::timer_set(vx(), 0));
  }
  StepStatus op_ld_st_vx() {
    m_.sound = vx();
    return event(MachineEvent::timer_set(vx(), 1));
  }
  StepStatus op_add_i_vx() {
    m_.I = static_cast<std::uint16_t>(m_.I + vx());
    return StepStatus::ok();
  }
  StepStatus op_ld_f_vx() {
    m_.I = static_cast<std::uint16_t>(kSmallFontAddress + 5 * (vx() & 0xF));
    return StepStatus::ok();
  }
  StepStatus op_ld_hf_vx() {
    m_.I = static_cast<std::uint16_t>(kBigFontAddress + 10 * (vx() % 10));
    return StepStatus::ok();
  }
  StepStatus op_bcd() {
    if (crosses_memory_end(m_.I, 2)) return StepStatus::memory_fault();
    const std::uint8_t value = vx();
    const auto target = block(m_.I, 3);
    MemoryWriteRecord record(capture_, m_.I, target);
    target[0] = static_cast<std::uint8_t>(value / 100);
    target[1] = static_cast<std::uint8_t>(value / 10 % 10);
    target[2] = static_cast<std::uint8_t>(value % 10);
    record.finish(target, events_);
    return StepStatus::ok();
  }
  StepStatus op_pitch() {
    m_.audio_pitch = vx();
    return StepStatus::ok();
  }
  StepStatus op_ld_mem_vx() {
    if (crosses_memory_end(m_.I, x())) return StepStatus::memory_fault();
    const auto target = block(m_.I, x() + 1);
    MemoryWriteRecord record(capture_, m_.I, target);
    for (unsigned i = 0; i <= x(); ++i) target[i] = m_.V[i];
    record.finish(target, events_);
    advance_i_after_block();
    return StepStatus::ok();
  }
  StepStatus op_ld_vx_mem() {
    if (crosses_memory_end(m_.I, x())) return StepStatus::memory_fault();
    const auto source = block(m_.I, x() + 1);
    record_read(capture_, m_.I, source);
    for (unsigned i = 0; i <= x(); ++i) m_.V[i] = source[i];
    advance_i_after_block();
    return StepStatus::ok();
  }
  StepStatus op_saveflags() {
    for (unsigned i = 0; i <= x(); ++i) m_.flags[i] = m_.V[i];
    return StepStatus::ok();
  }
  StepStatus op_loadflags() {
    for (unsigned i = 0; i <= x(); ++i) m_.V[i] = m_.flags[i];
    return StepStatus::ok();
  }

  // Every word the table does not accept: nothing changes beyond the fetch.
  StepStatus op_invalid() {
    events_.push_back(MachineEvent::invalid_opcode(address_, opcode_));
    return StepStatus::invalid_opcode(opcode_);
  }

  Chip8Machine& m_;
  std::vector<MachineEvent>& events_;
  MemoryCapture* capture_;
  std::uint16_t opcode_;
  std::uint16_t address_;  // where the instruction was fetched from
};

// FX0A's two phases: latch the lowest key that is down, then wait for that key
// to go up before storing it, so a key held across FX0A is not taken at once.
inline StepStatus poll_key_wait(Chip8Machine& machine, std::vector<MachineEvent>& events) {
  KeyWait& wait = machine.key_wait;
  if (wait.phase == KeyWait::Phase::WaitPress) {
    if (machine.keypad_mask != 0) {
      const auto key = static_cast<std::uint8_t>(std::countr_zero(machine.keypad_mask));
      wait = KeyWait::wait_release(wait.x, key);
    }
    return StepStatus::waiting_for_key();
  }
  if (machine.key_down(wait.key)) return StepStatus::waiting_for_key();
  const std::uint8_t key = wait.key;
  machine.V[wait.x & 0xF] = key;
  wait = KeyWait::none();
  events.push_back(MachineEvent::key_wait_resolved(key));
  return StepStatus::ok();
}


// The body of `step`.
[[gnu::always_inline]] inline StepStatus step_machine(Chip8Machine& machine, std::vector<MachineEvent>& events, MemoryCapture* capture) {
  if (machine.halted) [[unlikely]] return StepStatus::halted();
  if (machine.key_wait.phase != KeyWait::Phase::None) [[unlikely]] return poll_key_wait(machine, events);
  const std::uint16_t opcode = read_word(machine.memory, machine.PC);
  machine.PC = static_cast<std::uint16_t>(machine.PC + 2);
  return Instruction(machine, opcode, events, capture).dispatch();
}

}  // namespace chip8::detail
