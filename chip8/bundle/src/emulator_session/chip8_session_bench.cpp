// Whole executes of a session in plain frame mode (nothing observed), with
// lifecycle events and frame hashes, and fully traced, into a sink that drops
// everything; the traced run goes through the budgeted sink, as real runs do.

#include <benchmark/benchmark.h>

#include <vector>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/emission/budgeted_sink.hpp"
#include "lumivar_core/emission/emission_sink.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"

namespace chip8::bundle {
namespace {

class DroppingSink final : public lumivar::EmissionSink {
 public:
  lumivar::Result<void> emit(const lumivar::OwnedEmission& emission) override {
    if (emission.kind() == lumivar::EmissionKind::Event) ++events;
    return {};
  }
  void record_capability_outputs(std::span<const lumivar::CapabilityOutput>) override {}

  std::uint64_t events = 0;
};

// ADD V0, 1; LD I, 0x050; DRW V0, V1, 5; JP 0x200: draws every fourth cycle.
const std::vector<std::uint8_t> kRom = {0x70, 0x01, 0xA0, 0x50, 0xD0, 0x15, 0x12, 0x00};

Chip8Session make(const lumivar::ObservationRequest& observation, std::uint64_t frame_limit = 600) {
  lumivar::ExecutionControls controls;
  controls.frame_limit = frame_limit;
  const std::string controls_json = *lumivar::canonical_json_bytes(lumivar::to_json(controls));
  const std::string configuration =
      R"({"schema": {"id": "chip8.machine_configuration", "version": {"major": 2, "minor": 0, "patch": 0}},)"
      R"( "value": {"Map": {"quirks": {"Text": "chip8"}, "cycles_per_frame": {"Unsigned": 1000}}}})";
  const std::string observation_json = *lumivar::canonical_json_bytes(lumivar::to_json(observation));
  auto record = prepare_bundle_run(kRom, "bench", {configuration, "null", controls_json, observation_json});
  const Chip8MachineContract contract = build_machine_contract();
  return std::move(*create_session(*record, *contract.live_inputs));
}

void run(benchmark::State& state, const lumivar::ObservationRequest& observation) {
  Chip8Session session = make(observation);
  DroppingSink sink;
  for (auto _ : state) {
    (void)session.reset();
    auto summary = session.execute(sink);
    benchmark::DoNotOptimize(summary);
  }
  state.SetItemsProcessed(state.iterations() * 600'000);
}

void BM_ExecutePlainFrames(benchmark::State& state) { run(state, lumivar::ObservationRequest{}); }
BENCHMARK(BM_ExecutePlainFrames)->Unit(benchmark::kMillisecond);

void BM_ExecuteLifecycleAndFrameHashes(benchmark::State& state) {
  lumivar::ObservationRequest observation;
  observation.normalized_events.events = lumivar::EventSelectionLevel::Lifecycle;
  observation.frames.capture = lumivar::FrameCapture::Hashes;
  run(state, observation);
}
BENCHMARK(BM_ExecuteLifecycleAndFrameHashes)->Unit(benchmark::kMillisecond);

// Every normalized kind with before and after values, state diffs and the
// native payloads: the most a run can be asked to say about each step.
void BM_ExecuteFullyTraced(benchmark::State& state) {
  lumivar::ObservationRequest observation;
  observation.normalized_events.events = lumivar::EventSelectionLevel::All;
  observation.normalized_events.access_detail = lumivar::AccessDetail::BeforeAndAfter;
  observation.normalized_events.state_diffs = true;
  observation.native_evidence.enabled = true;
  observation.native_evidence.all = true;
  constexpr std::uint64_t kFrames = 20;
  Chip8Session session = make(observation, kFrames);
  DroppingSink downstream;
  for (auto _ : state) {
    (void)session.reset();
    auto sink = lumivar::BudgetedSink::create(observation, "bench", "chip8", "chip8-family-semantics.v1",
                                              lumivar::DownstreamSinks{nullptr, &downstream});
    auto summary = session.execute(*sink);
    benchmark::DoNotOptimize(summary);
  }
  state.counters["events"] = benchmark::Counter(static_cast<double>(downstream.events), benchmark::Counter::kIsRate);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFrames * 1000));
}
BENCHMARK(BM_ExecuteFullyTraced)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace chip8::bundle
