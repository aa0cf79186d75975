#include "lumivar_core/event/normalized_event_json.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "lumivar_core/encoding/json_writer.hpp"

namespace lumivar {

namespace {

// The event's text is assembled from fixed fragments: every key is written
// together with the punctuation around it (`,"causes":[`), so no key is ever
// escaped or separated at run time. Written through the general JsonWriter,
// member by member, an event took about four times as long, most of it in
// writing keys; a fully observed run writes several events per machine step.
// Strings that need escaping and generic JSON values still go through
// JsonWriter, so their formatting has a single definition.
class EventText {
 public:
  EventText() { extend_to(kInitialCapacity); }

  // A fixed fragment; its size is known at compile time, so the copy is inlined.
  template <std::size_t N>
  void fragment(const char (&text)[N]) {
    append(text, N - 1);
  }

  void u64(std::uint64_t value) {
    reserve(20);
    char* start = buffer_.data() + size_;
    size_ += static_cast<std::size_t>(std::to_chars(start, start + 20, value).ptr - start);
  }

  void boolean(bool value) {
    if (value) fragment("true"); else fragment("false");
  }

  void string(std::string_view text) {
    if (std::ranges::none_of(text, needs_escape)) {
      reserve(text.size() + 2);
      buffer_[size_++] = '"';
      std::memcpy(buffer_.data() + size_, text.data(), text.size());
      size_ += text.size();
      buffer_[size_++] = '"';
      return;
    }
    scratch_.clear();
    scratch_.write_string(text);
    append(scratch_.view().data(), scratch_.size());
  }

  void optional_string(const std::optional<std::string>& text) {
    if (text) string(*text); else fragment("null");
  }

  // False for a non-finite float.
  [[nodiscard]] bool value(const JsonValue& json) {
    if (const auto* u = json.get_if<std::uint64_t>()) {
      u64(*u);
      return true;
    }
    if (const auto* text = json.get_if<std::string>()) {
      string(*text);
      return true;
    }
    if (json.is_null()) {
      fragment("null");
      return true;
    }
    if (const bool* b = json.get_if<bool>()) {
      boolean(*b);
      return true;
    }
    scratch_.clear();
    if (!scratch_.write_value(json)) return false;
    append(scratch_.view().data(), scratch_.size());
    return true;
  }

  [[nodiscard]] bool optional_value(const std::optional<JsonValue>& json) {
    if (!json) {
      fragment("null");
      return true;
    }
    return value(*json);
  }

  [[nodiscard]] std::size_t size() const { return size_; }

  [[nodiscard]] std::string take() {
    buffer_.resize(size_);
    return std::move(buffer_);
  }

 private:
  // Enough for a typical fully observed step event in one allocation.
  static constexpr std::size_t kInitialCapacity = 1024;

  static bool needs_escape(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == '"' || byte == '\\';
  }

  void reserve(std::size_t n) {
    if (buffer_.size() - size_ < n) [[unlikely]] grow(n);
  }
  void append(const char* data, std::size_t n) {
    reserve(n);
    std::memcpy(buffer_.data() + size_, data, n);
    size_ += n;
  }
  [[gnu::noinline]] void grow(std::size_t n) { extend_to(std::max(size_ + n, 2 * buffer_.size())); }

  // Makes room for `size` bytes without clearing them first: every byte up to
  // size_ is written before it is read, and take() cuts the rest off.
  void extend_to(std::size_t size) {
#if defined(__cpp_lib_string_resize_and_overwrite)
    buffer_.resize_and_overwrite(size, [](char*, std::size_t n) { return n; });
#else
    buffer_.resize(size);
#endif
  }

