// Writing one event-shaped record with the low-level JSON writer, with and
// without hashing it into a running domain-separated hash, against the
// generic-tree path. Reports events/s (items) and MB/s (bytes).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "lumivar_core/digest/domain_hasher.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/encoding/json_writer.hpp"

namespace lumivar {
namespace {

void write_address(JsonWriter& w, std::string_view space, std::uint64_t value) {
  w.begin_object();
  w.key("space");
  w.write_string(space);
  w.key("value");
  w.write_u64(value);
  w.end_object();
}

void write_location(JsonWriter& w, std::string_view name, std::uint16_t width) {
  w.begin_object();
  w.key("address");
  w.write_null();
  w.key("name");
  w.write_string(name);
  w.key("space");
  w.write_string("register");
  w.key("width_bits");
  w.write_u64(width);
  w.end_object();
}

// A register-write event with one read, one write and a cause: about 650
// bytes of canonical JSON, members in byte order of keys.
void write_event(JsonWriter& w, std::uint64_t sequence) {
  w.begin_object();
  w.key("arch");
  w.write_string("chip8");
  w.key("causes");
  w.begin_array();
  w.begin_object();
  w.key("evidence");
  w.write_string("operand register");
  w.key("relation");
  w.write_string("data");
  w.key("source_sequence");
  w.write_u64(sequence - 1);
  w.end_object();
  w.end_array();
  w.key("control_flow");
  w.write_null();
  w.key("cycle_or_tick");
  w.write_u64(sequence * 3);
  w.key("extensions");
  w.begin_object();
  w.end_object();
  w.key("frame");
  w.write_u64(sequence / 12);
  w.key("instruction");
  w.begin_object();
  w.key("bytes");
  const std::uint8_t opcode[] = {0x8A, 0xB4};
  w.write_bytes(opcode);
  w.key("decoded");
  w.write_string("ADD VA, VB");
  w.key("encoding");
  w.write_string("chip8.opcode");
  w.end_object();
  w.key("io");
  w.begin_array();
  w.end_array();
  w.key("kind");
  w.write_string("register_write");
  w.key("machine_version");
  w.write_string("0.3.0");
  w.key("pc");
  write_address(w, "memory", 0x2F0);
  w.key("reads");
  w.begin_array();
  w.begin_object();
  w.key("location");
  write_location(w, "VB", 8);
  w.key("value");
  w.write_u64(17);
  w.end_object();
  w.end_array();
  w.key("run_id");
  w.write_string("run-2026-12-11-000001");
  w.key("schema_version");
  w.begin_object();
  w.key("major");
  w.write_u64(1);
  w.key("minor");
  w.write_u64(0);
  w.key("patch");
  w.write_u64(0);
  w.end_object();
  w.key("sequence");
  w.write_u64(sequence);
  w.key("step");
  w.write_u64(sequence / 4);
  w.key("trap");
  w.write_null();
  w.key("writes");
  w.begin_array();
  w.begin_object();
  w.key("after");
  w.write_u64(0x31);
  w.key("before");
  w.write_u64(0x20);
  w.key("location");
  write_location(w, "VA", 8);
  w.end_object();
  w.end_array();
  w.end_object();
}

void BM_WriteEvent(benchmark::State& state) {
  JsonWriter writer;
  std::uint64_t sequence = 1000;
  std::size_t bytes = 0;
  for (auto _ : state) {
    writer.clear();
    write_event(writer, ++sequence);
    bytes += writer.size();
    benchmark::DoNotOptimize(writer.view().data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["event_bytes"] = static_cast<double>(writer.size());
}
BENCHMARK(BM_WriteEvent);

void BM_WriteAndHashEvent(benchmark::State& state) {
  JsonWriter writer;
  DomainHasher hasher("lumivar.event_projection.v1");
  std::uint64_t sequence = 1000;
  std::size_t bytes = 0;
  for (auto _ : state) {
    writer.clear();
    write_event(writer, ++sequence);
    hasher.add(writer.view());
    bytes += writer.size();
  }
  benchmark::DoNotOptimize(hasher.finish());
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_WriteAndHashEvent);

// The same record as a generic tree (built once, not timed), written per
// iteration: the cost of going through JsonValue instead of the struct.
void BM_WriteEventTree(benchmark::State& state) {
  JsonWriter writer;
  write_event(writer, 1001);
  const std::string expected(writer.view());
  auto location = [](const char* name) {
    return JsonObject{{"address", nullptr}, {"name", name}, {"space", "register"}, {"width_bits", 8}};
  };
  JsonObject write_a{{"after", 0x31}, {"before", 0x20}, {"location", location("VA")}};
  JsonObject address{{"space", "memory"}, {"value", 0x2F0}};
  JsonObject event{{"arch", "chip8"},
                   {"causes", JsonArray{JsonObject{{"evidence", "operand register"}, {"relation", "data"},
                                                   {"source_sequence", 1000}}}},
                   {"control_flow", nullptr},
                   {"cycle_or_tick", 3003},
                   {"extensions", JsonObject{}},
                   {"frame", 83},
                   {"instruction", JsonObject{{"bytes", JsonArray{0x8A, 0xB4}}, {"decoded", "ADD VA, VB"},
                                              {"encoding", "chip8.opcode"}}},
                   {"io", JsonArray{}},
                   {"kind", "register_write"},
                   {"machine_version", "0.3.0"},
                   {"pc", address},
                   {"reads", JsonArray{JsonObject{{"location", location("VB")}, {"value", 17}}}},
                   {"run_id", "run-2026-12-11-000001"},
                   {"schema_version", JsonObject{{"major", 1}, {"minor", 0}, {"patch", 0}}},
                   {"sequence", 1001},
                   {"step", 250},
                   {"trap", nullptr},
                   {"writes", JsonArray{write_a}}};
  JsonValue tree(std::move(event));
  writer.clear();
  if (!writer.write_value(tree) || writer.view() != expected) {
    state.SkipWithError("tree and struct writers disagree");
    return;
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    writer.clear();
    benchmark::DoNotOptimize(writer.write_value(tree));
    bytes += writer.size();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_WriteEventTree);

void BM_Sha256(benchmark::State& state) {
  std::string data(static_cast<std::size_t>(state.range(0)), 'x');
  for (auto _ : state) benchmark::DoNotOptimize(sha256(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Sha256)->Arg(64)->Arg(650)->Arg(4096);

}  // namespace
}  // namespace lumivar
