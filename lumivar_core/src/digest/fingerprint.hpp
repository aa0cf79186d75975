#pragma once
// Document fingerprints: domain-separated SHA-256 of a document's canonical
// JSON under the kind "lumivar.canonical_json.v1" and a caller-chosen domain.

#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/content_digest.hpp"
#include "lumivar_core/value/json_value.hpp"

namespace lumivar {

// Fails for an empty domain (checked first) and for a document that has no
// canonical JSON.
[[nodiscard]] Result<Sha256Digest> fingerprint_document(std::string_view domain, const JsonValue& document);

// The same digest for a document whose canonical JSON bytes are already at
// hand (written straight from its struct).
[[nodiscard]] Result<Sha256Digest> fingerprint_canonical_json(std::string_view domain,
                                                              std::string_view canonical_json);

}  // namespace lumivar
