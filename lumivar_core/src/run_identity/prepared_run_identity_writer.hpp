#pragma once
// The prepared run identity written member by member in its own member order
// (not key order), nested documents in theirs: the form run files meant to be
// read by people carry. to_json gives the same content as a tree in key order.

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/run_identity/prepared_run_identity.hpp"

namespace lumivar {

// False when a structured value inside holds a non-finite float (a checked
// identity never does); the writer then holds partial output.
[[nodiscard]] bool write_json(JsonWriter& writer, const PreparedRunIdentity& identity);

}  // namespace lumivar
