// Reading cost of an input-document-sized text: a 64-entry key schedule, read
// as a generic tree and straight into typed records.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/json/record_readers.hpp"

namespace lumivar {
namespace {

std::string schedule_text(int entries) {
  std::string text = R"({"schema": {"id": "lumivar.input_schedule", "version": {"major": 1, "minor": 0, "patch": 0}},)"
                     "\n \"entries\": [";
  for (int i = 0; i < entries; ++i) {
    if (i > 0) text += ",";
    const std::string n = std::to_string(i);
    text += "\n  {\"ordinal\": " + n + R"(, "coordinate": {"kind": "frame", "value": {"frame": )" + n +
            R"(}}, "input_id": "chip8.key.)" + "0123456789abcdef"[i % 16] +
            R"(", "payload": {"schema": {"id": "chip8.key_state", "version": {"major": 1, "minor": 0, "patch": 0}},)"
            R"( "value": {"Map": {"pressed": {"Bool": true}}}}})";
  }
  return text + "\n]}";
}

struct Entry {
  std::uint64_t ordinal = 0;
  std::uint64_t frame = 0;
  std::string input_id;
  TypedStructuredValue payload;
};

Result<std::uint64_t> read_frame_coordinate(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"kind"}, {"value"}};
  static constexpr FieldSpec kValue[] = {{"frame"}};
  static constexpr std::string_view kKinds[] = {"frame"};
  std::uint64_t frame = 0;
  auto done = reader.read_object("struct InputCoordinate", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) {
      auto kind = reader.read_enum("variant identifier", kKinds);
      if (!kind) return std::unexpected(kind.error());
      return {};
    }
    return reader.read_object("struct Frame", kValue, [&](std::size_t) { return reader.read_u64_into(frame); });
  });
  if (!done) return std::unexpected(done.error());
  return frame;
}

Result<std::vector<Entry>> read_schedule(JsonReader& reader) {
  static constexpr FieldSpec kFields[] = {{"schema"}, {"entries"}};
  static constexpr FieldSpec kEntry[] = {{"ordinal"}, {"coordinate"}, {"input_id"}, {"payload"}};
  std::vector<Entry> entries;
  SchemaRef schema;
  auto done = reader.read_object("struct InputSchedule", kFields, [&](std::size_t field) -> Result<void> {
    if (field == 0) {
      auto read = read_schema_ref(reader);
      if (!read) return std::unexpected(read.error());
      schema = std::move(*read);
      return {};
    }
    auto count = reader.read_array("a sequence", [&](std::size_t) -> Result<void> {
      Entry& entry = entries.emplace_back();
      return reader.read_object("struct ScheduledInput", kEntry, [&](std::size_t member) -> Result<void> {
        switch (member) {
          case 0: return reader.read_u64_into(entry.ordinal);
          case 1: {
            auto frame = read_frame_coordinate(reader);
            if (!frame) return std::unexpected(frame.error());
            entry.frame = *frame;
            return {};
          }
          case 2: return reader.read_string_into(entry.input_id);
          default: {
            auto payload = read_typed_structured_value(reader);
            if (!payload) return std::unexpected(payload.error());
            entry.payload = std::move(*payload);
            return {};
          }
        }
      });
    });
    if (!count) return std::unexpected(count.error());
    return {};
  });
  if (!done) return std::unexpected(done.error());
  return entries;
}

void BM_ReadScheduleTyped(benchmark::State& state) {
  const std::string text = schedule_text(64);
  for (auto _ : state) {
    auto schedule = read_document<std::vector<Entry>>(text, read_schedule);
    if (!schedule || !*schedule) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(schedule);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadScheduleTyped);

void BM_ReadScheduleTree(benchmark::State& state) {
  const std::string text = schedule_text(64);
  for (auto _ : state) {
    auto tree = parse_json(text);
    if (!tree) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadScheduleTree);

void BM_ReadNull(benchmark::State& state) {
  for (auto _ : state) {
    auto absent = read_document<std::vector<Entry>>("null", read_schedule);
    benchmark::DoNotOptimize(absent);
  }
}
BENCHMARK(BM_ReadNull);

}  // namespace
}  // namespace lumivar
