#include "lumivar_core/configuration/machine_configuration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "lumivar_core/encoding/canonical_structured_bytes.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;

const SchemaRef kSchema{"test.machine_configuration", {1, 0, 0}};

ConfigurationSchema three_field_schema() {
  return ConfigurationSchema{
      kSchema,
      {
          {"mode", "Mode", "Which mode runs.", ChoiceDomain{{"fast", "slow"}}, JsonValue("fast")},
          {"count", "Count", "How many.", IntegerDomain{1, 10, 3}, JsonValue(4)},
          {"ratio", "Ratio", "How much.", FloatDomain{0.0, 1.0, 0.25}, JsonValue(0.5)},
      }};
}

MachineConfiguration configuration_of(StructuredMap map, SchemaRef schema = kSchema) {
  return MachineConfiguration{std::move(schema), SV::map(std::move(map))};
}

TEST(MachineConfiguration, EmptyMapPreparesToAllDefaults) {
  auto prepared = prepare_configuration(configuration_of({}), three_field_schema());
  ASSERT_TRUE(prepared) << prepared.error().message;
  StructuredMap expected;
  expected.emplace("mode", SV::text("fast"));
  expected.emplace("count", SV::unsigned_integer(4));
  expected.emplace("ratio", SV::floating(0.5));
  EXPECT_EQ(prepared->value, SV::map(expected));
  EXPECT_EQ(prepared->schema, kSchema);
  EXPECT_EQ(prepared->canonical_bytes, *canonical_structured_bytes(SV::map(expected)));
  EXPECT_TRUE(check_prepared_configuration(*prepared));
}

TEST(MachineConfiguration, GivenValuesOverrideDefaults) {
  StructuredMap given;
  given.emplace("count", SV::signed_integer(7));
  auto prepared = prepare_configuration(configuration_of(given), three_field_schema());
  ASSERT_TRUE(prepared) << prepared.error().message;
  EXPECT_EQ(prepared->value.as<StructuredMap>().at("count"), SV::signed_integer(7));
  EXPECT_EQ(prepared->value.as<StructuredMap>().at("mode"), SV::text("fast"));
}

TEST(MachineConfiguration, DefaultConfigurationHoldsEveryDefault) {
  auto configuration = default_configuration(three_field_schema());
  ASSERT_TRUE(configuration) << configuration.error().message;
  EXPECT_EQ(configuration->schema, kSchema);
  EXPECT_EQ(configuration->value.as<StructuredMap>().size(), 3u);
  auto prepared = prepare_configuration(*configuration, three_field_schema());
  ASSERT_TRUE(prepared);
  EXPECT_EQ(prepared->value, configuration->value);
}

struct PrepareFailure {
  const char* name;
  MachineConfiguration configuration;
  std::string message;
};

TEST(MachineConfiguration, PrepareFailuresInCheckOrder) {
  StructuredMap unknown;
  unknown.emplace("zz", SV::boolean(true));
  unknown.emplace("count", SV::unsigned_integer(1));
  unknown.emplace("aa", SV::boolean(true));  // first in key order
  StructuredMap bad_count;
  bad_count.emplace("count", SV::unsigned_integer(2));
  StructuredMap non_finite;
  non_finite.emplace("ratio", SV::floating(std::numeric_limits<double>::infinity()));
  StructuredMap zz_only;
  zz_only.emplace("zz", SV::boolean(true));

  const std::vector<PrepareFailure> cases = {
      {"blank schema id", configuration_of({}, {" \t", {1, 0, 0}}),
       "machine configuration has an empty schema ID"},
      {"array value with wrong schema too", MachineConfiguration{{"other", {9, 9, 9}}, SV::array({})},
       "machine configuration value must be a string-keyed map"},
      {"non-finite value", configuration_of(non_finite), "canonical structured values reject non-finite floats"},
      {"newer schema version", configuration_of({}, {"test.machine_configuration", {1, 0, 1}}),
       "machine configuration schema test.machine_configuration 1.0.1 does not match declared schema "
       "test.machine_configuration 1.0.0"},
      {"unknown key", configuration_of(zz_only), "machine configuration contains unknown field \"zz\""},
      {"first unknown key in byte order", configuration_of(unknown),
       "machine configuration contains unknown field \"aa\""},
      {"value off the step", configuration_of(bad_count), "configuration field \"count\" has an invalid value"},
  };
  for (const PrepareFailure& c : cases) {
    auto prepared = prepare_configuration(c.configuration, three_field_schema());
    ASSERT_FALSE(prepared) << c.name;
    EXPECT_EQ(prepared.error().message, c.message) << c.name;
  }
}

