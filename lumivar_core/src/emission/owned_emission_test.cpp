#include "lumivar_core/run_identity/prepared_run.hpp"
#include "lumivar_core/run_identity/run_contract_testing.hpp"
#include "lumivar_core/emission/owned_emission.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "lumivar_core/encoding/canonical_json.hpp"
#include "lumivar_core/encoding/hex_testing.hpp"
#include "lumivar_core/event/normalized_event_testing.hpp"

namespace lumivar {
namespace {

TEST(OwnedEmission, KindsSpellingsAndChannels) {
  struct Case {
    EmissionKind kind;
    std::string_view spelling;
    std::optional<EvidenceChannel> channel;
  };
  const Case cases[] = {
      {EmissionKind::RunStarted, "run_started", EvidenceChannel::Envelope},
      {EmissionKind::Event, "event", EvidenceChannel::NormalizedEvents},
      {EmissionKind::NativeEvidence, "native_evidence", EvidenceChannel::NativeEvidence},
      {EmissionKind::InputValueEvidence, "input_value_evidence", EvidenceChannel::InputValueEvidence},
      {EmissionKind::Frame, "frame", EvidenceChannel::Frames},
      {EmissionKind::Snapshot, "snapshot", EvidenceChannel::Snapshots},
      {EmissionKind::EvidenceReceipt, "evidence_receipt", std::nullopt},
      {EmissionKind::RunFinished, "run_finished", EvidenceChannel::Envelope},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(cases[i].kind), i);
    EXPECT_EQ(spelling(cases[i].kind), cases[i].spelling);
    EXPECT_EQ(emission_channel(cases[i].kind), cases[i].channel);
  }
}

TEST(OwnedEmission, EventCarriesItsCanonicalJsonOnce) {
  NormalizedEvent event = testing::full_event();
  CanonicalEventJson encoded = encode_normalized_event(event).value();
  OwnedEmission emission = OwnedEmission::event(event).value();
  EXPECT_EQ(emission.kind(), EmissionKind::Event);
  EXPECT_EQ(emission.get<NormalizedEvent>(), event);
  EXPECT_BYTES_EQ(encoded.json, emission.payload_json());
  EXPECT_EQ(emission.run_id_member(), encoded.run_id_member);
  EXPECT_EQ(emission.logical_bytes(), encoded.json.size());
  std::string record = R"({"kind":"event","record":)" + encoded.json + "}";
  EXPECT_BYTES_EQ(record, emission.record_json());
  JsonWriter writer;
  emission.write_record(writer);
  EXPECT_BYTES_EQ(record, writer.view());
}

TEST(OwnedEmission, RecordGoldenVectors) {
  NativeEvidenceRecord native = native_evidence_record(
      "run-1", "chip8", "mv", NativeEvent{{"chip8.event", {1, 0, 0}}, "chip8.framebuffer", JsonObject{{"w", 64}}}, 3,
      9);
  RunFinishedRecord finished{RunFinishedCommon{10, 2, "step_limit", true}};
  struct Case {
    Result<OwnedEmission> emission;
    std::string_view record;
    std::uint64_t logical_bytes;  // 0 means the JSON length
  };
  const Case cases[] = {
      {OwnedEmission::native_evidence(native),
       R"({"kind":"native_evidence","record":{"machine_id":"chip8","machine_version":"mv",)"
       R"("native_event":{"kind":"chip8.framebuffer","payload":{"w":64},)"
       R"("schema":{"id":"chip8.event","version":{"major":1,"minor":0,"patch":0}}},"run_id":"run-1",)"
       R"("schema":{"id":"lumivar.native_evidence","version":{"major":1,"minor":0,"patch":0}},"sequence":3,"step":9}})",
       0},
      {OwnedEmission::run_finished(finished),
       R"({"kind":"run_finished","record":{"common":{"boot_success":true,"cycles":10,"frames":2,"termination":"step_limit"}}})",
       0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.emission.has_value());
    EXPECT_BYTES_EQ(c.record, c.emission->record_json());
  }
  EXPECT_EQ(cases[0].emission->logical_bytes(), cases[0].emission->payload_json().size());
  EXPECT_EQ(cases[1].emission->logical_bytes(), 0u);
}

TEST(OwnedEmission, SizesOfTheOtherKinds) {
  SnapshotEnvelope envelope = snapshot_envelope({"s", {1, 0, 0}}, "r", "chip8", "mv", 0, 0, ByteString(300, 7));
  OwnedEmission snapshot = OwnedEmission::snapshot(envelope).value();
  EXPECT_EQ(snapshot.logical_bytes(), 300u);
  JsonWriter snapshot_json;
  write_snapshot_envelope(snapshot_json, envelope);
  EXPECT_EQ(snapshot.payload_json(), snapshot_json.view());

  FrameArtifact artifact = frame_artifact_fingerprint({"f", {1, 0, 0}}, "r", "chip8", "mv", 1, 2, 3, {1, 2});
  OwnedEmission frame = OwnedEmission::frame(artifact).value();
  EXPECT_EQ(frame.logical_bytes(), frame.payload_json().size());

  OwnedEmission receipt = OwnedEmission::evidence_receipt(EvidenceReceipt{}).value();
  EXPECT_EQ(receipt.logical_bytes(), 0u);
  EXPECT_TRUE(receipt.payload_json().starts_with(R"({"budgets":)"));

  InputApplication application;
  application.input_id = "chip8.key.a";
  application.input_schema = SchemaRef{"chip8.input.key", {1, 0, 0}};
  application.source = InputSource::scheduled(4);
  application.application_coordinate = InputCoordinate::frame(12);
  application.payload = TypedInputPayload{{"chip8.input.key", {1, 0, 0}}, StructuredValue::boolean(true)};
  OwnedEmission input = OwnedEmission::input_value_evidence(application).value();
  EXPECT_EQ(input.payload_json(), canonical_json_bytes(to_json(application)).value());
  EXPECT_EQ(input.logical_bytes(), input.payload_json().size());
}

TEST(OwnedEmission, RunStartedIsTheRequestWithTheArtifactLength) {
  ExecutionRequest request;
  request.run_id = "run-1";
  request.machine_id = "chip8";
  request.artifact = {0x12, 0x00, 0xA0};
  request.configuration = MachineConfiguration{{"chip8.configuration", {1, 0, 0}}, StructuredValue::null()};
  request.input_schedule = empty_input_schedule();
  request.prepared_observation_id = ContentDigest::sha256(Sha256Digest{});
  RunStartedRecord record = run_started_record(request);
  EXPECT_EQ(record.artifact_length_bytes, 3u);

  JsonObject expected = to_json(request).as<JsonObject>();
  expected.erase("artifact");
  expected.emplace("artifact_length_bytes", JsonValue(3));
  OwnedEmission emission = OwnedEmission::run_started(record).value();
  EXPECT_BYTES_EQ(canonical_json_bytes(JsonValue(expected)).value(), emission.payload_json());
  EXPECT_TRUE(emission.payload_json().starts_with(R"({"artifact_length_bytes":3,"configuration":)"));
  EXPECT_EQ(emission.logical_bytes(), 0u);
}

TEST(OwnedEmission, RunStartedWithAPreparedIdentityIsItsCanonicalJson) {
  const ByteString rom = {0x12, 0x00, 0xA0, 0x50, 0xFF};
  Result<PreparedRun> run = prepare_run("run-2", testing::test_run_contract(), rom, testing::test_configuration({}),
                                        empty_input_schedule(), ExecutionControls{});
  ASSERT_TRUE(run.has_value()) << run.error().message;
  ExecutionRequest request;
  request.run_id = "run-2";
  request.machine_id = "test";
  request.artifact = rom;
  request.configuration = testing::test_configuration({});
  request.input_schedule = empty_input_schedule();
  request.prepared_run_identity = run->identity;
  const RunStartedRecord record = run_started_record(request);
  OwnedEmission emission = OwnedEmission::run_started(record).value();
  EXPECT_BYTES_EQ(canonical_json_bytes(to_json(record)).value(), emission.payload_json());
}

TEST(OwnedEmission, NonFinitePayloadIsRefused) {
  JsonValue nan(std::numeric_limits<double>::quiet_NaN());
  NativeEvidenceRecord native = native_evidence_record("r", "chip8", "mv", NativeEvent{{"e", {1, 0, 0}}, "k", nan}, 0, 0);
  NormalizedEvent event = testing::minimal_event();
  event.extensions.emplace("x", nan);
  for (const Result<OwnedEmission>& emission : {OwnedEmission::native_evidence(native), OwnedEmission::event(event)}) {
    ASSERT_FALSE(emission.has_value());
    EXPECT_EQ(emission.error().message, "cannot convert value to canonical JSON: non-finite float");
  }
}

TEST(NativeEvidenceRecord, Check) {
  NativeEvidenceRecord good =
      native_evidence_record("r", "chip8", "mv", NativeEvent{{"chip8.event", {1, 0, 0}}, "chip8.coverage", {}}, 0, 0);
  EXPECT_EQ(good.schema, (SchemaRef{"lumivar.native_evidence", {1, 0, 0}}));
  EXPECT_TRUE(check_native_evidence_record(good).has_value());

  struct Case {
    void (*change)(NativeEvidenceRecord&);
    std::string_view message;
  };
  const Case cases[] = {
      {[](NativeEvidenceRecord& r) { r.schema.version.minor = 2; },
       "unsupported native-evidence envelope schema lumivar.native_evidence 1.2.0"},
      {[](NativeEvidenceRecord& r) { r.schema.id = "lumivar.native"; },
       "unsupported native-evidence envelope schema lumivar.native 1.0.0"},
      {[](NativeEvidenceRecord& r) { r.native_event.kind = ""; }, "native-evidence event kind cannot be empty"},
      {[](NativeEvidenceRecord& r) { r.native_event.kind = " \t\n"; }, "native-evidence event kind cannot be empty"},
  };
  for (const Case& c : cases) {
    NativeEvidenceRecord record = good;
    c.change(record);
    Result<void> result = check_native_evidence_record(record);
    ASSERT_FALSE(result.has_value()) << c.message;
    EXPECT_EQ(result.error().message, c.message);
  }
}

}  // namespace
}  // namespace lumivar
