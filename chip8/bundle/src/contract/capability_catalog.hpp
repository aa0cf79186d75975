#pragma once
// The CHIP-8 normalizer catalog: the six derived capabilities the bundle can
// deliver and the evidence each one needs.

#include <string_view>

#include "lumivar_core/observation/normalizer_catalog.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kNormalizerId = "chip8.normalizer";
inline constexpr std::string_view kNormalizerVersion = "0.1.0";

inline constexpr std::string_view kFramebufferCapability = "chip8.framebuffer";
inline constexpr std::string_view kExecutionSummaryCapability = "chip8.execution_summary";
inline constexpr std::string_view kCoverageCapability = "chip8.coverage";
inline constexpr std::string_view kControlFlowMotifsCapability = "lumivar.control_flow.motifs";
inline constexpr std::string_view kVisualTrajectoryMotifsCapability = "chip8.visual_trajectory_motifs";
inline constexpr std::string_view kInputSummaryCapability = "chip8.input_summary";

// The schema family the input summary draws on (that of the keypad inputs).
inline constexpr std::string_view kInputSummarySchemaFamily = "lumivar.input.digital-key";

// The catalog, built afresh on every call. A non-canonical static ID is a
// broken invariant (fatal error).
[[nodiscard]] lumivar::NormalizerCatalog build_normalizer_catalog();

}  // namespace chip8::bundle