TEST(MachineConfiguration, QuotedKeysAreEscaped) {
  ConfigurationSchema schema{kSchema, {{"a\"b", "", "", BooleanDomain{}, JsonValue(1)}}};
  auto checked = check_configuration_schema(schema);
  ASSERT_FALSE(checked);
  EXPECT_EQ(checked.error().message, "configuration field \"a\\\"b\" has an invalid value");
}

struct SchemaFailure {
  const char* name;
  ConfigurationSchema schema;
  std::string message;
};

TEST(ConfigurationSchema, SchemaCheckFailures) {
  auto with_field = [](ConfigurationField field) { return ConfigurationSchema{kSchema, {std::move(field)}}; };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<SchemaFailure> cases = {
      {"blank schema id", ConfigurationSchema{{"  ", {1, 0, 0}}, {}},
       "machine configuration schema has an empty schema ID"},
      {"blank key", with_field({" ", "", "", TextDomain{}, JsonValue("x")}),
       "machine configuration has a field with an empty key"},
      {"repeated key",
       ConfigurationSchema{kSchema,
                           {{"k", "", "", TextDomain{}, JsonValue("x")}, {"k", "", "", TextDomain{}, JsonValue("y")}}},
       "machine configuration declares field k more than once"},
      {"integer max below min", with_field({"k", "", "", IntegerDomain{5, 4, 1}, JsonValue(5)}),
       "machine configuration field k has invalid integer bounds"},
      {"integer step zero", with_field({"k", "", "", IntegerDomain{0, 4, 0}, JsonValue(0)}),
       "machine configuration field k has invalid integer bounds"},
      {"float min above max", with_field({"k", "", "", FloatDomain{1.0, 0.0, 0.0}, JsonValue(0.5)}),
       "machine configuration field k has invalid float bounds"},
      {"float nan step", with_field({"k", "", "", FloatDomain{0.0, 1.0, nan}, JsonValue(0.5)}),
       "machine configuration field k has invalid float bounds"},
      {"float infinite step", with_field({"k", "", "", FloatDomain{0.0, 1.0, inf}, JsonValue(0.5)}),
       "machine configuration field k has invalid float bounds"},
      {"float negative step", with_field({"k", "", "", FloatDomain{0.0, 1.0, -0.5}, JsonValue(0.5)}),
       "machine configuration field k has invalid float bounds"},
      {"non-finite default", with_field({"k", "", "", FloatDomain{0.0, 1.0, 0.0}, JsonValue(inf)}),
       "configuration defaults reject non-finite floats"},
      {"default outside domain", with_field({"k", "", "", ChoiceDomain{{"a"}}, JsonValue("b")}),
       "configuration field \"k\" has an invalid value"},
  };
  for (const SchemaFailure& c : cases) {
    auto checked = check_configuration_schema(c.schema);
    ASSERT_FALSE(checked) << c.name;
    EXPECT_EQ(checked.error().message, c.message) << c.name;
    // Preparation and the default builder both run the schema check.
    EXPECT_EQ(default_configuration(c.schema).error().message, c.message) << c.name;
  }
}

TEST(ConfigurationSchema, NegativeZeroFloatStepMeansNoStep) {
  ConfigurationSchema schema{kSchema, {{"k", "", "", FloatDomain{0.0, 1.0, -0.0}, JsonValue(0.3)}}};
  EXPECT_TRUE(check_configuration_schema(schema));
}

