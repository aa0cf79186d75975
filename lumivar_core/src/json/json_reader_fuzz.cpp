// libFuzzer target: any input, read as a generic tree, as a structured value
// and as a nested struct. A tree that reads must survive writing and reading
// back unchanged; everything else must end in an error value, never a crash,
// a hang or unbounded recursion.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/json/record_readers.hpp"

namespace {

using namespace lumivar;

// A document shaped like the input documents: required and optional members,
// nested records, lists, enums in both forms and an "any JSON value" member.
struct Entry {
  std::uint64_t ordinal = 0;
  std::optional<std::int64_t> offset;
  std::size_t capture = 0;
  std::uint64_t every = 0;
  TypedStructuredValue payload;
  JsonValue parameters;
  std::vector<Entry> children;
};

Result<Entry> read_entry(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"ordinal"},         optional_field("offset"), {"capture"},
                                          {"payload"},         optional_field("parameters"),
                                          optional_field("children")};
  static constexpr VariantSpec kCaptures[] = {{"none"}, {"final"}, {"every_steps", true}};
  Entry entry;
  auto done = reader.read_object("struct Entry", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return reader.read_u64_into(entry.ordinal);
      case 1: return reader.read_optional_into(entry.offset, [&] { return reader.read_i64(); });
      case 2:
        return reader.read_variant("enum Capture", kCaptures, [&](std::size_t index) -> Result<void> {
          entry.capture = index;
          if (index == 2) return reader.read_u64_into(entry.every);
          return {};
        });
      case 3: {
        auto payload = read_typed_structured_value(reader);
        if (!payload) return std::unexpected(payload.error());
        entry.payload = std::move(*payload);
        return {};
      }
      case 4: {
        auto value = reader.read_value();
        if (!value) return std::unexpected(value.error());
        entry.parameters = std::move(*value);
        return {};
      }
      default: {
        auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
          auto child = read_entry(reader);
          if (!child) return std::unexpected(child.error());
          entry.children.push_back(std::move(*child));
          return {};
        });
        if (!count) return std::unexpected(count.error());
        return {};
      }
    }
  });
  if (!done) return std::unexpected(done.error());
  return entry;
}

// Every error message ends with a position.
void check_message(const Error& error) {
  if (error.message.find(" at line ") == std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  auto tree = parse_json(text);
  if (tree) {
    JsonWriter writer;
    if (!writer.write_value(*tree)) std::abort();  // the reader never yields a non-finite float
    auto again = parse_json(writer.view());
    if (!again || !(*again == *tree)) std::abort();
  } else {
    check_message(tree.error());
  }

  auto value = read_required_document<StructuredValue>(text, read_structured_value);
  if (value) {
    JsonWriter writer;
    if (!writer.write_value(to_json(*value))) std::abort();
    auto again = read_required_document<StructuredValue>(writer.view(), read_structured_value);
    if (!again || !(*again == *value)) std::abort();
  } else {
    check_message(value.error());
  }

  auto entry = read_document<Entry>(text, read_entry);
  if (!entry) check_message(entry.error());
  return 0;
}
