#pragma once
// Events shared by the tests of the evidence records: one with every optional
// member absent and one with every member set.

#include "lumivar_core/event/normalized_event.hpp"

namespace lumivar::testing {

inline NormalizedEvent minimal_event(std::string run_id = "r") {
  NormalizedEvent event;
  event.schema_version = SchemaVersion{1, 0, 0};
  event.arch = "chip8";
  event.machine_version = "mv";
  event.run_id = std::move(run_id);
  event.kind = EventKindTag::RunStarted;
  return event;
}

inline NormalizedEvent full_event(std::string run_id = "run-1") {
  NormalizedEvent event = minimal_event(std::move(run_id));
  event.sequence = 7;
  event.step = 42;
  event.cycle_or_tick = 42;
  event.frame = 3;
  event.pc = SpaceAddress{"program", 512};
  event.instruction = EncodedValue{"chip8.opcode", {0x12, 0x34}, "JP 0x234"};
  event.kind = EventKindTag::BranchTaken;
  event.reads.push_back(StateRead{StateLocation{StateSpaceTag::Register, "v0", std::nullopt, 8}, JsonValue(5)});
  event.writes.push_back(StateWrite{
      StateLocation{StateSpace::extension_member("chip8.audio"), std::nullopt, SpaceAddress{"memory", 16}, std::nullopt},
      std::nullopt, JsonValue(true)});
  event.control_flow = ControlFlow{ControlFlowKind::Branch, SpaceAddress{"program", 512}, SpaceAddress{"program", 564}, true};
  event.io.push_back(IoEvent{"keypad_in", IoDirection::Input, IoChannelTag::Keypad,
                             JsonValue(JsonObject{{"ordinal", JsonValue(1)}, {"input_id", JsonValue("k")}})});
  event.trap = TrapInfo{"x", "m", false};
  event.causes.push_back(Cause{3, CausalRelationTag::Control, std::nullopt});
  event.causes.push_back(Cause{4, CausalRelation::extension_member("timing"), "e"});
  event.extensions.emplace("z", JsonValue(1));
  event.extensions.emplace("a", JsonValue(JsonArray{JsonValue(true)}));
  return event;
}

}  // namespace lumivar::testing
