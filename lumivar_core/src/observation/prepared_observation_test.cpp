#include "lumivar_core/observation/prepared_observation.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

std::string canonical(const JsonValue& value) {
  auto text = canonical_json_bytes(value);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

const std::vector<SelectableInput> kInputs = {
    {"key.b", "family.keys"},
    {"key.a", "family.keys"},
    {"dial", std::nullopt},
};

NormalizerCapability declare(std::string id, std::vector<CapabilityDependency> dependencies) {
  return {{std::move(id), {1, 0, 0}}, "json.object", std::move(dependencies)};
}

// c.native:  native schema s.one, needs native kinds
// c.keys:    native schema s.two, input values of the key family
// c.frames:  needs hashed frames
// c.needs-missing -> c.missing (undeclared)
// c.top -> c.mid -> c.frames
NormalizerCatalog test_catalog() {
  NormalizerCatalog catalog;
  catalog.normalizer_id = "test.normalizer";
  catalog.normalizer_version = "1.0.0";
  catalog.capabilities = {
      declare("c.native", {NativeEvidenceDependency{"s.one"}, NativeEventKindsDependency{{"k"}}}),
      declare("c.keys", {NativeEvidenceDependency{"s.two"},
                         InputValueEvidenceDependency{{{InputValueSelectorKind::InputId, "dial"},
                                                       {InputValueSelectorKind::SchemaFamily, "family.keys"}}}}),
      declare("c.frames", {NativeEvidenceDependency{"s.three"}, FramesDependency{FrameCapture::Hashes}}),
      declare("c.needs-missing", {CapabilityIdDependency{"c.missing"}}),
      declare("c.top", {CapabilityIdDependency{"c.mid"}}),
      declare("c.mid", {CapabilityIdDependency{"c.frames"}}),
  };
  return catalog;
}

CapabilityRequest ask(std::string id, bool required) { return {std::move(id), required, nullptr}; }

TEST(PreparedObservation, DefaultRequestPreparesEmptyWithAStableIdentity) {
  auto prepared = prepare_observation(test_catalog(), kInputs, ObservationRequest{});
  ASSERT_TRUE(prepared.has_value());
  EXPECT_TRUE(prepared->capabilities.empty());
  EXPECT_TRUE(prepared->native_observation_schemas.empty());
  EXPECT_TRUE(prepared->input_value_ids.empty());
  EXPECT_EQ(canonical(to_json(*prepared)),
            R"({"capabilities":[],"input_value_ids":[],"native_observation_schemas":[],)"
            R"("normalizer":{"id":"test.normalizer","requests":[],"version":"1.0.0"},)"
            R"("request":{"budgets":{"max_capability_bytes":null,"max_frame_bytes":null,)"
            R"("max_input_value_bytes":null,"max_input_value_events":null,"max_native_bytes":null,)"
            R"("max_native_events":null,"max_normalized_bytes":null,"max_normalized_events":null,)"
            R"("max_snapshot_bytes":null,"max_total_logical_bytes":null},"capabilities":[],)"
            R"("frames":{"capture":"none"},"guarantee":"summary","input_value_evidence":{"enabled":false},)"
            R"("native_evidence":{"all":false,"enabled":false,"kinds":[]},)"
            R"("normalized_events":{"access_detail":"none","events":"none","state_diffs":false},)"
            R"("overflow":"fail","schema_version":{"major":2,"minor":1,"patch":0},)"
            R"("snapshots":{"capture":"none"}},"schema_version":{"major":1,"minor":0,"patch":0}})");
  EXPECT_EQ(to_text(prepared->identity),
            "sha256:614c2b26fb64671c6148f123e799b78bc9a5bdae9e8455b789127118f96dc037");
  EXPECT_TRUE(check_prepared_observation(*prepared).has_value());
}

TEST(PreparedObservation, RecordsResolutionAndWhatAvailableCapabilitiesDrawOn) {
  ObservationRequest request;
  request.native_evidence = {true, true, {}};
  request.input_value_evidence.enabled = true;
  request.capabilities = {ask("c.keys", true), ask("c.frames", false), ask("c.native", false),
                          ask("c.needs-missing", false)};
  auto prepared = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_TRUE(prepared.has_value()) << join_observation_problems(prepared.error());

  std::vector<std::string> ids;
  for (const PreparedCapability& capability : prepared->capabilities) ids.push_back(capability.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"c.frames", "c.keys", "c.missing", "c.native", "c.needs-missing"}));

  const PreparedCapability& frames = prepared->capabilities[0];
  EXPECT_TRUE(frames.requested);
  EXPECT_FALSE(frames.required);
  EXPECT_EQ(frames.status, PreparedCapabilityStatus::Unavailable);
  EXPECT_EQ(frames.message, "frame capture None does not satisfy Hashes");
  EXPECT_EQ(frames.dependencies, test_catalog().find("c.frames")->dependencies);

  const PreparedCapability& missing = prepared->capabilities[2];
  EXPECT_FALSE(missing.requested);
  EXPECT_EQ(missing.message, "capability is not declared by the normalizer catalog");
  EXPECT_TRUE(missing.dependencies.empty());
  EXPECT_EQ(prepared->capabilities[4].message,
            "dependent capability c.missing is unavailable: capability is not declared by the normalizer catalog");

  EXPECT_EQ(prepared->capabilities[1].status, PreparedCapabilityStatus::Available);
  EXPECT_EQ(prepared->capabilities[1].message, std::nullopt);
  EXPECT_EQ(prepared->capabilities[3].status, PreparedCapabilityStatus::Available);

  // Only available capabilities contribute; c.frames' schema s.three is left out.
  EXPECT_EQ(prepared->native_observation_schemas, (std::vector<std::string>{"s.one", "s.two"}));
  EXPECT_EQ(prepared->input_value_ids, (std::vector<std::string>{"dial", "key.a", "key.b"}));
  ASSERT_EQ(prepared->normalizer.requests.size(), 2u);
  EXPECT_EQ(prepared->normalizer.requests[0], request.capabilities[0]);
  EXPECT_EQ(prepared->normalizer.requests[1], request.capabilities[2]);
  EXPECT_TRUE(check_prepared_observation(*prepared).has_value());
}

