#include "lumivar_core/event/normalized_event_json.hpp"

#include "lumivar_core/event/json_members.hpp"

namespace lumivar {

namespace {

// Members of every object below are written in byte order of their keys; the
// key lists in the comments are that order.

template <class Tag, Tag ExtensionTag>
void write_extensible(JsonWriter& writer, const ExtensibleEnum<Tag, ExtensionTag>& value) {
  if (value.is_extension()) {
    writer.begin_object();
    writer.key("extension");
    writer.write_string(value.extension);
    writer.end_object();
  } else {
    writer.write_string(spelling(value.tag));
  }
}

void write_optional_address(JsonWriter& writer, const std::optional<SpaceAddress>& address) {
  if (address) write_space_address(writer, *address); else writer.write_null();
}

// An optional JSON value: absent is null. False for a non-finite float.
[[nodiscard]] bool write_optional_value(JsonWriter& writer, const std::optional<JsonValue>& value) {
  if (!value) {
    writer.write_null();
    return true;
  }
  return writer.write_value(*value);
}

// bytes, decoded, encoding
void write_encoded_value(JsonWriter& writer, const EncodedValue& value) {
  writer.begin_object();
  writer.key("bytes");
  writer.write_bytes(value.bytes);
  writer.key("decoded");
  write_optional_string(writer, value.decoded);
  writer.key("encoding");
  writer.write_string(value.encoding);
  writer.end_object();
}

// address, name, space, width_bits
void write_state_location(JsonWriter& writer, const StateLocation& location) {
  writer.begin_object();
  writer.key("address");
  write_optional_address(writer, location.address);
  writer.key("name");
  write_optional_string(writer, location.name);
  writer.key("space");
  write_state_space(writer, location.space);
  writer.key("width_bits");
  if (location.width_bits) writer.write_u64(*location.width_bits); else writer.write_null();
  writer.end_object();
}

// location, value
[[nodiscard]] bool write_state_read(JsonWriter& writer, const StateRead& read) {
  writer.begin_object();
  writer.key("location");
  write_state_location(writer, read.location);
  writer.key("value");
  if (!write_optional_value(writer, read.value)) return false;
  writer.end_object();
  return true;
}

// after, before, location
[[nodiscard]] bool write_state_write(JsonWriter& writer, const StateWrite& write) {
  writer.begin_object();
  writer.key("after");
  if (!write_optional_value(writer, write.after)) return false;
  writer.key("before");
  if (!write_optional_value(writer, write.before)) return false;
  writer.key("location");
  write_state_location(writer, write.location);
  writer.end_object();
  return true;
}

// from, kind, taken, to
void write_control_flow(JsonWriter& writer, const ControlFlow& flow) {
  writer.begin_object();
  writer.key("from");
  write_optional_address(writer, flow.from);
  writer.key("kind");
  writer.write_string(spelling(flow.kind));
  writer.key("taken");
  writer.write_bool(flow.taken);
  writer.key("to");
  write_optional_address(writer, flow.to);
  writer.end_object();
}

// channel, direction, port, value
[[nodiscard]] bool write_io_event(JsonWriter& writer, const IoEvent& io) {
  writer.begin_object();
  writer.key("channel");
  write_extensible(writer, io.channel);
  writer.key("direction");
  writer.write_string(spelling(io.direction));
  writer.key("port");
  writer.write_string(io.port);
  writer.key("value");
  if (!writer.write_value(io.value)) return false;
  writer.end_object();
  return true;
}

// code, fatal, message
void write_trap(JsonWriter& writer, const TrapInfo& trap) {
  writer.begin_object();
  writer.key("code");
  writer.write_string(trap.code);
  writer.key("fatal");
  writer.write_bool(trap.fatal);
  writer.key("message");
  writer.write_string(trap.message);
  writer.end_object();
}

// evidence, relation, source_sequence
void write_cause(JsonWriter& writer, const Cause& cause) {
  writer.begin_object();
  writer.key("evidence");
  write_optional_string(writer, cause.evidence);
  writer.key("relation");
  write_extensible(writer, cause.relation);
  writer.key("source_sequence");
  writer.write_u64(cause.source_sequence);
  writer.end_object();
}

}  // namespace

// space, value
void write_space_address(JsonWriter& writer, const SpaceAddress& address) {
  writer.begin_object();
  writer.key("space");
  writer.write_string(address.space);
  writer.key("value");
  writer.write_u64(address.value);
  writer.end_object();
}

void write_state_space(JsonWriter& writer, const StateSpace& space) { write_extensible(writer, space); }

void write_event_kind(JsonWriter& writer, const EventKind& kind) {
  if (kind.is_extension()) {
    writer.begin_object();
    writer.key("extension");
    writer.write_string(kind.extension);
    writer.end_object();
  } else {
    writer.write_string(event_kind_spelling(kind.tag));
  }
}

// arch, causes, control_flow, cycle_or_tick, extensions, frame, instruction,
// io, kind, machine_version, pc, reads, run_id, schema_version, sequence,
// step, trap, writes
std::optional<ByteRange> write_normalized_event(JsonWriter& writer, const NormalizedEvent& event) {
  writer.begin_object();
  writer.key("arch");
  writer.write_string(event.arch);
  writer.key("causes");
  writer.begin_array();
  for (const Cause& cause : event.causes) write_cause(writer, cause);
  writer.end_array();
  writer.key("control_flow");
  if (event.control_flow) write_control_flow(writer, *event.control_flow); else writer.write_null();
  writer.key("cycle_or_tick");
  write_optional_u64(writer, event.cycle_or_tick);
  writer.key("extensions");
  writer.begin_object();
  for (const auto& [name, value] : event.extensions) {
    writer.key(name);
    if (!writer.write_value(value)) return std::nullopt;
  }
  writer.end_object();
  writer.key("frame");
  write_optional_u64(writer, event.frame);
  writer.key("instruction");
  if (event.instruction) write_encoded_value(writer, *event.instruction); else writer.write_null();
  writer.key("io");
  writer.begin_array();
  for (const IoEvent& io : event.io) {
    if (!write_io_event(writer, io)) return std::nullopt;
  }
  writer.end_array();
  writer.key("kind");
  write_event_kind(writer, event.kind);
  writer.key("machine_version");
  writer.write_string(event.machine_version);
  writer.key("pc");
  write_optional_address(writer, event.pc);
  writer.key("reads");
  writer.begin_array();
  for (const StateRead& read : event.reads) {
    if (!write_state_read(writer, read)) return std::nullopt;
  }
  writer.end_array();
  ByteRange run_id;
  run_id.begin = writer.size();  // the comma that key() writes first
  writer.key("run_id");
  writer.write_string(event.run_id);
  run_id.end = writer.size();
  writer.key("schema_version");
  write_schema_version(writer, event.schema_version);
  writer.key("sequence");
  writer.write_u64(event.sequence);
  writer.key("step");
  writer.write_u64(event.step);
  writer.key("trap");
  if (event.trap) write_trap(writer, *event.trap); else writer.write_null();
  writer.key("writes");
  writer.begin_array();
  for (const StateWrite& write : event.writes) {
    if (!write_state_write(writer, write)) return std::nullopt;
  }
  writer.end_array();
  writer.end_object();
  return run_id;
}

Result<CanonicalEventJson> encode_normalized_event(const NormalizedEvent& event) {
  JsonWriter writer(JsonStyle::canonical);
  // Most events of a fully observed run fit; one allocation instead of a
  // series of doublings.
  writer.reserve(1024);
  std::optional<ByteRange> run_id = write_normalized_event(writer, event);
  if (!run_id) return fail(std::string(kNonFiniteCanonicalJsonMessage));
  return CanonicalEventJson{writer.take(), *run_id};
}

}  // namespace lumivar
