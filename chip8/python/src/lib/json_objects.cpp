#include "chip8_python/lib/json_objects.hpp"

#include <cstdint>
#include <string>

#include "chip8_python/lib/py_ref.hpp"

namespace lumivar::python {
namespace {

// Deeper documents go to json.loads, which has its own recursion guard.
constexpr int kMaxDepth = 512;
// Integers of up to this many digits fit an int64_t.
constexpr std::ptrdiff_t kFastIntegerDigits = 18;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_utf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// The grammar json.loads accepts, minus the parts the builder leaves to it.
// Every member returns a new reference, or null when the text is outside the
// handled subset (possibly with an interpreter exception set, which the
// caller discards before deferring).
class ObjectBuilder {
 public:
  explicit ObjectBuilder(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {}

  PyObject* document() {
    skip_white_space();
    PyRef built(value(0));
    if (!built) return nullptr;
    skip_white_space();
    if (at_ != end_) return nullptr;
    return built.release();
  }

 private:
  void skip_white_space() {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r')) ++at_;
  }

  PyObject* value(int depth) {
    if (at_ == end_) return nullptr;
    switch (*at_) {
      case '{': return object(depth);
      case '[': return array(depth);
      case '"': return string();
      case 't': return literal("true", Py_True);
      case 'f': return literal("false", Py_False);
      case 'n': return literal("null", Py_None);
      default: return number();
    }
  }

  PyObject* literal(std::string_view word, PyObject* object) {
    if (static_cast<std::size_t>(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word) {
      return nullptr;
    }
    at_ += word.size();
    return Py_NewRef(object);
  }

  PyObject* array(int depth) {
    if (depth >= kMaxDepth) return nullptr;
    ++at_;
    PyRef list(PyList_New(0));
    if (!list) return nullptr;
    skip_white_space();
    if (at_ < end_ && *at_ == ']') {
      ++at_;
      return list.release();
    }
    for (;;) {
      skip_white_space();
      PyRef item(value(depth + 1));
      if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
      skip_white_space();
      if (at_ == end_) return nullptr;
      if (*at_ == ',') {
        ++at_;
        continue;
      }
      if (*at_ != ']') return nullptr;
      ++at_;
      return list.release();
    }
  }

  PyObject* object(int depth) {
    if (depth >= kMaxDepth) return nullptr;
    ++at_;
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    skip_white_space();
    if (at_ < end_ && *at_ == '}') {
      ++at_;
      return dict.release();
    }
    for (;;) {
      skip_white_space();
      if (at_ == end_ || *at_ != '"') return nullptr;
      PyRef key(string());
      if (!key) return nullptr;
      skip_white_space();
      if (at_ == end_ || *at_ != ':') return nullptr;
      ++at_;
      skip_white_space();
      PyRef member(value(depth + 1));
      // A repeated key keeps its first place and takes the last value, as
      // json.loads builds its dicts.
      if (!member || PyDict_SetItem(dict.get(), key.get(), member.get()) < 0) return nullptr;
      skip_white_space();
      if (at_ == end_) return nullptr;
      if (*at_ == ',') {
        ++at_;
        continue;
      }
      if (*at_ != '}') return nullptr;
      ++at_;
      return dict.release();
    }
  }

  PyObject* string() {
    ++at_;
    const char* const start = at_;
    const char* cursor = at_;
    while (cursor < end_) {
      const auto c = static_cast<unsigned char>(*cursor);
      if (c == '"' || c == '\\' || c < 0x20) break;
      ++cursor;
    }
    if (cursor == end_ || static_cast<unsigned char>(*cursor) < 0x20) return nullptr;
    if (*cursor == '"') {
      at_ = cursor + 1;
      // Strict decoding: text json.loads would take through "surrogatepass"
      // fails here and is left to it.
      return PyUnicode_DecodeUTF8(start, cursor - start, nullptr);
    }
    scratch_.assign(start, cursor);
    for (;;) {
      if (cursor == end_) return nullptr;
      const auto c = static_cast<unsigned char>(*cursor);
      if (c == '"') break;
      if (c < 0x20) return nullptr;
      if (c != '\\') {
        scratch_.push_back(static_cast<char>(c));
        ++cursor;
        continue;
      }
      if (++cursor == end_) return nullptr;
      switch (*cursor) {
        case '"': scratch_.push_back('"'); break;
        case '\\': scratch_.push_back('\\'); break;
        case '/': scratch_.push_back('/'); break;
        case 'b': scratch_.push_back('\b'); break;
        case 'f': scratch_.push_back('\f'); break;
        case 'n': scratch_.push_back('\n'); break;
        case 'r': scratch_.push_back('\r'); break;
        case 't': scratch_.push_back('\t'); break;
        case 'u': {
          if (end_ - cursor < 5) return nullptr;
          std::uint32_t code_point = 0;
          for (int i = 1; i <= 4; ++i) {
            const int digit = hex_value(cursor[i]);
            if (digit < 0) return nullptr;
            code_point = (code_point << 4) | static_cast<std::uint32_t>(digit);
          }
          // Surrogate pairs and lone surrogates follow json.loads' own rules.
          if (code_point >= 0xD800 && code_point <= 0xDFFF) return nullptr;
          append_utf8(scratch_, code_point);
          cursor += 4;
          break;
        }
        default: return nullptr;
      }
      ++cursor;
    }
    at_ = cursor + 1;
    return PyUnicode_DecodeUTF8(scratch_.data(), static_cast<Py_ssize_t>(scratch_.size()), nullptr);
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][-+]?[0-9]+)?; anything json.loads
  // would read differently ("1.", "01", NaN, Infinity) is left to it.
  PyObject* number() {
    const char* const start = at_;
    const char* cursor = at_;
    const bool negative = *cursor == '-';
    if (negative) ++cursor;
    if (cursor == end_) return nullptr;
    const char* const digits = cursor;
    if (*cursor == '0') {
      ++cursor;
    } else if (*cursor >= '1' && *cursor <= '9') {
      while (cursor < end_ && is_digit(*cursor)) ++cursor;
    } else {
      return nullptr;
    }
    const char* const integer_end = cursor;
    bool is_float = false;
    if (cursor < end_ && *cursor == '.') {
      if (cursor + 1 == end_ || !is_digit(cursor[1])) return nullptr;
      cursor += 2;
      while (cursor < end_ && is_digit(*cursor)) ++cursor;
      is_float = true;
    }
    if (cursor < end_ && (*cursor == 'e' || *cursor == 'E')) {
      const char* exponent = cursor + 1;
      if (exponent < end_ && (*exponent == '+' || *exponent == '-')) ++exponent;
      if (exponent == end_ || !is_digit(*exponent)) return nullptr;
      while (exponent < end_ && is_digit(*exponent)) ++exponent;
      cursor = exponent;
      is_float = true;
    }
    at_ = cursor;
    if (!is_float && integer_end - digits <= kFastIntegerDigits) {
      std::int64_t magnitude = 0;
      for (const char* d = digits; d < integer_end; ++d) magnitude = magnitude * 10 + (*d - '0');
      return PyLong_FromLongLong(negative ? -magnitude : magnitude);
    }
    // The conversions json.loads itself applies to the number's text.
    scratch_.assign(start, cursor);
    if (!is_float) return PyLong_FromString(scratch_.c_str(), nullptr, 10);
    char* parsed_end = nullptr;
    const double number = PyOS_string_to_double(scratch_.c_str(), &parsed_end, nullptr);
    if (number == -1.0 && PyErr_Occurred()) return nullptr;
    if (parsed_end != scratch_.c_str() + scratch_.size()) return nullptr;
    return PyFloat_FromDouble(number);
  }

  const char* at_;
  const char* end_;
  std::string scratch_;
};

PyObject* json_loads(std::string_view text, JsonTextForm form) {
  PyRef module_name(PyUnicode_FromString("json"));
  if (!module_name) return nullptr;
  PyRef json(PyImport_Import(module_name.get()));
  if (!json) return nullptr;
  PyRef loads(PyObject_GetAttrString(json.get(), "loads"));
  if (!loads) return nullptr;
  const auto size = static_cast<Py_ssize_t>(text.size());
  PyRef argument(form == JsonTextForm::kBytes ? PyBytes_FromStringAndSize(text.data(), size)
                                              : PyUnicode_FromStringAndSize(text.data(), size));
  if (!argument) return nullptr;
  return PyObject_CallOneArg(loads.get(), argument.get());
}

}  // namespace

PyObject* json_text_to_objects(std::string_view text, JsonTextForm fallback_form) {
  if (PyObject* built = ObjectBuilder(text).document()) return built;
  if (PyErr_Occurred()) PyErr_Clear();
  return json_loads(text, fallback_form);
}

}  // namespace lumivar::python
