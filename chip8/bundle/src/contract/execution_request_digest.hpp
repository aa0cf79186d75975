#pragma once
// The identity of an execution request: the fingerprint of its canonical JSON
// under the CHIP-8 bundle's request domain. Session snapshots carry it to
// prove which request they belong to.

#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/schedule/execution_request.hpp"
#include "lumivar_core/value/content_digest.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kExecutionRequestDomain = "lumivar.chip8.execution-request";

[[nodiscard]] lumivar::Result<lumivar::ContentDigest> execution_request_digest(const lumivar::ExecutionRequest& request);

}  // namespace chip8::bundle