  std::string buffer_;  // capacity in use is buffer_.size(); text is [0, size_)
  std::size_t size_ = 0;
  JsonWriter scratch_{JsonStyle::canonical};
};

// Each writer below emits one JSON value; member keys are listed in byte order.

template <class Tag, Tag ExtensionTag>
void write_extensible(EventText& out, const ExtensibleEnum<Tag, ExtensionTag>& value) {
  if (value.is_extension()) {
    out.fragment(R"({"extension":)");
    out.string(value.extension);
    out.fragment("}");
  } else {
    out.string(spelling(value.tag));
  }
}

void write_event_kind(EventText& out, const EventKind& kind) {
  if (kind.is_extension()) {
    out.fragment(R"({"extension":)");
    out.string(kind.extension);
    out.fragment("}");
  } else {
    out.string(event_kind_spelling(kind.tag));
  }
}

void write_address(EventText& out, const std::optional<SpaceAddress>& address) {
  if (!address) {
    out.fragment("null");
    return;
  }
  out.fragment(R"({"space":)");
  out.string(address->space);
  out.fragment(R"(,"value":)");
  out.u64(address->value);
  out.fragment("}");
}

void write_encoded_value(EventText& out, const std::optional<EncodedValue>& value) {
  if (!value) {
    out.fragment("null");
    return;
  }
  out.fragment(R"({"bytes":[)");
  for (std::size_t i = 0; i < value->bytes.size(); ++i) {
    if (i != 0) out.fragment(",");
    out.u64(value->bytes[i]);
  }
  out.fragment(R"(],"decoded":)");
  out.optional_string(value->decoded);
  out.fragment(R"(,"encoding":)");
  out.string(value->encoding);
  out.fragment("}");
}

void write_location(EventText& out, const StateLocation& location) {
  out.fragment(R"({"address":)");
  write_address(out, location.address);
  out.fragment(R"(,"name":)");
  out.optional_string(location.name);
  out.fragment(R"(,"space":)");
  write_extensible(out, location.space);
  out.fragment(R"(,"width_bits":)");
  if (location.width_bits) out.u64(*location.width_bits); else out.fragment("null");
  out.fragment("}");
}

[[nodiscard]] bool write_read(EventText& out, const StateRead& read) {
  out.fragment(R"({"location":)");
  write_location(out, read.location);
  out.fragment(R"(,"value":)");
  if (!out.optional_value(read.value)) return false;
  out.fragment("}");
  return true;
}

[[nodiscard]] bool write_write(EventText& out, const StateWrite& write) {
  out.fragment(R"({"after":)");
  if (!out.optional_value(write.after)) return false;
  out.fragment(R"(,"before":)");
  if (!out.optional_value(write.before)) return false;
  out.fragment(R"(,"location":)");
  write_location(out, write.location);
  out.fragment("}");
  return true;
}

void write_control_flow(EventText& out, const std::optional<ControlFlow>& flow) {
  if (!flow) {
    out.fragment("null");
    return;
  }
  out.fragment(R"({"from":)");
  write_address(out, flow->from);
  out.fragment(R"(,"kind":)");
  out.string(spelling(flow->kind));
  out.fragment(R"(,"taken":)");
  out.boolean(flow->taken);
  out.fragment(R"(,"to":)");
  write_address(out, flow->to);
  out.fragment("}");
}

[[nodiscard]] bool write_io(EventText& out, const IoEvent& io) {
  out.fragment(R"({"channel":)");
  write_extensible(out, io.channel);
  out.fragment(R"(,"direction":)");
  out.string(spelling(io.direction));
  out.fragment(R"(,"port":)");
  out.string(io.port);
  out.fragment(R"(,"value":)");
  if (!out.value(io.value)) return false;
  out.fragment("}");
  return true;
}

void write_trap(EventText& out, const std::optional<TrapInfo>& trap) {
  if (!trap) {
    out.fragment("null");
    return;
  }
  out.fragment(R"({"code":)");
  out.string(trap->code);
  out.fragment(R"(,"fatal":)");
  out.boolean(trap->fatal);
  out.fragment(R"(,"message":)");
  out.string(trap->message);
  out.fragment("}");
}

void write_cause(EventText& out, const Cause& cause) {
  out.fragment(R"({"evidence":)");
  out.optional_string(cause.evidence);
  out.fragment(R"(,"relation":)");
  write_extensible(out, cause.relation);
  out.fragment(R"(,"source_sequence":)");
  out.u64(cause.source_sequence);
  out.fragment("}");
}

void write_optional_u64(EventText& out, const std::optional<std::uint64_t>& value) {
  if (value) out.u64(*value); else out.fragment("null");
}

// Writes a list with `write_one` per element; false as soon as one fails.
template <class T, class F>
[[nodiscard]] bool write_list(EventText& out, const std::vector<T>& list, F write_one) {
  out.fragment("[");
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out.fragment(",");
    if (!write_one(out, list[i])) return false;
  }
  out.fragment("]");
  return true;
}

}  // namespace

Result<CanonicalEventJson> encode_normalized_event(const NormalizedEvent& event) {
  EventText out;
  bool ok = true;
  out.fragment(R"({"arch":)");
  out.string(event.arch);
  out.fragment(R"(,"causes":)");
  ok = ok && write_list(out, event.causes, [](EventText& o, const Cause& c) {
         write_cause(o, c);
         return true;
       });
  out.fragment(R"(,"control_flow":)");
  write_control_flow(out, event.control_flow);
  out.fragment(R"(,"cycle_or_tick":)");
  write_optional_u64(out, event.cycle_or_tick);
  out.fragment(R"(,"extensions":{)");
  bool first = true;
  for (const auto& [name, value] : event.extensions) {
    if (!first) out.fragment(",");
    first = false;
    out.string(name);
    out.fragment(":");
    ok = ok && out.value(value);
  }
  out.fragment(R"(},"frame":)");
  write_optional_u64(out, event.frame);
  out.fragment(R"(,"instruction":)");
  write_encoded_value(out, event.instruction);
  out.fragment(R"(,"io":)");
  ok = ok && write_list(out, event.io, write_io);
  out.fragment(R"(,"kind":)");
  write_event_kind(out, event.kind);
  out.fragment(R"(,"machine_version":)");
  out.string(event.machine_version);
  out.fragment(R"(,"pc":)");
  write_address(out, event.pc);
  out.fragment(R"(,"reads":)");
  ok = ok && write_list(out, event.reads, write_read);
  ByteRange run_id;
  run_id.begin = out.size();
  out.fragment(R"(,"run_id":)");
  out.string(event.run_id);
  run_id.end = out.size();
  out.fragment(R"(,"schema_version":{"major":)");
  out.u64(event.schema_version.major);
  out.fragment(R"(,"minor":)");
  out.u64(event.schema_version.minor);
  out.fragment(R"(,"patch":)");
  out.u64(event.schema_version.patch);
  out.fragment(R"(},"sequence":)");
  out.u64(event.sequence);
  out.fragment(R"(,"step":)");
  out.u64(event.step);
  out.fragment(R"(,"trap":)");
  write_trap(out, event.trap);
  out.fragment(R"(,"writes":)");
  ok = ok && write_list(out, event.writes, write_write);
  out.fragment("}");
  if (!ok) return fail(std::string(kNonFiniteCanonicalJsonMessage));
  return CanonicalEventJson{out.take(), run_id};
}

}  // namespace lumivar
