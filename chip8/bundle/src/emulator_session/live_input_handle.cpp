#include "chip8_bundle/emulator_session/live_input_handle.hpp"

#include <string>
#include <type_traits>
#include <variant>

#include "chip8_bundle/contract/key_input_id.hpp"
#include "lumivar_core/error/message.hpp"

namespace chip8::bundle {

namespace {

std::string schema_text(const lumivar::SchemaRef& schema) {
  return lumivar::quoted(schema.id) + " " + lumivar::to_string(schema.version);
}

}  // namespace

std::string live_input_refusal_message(const lumivar::LiveInputRefusal& refusal) {
  return std::visit(
      [](const auto& r) -> std::string {
        using R = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<R, lumivar::UndeclaredLiveInput>) {
          return "CHIP-8 live input " + lumivar::quoted(r.input_id) + " is not declared";
        } else if constexpr (std::is_same_v<R, lumivar::LivePayloadSchemaMismatch>) {
          return "CHIP-8 live input " + lumivar::quoted(r.input_id) + " expects payload schema " +
                 schema_text(r.declared) + ", got " + schema_text(r.given);
        } else if constexpr (std::is_same_v<R, lumivar::InvalidLivePayload>) {
          return r.message;
        } else if constexpr (std::is_same_v<R, lumivar::LiveInstanceIdsExhausted>) {
          return "CHIP-8 live input instance IDs are exhausted";
        } else {
          return "CHIP-8 live input " + lumivar::quoted(r.input_id) + " has an unsupported coordinate: " + r.message;
        }
      },
      refusal);
}

lumivar::Result<lumivar::AcceptedLiveInput> LiveInputHandle::apply(std::string_view input_id,
                                                                   lumivar::TypedInputPayload payload) {
  std::lock_guard lock(mutex_);
  // The coordinate is replaced below by the frame the session last started.
  auto accepted = gate_.submit(input_id, std::move(payload), lumivar::InputCoordinate::frame(0));
  if (!accepted) return lumivar::fail(live_input_refusal_message(accepted.error()));
  const std::optional<std::uint8_t> key = parse_key_input_id(input_id);
  if (!key) return lumivar::fail("unsupported CHIP-8 key input");
  return keypad_->with_lock([&](LiveKeypad& keypad) -> lumivar::Result<lumivar::AcceptedLiveInput> {
                   const bool* pressed = accepted->payload.value.get_if<bool>();
                   if (pressed == nullptr) return lumivar::fail("CHIP-8 key payload must be boolean");
                   const auto bit = static_cast<std::uint16_t>(1u << *key);
                   keypad.mask = static_cast<std::uint16_t>(*pressed ? keypad.mask | bit : keypad.mask & ~bit);
                   accepted->coordinate = lumivar::InputCoordinate::frame(keypad.frame);
                   return std::move(*accepted);
                 })
      .and_then([](lumivar::Result<lumivar::AcceptedLiveInput> applied) { return applied; });
}

}  // namespace chip8::bundle
