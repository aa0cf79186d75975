#include "lumivar_core/observation/observation_request_json.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

std::string canonical(const JsonValue& value) {
  auto text = canonical_json_bytes(value);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

// Every member set away from its default, members in an unusual order.
constexpr std::string_view kFullRequest =
    R"({"overflow":"allow_incomplete","schema_version":{"major":2,"minor":1,"patch":0},"guarantee":"oracle_ready",)"
    R"("normalized_events":{"state_diffs":true,"events":{"kinds":["trap",{"extension":"x.y"},"call","trap"]},)"
    R"("access_detail":"after_only"},)"
    R"("capabilities":[{"id":"chip8.coverage","required":true,"parameters":{"b":[1,-2,0.5],"a":null}}],)"
    R"("native_evidence":{"enabled":true,"all":false,"kinds":["chip8.coverage"]},)"
    R"("frames":{"capture":"full"},"snapshots":{"capture":{"every_steps":18446744073709551615}},)"
    R"("input_value_evidence":{"enabled":true},)"
    R"("budgets":{"max_native_bytes":9,"max_frame_bytes":null}})";

TEST(ObservationRequestJson, ReadsEveryMember) {
  auto request = read_observation_request_document(kFullRequest);
  ASSERT_TRUE(request.has_value()) << request.error().message;
  EXPECT_EQ(request->guarantee, ObservationGuarantee::OracleReady);
  EXPECT_EQ(request->normalized_events.events,
            EventSelection::of_kinds({EventKindTag::Call, EventKindTag::Trap, EventKind::extension_kind("x.y")}));
  EXPECT_EQ(request->snapshots.capture, (SnapshotCapture{SnapshotCaptureKind::EverySteps, 18446744073709551615u}));
  EXPECT_EQ(request->budgets.max_native_bytes, 9u);
  EXPECT_EQ(request->budgets.max_frame_bytes, std::nullopt);
  EXPECT_EQ(canonical(to_json(*request)),
            R"({"budgets":{"max_capability_bytes":null,"max_frame_bytes":null,"max_input_value_bytes":null,)"
            R"("max_input_value_events":null,"max_native_bytes":9,"max_native_events":null,)"
            R"("max_normalized_bytes":null,"max_normalized_events":null,"max_snapshot_bytes":null,)"
            R"("max_total_logical_bytes":null},)"
            R"("capabilities":[{"id":"chip8.coverage","parameters":{"a":null,"b":[1,-2,0.5]},"required":true}],)"
            R"("frames":{"capture":"full"},"guarantee":"oracle_ready","input_value_evidence":{"enabled":true},)"
            R"("native_evidence":{"all":false,"enabled":true,"kinds":["chip8.coverage"]},)"
            R"("normalized_events":{"access_detail":"after_only",)"
            R"("events":{"kinds":["call","trap",{"extension":"x.y"}]},"state_diffs":true},)"
            R"("overflow":"allow_incomplete","schema_version":{"major":2,"minor":1,"patch":0},)"
            R"("snapshots":{"capture":{"every_steps":18446744073709551615}}})");
}

TEST(ObservationRequestJson, WrittenRequestsReadBack) {
  auto request = read_observation_request_document(kFullRequest);
  ASSERT_TRUE(request.has_value());
  const std::string written = canonical(to_json(*request));
  auto again = read_observation_request_document(written);
  ASSERT_TRUE(again.has_value()) << again.error().message;
  EXPECT_EQ(*again, *request);

  JsonWriter writer(JsonStyle::pretty);
  ASSERT_TRUE(write_json(writer, *request));
  auto pretty = read_observation_request_document(writer.view());
  ASSERT_TRUE(pretty.has_value()) << pretty.error().message;
  EXPECT_EQ(*pretty, *request);
}

TEST(ObservationRequestJson, NullSelectsTheDefaultRequest) {
  for (std::string_view text : {"null", " \t\r\nnull\n "}) {
    auto request = read_observation_request_document(text);
    ASSERT_TRUE(request.has_value()) << request.error().message;
    EXPECT_EQ(*request, default_observation_request());
  }
}

TEST(ObservationRequestJson, SelectionsAndCapturesInEveryForm) {
  struct Case {
    std::string_view json;
    EventSelection selection;
  };
  const Case selections[] = {
      {R"("none")", EventSelectionLevel::None},
      {R"("lifecycle")", EventSelectionLevel::Lifecycle},
      {R"("effects")", EventSelectionLevel::Effects},
      {R"("instructions")", EventSelectionLevel::Instructions},
      {R"("all")", EventSelectionLevel::All},
      {R"({"kinds":[]})", EventSelection::of_kinds(EventKindSet{})},
      {R"({"kinds":["run_crashed","run_started","run_crashed"]})",
       EventSelection::of_kinds({EventKindTag::RunStarted, EventKindTag::RunCrashed})},
  };
  for (const Case& c : selections) {
    JsonReader reader(c.json);
    auto selection = read_event_selection(reader);
    ASSERT_TRUE(selection.has_value()) << c.json << ": " << selection.error().message;
    EXPECT_EQ(*selection, c.selection) << c.json;
  }
}

std::string with(std::string_view from, std::string_view to) {
  std::string text(kFullRequest);
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// "at line 1 column C" where C is the 1-based byte column of `needle[offset]`.
std::string at(const std::string& text, std::string_view needle, std::size_t offset) {
  return " at line 1 column " + std::to_string(text.find(needle) + offset + 1);
}

TEST(ObservationRequestJson, RefusesMalformedDocuments) {
  struct Case {
    std::string text;
    std::string message;
  };
  std::vector<Case> cases;
  auto add = [&](std::string text, std::string description, std::string_view needle, std::size_t offset) {
    std::string message = description + at(text, needle, offset);
    cases.push_back({std::move(text), std::move(message)});
  };
  add(with(R"("frames":{"capture":"full"})", R"("frames":{"capture":"full","rate":1})"),
      "unknown field `rate`, expected `capture`", R"("rate")", 5);
  {
    // Reported at the closing brace of the request, the last character.
    std::string text = with(R"(,"input_value_evidence":{"enabled":true})", "");
    std::string message = "missing field `input_value_evidence` at line 1 column " + std::to_string(text.size());
    cases.push_back({std::move(text), std::move(message)});
  }
  add(with(R"("oracle_ready")", R"("best")"),
      "unknown variant `best`, expected one of `summary`, `complete_normalized`, `oracle_ready`", R"("best")", 5);
  add(with(R"("after_only")", R"("After_only")"),
      "unknown variant `After_only`, expected one of `none`, `after_only`, `before_and_after`", R"("After_only")", 11);
  add(with(R"("chip8.coverage","required")", R"("Chip8.coverage","required")"),
      "capability ID \"Chip8.coverage\" contains a character outside lowercase ASCII letters, digits, '_' and '-'",
      R"("Chip8.coverage")", 15);
  add(with(R"("trap",{"extension")", R"("trap",{"other")"),
      "unknown variant `other`, expected one of `run_started`, `step_started`, `instruction_decoded`, "
      "`register_read`, `register_write`, `memory_read`, `memory_write`, `stack_changed`, `branch_taken`, `call`, "
      "`return`, `interrupt`, `trap`, `display_write`, `input_applied`, `input_sampled`, `sound_emitted`, "
      "`timer_changed`, `frame_completed`, `snapshot_captured`, `run_halted`, `run_crashed`, `extension`",
      R"("other")", 6);
  add(with(R"({"every_steps":18446744073709551615})", R"({"every_steps":"10"})"),
      "invalid type: string \"10\", expected u64", R"("10")", 3);
  add(with(R"("max_native_bytes":9)", R"("max_native_bytes":-9)"),
      "invalid value: integer `-9`, expected u64", "-9", 1);
  add(with(R"("max_native_bytes":9)", R"("max_native_bytes":9,"max_events":1)"),
      "unknown field `max_events`, expected one of `max_normalized_events`, `max_normalized_bytes`, "
      "`max_capability_bytes`, `max_native_events`, `max_native_bytes`, `max_frame_bytes`, `max_snapshot_bytes`, "
      "`max_input_value_events`, `max_input_value_bytes`, `max_total_logical_bytes`",
      R"("max_events")", 11);
  for (const Case& c : cases) {
    auto request = read_observation_request_document(c.text);
    ASSERT_FALSE(request.has_value()) << c.text;
    EXPECT_EQ(request.error().message, c.message) << c.text;
  }

  auto trailing = read_observation_request_document("null x");
  ASSERT_FALSE(trailing.has_value());
  EXPECT_EQ(trailing.error().message, "trailing characters at line 1 column 6");
}

}  // namespace
}  // namespace lumivar
