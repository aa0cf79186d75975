#include "chip8_bundle/trace/step_trace.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <format>
#include <string>
#include <vector>

#include "chip8_bundle/trace/state_locations.hpp"
#include "chip8_core/emulator/emulator.hpp"
#include "chip8_core/testing/rom.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/event/normalized_event_json.hpp"

namespace chip8::bundle {
namespace {

using lumivar::AccessDetail;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr AccessDetail kFull = AccessDetail::BeforeAndAfter;

Chip8Emulator observing(std::initializer_list<std::uint16_t> program, std::string_view preset = "chip8") {
  auto emulator = Chip8Emulator::create(testing::rom(program), *find_quirk_preset(preset), 1);
  EXPECT_TRUE(emulator.has_value());
  emulator->set_observing(true);
  return std::move(*emulator);
}

// The record of the `n`-th observed cycle (from 1), after running that many.
ObservedStep nth_step(Chip8Emulator& e, std::size_t n) {
  for (std::size_t c = 0; c < n; ++c) e.step_once();
  std::vector<ObservedStep> steps = e.take_observed_steps();
  return steps.at(n - 1);
}

std::string json(const lumivar::JsonValue& value) {
  auto bytes = lumivar::canonical_json_bytes(value);
  EXPECT_TRUE(bytes.has_value());
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// "V3=7", "memory:0x300=170", "stack[0]", ...: enough of a location and its
// values to compare lists in one line.
std::string location_text(const lumivar::StateLocation& location) {
  if (location.address) return std::format("{}:{:#x}", location.address->space, location.address->value);
  return location.name.value_or("?");
}
std::string describe(const lumivar::StateRead& read) {
  return location_text(read.location) + (read.value ? "=" + json(*read.value) : "");
}
std::string describe(const lumivar::StateWrite& write) {
  std::string text = location_text(write.location);
  if (write.before) text += " " + json(*write.before);
  if (write.after) text += "->" + json(*write.after);
  return text;
}
template <class T>
std::vector<std::string> describe_all(const std::vector<T>& items) {
  std::vector<std::string> out;
  for (const T& item : items) out.push_back(describe(item));
  return out;
}

std::string kinds_of(const std::vector<lumivar::NormalizedEvent>& events) {
  std::string out;
  for (const auto& event : events) out += lumivar::event_kind_text(event.kind) + " ";
  return out;
}

struct ReadsCase {
  const char* name;
  std::initializer_list<std::uint16_t> program;  // the last word is the one examined
  std::string_view preset;
  std::vector<std::string> reads;
  std::size_t cycles = 0;  // the step examined; 0 for the last word's
};

TEST(DecodedReads, ListsEachLocationOnceInLocationOrder) {
  const ReadsCase cases[] = {
      {"DXYN: I, then V9 before VA by name, sprite bytes, display mode",
       {0xA300, 0x6903, 0x6A04, 0xDA92},
       "chip8",
       {"I=768", "V9=3", "VA=4", "memory:0x300=0", "memory:0x301=0", "hires=false", "plane_mask=1"}},
      {"DXYN with X = Y lists the register once", {0xA050, 0x6505, 0xD551}, "chip8",
       {"I=80", "V5=5", "memory:0x50=240", "hires=false", "plane_mask=1"}},
      {"00EE reads SP and the top entry", {0x2204, 0x0000, 0x00EE}, "chip8", {"SP=1", "stack[0]=514"}, 2},
      {"8XY6 shifts VY under chip8", {0x6102, 0x6203, 0x8126}, "chip8", {"V2=3"}},
      {"8XY6 shifts VX under schip", {0x6102, 0x6203, 0x8126}, "schip", {"V1=2"}},
      {"BNNN adds V0 under chip8", {0x6304, 0xB300}, "chip8", {"V0=0"}},
      {"BNNN adds VX under schip", {0x6304, 0xB300}, "schip", {"V3=4"}},
      {"FX55 reads I and V0..VX", {0xA400, 0x6009, 0xF255}, "chip8", {"I=1024", "V0=9", "V1=0", "V2=0"}},
      {"FX85 reads flags 0..X", {0xF185}, "chip8", {"F0=0", "F1=0"}},
      {"5XY2 reads I and the register range", {0xA400, 0x5312}, "xochip", {"I=1024", "V1=0", "V2=0", "V3=0"}},
      {"F000 NNNN skips its immediate bytes", {0xF000, 0x0300}, "xochip", {}, 1},
      {"CXNN reads the generator", {0xC00F}, "chip8", {"rng_state=1"}},
      {"6XNN reads nothing", {0x6001}, "chip8", {}},
  };
  for (const ReadsCase& c : cases) {
    SCOPED_TRACE(c.name);
    Chip8Emulator e = observing(c.program, c.preset);
    const ObservedStep step = nth_step(e, c.cycles != 0 ? c.cycles : c.program.size());
    EXPECT_EQ(describe_all(decoded_reads(step, *find_quirk_preset(c.preset), kFull)), c.reads);
  }
}

TEST(DecodedReads, AreInStrictLocationOrderForEveryOpcodeWord) {
  ObservedStep step;
  step.fetched = true;
  step.pc = 0x200;
  step.before.SP = 3;
  // Overlapping reads out of address order: merged, ordered and listed once.
  step.reads = {MemoryRead{0x301, {1, 2}}, MemoryRead{0x300, {9, 9}}};
  for (const std::string_view preset : {"chip8", "schip"}) {
    for (std::uint32_t opcode = 0; opcode <= 0xFFFF; ++opcode) {
      step.opcode = static_cast<std::uint16_t>(opcode);
      const std::vector<lumivar::StateRead> reads = decoded_reads(step, *find_quirk_preset(preset), kFull);
      const bool ordered = std::ranges::adjacent_find(reads, [](const auto& a, const auto& b) {
                             return !location_less(a.location, b.location);
                           }) == reads.end();
      ASSERT_TRUE(ordered) << std::format("{:04X} under {}", opcode, preset);
    }
  }
}

TEST(DecodedReads, CarryLocationsOnlyAtAccessDetailNone) {
  Chip8Emulator e = observing({0x6102, 0x7101});
  const ObservedStep step = nth_step(e, 2);
  EXPECT_THAT(describe_all(decoded_reads(step, *find_quirk_preset("chip8"), AccessDetail::None)), ElementsAre("V1"));
}

TEST(KeyWaitSample, PollAndLatchStepsSampleTheKeypadButTheResolutionDoesNot) {
  Chip8Emulator e = observing({0xF30A});
  e.step_once();                                // enters the wait
  e.step_once();                                // polls: no key down
  e.set_keypad_mask(0x0020);
  e.step_once();                                // latches key 5
  e.set_keypad_mask(0);
  e.step_once();                                // resolves on release
  const std::vector<ObservedStep> steps = e.take_observed_steps();
  ASSERT_EQ(steps.size(), 4u);

  const NativeRecord poll_record = step_native_record(steps[1], "run");
  const auto poll = key_wait_sample(steps[1], poll_record, kFull);
  ASSERT_TRUE(poll.has_value());
  EXPECT_THAT(describe_all(poll->reads), ElementsAre("keypad_mask=0"));
  EXPECT_EQ(json(poll->io.at(0).value),
            R"({"mask":0,"wait_after":{"phase":"wait_press","register":3},"wait_before":{"phase":"wait_press","register":3}})");
  EXPECT_FALSE(poll_record.instruction.has_value());

  const NativeRecord latch_record = step_native_record(steps[2], "run");
  ASSERT_TRUE(key_wait_sample(steps[2], latch_record, kFull).has_value());
  const auto latch_changes = internal_state_changes(steps[2], latch_record, kFull);
  EXPECT_EQ(kinds_of(latch_changes), "extension:chip8.internal_state_changed ");
  EXPECT_THAT(describe_all(latch_changes.at(0).writes),
              ElementsAre(R"(state {"phase":"wait_press","register":3}->{"key":5,"phase":"wait_release","register":3})"));

  EXPECT_FALSE(key_wait_sample(steps[3], step_native_record(steps[3], "run"), kFull).has_value());
  EXPECT_FALSE(key_wait_sample(steps[0], step_native_record(steps[0], "run"), kFull).has_value());
}

TEST(InternalStateChanges, WriteFinalValuesAndLeaveEventCoveredStateAlone) {
  {
    SCOPED_TRACE("8FF6 changes VF twice but reports the final value once");
    Chip8Emulator e = observing({0x6F03, 0x8FF6});
    const ObservedStep step = nth_step(e, 2);
    const auto changes = internal_state_changes(step, step_native_record(step, "run"), kFull);
    EXPECT_EQ(kinds_of(changes), "register_write ");
    EXPECT_THAT(describe_all(changes.at(0).writes), ElementsAre("VF 3->1"));
  }
  {
    SCOPED_TRACE("FX15 with an unchanged value: timer write on the event, no timer_changed");
    Chip8Emulator e = observing({0xF015});
    const ObservedStep step = nth_step(e, 1);
    const NativeRecord record = step_native_record(step, "run");
    EXPECT_EQ(kinds_of(internal_state_changes(step, record, kFull)), "");
    lumivar::NormalizedEvent event = step_event(record, lumivar::EventKindTag::TimerChanged);
    apply_state_details(event, step.events.at(0), step, kFull);
    EXPECT_THAT(describe_all(event.writes), ElementsAre("delay 0->0"));
  }
  {
    SCOPED_TRACE("a call reports its stack through stack_push, not stack_changed");
    Chip8Emulator e = observing({0x2202, 0x6001});
    const ObservedStep step = nth_step(e, 1);
    const NativeRecord record = step_native_record(step, "run");
    EXPECT_EQ(kinds_of(internal_state_changes(step, record, kFull)), "");
    lumivar::NormalizedEvent event = step_event(record, lumivar::EventKindTag::StackChanged);
    apply_state_details(event, step.events.at(1), step, AccessDetail::AfterOnly);
    EXPECT_THAT(describe_all(event.writes), ElementsAre("SP->1", "stack[0]->514"));
  }
  {
    SCOPED_TRACE("CXNN changes the generator and the register");
    Chip8Emulator e = observing({0xC10F});
    const ObservedStep step = nth_step(e, 1);
    EXPECT_EQ(kinds_of(internal_state_changes(step, step_native_record(step, "run"), kFull)),
              "register_write extension:chip8.internal_state_changed ");
  }
}

TEST(StateDetails, MemoryWritesBecomeOneByteWritesEach) {
  Chip8Emulator e = observing({0x60FE, 0xA400, 0xF033});
  const ObservedStep step = nth_step(e, 3);
  lumivar::NormalizedEvent event = step_event(step_native_record(step, "run"), lumivar::EventKindTag::MemoryWrite);
  event.writes.push_back(lumivar::StateWrite{memory_location(0x400), std::nullopt, std::nullopt});
  apply_state_details(event, step.events.at(0), step, kFull);
  EXPECT_THAT(describe_all(event.writes), ElementsAre("memory:0x400 0->2", "memory:0x401 0->5", "memory:0x402 0->4"));
}

TEST(DerivedEvents, TakenSkipRandomnessAndFaults) {
  {
    Chip8Emulator e = observing({0x3000, 0x0000, 0x3001});
    const ObservedStep taken = nth_step(e, 1);
    const auto skip = taken_skip(taken, step_native_record(taken, "run"));
    ASSERT_TRUE(skip.has_value());
    EXPECT_EQ(skip->control_flow->from->value, 0x200u);
    EXPECT_EQ(skip->control_flow->to->value, 0x204u);
    const ObservedStep untaken = nth_step(e, 1);
    EXPECT_FALSE(taken_skip(untaken, step_native_record(untaken, "run")).has_value());
  }
  {
    Chip8Emulator e = observing({0xC70F});
    const ObservedStep step = nth_step(e, 1);
    const auto sample = randomness_sample(step, step_native_record(step, "run"));
    ASSERT_TRUE(sample.has_value());
    const std::uint64_t raw = step.after.rng_state & 0xFF;
    EXPECT_EQ(json(sample->io.at(0).value),
              std::format(R"({{"masked_value":{},"raw_sample":{},"rng_mask":15,"target_register":"V7"}})", raw & 0x0F, raw));
  }
  {
    Chip8Emulator e = observing({0x00EE});
    const ObservedStep step = nth_step(e, 1);
    ASSERT_EQ(step.result, StepStatus::stack_underflow()) << step_status_name(step.result.kind);
    const auto trap = fault_event(step, step_native_record(step, "run"));
    ASSERT_TRUE(trap.has_value());
    EXPECT_EQ(trap->trap->code, "chip8.stack_underflow");
    EXPECT_EQ(trap->trap->message, "CHIP-8 return with an empty call stack");
    EXPECT_EQ(json(trap->extensions.at("chip8.trap")), R"({"stack_pointer":0})");
  }
  {
    Chip8Emulator e = observing({0xF000, 0xFFFF, 0xF165}, "xochip");
    const ObservedStep step = nth_step(e, 2);
    const auto trap = fault_event(step, step_native_record(step, "run"));
    ASSERT_TRUE(trap.has_value());
    EXPECT_EQ(trap->trap->message, "CHIP-8 memory access crosses the first invalid byte 0x10000");
    EXPECT_EQ(json(trap->extensions.at("chip8.trap")), R"({"first_invalid_address":65536})");
  }
}

TEST(StepEvent, CarriesTheStepsCommonFieldsAndInstruction) {
  Chip8Emulator e = observing({0x6A07});
  const ObservedStep step = nth_step(e, 1);
  auto encoded = lumivar::encode_normalized_event(step_event(step_native_record(step, "r1"), lumivar::EventKindTag::StepStarted));
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(encoded->json,
            R"({"arch":"chip8","causes":[],"control_flow":null,"cycle_or_tick":0,"extensions":{},"frame":0,)"
            R"("instruction":{"bytes":[106,7],"decoded":"LD VA, 0x07","encoding":"chip8.word16.be"},"io":[],)"
            R"("kind":"step_started","machine_version":"chip8-family-semantics.v1","pc":{"space":"program","value":512},)"
            R"("reads":[],"run_id":"r1","schema_version":{"major":1,"minor":0,"patch":0},"sequence":0,"step":0,)"
            R"("trap":null,"writes":[]})");
}

}  // namespace
}  // namespace chip8::bundle
