#include "chip8_bundle/trace/state_locations.hpp"

#include <array>
#include <compare>
#include <utility>

namespace chip8::bundle {

namespace {

using lumivar::JsonObject;
using lumivar::JsonValue;
using lumivar::StateLocation;
using lumivar::StateSpace;
using lumivar::StateSpaceTag;

constexpr std::array<std::string_view, 16> kRegisterNames = {"V0", "V1", "V2", "V3", "V4", "V5", "V6", "V7",
                                                             "V8", "V9", "VA", "VB", "VC", "VD", "VE", "VF"};
constexpr std::array<std::string_view, 16> kFlagNames = {"F0", "F1", "F2", "F3", "F4", "F5", "F6", "F7",
                                                         "F8", "F9", "FA", "FB", "FC", "FD", "FE", "FF"};

StateLocation named(StateSpace space, std::string_view name, std::uint16_t width_bits) {
  return StateLocation{std::move(space), std::string(name), std::nullopt, width_bits};
}

StateSpace extension_space(std::string_view text) { return StateSpace::extension_member(std::string(text)); }

template <class T>
std::strong_ordering compare_optional(const std::optional<T>& a, const std::optional<T>& b) {
  if (!a || !b) return a.has_value() <=> b.has_value();
  return *a <=> *b;
}

std::strong_ordering compare_address(const std::optional<lumivar::SpaceAddress>& a,
                                     const std::optional<lumivar::SpaceAddress>& b) {
  if (!a || !b) return a.has_value() <=> b.has_value();
  if (auto by_space = a->space <=> b->space; by_space != 0) return by_space;
  return a->value <=> b->value;
}

}  // namespace

lumivar::SpaceAddress program_address(std::uint16_t pc) {
  return lumivar::SpaceAddress{std::string(kProgramAddressSpace), pc};
}

StateLocation register_location(std::size_t index) {
  return named(StateSpaceTag::Register, kRegisterNames.at(index), 8);
}
StateLocation index_location() { return named(StateSpaceTag::Register, "I", 16); }
StateLocation stack_pointer_location() { return named(StateSpaceTag::Stack, "SP", 8); }
StateLocation stack_entry_location(std::size_t index) {
  return StateLocation{StateSpaceTag::Stack, "stack[" + std::to_string(index) + "]", std::nullopt, 16};
}
StateLocation memory_location(std::uint16_t address) {
  return StateLocation{StateSpaceTag::Memory, std::nullopt,
                       lumivar::SpaceAddress{std::string(kMemoryAddressSpace), address}, 8};
}
StateLocation delay_location() { return named(StateSpaceTag::Timer, "delay", 8); }
StateLocation sound_location() { return named(StateSpaceTag::Timer, "sound", 8); }
StateLocation hires_location() { return named(StateSpaceTag::Display, "hires", 1); }
StateLocation plane_mask_location() { return named(StateSpaceTag::Display, "plane_mask", 2); }
StateLocation keypad_location() { return named(StateSpaceTag::Input, "keypad_mask", 16); }
StateLocation rng_location() { return named(StateSpaceTag::Randomness, "rng_state", 64); }
StateLocation flag_location(std::size_t index) { return named(extension_space(kFlagsSpace), kFlagNames.at(index), 8); }
StateLocation halted_location() { return named(extension_space(kExecutionSpace), "halted", 1); }
StateLocation key_wait_location() { return named(extension_space(kKeyWaitSpace), "state", 16); }
StateLocation pattern_location() { return named(extension_space(kAudioSpace), "pattern", 128); }
StateLocation audio_pitch_location() { return named(StateSpaceTag::Output, "audio_pitch", 8); }

JsonValue key_wait_json(const KeyWait& wait) {
  switch (wait.phase) {
    case KeyWait::Phase::None:
      return JsonValue(JsonObject{{"phase", JsonValue("none")}});
    case KeyWait::Phase::WaitPress:
      return JsonValue(JsonObject{{"phase", JsonValue("wait_press")}, {"register", JsonValue(unsigned{wait.x})}});
    case KeyWait::Phase::WaitRelease:
      return JsonValue(JsonObject{{"key", JsonValue(unsigned{wait.key})},
                                  {"phase", JsonValue("wait_release")},
                                  {"register", JsonValue(unsigned{wait.x})}});
  }
  lumivar::fatal("key-wait phase out of range");
}

bool key_wait_differs(const KeyWait& before, const KeyWait& after) {
  if (before.phase != after.phase) return true;
  switch (before.phase) {
    case KeyWait::Phase::None: return false;
    case KeyWait::Phase::WaitPress: return before.x != after.x;
    case KeyWait::Phase::WaitRelease: return before.x != after.x || before.key != after.key;
  }
  return false;
}

lumivar::StateRead read_of(StateLocation location, lumivar::AccessDetail detail, JsonValue value) {
  lumivar::StateRead read{std::move(location), std::nullopt};
  if (detail != lumivar::AccessDetail::None) read.value = std::move(value);
  return read;
}

lumivar::StateWrite write_of(StateLocation location, lumivar::AccessDetail detail, JsonValue before,
                             JsonValue after) {
  lumivar::StateWrite write{std::move(location), std::nullopt, std::nullopt};
  if (detail != lumivar::AccessDetail::None) write.after = std::move(after);
  if (detail == lumivar::AccessDetail::BeforeAndAfter) write.before = std::move(before);
  return write;
}

bool location_less(const StateLocation& a, const StateLocation& b) {
  if (a.space.tag != b.space.tag) return a.space.tag < b.space.tag;
  if (auto by_text = a.space.extension <=> b.space.extension; by_text != 0) return by_text < 0;
  if (auto by_name = compare_optional(a.name, b.name); by_name != 0) return by_name < 0;
  if (auto by_address = compare_address(a.address, b.address); by_address != 0) return by_address < 0;
  return compare_optional(a.width_bits, b.width_bits) < 0;
}

}  // namespace chip8::bundle
