#include "chip8_bundle/emulator_session/session_events.hpp"

#include <utility>

#include "chip8_bundle/contract/machine_contract.hpp"
#include "chip8_bundle/trace/state_locations.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/replay/event_projection.hpp"

namespace chip8::bundle {

using lumivar::JsonObject;
using lumivar::JsonValue;

lumivar::InputApplication key_input_application(const ScheduledKeyInput& entry, std::string input_id,
                                                std::uint64_t frame) {
  return lumivar::InputApplication{
      .input_id = std::move(input_id),
      .input_schema = key_payload_schema(),
      .source = lumivar::InputSource::scheduled(entry.ordinal),
      .application_coordinate = lumivar::InputCoordinate::frame(frame),
      .payload = lumivar::TypedInputPayload{key_payload_schema(), lumivar::StructuredValue::boolean(entry.active)},
  };
}

void add_input_applied_content(lumivar::NormalizedEvent& event, lumivar::AccessDetail detail,
                               const lumivar::InputApplication& application, std::uint64_t ordinal,
                               std::uint16_t mask_before, std::uint16_t mask_after) {
  event.reads.push_back(read_of(keypad_location(), detail, JsonValue(unsigned{mask_before})));
  event.writes.push_back(
      write_of(keypad_location(), detail, JsonValue(unsigned{mask_before}), JsonValue(unsigned{mask_after})));
  event.io.push_back(lumivar::IoEvent{
      .port = "keypad_in",
      .direction = lumivar::IoDirection::Input,
      .channel = lumivar::IoChannelTag::Keypad,
      .value = JsonValue(JsonObject{{"input_id", JsonValue(application.input_id)}, {"ordinal", JsonValue(ordinal)}}),
  });
  event.extensions.insert_or_assign(std::string(kInputAppliedExtension), lumivar::to_json(application));
}

void add_sound_emitted_content(lumivar::NormalizedEvent& event, lumivar::AccessDetail detail, const TimerTick& tick,
                               const Chip8Machine& machine) {
  event.reads.push_back(read_of(sound_location(), detail, JsonValue(unsigned{tick.sound_before})));
  event.reads.push_back(read_of(pattern_location(), detail, lumivar::bytes_to_json(machine.pattern)));
  event.reads.push_back(read_of(audio_pitch_location(), detail, JsonValue(unsigned{machine.audio_pitch})));
  event.io.push_back(lumivar::IoEvent{
      .port = "sound_out",
      .direction = lumivar::IoDirection::Output,
      .channel = lumivar::IoChannelTag::Sound,
      .value = JsonValue(JsonObject{{"active", JsonValue(true)},
                                    {"timer_before", JsonValue(unsigned{tick.sound_before})},
                                    {"timer_after", JsonValue(unsigned{tick.sound_after})}}),
  });
}

void add_timer_changed_content(lumivar::NormalizedEvent& event, lumivar::AccessDetail detail, const TimerTick& tick) {
  if (tick.delay_before != tick.delay_after) {
    event.writes.push_back(write_of(delay_location(), detail, JsonValue(unsigned{tick.delay_before}),
                                    JsonValue(unsigned{tick.delay_after})));
  }
  if (tick.sound_before != tick.sound_after) {
    event.writes.push_back(write_of(sound_location(), detail, JsonValue(unsigned{tick.sound_before}),
                                    JsonValue(unsigned{tick.sound_after})));
  }
  event.io.push_back(lumivar::IoEvent{
      .port = "timer_out",
      .direction = lumivar::IoDirection::Output,
      .channel = lumivar::IoChannelTag::Timer,
      .value = JsonValue(JsonObject{{"delay_before", JsonValue(unsigned{tick.delay_before})},
                                    {"delay_after", JsonValue(unsigned{tick.delay_after})},
                                    {"sound_before", JsonValue(unsigned{tick.sound_before})},
                                    {"sound_after", JsonValue(unsigned{tick.sound_after})},
                                    {"source", JsonValue("frame_tick")}}),
  });
}

void add_snapshot_content(lumivar::NormalizedEvent& event, const lumivar::SchemaRef& state_schema,
                          lumivar::ByteView bytes) {
  event.extensions.insert_or_assign(
      std::string(lumivar::kSnapshotExtensionKey),
      JsonValue(JsonObject{
          {"state_schema", lumivar::to_json(state_schema)},
          {"byte_len", JsonValue(static_cast<std::uint64_t>(bytes.size()))},
          {"digest", lumivar::to_json(lumivar::ContentDigest::sha256(lumivar::sha256(bytes)))},
      }));
}

}  // namespace chip8::bundle
