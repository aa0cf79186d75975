#include "chip8_bundle/contract/chip8_configuration.hpp"

#include <limits>

namespace chip8::bundle {
namespace {

using lumivar::fail;
using lumivar::StructuredMap;
using lumivar::StructuredValue;

const StructuredValue* member(const StructuredMap& map, std::string_view key) {
  const auto found = map.find(key);
  return found == map.end() ? nullptr : &found->second;
}

}  // namespace

std::string escaped_name(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\0': out += "\\0"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\u{";
          if (byte >= 0x10) out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0xF]);
          out.push_back('}');
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

lumivar::Result<QuirkPreset> parse_quirks_preset(const StructuredMap& parameters) {
  for (const auto& [key, value] : parameters) {
    if (key != "quirks") return fail("unknown CHIP-8 machine parameter " + escaped_name(key));
  }
  const StructuredValue* quirks = member(parameters, "quirks");
  if (quirks == nullptr) {
    return QuirkPreset{kDefaultQuirkPreset, *find_quirk_preset(kDefaultQuirkPreset)};
  }
  const auto* name = quirks->get_if<std::string>();
  if (name == nullptr) return fail("CHIP-8 machine parameter \"quirks\" must be a string");
  for (const QuirkPreset& preset : kQuirkPresets) {
    if (preset.name == *name) return preset;
  }
  return fail("unknown CHIP-8 quirks preset " + escaped_name(*name) +
              "; expected chip8, chip48, vip, schip, or xochip");
}

lumivar::Result<Chip8MachineConfiguration> parse_chip8_configuration(const StructuredValue& value) {
  const auto* map = value.get_if<StructuredMap>();
  if (map == nullptr) return fail("CHIP-8 machine configuration must be a map");

  const StructuredValue* quirks = member(*map, "quirks");
  if (quirks == nullptr || !quirks->is<std::string>()) {
    return fail("CHIP-8 configuration field \"quirks\" must be text");
  }

  // Zero passes here; the configuration schema's range refuses it earlier.
  const StructuredValue* cycles = member(*map, "cycles_per_frame");
  std::uint32_t cycles_per_frame = 0;
  bool cycles_ok = false;
  if (cycles != nullptr) {
    if (const auto* u = cycles->get_if<std::uint64_t>(); u != nullptr && *u <= 0xFFFFFFFFu) {
      cycles_per_frame = static_cast<std::uint32_t>(*u);
      cycles_ok = true;
    } else if (const auto* s = cycles->get_if<std::int64_t>(); s != nullptr && *s >= 0 && *s <= 0xFFFFFFFF) {
      cycles_per_frame = static_cast<std::uint32_t>(*s);
      cycles_ok = true;
    }
  }
  if (!cycles_ok) return fail("CHIP-8 configuration field \"cycles_per_frame\" must be a positive u32");

  const StructuredValue* seed = member(*map, "machine_seed");
  std::uint64_t machine_seed = 0;
  if (seed != nullptr && seed->is<std::uint64_t>()) {
    machine_seed = seed->as<std::uint64_t>();
  } else if (seed != nullptr && seed->is<std::int64_t>()) {
    if (seed->as<std::int64_t>() < 0) return fail("CHIP-8 machine_seed must be non-negative");
    machine_seed = static_cast<std::uint64_t>(seed->as<std::int64_t>());
  } else {
    return fail("CHIP-8 configuration field \"machine_seed\" must be an integer");
  }

  StructuredMap parameters;
  parameters.emplace("quirks", *quirks);
  auto preset = parse_quirks_preset(parameters);
  if (!preset) return std::unexpected(preset.error());
  return Chip8MachineConfiguration{std::string(preset->name), preset->flags, cycles_per_frame, machine_seed};
}

}  // namespace chip8::bundle
