#include "chip8_bundle/contract/key_schedule.hpp"

#include <string>

#include "chip8_bundle/contract/key_input_id.hpp"

namespace chip8::bundle {

lumivar::JsonValue to_json(const ScheduledKeyInput& input) {
  lumivar::JsonObject object;
  object.emplace("ordinal", input.ordinal);
  object.emplace("frame", input.frame);
  object.emplace("key", static_cast<std::uint64_t>(input.key));
  object.emplace("active", input.active);
  return lumivar::JsonValue(std::move(object));
}

lumivar::Result<ScheduledKeyInput> read_scheduled_key_input(lumivar::JsonReader& reader) {
  static constexpr lumivar::FieldSpec kFields[] = {{"ordinal"}, {"frame"}, {"key"}, {"active"}};
  ScheduledKeyInput input;
  auto read = reader.read_object("struct ScheduledKeyInput", kFields, [&](std::size_t field) -> lumivar::Result<void> {
    switch (field) {
      case 0: return reader.read_u64_into(input.ordinal);
      case 1: return reader.read_u64_into(input.frame);
      case 2: {
        if (auto key = reader.read_u8_into(input.key); !key) return key;
        if (input.key >= kKeyInputCount) return reader.fail("CHIP-8 key must be between 0 and 15");
        return {};
      }
      default: return reader.read_bool_into(input.active);
    }
  });
  if (!read) return std::unexpected(std::move(read.error()));
  return input;
}

lumivar::Result<std::vector<ScheduledKeyInput>> resolve_key_schedule(std::span<const lumivar::ScheduledInput> entries,
                                                                      std::uint64_t frame_limit) {
  std::vector<ScheduledKeyInput> schedule;
  schedule.reserve(entries.size());
  for (const lumivar::ScheduledInput& entry : entries) {
    const auto* frame = entry.coordinate.get_if<lumivar::FrameCoordinate>();
    if (frame == nullptr) return lumivar::fail("CHIP-8 input " + entry.input_id + " must use a frame coordinate");
    if (frame->frame >= frame_limit) {
      return lumivar::fail("CHIP-8 input " + entry.input_id + " targets frame " + std::to_string(frame->frame) +
                           ", outside frame limit " + std::to_string(frame_limit));
    }
    const std::optional<std::uint8_t> key = parse_key_input_id(entry.input_id);
    if (!key) return lumivar::fail("unsupported CHIP-8 input ID " + entry.input_id);
    const auto* active = entry.payload.value.get_if<bool>();
    if (active == nullptr) return lumivar::fail("CHIP-8 input " + entry.input_id + " payload must be boolean");
    schedule.push_back(ScheduledKeyInput{entry.ordinal, frame->frame, *key, *active});
  }
  return schedule;
}

}  // namespace chip8::bundle
