// The adapter alone and followed by the canonical encoding, for the native
// events a fully traced run produces most: draws, jumps and memory writes
// that carry their bytes.

#include <benchmark/benchmark.h>

#include <string>
#include <utility>

#include "chip8_bundle/normalizer/native_adapter.hpp"
#include "lumivar_core/event/normalized_event_json.hpp"

namespace chip8::bundle {
namespace {

using lumivar::JsonArray;
using lumivar::JsonObject;
using lumivar::JsonValue;

NativeRecord record() {
  return NativeRecord{
      .machine_id = "chip8",
      .machine_version = "chip8-family-semantics.v1",
      .run_id = "bench-run-0001",
      .step = 1234,
      .cycle_or_tick = 1234,
      .frame = 41,
      .pc = lumivar::SpaceAddress{"program", 0x204},
      .instruction = lumivar::EncodedValue{"chip8.instruction.word16", {0xD0, 0x15}, "DRW V0, V1, 5"},
  };
}

NativeEvent native(std::string kind, JsonObject payload) {
  return NativeEvent{lumivar::SchemaRef{"chip8.event", {1, 0, 0}}, std::move(kind), JsonValue(std::move(payload))};
}

NativeEvent draw() {
  return native("draw", {{"collision", JsonValue(false)},
                         {"n", JsonValue(5u)},
                         {"x", JsonValue(10u)},
                         {"y", JsonValue(20u)}});
}

NativeEvent jump() { return native("jump", {{"from", JsonValue(0x206u)}, {"to", JsonValue(0x200u)}}); }

// FX33 writes three bytes.
NativeEvent memory_write() {
  return native("memory_write", {{"addr", JsonValue(0x300u)},
                                 {"after", JsonValue(JsonArray{1u, 2u, 3u})},
                                 {"before", JsonValue(JsonArray{0u, 0u, 0u})},
                                 {"len", JsonValue(3u)}});
}

template <NativeEvent (*Make)()>
void BM_Normalize(benchmark::State& state) {
  const NativeRecord step = record();
  const NativeEvent event = Make();
  for (auto _ : state) {
    auto normalized = normalize_native_event(step, event);
    benchmark::DoNotOptimize(normalized);
  }
  state.SetItemsProcessed(state.iterations());
}

template <NativeEvent (*Make)()>
void BM_NormalizeAndEncode(benchmark::State& state) {
  const NativeRecord step = record();
  const NativeEvent event = Make();
  for (auto _ : state) {
    auto normalized = normalize_native_event(step, event);
    auto json = lumivar::encode_normalized_event(*normalized);
    benchmark::DoNotOptimize(json);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Normalize<draw>);
BENCHMARK(BM_Normalize<jump>);
BENCHMARK(BM_Normalize<memory_write>);
BENCHMARK(BM_NormalizeAndEncode<draw>);
BENCHMARK(BM_NormalizeAndEncode<jump>);
BENCHMARK(BM_NormalizeAndEncode<memory_write>);

}  // namespace
}  // namespace chip8::bundle
