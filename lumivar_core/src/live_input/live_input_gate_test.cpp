#include "lumivar_core/live_input/live_input_gate.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "lumivar_core/run_identity/run_contract_testing.hpp"

namespace lumivar {
namespace {

using SV = StructuredValue;

LiveInputGate test_gate() { return LiveInputGate(*prepare_input_interface(testing::test_run_contract().input_catalog)); }

const TypedInputPayload kPress{testing::kTestKeySchema, SV::boolean(true)};

TEST(LiveInputGate, AcceptedInputsAreNumberedFromZero) {
  LiveInputGate gate = test_gate();
  auto first = gate.submit("test.key.b", kPress, InputCoordinate::frame(3));
  auto second = gate.submit("test.key.b", kPress, InputCoordinate::frame(3));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->instance_id, 0u);
  EXPECT_EQ(second->instance_id, 1u);
  EXPECT_EQ(second->source(), InputSource::live(1));
  EXPECT_EQ(first->payload, kPress);
  EXPECT_EQ(first->coordinate, InputCoordinate::frame(3));
}

TEST(LiveInputGate, RefusalsInCheckOrderConsumeNoInstanceId) {
  LiveInputGate gate = test_gate();
  // Scheduled-only inputs are not part of the live interface.
  auto undeclared = gate.submit("test.key.a", kPress, InputCoordinate::frame(0));
  ASSERT_FALSE(undeclared);
  EXPECT_EQ(std::get<UndeclaredLiveInput>(undeclared.error()).input_id, "test.key.a");

  const TypedInputPayload other_schema{{"test.key", {1, 1, 0}}, SV::boolean(true)};
  auto mismatch = gate.submit("test.key.b", other_schema, InputCoordinate::step(0));
  ASSERT_FALSE(mismatch);
  EXPECT_EQ(std::get<LivePayloadSchemaMismatch>(mismatch.error()),
            (LivePayloadSchemaMismatch{"test.key.b", testing::kTestKeySchema, other_schema.schema}));

  const TypedInputPayload non_finite{testing::kTestKeySchema, SV::floating(std::numeric_limits<double>::infinity())};
  auto invalid = gate.submit("test.key.b", non_finite, InputCoordinate::step(0));
  ASSERT_FALSE(invalid);
  EXPECT_EQ(std::get<InvalidLivePayload>(invalid.error()).message,
            "canonical structured values reject non-finite floats");

  auto coordinate = gate.submit("test.key.b", kPress, InputCoordinate::step(0));
  ASSERT_FALSE(coordinate);
  EXPECT_EQ(std::get<LiveCoordinateMismatch>(coordinate.error()),
            (LiveCoordinateMismatch{"test.key.b",
                                    "input coordinate does not match FrameStart policy lumivar.coordinate.frame"}));

  EXPECT_EQ(gate.next_instance_id(), 0u);
  EXPECT_EQ(gate.submit("test.key.b", kPress, InputCoordinate::frame(0))->instance_id, 0u);
}

}  // namespace
}  // namespace lumivar
