#pragma once
// NormalizedEvent: the machine-neutral record of what happened in one step
// (state read and written, control transfer, input and output, traps, causal
// links). Machine adapters build these; the emission stream measures, hashes
// and delivers them; the recorder stores them. The records here are plain
// values; their JSON form is in normalized_event_json.hpp.
//
// Enumerations with an extension member keep the producer's text beside the
// tag (empty for the fixed members), like EventKind.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumivar_core/event/event_kind.hpp"
#include "lumivar_core/value/byte_string.hpp"
#include "lumivar_core/value/json_value.hpp"
#include "lumivar_core/value/schema.hpp"

namespace lumivar {

// Tag orders are the variant orders of the document; never reorder them.
enum class StateSpaceTag : std::uint8_t {
  Register = 0,
  Memory = 1,
  Stack = 2,
  Timer = 3,
  Display = 4,
  Input = 5,
  Output = 6,
  Randomness = 7,
  Extension = 8,
};

enum class ControlFlowKind : std::uint8_t { Next = 0, Branch = 1, Call = 2, Return = 3, Interrupt = 4, Trap = 5 };

enum class IoDirection : std::uint8_t { Input = 0, Output = 1 };

enum class IoChannelTag : std::uint8_t {
  Display = 0,
  Keypad = 1,
  Sound = 2,
  Timer = 3,
  Collision = 4,
  Randomness = 5,
  Extension = 6,
};

enum class CausalRelationTag : std::uint8_t { Data = 0, Control = 1, Input = 2, Extension = 3 };

// A tag plus the producer's text when the tag is the extension member.
template <class Tag, Tag ExtensionTag>
struct ExtensibleEnum {
  Tag tag{};
  std::string extension;  // empty unless tag == ExtensionTag

  ExtensibleEnum() = default;
  // A fixed member (implicit so `space = StateSpaceTag::Memory` reads naturally).
  ExtensibleEnum(Tag fixed) : tag(fixed) {}
  [[nodiscard]] static ExtensibleEnum extension_member(std::string text) {
    ExtensibleEnum value(ExtensionTag);
    value.extension = std::move(text);
    return value;
  }
  [[nodiscard]] bool is_extension() const { return tag == ExtensionTag; }

  friend bool operator==(const ExtensibleEnum&, const ExtensibleEnum&) = default;
};

using StateSpace = ExtensibleEnum<StateSpaceTag, StateSpaceTag::Extension>;
using IoChannel = ExtensibleEnum<IoChannelTag, IoChannelTag::Extension>;
using CausalRelation = ExtensibleEnum<CausalRelationTag, CausalRelationTag::Extension>;

// JSON spellings of the fixed members ("register", "branch", "keypad", ...);
// "extension" for an extension tag.
[[nodiscard]] std::string_view spelling(StateSpaceTag tag);
[[nodiscard]] std::string_view spelling(ControlFlowKind kind);
[[nodiscard]] std::string_view spelling(IoDirection direction);
[[nodiscard]] std::string_view spelling(IoChannelTag tag);
[[nodiscard]] std::string_view spelling(CausalRelationTag tag);

struct SpaceAddress {
  std::string space;  // names an address space ("program", ...)
  std::uint64_t value = 0;

  friend bool operator==(const SpaceAddress&, const SpaceAddress&) = default;
};

struct EncodedValue {
  std::string encoding;  // how the bytes are to be read
  ByteString bytes;
  std::optional<std::string> decoded;  // a readable rendering

  friend bool operator==(const EncodedValue&, const EncodedValue&) = default;
};

struct StateLocation {
  StateSpace space;
  std::optional<std::string> name;
  std::optional<SpaceAddress> address;
  std::optional<std::uint16_t> width_bits;

  friend bool operator==(const StateLocation&, const StateLocation&) = default;
};

struct StateRead {
  StateLocation location;
  std::optional<JsonValue> value;

  friend bool operator==(const StateRead&, const StateRead&) = default;
};

struct StateWrite {
  StateLocation location;
  std::optional<JsonValue> before;
  std::optional<JsonValue> after;

  friend bool operator==(const StateWrite&, const StateWrite&) = default;
};

struct ControlFlow {
  ControlFlowKind kind = ControlFlowKind::Next;
  std::optional<SpaceAddress> from;
  std::optional<SpaceAddress> to;
  bool taken = false;

  friend bool operator==(const ControlFlow&, const ControlFlow&) = default;
};

struct IoEvent {
  std::string port;
  IoDirection direction = IoDirection::Input;
  IoChannel channel;
  JsonValue value;

  friend bool operator==(const IoEvent&, const IoEvent&) = default;
};

struct TrapInfo {
  std::string code;
  std::string message;
  bool fatal = false;

  friend bool operator==(const TrapInfo&, const TrapInfo&) = default;
};

struct Cause {
  std::uint64_t source_sequence = 0;  // the sequence of an earlier event of the run
  CausalRelation relation;
  std::optional<std::string> evidence;

  friend bool operator==(const Cause&, const Cause&) = default;
};

// Members in document order.
struct NormalizedEvent {
  SchemaVersion schema_version;
  std::string arch;
  std::string machine_version;
  std::string run_id;
  std::uint64_t sequence = 0;
  std::uint64_t step = 0;
  std::optional<std::uint64_t> cycle_or_tick;
  std::optional<std::uint64_t> frame;
  std::optional<SpaceAddress> pc;
  std::optional<EncodedValue> instruction;
  EventKind kind;
  std::vector<StateRead> reads;
  std::vector<StateWrite> writes;
  std::optional<ControlFlow> control_flow;
  std::vector<IoEvent> io;
  std::optional<TrapInfo> trap;
  std::vector<Cause> causes;
  JsonObject extensions;  // producer-specific additions, by key

  friend bool operator==(const NormalizedEvent&, const NormalizedEvent&) = default;
};

}  // namespace lumivar