TEST(PreparedObservation, RequiredCapabilityMissingFromTheCatalogFailsWithBothIds) {
  ObservationRequest request;
  request.capabilities = {ask("c.needs-missing", true)};
  auto prepared = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_FALSE(prepared.has_value());
  EXPECT_EQ(join_observation_problems(prepared.error()),
            "required capability c.missing is unavailable: capability is not declared by the normalizer catalog; "
            "required capability c.needs-missing is unavailable: dependent capability c.missing is unavailable: "
            "capability is not declared by the normalizer catalog");

  auto joined = prepare_observation_or_error(test_catalog(), kInputs, request);
  ASSERT_FALSE(joined.has_value());
  EXPECT_EQ(joined.error().message, join_observation_problems(prepared.error()));
}

TEST(PreparedObservation, RequiredNessReachesDependenciesAlreadyIncludedAsOptional) {
  ObservationRequest request;
  // c.mid is first included as optional, then c.top (required) makes it and c.frames required.
  request.capabilities = {ask("c.mid", false), ask("c.top", true)};
  auto prepared = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_FALSE(prepared.has_value());
  EXPECT_EQ(prepared.error(),
            (ObservationProblems{
                "required capability c.frames is unavailable: frame capture None does not satisfy Hashes",
                "required capability c.mid is unavailable: dependent capability c.frames is unavailable: frame "
                "capture None does not satisfy Hashes",
                "required capability c.top is unavailable: dependent capability c.mid is unavailable: dependent "
                "capability c.frames is unavailable: frame capture None does not satisfy Hashes"}));

  request.capabilities = {ask("c.top", false), ask("c.mid", false)};
  request.frames.capture = FrameCapture::Full;
  auto optional = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_TRUE(optional.has_value());
  ASSERT_EQ(optional->capabilities.size(), 3u);
  EXPECT_FALSE(optional->capabilities[0].requested);  // c.frames
  EXPECT_TRUE(optional->capabilities[1].requested);   // c.mid, requested and reached through c.top
  EXPECT_FALSE(optional->capabilities[1].required);
  EXPECT_EQ(optional->native_observation_schemas, (std::vector<std::string>{"s.three"}));
}

