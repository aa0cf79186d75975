#pragma once
// The acceptor of inputs submitted while a run executes. It knows the run's
// prepared live inputs and numbers every accepted submission; the session that
// owns it words the refusals for its caller. Not synchronised: its owner
// serialises submissions.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>

#include "lumivar_core/run_identity/input_interface.hpp"
#include "lumivar_core/schedule/input_application.hpp"
#include "lumivar_core/schedule/input_coordinate.hpp"
#include "lumivar_core/schedule/input_payload.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

struct AcceptedLiveInput {
  std::uint64_t instance_id = 0;
  std::string input_id;
  TypedInputPayload payload;
  InputCoordinate coordinate;  // as submitted

  [[nodiscard]] InputSource source() const { return InputSource::live(instance_id); }
  friend bool operator==(const AcceptedLiveInput&, const AcceptedLiveInput&) = default;
};

// Why a submission was refused, in the order the checks run.
struct UndeclaredLiveInput {
  std::string input_id;
  friend bool operator==(const UndeclaredLiveInput&, const UndeclaredLiveInput&) = default;
};
struct LivePayloadSchemaMismatch {
  std::string input_id;
  SchemaRef declared;
  SchemaRef given;
  friend bool operator==(const LivePayloadSchemaMismatch&, const LivePayloadSchemaMismatch&) = default;
};
struct InvalidLivePayload {
  std::string message;  // the payload check's message
  friend bool operator==(const InvalidLivePayload&, const InvalidLivePayload&) = default;
};
struct LiveInstanceIdsExhausted {
  friend bool operator==(const LiveInstanceIdsExhausted&, const LiveInstanceIdsExhausted&) = default;
};
struct LiveCoordinateMismatch {
  std::string input_id;
  std::string message;  // the coordinate match message
  friend bool operator==(const LiveCoordinateMismatch&, const LiveCoordinateMismatch&) = default;
};

using LiveInputRefusal = std::variant<UndeclaredLiveInput, LivePayloadSchemaMismatch, InvalidLivePayload,
                                      LiveInstanceIdsExhausted, LiveCoordinateMismatch>;

class LiveInputGate {
 public:
  explicit LiveInputGate(PreparedInputInterface interface) : interface_(std::move(interface)) {}

  // Accepts the input with the next instance ID, or refuses it; a refusal
  // consumes no instance ID.
  [[nodiscard]] std::expected<AcceptedLiveInput, LiveInputRefusal> submit(std::string_view input_id,
                                                                           TypedInputPayload payload,
                                                                           InputCoordinate coordinate);

  [[nodiscard]] const PreparedInputInterface& interface() const { return interface_; }
  // The instance ID the next accepted input receives.
  [[nodiscard]] std::uint64_t next_instance_id() const { return next_instance_id_; }

 private:
  PreparedInputInterface interface_;
  std::uint64_t next_instance_id_ = 0;
};

}  // namespace lumivar
