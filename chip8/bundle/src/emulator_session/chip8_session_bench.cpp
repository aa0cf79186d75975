// Whole executes of a session in plain frame mode (nothing observed) and with
// lifecycle events and frame hashes, into a sink that drops everything.

#include <benchmark/benchmark.h>

#include <vector>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/contract/prepare_bundle_run.hpp"
#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "lumivar_core/configuration/execution_controls.hpp"
#include "lumivar_core/emission/emission_sink.hpp"
#include "lumivar_core/encoding/canonical_json.hpp"

namespace chip8::bundle {
namespace {

class DroppingSink final : public lumivar::EmissionSink {
 public:
  lumivar::Result<void> emit(const lumivar::OwnedEmission&) override { return {}; }
  void record_capability_outputs(std::span<const lumivar::CapabilityOutput>) override {}
};

// ADD V0, 1; LD I, 0x050; DRW V0, V1, 5; JP 0x200: draws every fourth cycle.
const std::vector<std::uint8_t> kRom = {0x70, 0x01, 0xA0, 0x50, 0xD0, 0x15, 0x12, 0x00};

Chip8Session make(const lumivar::ObservationRequest& observation) {
  lumivar::ExecutionControls controls;
  controls.frame_limit = 600;
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

}  // namespace
}  // namespace chip8::bundle
