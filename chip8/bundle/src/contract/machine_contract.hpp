#pragma once
// The CHIP-8 machine contract: how the CHIP-8 bundle describes itself to the
// product-neutral run contract. It names the machine and its versions, states
// its semantics in fixed texts, constrains the ROM, declares the sixteen keypad
// inputs, the configuration schema, the (empty) execution-limit catalog and the
// capability catalog, and owns the registry of live keypad states. Built afresh
// by every preparation and execution; only the registry is mutable.

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "chip8_bundle/contract/live_input_registry.hpp"
#include "lumivar_core/configuration/configuration_schema.hpp"
#include "lumivar_core/observation/normalizer_catalog.hpp"
#include "lumivar_core/run_identity/prepared_run.hpp"
#include "lumivar_core/schedule/input_catalog.hpp"
#include "lumivar_core/value/schema.hpp"

namespace chip8::bundle {

inline constexpr std::string_view kMachineId = "chip8";
inline constexpr std::string_view kDisplayName = "CHIP-8 / SCHIP / XO-CHIP";
inline constexpr std::string_view kBundleVersion = "0.1.0";
inline constexpr std::string_view kMachineVersion = "chip8-family-semantics.v1";
inline constexpr std::string_view kEmulatorVersion = "chip8_core/0.1.0+lumivar-scheduled-input.v2.visual-ecology.v4";
inline constexpr std::string_view kContractSchemaId = "lumivar.machine_contract";

inline constexpr std::array<std::string_view, 5> kVariants = {"chip8", "chip48", "vip", "schip", "xochip"};

inline constexpr std::string_view kResetSemantics = "restore the post-ROM-load CPU snapshot and clear session counters";
inline constexpr std::string_view kLoadSemantics = "load raw bytes at address 0x200 with the selected quirk profile";
inline constexpr std::string_view kTimingSemantics = "configurable instructions per 60 Hz timer/frame tick";
inline constexpr std::string_view kMemorySemantics = "64 KiB byte-addressed memory; program start 0x200";

inline constexpr std::string_view kInstructionSchema = "chip8.instruction.word16";
inline constexpr std::string_view kSnapshotSchema = "chip8.session.snapshot";
inline constexpr std::string_view kNativeEventNamespace = "chip8.event";

inline constexpr std::string_view kArtifactSchemaId = "chip8.genome.raw-bytes";
inline constexpr std::uint64_t kArtifactMinLength = 1;
inline constexpr std::uint64_t kArtifactMaxLength = 0xFE00;  // from the load address 0x200 to the end of 64 KiB

inline constexpr std::string_view kKeyPayloadSchemaId = "chip8.input.key";
inline constexpr std::string_view kKeyApplicationSchemaId = "chip8.input.key.application";
inline constexpr std::string_view kKeySchemaFamily = "lumivar.input.digital-key";

inline constexpr std::string_view kConfigurationSchemaId = "chip8.machine_configuration";
inline constexpr lumivar::SchemaVersion kConfigurationSchemaVersion{2, 0, 0};

// The payload schema of every key input: a boolean, true = pressed.
[[nodiscard]] lumivar::SchemaRef key_payload_schema();

struct Chip8MachineContract {
  // The parts run preparation uses: artifact contract, machine identity,
  // configuration schema, input catalog and execution-limit catalog.
  lumivar::RunContract run;
  lumivar::NormalizerCatalog normalizer_catalog;
  std::vector<lumivar::SchemaRef> coordinate_schemas;  // frame and step, 1.0.0 each
  // Shared with the live-input handles of the runs it prepared.
  std::unique_ptr<LiveInputRegistry> live_inputs = std::make_unique<LiveInputRegistry>();

  [[nodiscard]] std::string_view machine_id() const { return run.machine.machine_id; }
};

// The contract. Its fixed identifiers are validated as it is built; an invalid
// one is a broken invariant (fatal error).
[[nodiscard]] Chip8MachineContract build_machine_contract();

// The configuration schema "chip8.machine_configuration" 2.0.0: quirks,
// cycles_per_frame and machine_seed with their defaults.
[[nodiscard]] lumivar::ConfigurationSchema build_configuration_schema();

// The sixteen key inputs chip8.key.0 .. chip8.key.f under "lumivar.input_catalog".
[[nodiscard]] lumivar::InputCatalog build_input_catalog();

}  // namespace chip8::bundle