TEST(PreparedObservation, DuplicateRequestsAreReportedOncePerId) {
  ObservationRequest request;
  request.native_evidence = {true, true, {}};
  request.capabilities = {ask("c.native", false), ask("c.keys", false), ask("c.native", true),
                          ask("c.keys", false), ask("c.native", false)};
  auto prepared = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_FALSE(prepared.has_value());
  EXPECT_EQ(join_observation_problems(prepared.error()),
            "observation request selects capability c.native more than once; "
            "observation request selects capability c.keys more than once");
}

TEST(PreparedObservation, RequestAndCatalogProblemsAreCollectedFirst) {
  ObservationRequest request;
  request.native_evidence.all = true;
  request.capabilities = {ask("c.native", true), ask("c.native", true)};
  NormalizerCatalog catalog = test_catalog();
  catalog.normalizer_version = " ";
  auto prepared = prepare_observation(catalog, kInputs, request);
  ASSERT_FALSE(prepared.has_value());
  EXPECT_EQ(join_observation_problems(prepared.error()),
            "native evidence selection requires the native channel; normalizer catalog has an empty normalizer "
            "version");
}

TEST(PreparedObservation, IdentityFollowsTheDocument) {
  ObservationRequest request;
  request.normalized_events.events = EventSelection::of_kinds({EventKindTag::Trap, EventKindTag::Call});
  ObservationRequest reordered = request;
  reordered.normalized_events.events =
      EventSelection::of_kinds({EventKindTag::Call, EventKindTag::Trap, EventKindTag::Call});
  ObservationRequest other = request;
  other.budgets.max_frame_bytes = 0;

  auto a = prepare_observation(test_catalog(), kInputs, request);
  auto b = prepare_observation(test_catalog(), kInputs, reordered);
  auto c = prepare_observation(test_catalog(), kInputs, other);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->identity, b->identity);
  EXPECT_EQ(canonical(to_json(*a)), canonical(to_json(*b)));
  EXPECT_NE(a->identity, c->identity);

  NormalizerCatalog renamed = test_catalog();
  renamed.normalizer_version = "1.0.1";
  auto d = prepare_observation(renamed, kInputs, request);
  ASSERT_TRUE(d);
  EXPECT_NE(a->identity, d->identity);
}

TEST(PreparedObservation, CheckRefusesChangedDocuments) {
  ObservationRequest request;
  request.native_evidence = {true, true, {}};
  request.input_value_evidence.enabled = true;
  request.capabilities = {ask("c.keys", true)};
  auto prepared = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_TRUE(prepared.has_value());
  ASSERT_TRUE(check_prepared_observation(*prepared).has_value());

  auto expect_refused = [&](auto change, std::string_view message) {
    PreparedObservation changed = *prepared;
    change(changed);
    auto checked = check_prepared_observation(changed);
    ASSERT_FALSE(checked.has_value()) << message;
    EXPECT_EQ(checked.error().message, message);
  };
  expect_refused([](PreparedObservation& p) { p.schema_version = {1, 1, 0}; },
                 "unsupported prepared-observation schema 1.1.0; expected 1.0.0");
  expect_refused([](PreparedObservation& p) { p.request.native_evidence.enabled = false; },
                 "native evidence selection requires the native channel");
  expect_refused([](PreparedObservation& p) { std::swap(p.input_value_ids[0], p.input_value_ids[2]); },
                 "prepared input-value IDs must be sorted and unique");
  expect_refused([](PreparedObservation& p) { p.input_value_ids[1] = p.input_value_ids[0]; },
                 "prepared input-value IDs must be sorted and unique");
  expect_refused([](PreparedObservation& p) { p.input_value_ids.pop_back(); },
                 "prepared observation identity does not match its contents");
  expect_refused([](PreparedObservation& p) { p.capabilities[0].required = false; },
                 "prepared observation identity does not match its contents");
  expect_refused([](PreparedObservation& p) { p.identity.value[31] ^= 1; },
                 "prepared observation identity does not match its contents");
}