struct DomainCase {
  SV value;
  bool accepted;
};

TEST(ConfigurationDomain, IntegerDomainWithStep) {
  const ConfigurationDomain domain = IntegerDomain{1, 10, 3};
  const std::vector<DomainCase> cases = {
      {SV::unsigned_integer(1), true},    {SV::unsigned_integer(4), true},   {SV::signed_integer(7), true},
      {SV::unsigned_integer(10), true},   {SV::unsigned_integer(2), false},  {SV::unsigned_integer(11), false},
      {SV::signed_integer(-2), false},    {SV::floating(4.0), false},        {SV::text("4"), false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(domain_accepts(domain, cases[i].value), cases[i].accepted) << "case " << i;
  }
}

TEST(ConfigurationDomain, IntegerDomainEdges) {
  const ConfigurationDomain full = IntegerDomain{std::numeric_limits<std::int64_t>::min(),
                                                 std::numeric_limits<std::int64_t>::max(), 1};
  EXPECT_FALSE(domain_accepts(full, SV::unsigned_integer(std::uint64_t{1} << 63)));
  EXPECT_TRUE(domain_accepts(full, SV::unsigned_integer((std::uint64_t{1} << 63) - 1)));
  // The distance from min to max exceeds the signed range; the step test must
  // still be exact.
  const ConfigurationDomain odd = IntegerDomain{std::numeric_limits<std::int64_t>::min(),
                                                std::numeric_limits<std::int64_t>::max(), 2};
  EXPECT_TRUE(domain_accepts(odd, SV::signed_integer(0)));
  EXPECT_FALSE(domain_accepts(odd, SV::signed_integer(std::numeric_limits<std::int64_t>::max())));
}

TEST(ConfigurationDomain, FloatDomainWithStep) {
  const ConfigurationDomain domain = FloatDomain{0.0, 1.0, 0.25};
  const std::vector<DomainCase> cases = {
      {SV::unsigned_integer(1), true},  {SV::floating(0.75), true},  {SV::signed_integer(0), true},
      {SV::floating(0.3), false},       {SV::floating(1.25), false}, {SV::floating(-0.25), false},
      {SV::floating(std::nan("")), false}, {SV::boolean(true), false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(domain_accepts(domain, cases[i].value), cases[i].accepted) << "case " << i;
  }
  // A step so small that the quotient overflows is not a whole number of steps.
  EXPECT_FALSE(domain_accepts(FloatDomain{0.0, 1e300, 1e-300}, SV::floating(1e300)));
}

TEST(ConfigurationDomain, ChoiceBooleanAndTextDomains) {
  EXPECT_TRUE(domain_accepts(ChoiceDomain{{"a", "b"}}, SV::text("b")));
  EXPECT_FALSE(domain_accepts(ChoiceDomain{{"a", "b"}}, SV::text("B")));
  EXPECT_FALSE(domain_accepts(ChoiceDomain{{"a"}}, SV::unsigned_integer(0)));
  EXPECT_TRUE(domain_accepts(BooleanDomain{}, SV::boolean(false)));
  EXPECT_FALSE(domain_accepts(BooleanDomain{}, SV::unsigned_integer(0)));
  EXPECT_TRUE(domain_accepts(TextDomain{}, SV::text("")));
  EXPECT_FALSE(domain_accepts(TextDomain{}, SV::null()));
}

TEST(PreparedConfiguration, CheckFailures) {
  auto prepared = *prepare_configuration(configuration_of({}), three_field_schema());
  PreparedConfiguration blank = prepared;
  blank.schema.id = "";
  EXPECT_EQ(check_prepared_configuration(blank).error().message,
            "prepared machine configuration has an empty schema ID");
  PreparedConfiguration tampered = prepared;
  tampered.canonical_bytes.back() ^= 1;
  EXPECT_EQ(check_prepared_configuration(tampered).error().message,
            "prepared configuration canonical bytes do not match value");
}

}  // namespace
}  // namespace lumivar
