#include "lumivar_core/schedule/input_schedule_json.hpp"

#include <array>
#include <optional>
#include <utility>

#include "lumivar_core/identifier/identifier.hpp"
#include "lumivar_core/json/record_readers.hpp"

namespace lumivar {
namespace {

template <class T>
Result<void> store(Result<T> value, T& out) {
  if (!value) return std::unexpected(std::move(value.error()));
  out = std::move(*value);
  return {};
}

constexpr std::array<std::string_view, 5> kCoordinateKinds = {"frame", "step", "cycle", "tick", "bundle_defined"};

// {"<member>": n}, the value of the four counter coordinates.
Result<std::uint64_t> read_counter_value(JsonReader& reader, std::string_view expecting, std::string_view member) {
  const FieldSpec fields[] = {{member}};
  std::uint64_t counter = 0;
  auto read = reader.read_object(expecting, fields, [&](std::size_t) { return reader.read_u64_into(counter); });
  if (!read) return std::unexpected(std::move(read.error()));
  return counter;
}

Result<InputCoordinate> read_coordinate_value(JsonReader& reader, std::size_t kind) {
  Result<std::uint64_t> counter = 0;
  switch (kind) {
    case 0:
      counter = read_counter_value(reader, "struct variant InputCoordinate::Frame", "frame");
      if (!counter) return std::unexpected(std::move(counter.error()));
      return InputCoordinate::frame(*counter);
    case 1:
      counter = read_counter_value(reader, "struct variant InputCoordinate::Step", "step");
      if (!counter) return std::unexpected(std::move(counter.error()));
      return InputCoordinate::step(*counter);
    case 2:
      counter = read_counter_value(reader, "struct variant InputCoordinate::Cycle", "cycle");
      if (!counter) return std::unexpected(std::move(counter.error()));
      return InputCoordinate::cycle(*counter);
    case 3:
      counter = read_counter_value(reader, "struct variant InputCoordinate::Tick", "tick");
      if (!counter) return std::unexpected(std::move(counter.error()));
      return InputCoordinate::tick(*counter);
    default: {
      static constexpr FieldSpec kFields[] = {{"schema"}, {"value"}};
      BundleDefinedCoordinate coordinate;
      auto read = reader.read_object("struct variant InputCoordinate::BundleDefined", kFields,
                                     [&](std::size_t field) -> Result<void> {
                                       if (field == 0) return store(read_schema_ref(reader), coordinate.schema);
                                       return store(read_structured_value(reader), coordinate.value);
                                     });
      if (!read) return std::unexpected(std::move(read.error()));
      return InputCoordinate{std::move(coordinate)};
    }
  }
}

}  // namespace

Result<InputCoordinate> read_input_coordinate(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"kind"}, {"value"}};
  std::optional<std::size_t> kind;
  // A value that precedes its kind is skipped and read once the kind is known.
  std::optional<JsonReader::Mark> deferred_value;
  std::optional<InputCoordinate> coordinate;
  auto read = reader.read_object("adjacently tagged enum InputCoordinate", kFields,
                                 [&](std::size_t field) -> Result<void> {
                                   if (field == 0) {
                                     auto index = reader.read_enum("variant identifier", kCoordinateKinds);
                                     if (!index) return std::unexpected(std::move(index.error()));
                                     kind = *index;
                                     return {};
                                   }
                                   if (kind) {
                                     auto value = read_coordinate_value(reader, *kind);
                                     if (!value) return std::unexpected(std::move(value.error()));
                                     coordinate = std::move(*value);
                                     return {};
                                   }
                                   deferred_value = reader.mark();
                                   return reader.skip_value();
                                 });
  if (!read) return std::unexpected(std::move(read.error()));
  if (deferred_value) {
    const JsonReader::Mark end = reader.mark();
    reader.rewind(*deferred_value);
    auto value = read_coordinate_value(reader, *kind);
    if (!value) return std::unexpected(std::move(value.error()));
    coordinate = std::move(*value);
    reader.rewind(end);
  }
  // Both members are required, so read_object has refused a missing one.
  if (!coordinate) fatal("input coordinate read without its value");
  return std::move(*coordinate);
}

Result<TypedInputPayload> read_typed_input_payload(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"schema"}, {"value"}};
  TypedInputPayload payload;
  auto read = reader.read_object("struct TypedInputPayload", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) return store(read_schema_ref(reader), payload.schema);
    return store(read_structured_value(reader), payload.value);
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return payload;
}

Result<ScheduledInput> read_scheduled_input(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"ordinal"}, {"coordinate"}, {"input_id"}, {"payload"}};
  ScheduledInput entry;
  auto read = reader.read_object("struct ScheduledInput", kFields, [&](std::size_t field) -> Result<void> {
    switch (field) {
      case 0: return reader.read_u64_into(entry.ordinal);
      case 1: return store(read_input_coordinate(reader), entry.coordinate);
      case 2: {
        if (auto id = reader.read_string_into(entry.input_id); !id) return id;
        if (auto valid = validate_identifier("input ID", entry.input_id); !valid) {
          return reader.fail(valid.error().message);
        }
        return {};
      }
      default: return store(read_typed_input_payload(reader), entry.payload);
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return entry;
}

Result<InputSchedule> read_input_schedule(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"schema"}, {"entries"}};
  InputSchedule schedule;
  auto read = reader.read_object("struct InputSchedule", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) return store(read_schema_ref(reader), schedule.schema);
    auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
      return store(read_scheduled_input(reader), schedule.entries.emplace_back());
    });
    if (!count) return std::unexpected(std::move(count.error()));
    return {};
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return schedule;
}

Result<InputSchedule> read_input_schedule_document(std::string_view text) {
  auto document = read_document<InputSchedule>(text, read_input_schedule);
  if (!document) return std::unexpected(std::move(document.error()));
  if (!*document) return empty_input_schedule();
  return std::move(**document);
}

}  // namespace lumivar
