#include "chip8_bundle/contract/capability_catalog.hpp"

#include <string>
#include <utility>
#include <vector>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/identifier/identifier.hpp"

namespace chip8::bundle {
namespace {

using lumivar::CapabilityDependency;

constexpr lumivar::SchemaVersion kCapabilityVersion{1, 0, 0};
constexpr std::string_view kOutputType = "json.object";

lumivar::NormalizerCapability capability(std::string_view id, std::vector<CapabilityDependency> dependencies) {
  if (!lumivar::validate_identifier("capability ID", id)) lumivar::fatal("static CHIP-8 capability ID");
  return lumivar::NormalizerCapability{
      lumivar::CapabilitySchema{std::string(id), kCapabilityVersion},
      std::string(kOutputType),
      std::move(dependencies),
  };
}

// A capability computed from one native evidence record of the same name.
lumivar::NormalizerCapability native_record_capability(std::string_view id) {
  return capability(id, {
                            lumivar::NativeEvidenceDependency{std::string(id)},
                            lumivar::NativeEventKindsDependency{{std::string(id)}},
                        });
}

lumivar::InputValueSelector family_selector(std::string_view family) {
  if (!lumivar::validate_identifier("schema family ID", family)) lumivar::fatal("static CHIP-8 input family");
  return lumivar::InputValueSelector{lumivar::InputValueSelectorKind::SchemaFamily, std::string(family)};
}

}  // namespace

lumivar::NormalizerCatalog build_normalizer_catalog() {
  lumivar::NormalizerCatalog catalog;
  catalog.schema_version = lumivar::kNormalizerCatalogSchemaVersion;
  catalog.normalizer_id = std::string(kNormalizerId);
  catalog.normalizer_version = std::string(kNormalizerVersion);
  catalog.capabilities.push_back(native_record_capability(kFramebufferCapability));
  catalog.capabilities.push_back(native_record_capability(kExecutionSummaryCapability));
  catalog.capabilities.push_back(native_record_capability(kCoverageCapability));
  catalog.capabilities.push_back(capability(
      kControlFlowMotifsCapability,
      {
          lumivar::NormalizedEventsDependency{},
          lumivar::NormalizedEventKindsDependency{
              {"instruction_decoded", "branch_taken", "call", "return", "interrupt", "trap"}},
      }));
  catalog.capabilities.push_back(capability(
      kVisualTrajectoryMotifsCapability,
      {
          lumivar::NormalizedEventsDependency{},
          lumivar::NormalizedEventKindsDependency{{"frame_completed", "display_write", "input_sampled"}},
          lumivar::FramesDependency{lumivar::FrameCapture::Hashes},
      }));
  catalog.capabilities.push_back(capability(
      kInputSummaryCapability,
      {
          lumivar::InputValueEvidenceDependency{{family_selector(kInputSummarySchemaFamily)}},
      }));
  return catalog;
}

}  // namespace chip8::bundle
