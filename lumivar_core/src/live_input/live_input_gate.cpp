#include "lumivar_core/live_input/live_input_gate.hpp"

#include <limits>
#include <utility>

namespace lumivar {

std::expected<AcceptedLiveInput, LiveInputRefusal> LiveInputGate::submit(std::string_view input_id,
                                                                         TypedInputPayload payload,
                                                                         InputCoordinate coordinate) {
  const auto found = interface_.live_inputs.find(input_id);
  if (found == interface_.live_inputs.end()) {
    return std::unexpected(UndeclaredLiveInput{std::string(input_id)});
  }
  const PreparedLiveInput& declared = found->second;
  if (payload.schema != declared.payload_schema) {
    return std::unexpected(LivePayloadSchemaMismatch{std::string(input_id), declared.payload_schema, payload.schema});
  }
  if (auto checked = check_input_payload(payload); !checked) {
    return std::unexpected(InvalidLivePayload{checked.error().message});
  }
  if (next_instance_id_ == std::numeric_limits<std::uint64_t>::max()) {
    return std::unexpected(LiveInstanceIdsExhausted{});
  }
  if (auto matched = match_coordinate(coordinate, declared.coordinate_policy); !matched) {
    return std::unexpected(LiveCoordinateMismatch{std::string(input_id), matched.error().message});
  }
  AcceptedLiveInput accepted{next_instance_id_, std::string(input_id), std::move(payload), std::move(coordinate)};
  ++next_instance_id_;
  return accepted;
}

}  // namespace lumivar