TEST(PreparedObservation, AcceptsAnInputCatalog) {
  InputCatalog inputs;
  inputs.schema = input_catalog_schema();
  for (const SelectableInput& input : kInputs) {
    InputDeclaration declaration;
    declaration.id = input.id;
    declaration.schema_family = input.schema_family;
    inputs.inputs.push_back(declaration);
  }
  ObservationRequest request;
  request.native_evidence.enabled = true;
  request.input_value_evidence.enabled = true;
  request.capabilities = {ask("c.keys", true)};
  auto from_catalog = prepare_observation(test_catalog(), inputs, request);
  auto from_list = prepare_observation(test_catalog(), kInputs, request);
  ASSERT_TRUE(from_catalog && from_list);
  EXPECT_EQ(*from_catalog, *from_list);
}

// The identity is the fingerprint of bytes written straight from the structs;
// they must be the canonical JSON of the tree form, whatever the members hold.
TEST(PreparedObservation, DirectCanonicalJsonIsTheTreeFormsBytes) {
  ObservationRequest asking;
  asking.native_evidence = {true, true, {}};
  asking.input_value_evidence.enabled = true;
  asking.capabilities = {ask("c.keys", true), ask("c.top", false), ask("c.native", false),
                         ask("c.needs-missing", false)};
  auto base = prepare_observation(test_catalog(), kInputs, asking);
  ASSERT_TRUE(base.has_value()) << join_observation_problems(base.error());
  ASSERT_FALSE(base->normalizer.requests.empty());
  PreparedObservation full = *base;
  full.request.guarantee = ObservationGuarantee::CompleteNormalized;
  full.request.normalized_events = {EventSelection::of_kinds({EventKindTag::Trap, EventKindTag::Call}),
                                    AccessDetail::BeforeAndAfter, true};
  full.request.native_evidence = {true, false, {"b.kind", "a.kind"}};
  full.request.frames.capture = FrameCapture::Full;
  full.request.snapshots.capture = {SnapshotCaptureKind::EverySteps, 40};
  full.request.input_value_evidence.enabled = true;
  full.request.budgets.max_frame_bytes = 7;
  full.request.budgets.max_total_logical_bytes = 0;
  full.request.capabilities[0].parameters =
      JsonObject{{"z", JsonArray{1.5, nullptr, "t\"\n"}}, {"a", JsonObject{{"n", std::int64_t{-3}}}}};
  full.request.overflow = OverflowPolicy::AllowIncomplete;
  full.capabilities.push_back(PreparedCapability{
      "c.every", true, true, PreparedCapabilityStatus::Unavailable,
      {NormalizedEventsDependency{}, NormalizedEventKindsDependency{{"call", "extension:x"}},
       NormalizedStateDependency{true, false, true, AccessDetail::BeforeAndAfter}, NativeEvidenceDependency{"s.n"},
       NativeEventKindsDependency{{"k"}}, FramesDependency{FrameCapture::Full},
       SnapshotsDependency{SnapshotCaptureKind::EverySteps}, FinalStateDependency{},
       InputValueEvidenceDependency{{{InputValueSelectorKind::SchemaFamily, "f"}}}, CapabilityIdDependency{"c.mid"}},
      "not here"});
  full.normalizer.requests.push_back(full.request.capabilities[0]);

  ObservationRequest snapshots_final;
  snapshots_final.snapshots.capture = {SnapshotCaptureKind::Final, 0};
  auto plain = prepare_observation(test_catalog(), kInputs, snapshots_final);
  ASSERT_TRUE(plain.has_value());

  for (const PreparedObservation* observation : {&*base, &full, &*plain}) {
    auto direct = prepared_observation_canonical_json(*observation);
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(*direct, canonical(to_json(*observation)));
  }

  PreparedObservation infinite = full;
  infinite.normalizer.requests[0].parameters = JsonArray{std::numeric_limits<double>::infinity()};
  auto refused = prepared_observation_canonical_json(infinite);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message, canonical_json_bytes(to_json(infinite)).error().message);
}

}  // namespace
}  // namespace lumivar
