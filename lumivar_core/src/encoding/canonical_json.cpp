#include "lumivar_core/encoding/canonical_json.hpp"

namespace lumivar {

Result<std::string> canonical_json_bytes(const JsonValue& document) {
  JsonWriter writer(JsonStyle::canonical);
  if (!writer.write_value(document)) return fail("cannot convert value to canonical JSON: non-finite float");
  return writer.take();
}

Result<std::string> json_text(const JsonValue& document, JsonStyle style) {
  JsonWriter writer(style);
  if (!writer.write_value(document)) return fail("cannot write JSON text: non-finite float");
  return writer.take();
}

}  // namespace lumivar
