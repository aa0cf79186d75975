#pragma once
// Typed JSON readers of the observation request and its parts. Members are
// read in any order, unknown members are refused, the ten budgets may be
// omitted or null; every other member is required. Enumerations are their
// snake_case strings; an event selection is a level string or {"kinds": [...]}.

#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/json/json_reader.hpp"
#include "lumivar_core/observation/event_selection.hpp"
#include "lumivar_core/observation/observation_request.hpp"

namespace lumivar {

[[nodiscard]] Result<EventSelection> read_event_selection(JsonReader& reader);
[[nodiscard]] Result<ObservationRequest> read_observation_request(JsonReader& reader);

// A whole text: `null` selects the default request; otherwise one request
// followed by white space only. The error is the reader's description with
// its position.
[[nodiscard]] Result<ObservationRequest> read_observation_request_document(std::string_view text);

}  // namespace lumivar
