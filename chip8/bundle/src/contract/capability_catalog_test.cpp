#include "chip8_bundle/contract/capability_catalog.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "chip8_bundle/contract/key_input_id.hpp"
#include "chip8_bundle/contract/machine_contract.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"

namespace chip8::bundle {
namespace {

using lumivar::ObservationRequest;

std::string canonical(const lumivar::JsonValue& value) {
  auto text = lumivar::canonical_json_bytes(value);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

TEST(Chip8CapabilityCatalog, DeclaresSixCapabilitiesInOrder) {
  const lumivar::NormalizerCatalog catalog = build_normalizer_catalog();
  ASSERT_TRUE(lumivar::check_normalizer_catalog(catalog).has_value());
  EXPECT_EQ(catalog.schema_version, (lumivar::SchemaVersion{2, 1, 0}));
  EXPECT_EQ(catalog.normalizer_id, "chip8.normalizer");
  EXPECT_EQ(catalog.normalizer_version, "0.1.0");

  const std::pair<std::string_view, std::string_view> expected[] = {
      {"chip8.framebuffer",
       R"([{"native_evidence":{"schema_id":"chip8.framebuffer"}},)"
       R"({"native_event_kinds":{"kinds":["chip8.framebuffer"]}}])"},
      {"chip8.execution_summary",
       R"([{"native_evidence":{"schema_id":"chip8.execution_summary"}},)"
       R"({"native_event_kinds":{"kinds":["chip8.execution_summary"]}}])"},
      {"chip8.coverage",
       R"([{"native_evidence":{"schema_id":"chip8.coverage"}},{"native_event_kinds":{"kinds":["chip8.coverage"]}}])"},
      {"lumivar.control_flow.motifs",
       R"(["normalized_events",{"normalized_event_kinds":{"kinds":["instruction_decoded","branch_taken","call",)"
       R"("return","interrupt","trap"]}}])"},
      {"chip8.visual_trajectory_motifs",
       R"(["normalized_events",{"normalized_event_kinds":{"kinds":["frame_completed","display_write",)"
       R"("input_sampled"]}},{"frames":{"capture":"hashes"}}])"},
      {"chip8.input_summary",
       R"([{"input_value_evidence":{"selectors":[{"kind":"schema_family","value":"lumivar.input.digital-key"}]}}])"},
  };
  ASSERT_EQ(catalog.capabilities.size(), std::size(expected));
  for (std::size_t i = 0; i < catalog.capabilities.size(); ++i) {
    const lumivar::NormalizerCapability& capability = catalog.capabilities[i];
    EXPECT_EQ(capability.capability, (lumivar::CapabilitySchema{std::string(expected[i].first), {1, 0, 0}}));
    EXPECT_EQ(capability.output_type, "json.object");
    lumivar::JsonArray dependencies;
    for (const auto& dependency : capability.dependencies) dependencies.push_back(lumivar::to_json(dependency));
    EXPECT_EQ(canonical(dependencies), expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(build_normalizer_catalog(), catalog);
}

TEST(Chip8CapabilityCatalog, EveryCapabilityIsAvailableWhenItsEvidenceIsSelected) {
  ObservationRequest request;
  request.normalized_events.events = lumivar::EventSelectionLevel::Instructions;
  request.native_evidence = {true, true, {}};
  request.frames.capture = lumivar::FrameCapture::Hashes;
  request.input_value_evidence.enabled = true;
  for (const auto& capability : build_normalizer_catalog().capabilities) {
    request.capabilities.push_back({capability.capability.id, true, nullptr});
  }
  auto prepared = lumivar::prepare_observation(build_normalizer_catalog(), build_input_catalog(), request);
  ASSERT_TRUE(prepared.has_value()) << lumivar::join_observation_problems(prepared.error());
  ASSERT_EQ(prepared->capabilities.size(), 6u);
  for (const auto& capability : prepared->capabilities) {
    EXPECT_EQ(capability.status, lumivar::PreparedCapabilityStatus::Available) << capability.id;
  }
  EXPECT_EQ(prepared->capabilities.front().id, "chip8.coverage");  // ordered by ID
  EXPECT_EQ(prepared->native_observation_schemas,
            (std::vector<std::string>{"chip8.coverage", "chip8.execution_summary", "chip8.framebuffer"}));
  std::vector<std::string> keys;
  for (std::uint8_t key = 0; key < 16; ++key) keys.push_back(format_key_input_id(key));
  EXPECT_EQ(prepared->input_value_ids, keys);
  EXPECT_EQ(prepared->normalizer.requests, request.capabilities);
  EXPECT_TRUE(lumivar::check_prepared_observation(*prepared).has_value());
}

struct MissingEvidenceCase {
  std::string_view capability;
  std::function<void(ObservationRequest&)> change;
  std::string_view message;
};

TEST(Chip8CapabilityCatalog, RequiredCapabilitiesNameTheMissingEvidence) {
  const MissingEvidenceCase cases[] = {
      {kFramebufferCapability, [](ObservationRequest&) {},
       "required capability chip8.framebuffer is unavailable: native evidence channel is not selected"},
      {kCoverageCapability, [](ObservationRequest& r) { r.native_evidence = {true, false, {"chip8.framebuffer"}}; },
       "required capability chip8.coverage is unavailable: native event kind \"chip8.coverage\" is not selected"},
      {kControlFlowMotifsCapability, [](ObservationRequest&) {},
       "required capability lumivar.control_flow.motifs is unavailable: normalized event channel is not selected"},
      {kControlFlowMotifsCapability,
       [](ObservationRequest& r) { r.normalized_events.events = lumivar::EventSelectionLevel::Effects; },
       "required capability lumivar.control_flow.motifs is unavailable: normalized event kind "
       "\"instruction_decoded\" is not selected"},
      {kVisualTrajectoryMotifsCapability,
       [](ObservationRequest& r) { r.normalized_events.events = lumivar::EventSelectionLevel::Effects; },
       "required capability chip8.visual_trajectory_motifs is unavailable: frame capture None does not satisfy "
       "Hashes"},
      {kInputSummaryCapability, [](ObservationRequest&) {},
       "required capability chip8.input_summary is unavailable: input-value evidence channel is not selected"},
  };
  for (const MissingEvidenceCase& c : cases) {
    ObservationRequest request;
    c.change(request);
    request.capabilities = {{std::string(c.capability), true, nullptr}};
    auto prepared = lumivar::prepare_observation_or_error(build_normalizer_catalog(), build_input_catalog(), request);
    ASSERT_FALSE(prepared.has_value()) << c.capability;
    EXPECT_EQ(prepared.error().message, c.message);
  }
}

}  // namespace
}  // namespace chip8::bundle
