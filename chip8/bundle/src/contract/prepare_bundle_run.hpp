#pragma once
// Preparation of a CHIP-8 run from a ROM and the four JSON documents of the
// caller: read the documents (null selects each default), assemble and check
// the execution request, prepare the observation against the capability
// catalog and prepare the run with its identity. The result holds everything
// an execution needs and is never changed afterwards.

#include <memory>
#include <string_view>

#include "chip8_bundle/contract/live_input_registry.hpp"
#include "chip8_bundle/contract/machine_contract.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/observation/prepared_observation.hpp"
#include "lumivar_core/run_identity/prepared_run.hpp"
#include "lumivar_core/schedule/execution_request.hpp"
#include "lumivar_core/value/byte_string.hpp"

namespace chip8::bundle {

// The four documents as JSON texts, each one value or `null`.
struct RunDocumentTexts {
  std::string_view configuration;
  std::string_view input_schedule;
  std::string_view execution_controls;
  std::string_view observation;
};

struct PreparedRunRecord {
  // As validated, with the prepared observation ID and the prepared run
  // identity filled in once they are known.
  lumivar::ExecutionRequest request;
  lumivar::PreparedRun prepared_run;
  lumivar::PreparedObservation prepared_observation;
  lumivar::ByteString artifact;  // the ROM, copied in the order given
  // The live keypad registered for the run in the preparing contract's
  // registry, for the run's live-input handle.
  std::shared_ptr<LiveKeypadState> live_keypad;
};

// Runs the preparation against a contract the caller built; the live keypad
// state is registered in that contract's registry.
[[nodiscard]] lumivar::Result<PreparedRunRecord> prepare_bundle_run(const Chip8MachineContract& contract,
                                                                    lumivar::ByteView artifact,
                                                                    std::string_view run_id,
                                                                    const RunDocumentTexts& documents);

// The same with a contract built for this call alone.
[[nodiscard]] lumivar::Result<PreparedRunRecord> prepare_bundle_run(lumivar::ByteView artifact, std::string_view run_id,
                                                                    const RunDocumentTexts& documents);

}  // namespace chip8::bundle
