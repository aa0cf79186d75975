#include "lumivar_core/observation/capability_resolution.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace lumivar {
namespace {

const std::vector<SelectableInput> kInputs = {
    {"key.a", "family.keys"},
    {"key.b", "family.keys"},
    {"dial", std::nullopt},
};

// Resolves a single capability "t.cap" with the given dependencies.
CapabilityResolution resolve_one(std::vector<CapabilityDependency> dependencies, const ObservationRequest& request) {
  NormalizerCatalog catalog;
  catalog.normalizer_id = "n";
  catalog.normalizer_version = "1";
  catalog.capabilities = {{{"t.cap", {1, 0, 0}}, "json.object", std::move(dependencies)}};
  CapabilityMemo memo;
  CapabilityPath path;
  const CapabilityResolutionContext context{catalog, request, kInputs};
  CapabilityResolution result = resolve_capability(context, "t.cap", memo, path);
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(memo.count("t.cap"), 1u);
  return result;
}

struct ResolutionCase {
  const char* name;
  CapabilityDependency dependency;
  std::function<void(ObservationRequest&)> request;
  std::optional<std::string> message;  // nullopt: available
};

void nothing(ObservationRequest&) {}

void normalized(ObservationRequest& r, EventSelection events, AccessDetail detail, bool diffs) {
  r.normalized_events = {std::move(events), detail, diffs};
}

TEST(CapabilityResolution, EachDependencyKindIsSatisfiedOrExplained) {
  using K = EventKindTag;
  const auto effects = EventSelection(EventSelectionLevel::Effects);
  const ResolutionCase cases[] = {
      {"events none", NormalizedEventsDependency{}, nothing, "normalized event channel is not selected"},
      {"events lifecycle", NormalizedEventsDependency{},
       [](ObservationRequest& r) { r.normalized_events.events = EventSelectionLevel::Lifecycle; }, std::nullopt},
      {"empty kind set is still a selection", NormalizedEventsDependency{},
       [](ObservationRequest& r) { r.normalized_events.events = EventSelection::of_kinds(EventKindSet{}); },
       std::nullopt},

      {"kinds under effects", NormalizedEventKindsDependency{{"register_write", "run_started"}},
       [&](ObservationRequest& r) { r.normalized_events.events = effects; }, std::nullopt},
      {"read kind under effects", NormalizedEventKindsDependency{{"call", "register_read"}},
       [&](ObservationRequest& r) { r.normalized_events.events = effects; },
       "normalized event kind \"register_read\" is not selected"},
      {"unknown kind", NormalizedEventKindsDependency{{"call", "Call"}},
       [](ObservationRequest& r) { r.normalized_events.events = EventSelectionLevel::All; },
       "unknown normalized event kind \"Call\""},
      {"extension kind by text", NormalizedEventKindsDependency{{"extension:chip8.scroll"}},
       [](ObservationRequest& r) {
         r.normalized_events.events = EventSelection::of_kinds({EventKind::extension_kind("chip8.scroll")});
       },
       std::nullopt},
      {"extension kind not in set", NormalizedEventKindsDependency{{"extension:chip8.\"q\""}},
       [](ObservationRequest& r) { r.normalized_events.events = EventSelection::of_kinds({K::Call}); },
       "normalized event kind \"extension:chip8.\\\"q\\\"\" is not selected"},
      {"kinds first unsatisfied wins", NormalizedEventKindsDependency{{"memory_read", "Bogus"}},
       [](ObservationRequest& r) { r.normalized_events.events = EventSelectionLevel::Instructions; },
       "normalized event kind \"memory_read\" is not selected"},

      {"state without events", NormalizedStateDependency{false, false, false, AccessDetail::AfterOnly}, nothing,
       "normalized event channel is not selected"},
      {"state read without detail", NormalizedStateDependency{true, false, false, AccessDetail::AfterOnly},
       [](ObservationRequest& r) { normalized(r, EventSelectionLevel::All, AccessDetail::None, false); },
       "normalized state reads/writes require access detail"},
      {"state write without detail", NormalizedStateDependency{false, true, true, AccessDetail::AfterOnly},
       [](ObservationRequest& r) { normalized(r, EventSelectionLevel::All, AccessDetail::None, false); },
       "normalized state reads/writes require access detail"},
      {"state diffs", NormalizedStateDependency{true, true, true, AccessDetail::AfterOnly},
       [](ObservationRequest& r) { normalized(r, EventSelectionLevel::All, AccessDetail::AfterOnly, false); },
       "normalized state diffs are not selected"},
      {"state level none", NormalizedStateDependency{false, false, false, AccessDetail::AfterOnly},
       [](ObservationRequest& r) { normalized(r, EventSelectionLevel::All, AccessDetail::None, false); },
       "normalized access detail None does not satisfy AfterOnly"},
      {"state level after only", NormalizedStateDependency{true, false, false, AccessDetail::BeforeAndAfter},
       [](ObservationRequest& r) { normalized(r, EventSelectionLevel::All, AccessDetail::AfterOnly, true); },
       "normalized access detail AfterOnly does not satisfy BeforeAndAfter"},
      {"state satisfied", NormalizedStateDependency{true, true, true, AccessDetail::AfterOnly},
       [](ObservationRequest& r) { normalized(r, EventSelectionLevel::Lifecycle, AccessDetail::BeforeAndAfter, true); },
       std::nullopt},

      {"native schema always", NativeEvidenceDependency{"chip8.coverage"}, nothing, std::nullopt},
      {"native kinds without channel", NativeEventKindsDependency{{"chip8.coverage"}}, nothing,
       "native evidence channel is not selected"},
      {"native kind missing", NativeEventKindsDependency{{"chip8.coverage", "chip8.framebuffer"}},
       [](ObservationRequest& r) { r.native_evidence = {true, false, {"chip8.coverage"}}; },
       "native event kind \"chip8.framebuffer\" is not selected"},
      {"native all", NativeEventKindsDependency{{"chip8.coverage", "chip8.framebuffer"}},
       [](ObservationRequest& r) { r.native_evidence = {true, true, {}}; }, std::nullopt},

      {"frames none for hashes", FramesDependency{FrameCapture::Hashes}, nothing,
       "frame capture None does not satisfy Hashes"},
      {"frames full for hashes", FramesDependency{FrameCapture::Hashes},
       [](ObservationRequest& r) { r.frames.capture = FrameCapture::Full; }, std::nullopt},
      {"frames hashes for full", FramesDependency{FrameCapture::Full},
       [](ObservationRequest& r) { r.frames.capture = FrameCapture::Hashes; },
       "frame capture Hashes does not satisfy Full"},

      {"snapshots every for final", SnapshotsDependency{SnapshotCaptureKind::Final},
       [](ObservationRequest& r) { r.snapshots.capture = {SnapshotCaptureKind::EverySteps, 250}; },
       "snapshot capture EverySteps(250) does not satisfy Final"},
      {"snapshots final for every", SnapshotsDependency{SnapshotCaptureKind::EverySteps},
       [](ObservationRequest& r) { r.snapshots.capture = {SnapshotCaptureKind::Final, 0}; },
       "snapshot capture Final does not satisfy EverySteps"},
      {"snapshots none", SnapshotsDependency{SnapshotCaptureKind::Final}, nothing,
       "snapshot capture None does not satisfy Final"},
      {"snapshots every", SnapshotsDependency{SnapshotCaptureKind::EverySteps},
       [](ObservationRequest& r) { r.snapshots.capture = {SnapshotCaptureKind::EverySteps, 0}; }, std::nullopt},

      {"final state", FinalStateDependency{},
       [](ObservationRequest& r) { r.snapshots.capture = {SnapshotCaptureKind::EverySteps, 1}; },
       "final-state access requires an explicit final snapshot"},
      {"final state satisfied", FinalStateDependency{},
       [](ObservationRequest& r) { r.snapshots.capture = {SnapshotCaptureKind::Final, 0}; }, std::nullopt},

      {"input values off",
       InputValueEvidenceDependency{{{InputValueSelectorKind::SchemaFamily, "family.keys"}}}, nothing,
       "input-value evidence channel is not selected"},
      {"input values matched",
       InputValueEvidenceDependency{{{InputValueSelectorKind::InputId, "dial"},
                                     {InputValueSelectorKind::SchemaFamily, "family.keys"}}},
       [](ObservationRequest& r) { r.input_value_evidence.enabled = true; }, std::nullopt},
      {"input values unmatched",
       InputValueEvidenceDependency{{{InputValueSelectorKind::InputId, "key.a"},
                                     {InputValueSelectorKind::SchemaFamily, "family.dials"}}},
       [](ObservationRequest& r) { r.input_value_evidence.enabled = true; },
       "input-value selector {\"kind\":\"schema_family\",\"value\":\"family.dials\"} matches no declared input"},

      {"undeclared dependency", CapabilityIdDependency{"t.other"}, nothing,
       "dependent capability t.other is unavailable: capability is not declared by the normalizer catalog"},
  };
  for (const ResolutionCase& c : cases) {
    ObservationRequest request;
    c.request(request);
    const CapabilityResolution result = resolve_one({c.dependency}, request);
    EXPECT_EQ(result.available, !c.message.has_value()) << c.name;
    EXPECT_EQ(result.message, c.message) << c.name;
  }
}

TEST(CapabilityResolution, FirstUnsatisfiedDependencyDecides) {
  ObservationRequest request;
  const CapabilityResolution result =
      resolve_one({NativeEvidenceDependency{"s"}, FramesDependency{FrameCapture::Full}, NormalizedEventsDependency{}},
                  request);
  EXPECT_EQ(result.message, "frame capture None does not satisfy Full");
}

NormalizerCatalog chain_catalog() {
  NormalizerCatalog catalog;
  catalog.normalizer_id = "n";
  catalog.normalizer_version = "1";
  catalog.capabilities = {
      {{"c.a", {1, 0, 0}}, "json.object", {CapabilityIdDependency{"c.b"}}},
      {{"c.b", {1, 0, 0}}, "json.object", {CapabilityIdDependency{"c.a"}}},
      {{"c.top", {1, 0, 0}}, "json.object", {CapabilityIdDependency{"c.mid"}}},
      {{"c.mid", {1, 0, 0}}, "json.object", {NativeEvidenceDependency{"s"}, FramesDependency{FrameCapture::Hashes}}},
      {{"c.self", {1, 0, 0}}, "json.object", {CapabilityIdDependency{"c.self"}}},
  };
  return catalog;
}

TEST(CapabilityResolution, CyclesAreReportedThroughEveryDependant) {
  const NormalizerCatalog catalog = chain_catalog();
  const ObservationRequest request;
  const CapabilityResolutionContext context{catalog, request, kInputs};
  CapabilityMemo memo;
  CapabilityPath path;
  const CapabilityResolution a = resolve_capability(context, "c.a", memo, path);
  EXPECT_FALSE(a.available);
  EXPECT_EQ(a.message,
            "dependent capability c.b is unavailable: dependent capability c.a is unavailable: "
            "capability dependency cycle reaches c.a");
  EXPECT_EQ(memo.at("c.b").message,
            "dependent capability c.a is unavailable: capability dependency cycle reaches c.a");
  EXPECT_TRUE(path.empty());
  // The inner cycle lookup is not memoized: c.a holds its own, final result.
  EXPECT_EQ(memo.at("c.a"), a);

  const CapabilityResolution self = resolve_capability(context, "c.self", memo, path);
  EXPECT_EQ(self.message, "dependent capability c.self is unavailable: capability dependency cycle reaches c.self");
}

TEST(CapabilityResolution, DependentMessagesNestAndResultsAreMemoized) {
  const NormalizerCatalog catalog = chain_catalog();
  ObservationRequest request;
  const CapabilityResolutionContext context{catalog, request, kInputs};
  CapabilityMemo memo;
  CapabilityPath path;
  EXPECT_EQ(resolve_capability(context, "c.top", memo, path).message,
            "dependent capability c.mid is unavailable: frame capture None does not satisfy Hashes");

  // A memoized result is returned as is, even when the request would now differ.
  request.frames.capture = FrameCapture::Hashes;
  EXPECT_FALSE(resolve_capability(context, "c.mid", memo, path).available);
  CapabilityMemo fresh;
  EXPECT_TRUE(resolve_capability(context, "c.top", fresh, path).available);
  EXPECT_TRUE(fresh.at("c.mid").available);

  EXPECT_EQ(resolve_capability(context, "c.missing", fresh, path),
            (CapabilityResolution{false, "capability is not declared by the normalizer catalog"}));
}

}  // namespace
}  // namespace lumivar
