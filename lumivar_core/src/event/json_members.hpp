#pragma once
// Writers of the small value documents that evidence records embed, straight
// into a JsonWriter. Members are written in byte order of their keys, which
// for these documents is also their declared order, so the same calls serve
// canonical, compact and pretty output.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

// {"major":1,"minor":0,"patch":0}
inline void write_schema_version(JsonWriter& writer, const SchemaVersion& version) {
  writer.begin_object();
  writer.key("major");
  writer.write_u64(version.major);
  writer.key("minor");
  writer.write_u64(version.minor);
  writer.key("patch");
  writer.write_u64(version.patch);
  writer.end_object();
}

// {"id":"...","version":{...}}
inline void write_schema_ref(JsonWriter& writer, const SchemaRef& schema) {
  writer.begin_object();
  writer.key("id");
  writer.write_string(schema.id);
  writer.key("version");
  write_schema_version(writer, schema.version);
  writer.end_object();
}

inline void write_optional_u64(JsonWriter& writer, const std::optional<std::uint64_t>& value) {
  if (value) writer.write_u64(*value); else writer.write_null();
}

inline void write_optional_string(JsonWriter& writer, const std::optional<std::string>& value) {
  if (value) writer.write_string(*value); else writer.write_null();
}

// Documents written both into JSON that leaves the system (members in byte
// order of keys) and into files meant to be read by people (members in the
// order the document declares them).
enum class MemberOrder : std::uint8_t { KeyOrder, DocumentOrder };

struct JsonMember {
  std::string_view key;
  std::function<void(JsonWriter&)> write_value;
};

// One object from members listed in document order. Meant for small
// documents written once per run; hot records write their members directly.
inline void write_object_members(JsonWriter& writer, MemberOrder order, std::span<JsonMember> members) {
  if (order == MemberOrder::KeyOrder) {
    std::ranges::sort(members, {}, &JsonMember::key);
  }
  writer.begin_object();
  for (JsonMember& member : members) {
    writer.key(member.key);
    member.write_value(writer);
  }
  writer.end_object();
}

}  // namespace lumivar
