// The per-event path of a fully observed run, past the producer: write the
// event's canonical JSON once, fold it into the event projection around its
// run_id member, measure and admit it in the budgeted sink and forward it to
// a sink that only counts.

#include <benchmark/benchmark.h>

#include <limits>
#include <vector>

#include "lumivar_core/emission/budgeted_sink.hpp"
#include "lumivar_core/replay/event_projection.hpp"

namespace lumivar {
namespace {

class CountingSink : public EmissionSink {
 public:
  Result<void> emit(const OwnedEmission& emission) override {
    ++items;
    bytes += emission.payload_json().size();
    return {};
  }
  void record_capability_outputs(std::span<const CapabilityOutput>) override {}

  std::uint64_t items = 0;
  std::uint64_t bytes = 0;
};

// A step of "LD V3, 0x2A" as an adapter reports it at access detail
// before-and-after: about 660 bytes of canonical JSON.
NormalizedEvent typical_event() {
  NormalizedEvent event;
  event.schema_version = SchemaVersion{1, 0, 0};
  event.arch = "chip8";
  event.machine_version = "chip8-family-semantics.v1";
  event.run_id = "benchmark-run-0001";
  event.step = 123456;
  event.cycle_or_tick = 123456;
  event.frame = 8230;
  event.pc = SpaceAddress{"program", 0x2F4};
  event.instruction = EncodedValue{"chip8.opcode.be16", {0x63, 0x2A}, "LD V3, 0x2A"};
  event.kind = EventKindTag::RegisterWrite;
  event.writes.push_back(
      StateWrite{StateLocation{StateSpaceTag::Register, "v3", std::nullopt, 8}, JsonValue(7), JsonValue(42)});
  event.control_flow =
      ControlFlow{ControlFlowKind::Next, SpaceAddress{"program", 0x2F4}, SpaceAddress{"program", 0x2F6}, false};
  event.extensions.emplace("chip8.step", JsonValue(JsonObject{{"opcode", JsonValue(0x632A)}}));
  return event;
}

ObservationRequest all_events_request() {
  ObservationRequest request;
  request.normalized_events.events = EventSelectionLevel::All;
  request.overflow = OverflowPolicy::AllowIncomplete;
  request.budgets.max_total_logical_bytes = std::numeric_limits<std::uint64_t>::max();
  return request;
}

// Encode + project + budget + forward, starting from an event the producer
// hands over by value.
void BM_EventThroughBudgetedSink(benchmark::State& state) {
  const NormalizedEvent prototype = typical_event();
  CountingSink python;
  BudgetedSink sink = BudgetedSink::create(all_events_request(), "benchmark-run-0001", "chip8",
                                           "chip8-family-semantics.v1", {nullptr, &python})
                          .value();
  EventProjection projection;
  std::uint64_t sequence = 0;
  // Copies made ahead in batches, so that pausing the clock (which costs more
  // than the work measured) happens once per batch, not per event.
  constexpr std::size_t kBatch = 4096;
  std::vector<NormalizedEvent> events;
  std::size_t next = kBatch;
  for (auto _ : state) {
    if (next == kBatch) {
      state.PauseTiming();
      events.assign(kBatch, prototype);
      for (NormalizedEvent& event : events) event.sequence = sequence++;
      next = 0;
      state.ResumeTiming();
    }
    Result<OwnedEmission> emission = OwnedEmission::event(std::move(events[next++]));
    if (!emission) state.SkipWithError("encode failed");
    if (!projection.absorb(emission->get<NormalizedEvent>(), emission->payload_json(), emission->run_id_member())) {
      state.SkipWithError("absorb failed");
    }
    if (!sink.emit(*emission)) state.SkipWithError("emit failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(python.bytes));
  state.counters["event_bytes"] = static_cast<double>(python.bytes) / static_cast<double>(python.items);
}
BENCHMARK(BM_EventThroughBudgetedSink);

// The same with the producer's copy of the event included: the whole per-event
// cost a fully observed run pays past the adapter.
void BM_EventThroughBudgetedSinkWithCopy(benchmark::State& state) {
  const NormalizedEvent prototype = typical_event();
  CountingSink python;
  BudgetedSink sink = BudgetedSink::create(all_events_request(), "benchmark-run-0001", "chip8",
                                           "chip8-family-semantics.v1", {nullptr, &python})
                          .value();
  EventProjection projection;
  std::uint64_t sequence = 0;
  for (auto _ : state) {
    NormalizedEvent event = prototype;
    event.sequence = sequence++;
    Result<OwnedEmission> emission = OwnedEmission::event(std::move(event));
    if (!emission) state.SkipWithError("encode failed");
    if (!projection.absorb(emission->get<NormalizedEvent>(), emission->payload_json(), emission->run_id_member())) {
      state.SkipWithError("absorb failed");
    }
    if (!sink.emit(*emission)) state.SkipWithError("emit failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_EventThroughBudgetedSinkWithCopy);

// Making the emission alone (encoding included) and dropping it: the share
// of the path that is allocation and release of the event's members.
void BM_MakeEventEmission(benchmark::State& state) {
  const NormalizedEvent prototype = typical_event();
  constexpr std::size_t kBatch = 4096;
  std::vector<NormalizedEvent> events;
  std::size_t next = kBatch;
  for (auto _ : state) {
    if (next == kBatch) {
      state.PauseTiming();
      events.assign(kBatch, prototype);
      next = 0;
      state.ResumeTiming();
    }
    Result<OwnedEmission> emission = OwnedEmission::event(std::move(events[next++]));
    benchmark::DoNotOptimize(emission);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_MakeEventEmission);

void BM_EncodeEvent(benchmark::State& state) {
  const NormalizedEvent event = typical_event();
  for (auto _ : state) {
    Result<CanonicalEventJson> encoded = encode_normalized_event(event);
    benchmark::DoNotOptimize(encoded);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_EncodeEvent);

void BM_ProjectEncodedEvent(benchmark::State& state) {
  const NormalizedEvent event = typical_event();
  const CanonicalEventJson encoded = encode_normalized_event(event).value();
  EventProjection projection;
  for (auto _ : state) {
    if (!projection.absorb(event, encoded.json, encoded.run_id_member)) state.SkipWithError("absorb failed");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ProjectEncodedEvent);

}  // namespace
}  // namespace lumivar
