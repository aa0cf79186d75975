#pragma once
// The JSON form of a normalized event, written straight from the struct in
// canonical form (members in byte order of their keys at every level, no
// white space). A fully observed run emits several events per machine step,
// so this is written once per event and the same bytes serve as the budget
// measure, the Python record and (with the run_id member cut out) the input
// of the event projection.

#include <cstddef>
#include <string>
#include <string_view>

#include "lumivar_core/error/error.hpp"
#include "lumivar_core/event/normalized_event.hpp"

namespace lumivar {

// A half-open byte range [begin, end) of a JSON text.
struct ByteRange {
  std::size_t begin = 0;
  std::size_t end = 0;

  [[nodiscard]] std::size_t size() const { return end - begin; }
  friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

// An event's canonical JSON and where its run_id member sits in it. The range
// runs from the comma before "run_id" to the end of its value, so the text with
// the range cut out is the canonical JSON of the event without run_id (run_id
// is never the first member, so that comma always exists).
struct CanonicalEventJson {
  std::string json;
  ByteRange run_id_member;

  [[nodiscard]] std::string_view before_run_id() const {
    return std::string_view(json).substr(0, run_id_member.begin);
  }
  [[nodiscard]] std::string_view after_run_id() const {
    return std::string_view(json).substr(run_id_member.end);
  }
  friend bool operator==(const CanonicalEventJson&, const CanonicalEventJson&) = default;
};

// The message of a record holding a non-finite float in one of its JSON values
// (the text canonical_json_bytes gives for the same fault).
inline constexpr std::string_view kNonFiniteCanonicalJsonMessage =
    "cannot convert value to canonical JSON: non-finite float";

// The canonical JSON of one event. Fails only when one of its JSON values
// holds a non-finite float.
[[nodiscard]] Result<CanonicalEventJson> encode_normalized_event(const NormalizedEvent& event);

}  // namespace lumivar
