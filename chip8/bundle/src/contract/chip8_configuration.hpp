#pragma once
// The CHIP-8 reading of a prepared machine configuration: the quirk preset,
// cycles per frame and machine seed a session is built from.

#include <cstdint>
#include <string>
#include <string_view>

#include "chip8_core/machine/cpu.hpp"
#include "lumivar_core/error/error.hpp"
#include "lumivar_core/value/structured_value.hpp"

namespace chip8::bundle {

struct Chip8MachineConfiguration {
  std::string preset_name;  // one of the five variant names, as given
  QuirkFlags quirks;        // the flags of that preset
  std::uint32_t cycles_per_frame = 0;
  std::uint64_t machine_seed = 0;  // before mixing with the ROM

  friend bool operator==(const Chip8MachineConfiguration&, const Chip8MachineConfiguration&) = default;
};

// The preset chosen by a parameter map: only `quirks` may appear, as a string
// naming one of the five presets exactly; no entry selects "chip8".
[[nodiscard]] lumivar::Result<QuirkPreset> parse_quirks_preset(const lumivar::StructuredMap& parameters);

// Reads quirks, cycles_per_frame and machine_seed from the prepared
// configuration value (a Map). Other members are ignored: the configuration
// schema has refused undeclared ones already.
[[nodiscard]] lumivar::Result<Chip8MachineConfiguration> parse_chip8_configuration(
    const lumivar::StructuredValue& value);

// The text between double quotes with quotes, backslashes and control
// characters escaped, as CHIP-8 messages show a name.
[[nodiscard]] std::string escaped_name(std::string_view text);

}  // namespace chip8::bundle
