#pragma once
// Errors are values: every check returns its result or an Error carrying one
// fixed English message. A broken internal invariant is not an Error but a
// FatalError, thrown and caught only at the Python boundary.

#include <expected>
#include <stdexcept>
#include <string>
#include <utility>

namespace lumivar {

struct Error {
  std::string message;

  friend bool operator==(const Error&, const Error&) = default;
};

template <class T>
using Result = std::expected<T, Error>;

// A failed check as the unexpected value of any Result.
[[nodiscard]] inline std::unexpected<Error> fail(std::string message) {
  return std::unexpected<Error>(Error{std::move(message)});
}

// A broken internal invariant. Never caused by input; the Python module turns it
// into its BaseException-derived fatal error type.
class FatalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fatal(const std::string& message) { throw FatalError(message); }

}  // namespace lumivar
