#include "lumivar_core/observation/normalizer_catalog.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {
namespace {

std::string canonical(const JsonValue& value) {
  auto text = canonical_json_bytes(value);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

NormalizerCatalog valid_catalog() {
  NormalizerCatalog catalog;
  catalog.normalizer_id = "test.normalizer";
  catalog.normalizer_version = "1.0.0";
  catalog.capabilities = {
      {{"a.first", {1, 0, 0}}, "json.object", {NormalizedEventsDependency{}}},
      {{"b.second", {1, 0, 0}}, "json.object", {CapabilityIdDependency{"a.first"}}},
  };
  return catalog;
}

const InputValueSelector kById{InputValueSelectorKind::InputId, "key.a"};
const InputValueSelector kById2{InputValueSelectorKind::InputId, "key.b"};
const InputValueSelector kByFamily{InputValueSelectorKind::SchemaFamily, "family.a"};

struct CatalogCase {
  const char* name;
  std::function<void(NormalizerCatalog&)> change;
  const char* message;
};

TEST(NormalizerCatalog, CheckRefusesMalformedCatalogs) {
  auto deps = [](NormalizerCatalog& c) -> std::vector<CapabilityDependency>& {
    return c.capabilities[1].dependencies;
  };
  const CatalogCase cases[] = {
      {"schema", [](NormalizerCatalog& c) { c.schema_version = {2, 0, 0}; },
       "unsupported normalizer catalog schema SchemaVersion { major: 2, minor: 0, patch: 0 }; expected "
       "SchemaVersion { major: 2, minor: 1, patch: 0 }"},
      {"blank ID", [](NormalizerCatalog& c) { c.normalizer_id = " \t\u3000"; },
       "normalizer catalog has an empty normalizer ID"},
      {"blank version", [](NormalizerCatalog& c) { c.normalizer_version = ""; },
       "normalizer catalog has an empty normalizer version"},
      {"capability ID", [](NormalizerCatalog& c) { c.capabilities[1].capability.id = "B.second"; },
       "capability ID \"B.second\" contains a character outside lowercase ASCII letters, digits, '_' and '-'"},
      {"repeated ID", [](NormalizerCatalog& c) { c.capabilities[1].capability.id = "a.first"; },
       "normalizer catalog declares capability a.first more than once"},
      {"repeat before dependencies",
       [&](NormalizerCatalog& c) {
         c.capabilities[1].capability.id = "a.first";
         deps(c) = {NativeEvidenceDependency{""}};
       },
       "normalizer catalog declares capability a.first more than once"},
      {"blank normalized kind", [&](NormalizerCatalog& c) { deps(c) = {NormalizedEventKindsDependency{{"call", " "}}}; },
       "normalizer capability b.second has an empty event-kind prerequisite"},
      {"repeated native kind",
       [&](NormalizerCatalog& c) { deps(c) = {NativeEventKindsDependency{{"x", "y", "x"}}}; },
       "normalizer capability b.second repeats an event-kind prerequisite"},
      {"blank native schema", [&](NormalizerCatalog& c) { deps(c) = {NativeEvidenceDependency{"  "}}; },
       "normalizer capability b.second has an empty native-evidence schema"},
      {"no selectors", [&](NormalizerCatalog& c) { deps(c) = {InputValueEvidenceDependency{}}; },
       "normalizer capability b.second has an empty input-value prerequisite"},
      {"repeated selector",
       [&](NormalizerCatalog& c) { deps(c) = {InputValueEvidenceDependency{{kById, kByFamily, kById}}}; },
       "normalizer capability b.second repeats an input-value selector"},
      {"family before ID",
       [&](NormalizerCatalog& c) { deps(c) = {InputValueEvidenceDependency{{kByFamily, kById}}}; },
       "normalizer capability b.second has non-canonical input-value selectors"},
      {"values out of order",
       [&](NormalizerCatalog& c) { deps(c) = {InputValueEvidenceDependency{{kById2, kById}}}; },
       "normalizer capability b.second has non-canonical input-value selectors"},
      {"dependency ID", [&](NormalizerCatalog& c) { deps(c) = {CapabilityIdDependency{"a..first"}}; },
       "capability ID \"a..first\" contains an empty segment"},
      {"dependencies in order",
       [&](NormalizerCatalog& c) { deps(c) = {NativeEvidenceDependency{""}, CapabilityIdDependency{""}}; },
       "normalizer capability b.second has an empty native-evidence schema"},
      {"output type", [](NormalizerCatalog& c) { c.capabilities[1].output_type = " "; },
       "normalizer capability b.second has an empty output type"},
      {"output type after dependencies",
       [&](NormalizerCatalog& c) {
         c.capabilities[1].output_type = "";
         deps(c) = {CapabilityIdDependency{""}};
       },
       "capability ID must not be empty"},
  };
  ASSERT_TRUE(check_normalizer_catalog(valid_catalog()).has_value());
  for (const CatalogCase& c : cases) {
    NormalizerCatalog catalog = valid_catalog();
    c.change(catalog);
    auto checked = check_normalizer_catalog(catalog);
    ASSERT_FALSE(checked.has_value()) << c.name;
    EXPECT_EQ(checked.error().message, c.message) << c.name;
  }
}

TEST(NormalizerCatalog, AcceptsCanonicalSelectorsAndUnknownKindTexts) {
  NormalizerCatalog catalog = valid_catalog();
  // Kind texts are only parsed at resolution; the catalog check looks at their shape.
  catalog.capabilities[1].dependencies = {
      InputValueEvidenceDependency{{kById, kById2, kByFamily}},
      NormalizedEventKindsDependency{{"not_a_kind", "extension:x"}},
  };
  EXPECT_TRUE(check_normalizer_catalog(catalog).has_value());
}

TEST(NormalizerCatalog, FindComparesTheIdOnly) {
  const NormalizerCatalog catalog = valid_catalog();
  ASSERT_NE(catalog.find("b.second"), nullptr);
  EXPECT_EQ(catalog.find("b.second")->capability.id, "b.second");
  EXPECT_EQ(catalog.find("b"), nullptr);
}

TEST(NormalizerCatalog, SelectorsMatchByIdOrFamily) {
  const SelectableInput keyed{"key.a", "family.a"};
  const SelectableInput plain{"key.b", std::nullopt};
  EXPECT_TRUE(selector_matches(kById, keyed));
  EXPECT_FALSE(selector_matches(kById, plain));
  EXPECT_TRUE(selector_matches(kByFamily, keyed));
  EXPECT_FALSE(selector_matches(kByFamily, plain));
  EXPECT_FALSE(selector_matches({InputValueSelectorKind::SchemaFamily, "key.a"}, keyed));
}

TEST(NormalizerCatalog, DependencyJsonForms) {
  const std::pair<CapabilityDependency, std::string_view> cases[] = {
      {NormalizedEventsDependency{}, R"("normalized_events")"},
      {NormalizedEventKindsDependency{{"call", "return"}}, R"({"normalized_event_kinds":{"kinds":["call","return"]}})"},
      {NormalizedStateDependency{true, false, true, AccessDetail::BeforeAndAfter},
       R"({"normalized_state":{"access":"before_and_after","read":true,"state_diffs":true,"write":false}})"},
      {NativeEvidenceDependency{"chip8.coverage"}, R"({"native_evidence":{"schema_id":"chip8.coverage"}})"},
      {NativeEventKindsDependency{{"chip8.coverage"}}, R"({"native_event_kinds":{"kinds":["chip8.coverage"]}})"},
      {FramesDependency{FrameCapture::Full}, R"({"frames":{"capture":"full"}})"},
      {SnapshotsDependency{SnapshotCaptureKind::EverySteps}, R"({"snapshots":{"capture":"every_steps"}})"},
      {FinalStateDependency{}, R"("final_state")"},
      {InputValueEvidenceDependency{{kById, kByFamily}},
       R"({"input_value_evidence":{"selectors":[{"kind":"input_id","value":"key.a"},)"
       R"({"kind":"schema_family","value":"family.a"}]}})"},
      {CapabilityIdDependency{"a.first"}, R"({"capability":"a.first"})"},
  };
  for (const auto& [dependency, expected] : cases) EXPECT_EQ(canonical(to_json(dependency)), expected);
  EXPECT_EQ(canonical(to_json(CapabilitySchema{"a.first", {1, 2, 3}})),
            R"({"id":"a.first","version":{"major":1,"minor":2,"patch":3}})");
}

}  // namespace
}  // namespace lumivar
