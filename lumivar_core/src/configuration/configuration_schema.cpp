#include "lumivar_core/configuration/configuration_schema.hpp"

#include <cmath>
#include <limits>
#include <set>

#include "lumivar_core/configuration/contract_forms.hpp"
#include "lumivar_core/error/message.hpp"

namespace lumivar {
namespace {

bool integer_accepts(const IntegerDomain& domain, const StructuredValue& value) {
  std::int64_t v = 0;
  if (const auto* u = value.get_if<std::uint64_t>()) {
    if (*u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
    v = static_cast<std::int64_t>(*u);
  } else if (const auto* s = value.get_if<std::int64_t>()) {
    v = *s;
  } else {
    return false;
  }
  if (v < domain.min || v > domain.max) return false;
  // v >= min, so the difference is exact in unsigned arithmetic even when it
  // exceeds the signed range; step >= 1 was checked with the schema.
  const std::uint64_t offset = static_cast<std::uint64_t>(v) - static_cast<std::uint64_t>(domain.min);
  return offset % static_cast<std::uint64_t>(domain.step) == 0;
}

bool float_accepts(const FloatDomain& domain, const StructuredValue& value) {
  double x = 0.0;
  if (const auto* u = value.get_if<std::uint64_t>()) {
    x = static_cast<double>(*u);
  } else if (const auto* s = value.get_if<std::int64_t>()) {
    x = static_cast<double>(*s);
  } else if (const auto* d = value.get_if<double>()) {
    x = *d;
  } else {
    return false;
  }
  if (!std::isfinite(x) || x < domain.min || x > domain.max) return false;
  if (domain.step == 0.0) return true;
  const double steps = (x - domain.min) / domain.step;
  // A quotient that overflows to infinity is not a whole number of steps.
  return std::isfinite(steps) && std::trunc(steps) == steps;
}

bool choice_accepts(const ChoiceDomain& domain, const StructuredValue& value) {
  const auto* text = value.get_if<std::string>();
  if (text == nullptr) return false;
  for (const std::string& choice : domain.choices) {
    if (choice == *text) return true;
  }
  return false;
}

bool domain_bounds_are_valid(const ConfigurationDomain& domain) {
  if (const auto* integer = std::get_if<IntegerDomain>(&domain)) {
    return integer->max >= integer->min && integer->step >= 1;
  }
  if (const auto* floating = std::get_if<FloatDomain>(&domain)) {
    if (floating->min > floating->max || !std::isfinite(floating->step)) return false;
    return !(floating->step < 0.0);  // -0.0 compares equal to 0.0: no step
  }
  return true;
}

}  // namespace

bool domain_accepts(const ConfigurationDomain& domain, const StructuredValue& value) {
  return std::visit(
      [&value](const auto& d) -> bool {
        using D = std::decay_t<decltype(d)>;
        if constexpr (std::is_same_v<D, BooleanDomain>) {
          return value.is<bool>();
        } else if constexpr (std::is_same_v<D, IntegerDomain>) {
          return integer_accepts(d, value);
        } else if constexpr (std::is_same_v<D, FloatDomain>) {
          return float_accepts(d, value);
        } else if constexpr (std::is_same_v<D, ChoiceDomain>) {
          return choice_accepts(d, value);
        } else {
          return value.is<std::string>();
        }
      },
      domain);
}

Result<StructuredValue> field_default(const ConfigurationField& field) {
  return structured_value_from_json(field.default_value);
}

std::string invalid_field_value_message(std::string_view key) {
  return "configuration field " + quoted(key) + " has an invalid value";
}

Result<void> check_configuration_schema(const ConfigurationSchema& schema) {
  if (auto checked = check_schema_id(schema.schema, "machine configuration schema"); !checked) return checked;
  std::set<std::string, std::less<>> seen;
  for (const ConfigurationField& field : schema.fields) {
    if (trim_unicode_white_space(field.key).empty()) {
      return fail("machine configuration has a field with an empty key");
    }
    if (!seen.insert(field.key).second) {
      return fail("machine configuration declares field " + field.key + " more than once");
    }
    if (!domain_bounds_are_valid(field.domain)) {
      const bool is_integer = std::holds_alternative<IntegerDomain>(field.domain);
      return fail("machine configuration field " + field.key + " has invalid " +
                  (is_integer ? "integer" : "float") + " bounds");
    }
    Result<StructuredValue> default_value = field_default(field);
    if (!default_value) return std::unexpected(default_value.error());
    if (!domain_accepts(field.domain, *default_value)) return fail(invalid_field_value_message(field.key));
  }
  return {};
}

}  // namespace lumivar
