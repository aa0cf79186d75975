#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace lumivar {

namespace {

constexpr const char* kNonFinite = "canonical structured values reject non-finite floats";

bool write_value(CborWriter& writer, const StructuredValue& value) {
  switch (value.kind()) {
    case StructuredKind::Null: writer.write_null(); return true;
    case StructuredKind::Bool: writer.write_bool(value.as<bool>()); return true;
    case StructuredKind::Unsigned: writer.write_unsigned(value.as<std::uint64_t>()); return true;
    case StructuredKind::Signed: writer.write_signed(value.as<std::int64_t>()); return true;
    case StructuredKind::Float: return writer.write_double(value.as<double>());
    case StructuredKind::Text: writer.write_text(value.as<std::string>()); return true;
    case StructuredKind::Bytes: writer.write_bytes(value.as<ByteString>()); return true;
    case StructuredKind::Array: {
      const StructuredArray& array = value.as<StructuredArray>();
      writer.begin_array(array.size());
      for (const StructuredValue& element : array) {
        if (!write_value(writer, element)) return false;
      }
      return true;
    }
    case StructuredKind::Map: {
      const StructuredMap& map = value.as<StructuredMap>();
      writer.begin_map(map.size());
      // The map iterates in byte order of the keys. An encoded key is its head
      // plus its bytes, and the head only grows with the length, so ordering
      // encoded keys by length, then bytewise, is a stable sort by key length.
      // Small maps, the common case, are ordered on the stack.
      constexpr std::size_t kSmallMap = 16;
      if (map.size() <= kSmallMap) {
        std::array<const StructuredMap::value_type*, kSmallMap> entries;
        std::size_t count = 0;
        for (const auto& entry : map) {
          std::size_t at = count++;
          while (at > 0 && entries[at - 1]->first.size() > entry.first.size()) {
            entries[at] = entries[at - 1];
            --at;
          }
          entries[at] = &entry;
        }
        for (std::size_t i = 0; i < count; ++i) {
          writer.write_text(entries[i]->first);
          if (!write_value(writer, entries[i]->second)) return false;
        }
        return true;
      }
      std::vector<const StructuredMap::value_type*> entries;
      entries.reserve(map.size());
      for (const auto& entry : map) entries.push_back(&entry);
      std::ranges::stable_sort(entries, {}, [](const auto* entry) { return entry->first.size(); });
      for (const auto* entry : entries) {
        writer.write_text(entry->first);
        if (!write_value(writer, entry->second)) return false;
      }
      return true;
    }
  }
  fatal("structured value kind out of range");
}

bool all_finite(const StructuredValue& value) {
  switch (value.kind()) {
    case StructuredKind::Float: return std::isfinite(value.as<double>());
    case StructuredKind::Array:
      return std::ranges::all_of(value.as<StructuredArray>(), [](const StructuredValue& v) { return all_finite(v); });
    case StructuredKind::Map:
      return std::ranges::all_of(value.as<StructuredMap>(), [](const auto& entry) { return all_finite(entry.second); });
    default: return true;
  }
}

}  // namespace

Result<void> check_canonical_structured(const StructuredValue& value) {
  if (!all_finite(value)) return fail(kNonFinite);
  return {};
}

Result<void> write_canonical_structured(CborWriter& writer, const StructuredValue& value) {
  if (!write_value(writer, value)) return fail(kNonFinite);
  return {};
}

Result<ByteString> canonical_structured_bytes(const StructuredValue& value) {
  CborWriter writer;
  if (!write_value(writer, value)) return fail(kNonFinite);
  return writer.take();
}

}  // namespace lumivar
