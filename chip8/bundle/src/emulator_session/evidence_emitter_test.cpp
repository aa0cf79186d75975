#include "chip8_bundle/emulator_session/evidence_emitter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chip8_bundle/emulator_session/chip8_session.hpp"
#include "chip8_bundle/emulator_session/session_testing.hpp"
#include "lumivar_core/digest/sha256.hpp"
#include "lumivar_core/emission/budgeted_sink.hpp"
#include "lumivar_core/emission/emission_sink_testing.hpp"

namespace chip8::bundle {
namespace {

using lumivar::EventKindTag;
using lumivar::JsonObject;
using lumivar::JsonValue;
using lumivar::NormalizedEvent;
using lumivar::OwnedEmission;
using lumivar::testing::RecordingSink;
using testing::make_session;
using testing::RunSpec;

const std::vector<std::uint8_t> kLoopForever = {0x12, 0x00};
const std::vector<std::uint8_t> kHaltSecond = {0x60, 0x01, 0x00, 0xFD};
const std::vector<std::uint8_t> kInvalidFirst = {0x51, 0x21};
// LD V0, 3; LD DT, V0; LD V1, 1; LD ST, V1; loop at 0x208.
const std::vector<std::uint8_t> kTimers = {0x60, 0x03, 0xF0, 0x15, 0x61, 0x01, 0xF1, 0x18, 0x12, 0x08};

lumivar::EventSelection kinds_selection(std::initializer_list<lumivar::EventKind> kinds) {
  return lumivar::EventSelection::of_kinds(kinds);
}

// One line per emission: the kind, and for an event its normalized kind.
std::vector<std::string> emission_log(const RecordingSink& sink) {
  std::vector<std::string> log;
  for (const OwnedEmission& emission : sink.emissions) {
    std::string line(lumivar::spelling(emission.kind()));
    if (emission.kind() == lumivar::EmissionKind::Event) {
      line += ":" + lumivar::event_kind_text(emission.get<NormalizedEvent>().kind);
    }
    log.push_back(std::move(line));
  }
  return log;
}

std::vector<NormalizedEvent> events_of(const RecordingSink& sink) {
  std::vector<NormalizedEvent> events;
  for (const OwnedEmission& emission : sink.emissions) {
    if (emission.kind() == lumivar::EmissionKind::Event) events.push_back(emission.get<NormalizedEvent>());
  }
  return events;
}

template <class T>
std::vector<T> payloads_of(const RecordingSink& sink, lumivar::EmissionKind kind) {
  std::vector<T> payloads;
  for (const OwnedEmission& emission : sink.emissions) {
    if (emission.kind() == kind) payloads.push_back(emission.get<T>());
  }
  return payloads;
}

RunSummary execute_into(Chip8Session& session, RecordingSink& sink) {
  auto summary = session.execute(sink);
  if (!summary) {
    ADD_FAILURE() << summary.error().message;
    return {};
  }
  return *summary;
}

// A short run with every kind of evidence the session emits itself.
RunSpec evidence_rich_run() {
  RunSpec run_spec{.rom = kHaltSecond,
               .cycles_per_frame = 1,
               .frame_limit = 5,
               .schedule = {{.ordinal = 0, .frame = 1, .key = 10, .active = true}}};
  lumivar::ObservationRequest& o = run_spec.observation;
  o.normalized_events.events = kinds_selection(
      {EventKindTag::RunStarted, EventKindTag::InputApplied, EventKindTag::FrameCompleted, EventKindTag::RunHalted});
  o.frames.capture = lumivar::FrameCapture::Hashes;
  o.native_evidence.enabled = true;
  o.native_evidence.all = true;
  o.input_value_evidence.enabled = true;
  o.capabilities = {{"chip8.framebuffer", true, nullptr}, {"chip8.input_summary", false, nullptr}};
  return run_spec;
}

TEST(SessionEvidence, EmissionOrderOfAShortRun) {
  Chip8Session session = make_session(evidence_rich_run());
  RecordingSink sink("sink");
  const RunSummary summary = execute_into(session, sink);
  EXPECT_EQ(summary.common.termination, "Completed");
  EXPECT_EQ(emission_log(sink), (std::vector<std::string>{
                                    "run_started",
                                    "event:run_started",
                                    "event:frame_completed",  // frame 0: LD V0, 1
                                    "frame",
                                    "event:input_applied",  // frame 1 starts with key A down, then halts
                                    "input_value_evidence",
                                    "event:run_halted",
                                    "native_evidence",
                                    "native_evidence",
                                    "native_evidence",
                                    "run_finished",
                                }));
  EXPECT_EQ(sink.log(), (std::vector<std::string>{
                            "sink:run_started", "sink:event", "sink:event", "sink:frame", "sink:event",
                            "sink:input_value_evidence", "sink:event", "sink:native_evidence", "sink:native_evidence",
                            "sink:native_evidence", "sink:capability_outputs", "sink:capability_receipts",
                            "sink:run_finished"}));

  const std::vector<NormalizedEvent> events = events_of(sink);
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].sequence, i);
    EXPECT_EQ(events[i].run_id, "run-1");
    EXPECT_EQ(events[i].arch, "chip8");
    EXPECT_EQ(events[i].machine_version, "chip8-family-semantics.v1");
    EXPECT_EQ(events[i].schema_version, (lumivar::SchemaVersion{1, 0, 0}));
    EXPECT_FALSE(events[i].instruction);
  }
  // run_started at the boot PC; frame_completed after one cycle, frame 0;
  // input_applied at frame 1 without pc; run_halted after the halt.
  EXPECT_EQ(events[0].pc, (lumivar::SpaceAddress{"program", 0x200}));
  EXPECT_EQ(events[0].cycle_or_tick, 0u);
  EXPECT_EQ(events[1].step, 1u);
  EXPECT_EQ(events[1].frame, 0u);
  EXPECT_EQ(events[1].pc, (lumivar::SpaceAddress{"program", 0x202}));
  EXPECT_EQ(events[2].frame, 1u);
  EXPECT_FALSE(events[2].pc);
  EXPECT_EQ(events[3].kind.tag, EventKindTag::RunHalted);
  EXPECT_EQ(events[3].step, 2u);
  EXPECT_EQ(events[3].frame, 1u);
  EXPECT_EQ(events[3].pc, (lumivar::SpaceAddress{"program", 0x204}));  // past the EXIT

  const auto finished = payloads_of<lumivar::RunFinishedRecord>(sink, lumivar::EmissionKind::RunFinished);
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_EQ(finished[0].common, summary.common);
  const auto started = payloads_of<lumivar::RunStartedRecord>(sink, lumivar::EmissionKind::RunStarted);
  EXPECT_EQ(started[0], lumivar::run_started_record(session.execution_request()));
  EXPECT_FALSE(session.event_projection_accumulator_active());
}

TEST(SessionEvidence, FrameArtifactsInBothCaptureModes) {
  for (const lumivar::FrameCapture capture : {lumivar::FrameCapture::Hashes, lumivar::FrameCapture::Full}) {
    RunSpec run_spec{.rom = {0xA0, 0x50, 0xD0, 0x15, 0x12, 0x04},  // LD I, 0x050; DRW V0, V0, 5; loop
                 .cycles_per_frame = 2,
                 .frame_limit = 2};
    run_spec.observation.normalized_events.events = lumivar::EventSelectionLevel::Lifecycle;
    run_spec.observation.frames.capture = capture;
    Chip8Session session = make_session(run_spec);
    RecordingSink sink("sink");
    execute_into(session, sink);
    const auto frames = payloads_of<lumivar::FrameArtifact>(sink, lumivar::EmissionKind::Frame);
    ASSERT_EQ(frames.size(), 2u);
    const std::vector<std::uint8_t> pixels = session.emulator().export_frame();
    const lumivar::Sha256Digest digest = lumivar::sha256(pixels);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const lumivar::FrameArtifact& frame = frames[i];
      EXPECT_EQ(frame.schema, (lumivar::SchemaRef{"lumivar.frame_artifact", {1, 0, 0}}));
      EXPECT_EQ(frame.run_id, "run-1");
      EXPECT_EQ(frame.machine_id, "chip8");
      EXPECT_EQ(frame.machine_version, "chip8-family-semantics.v1");
      EXPECT_EQ(frame.frame, i);
      EXPECT_EQ(frame.step, 2 * (i + 1));
      // frame_completed is not selected by "lifecycle": the next sequence, 1.
      EXPECT_EQ(frame.sequence, 1u);
      if (capture == lumivar::FrameCapture::Hashes) {
        EXPECT_EQ(frame.representation_schema, (lumivar::SchemaRef{"chip8.frame_fingerprint", {1, 0, 0}}));
        EXPECT_EQ(frame.evidence.kind, lumivar::FrameEvidenceKind::Fingerprint);
        EXPECT_EQ(frame.evidence.bytes, lumivar::ByteString(digest.begin(), digest.end()));
      } else {
        EXPECT_EQ(frame.representation_schema,
                  (lumivar::SchemaRef{"chip8.physical_backing_pixels.plane_major", {1, 0, 0}}));
        EXPECT_EQ(frame.evidence.kind, lumivar::FrameEvidenceKind::Full);
        EXPECT_EQ(frame.evidence.bytes, pixels);
        EXPECT_EQ(frame.evidence.bytes.size(), 16'384u);
      }
    }
  }
}

TEST(SessionEvidence, FrameSequenceIsThatOfItsFrameCompletedEvent) {
  RunSpec run_spec{.rom = kLoopForever, .cycles_per_frame = 2, .frame_limit = 3};
  run_spec.observation.normalized_events.events = kinds_selection({EventKindTag::FrameCompleted});
  run_spec.observation.frames.capture = lumivar::FrameCapture::Hashes;
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  execute_into(session, sink);
  const auto frames = payloads_of<lumivar::FrameArtifact>(sink, lumivar::EmissionKind::Frame);
  const std::vector<NormalizedEvent> events = events_of(sink);
  ASSERT_EQ(frames.size(), 3u);
  ASSERT_EQ(events.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(frames[i].sequence, events[i].sequence);
}

TEST(SessionEvidence, NothingSelectedStillEmitsFramesAndNativeEvidence) {
  RunSpec run_spec{.rom = kLoopForever, .cycles_per_frame = 2, .frame_limit = 2};
  run_spec.observation.frames.capture = lumivar::FrameCapture::Hashes;
  run_spec.observation.native_evidence.enabled = true;
  run_spec.observation.native_evidence.kinds = {"chip8.coverage"};
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  execute_into(session, sink);
  EXPECT_EQ(emission_log(sink),
            (std::vector<std::string>{"run_started", "frame", "frame", "native_evidence", "run_finished"}));
  for (const auto& frame : payloads_of<lumivar::FrameArtifact>(sink, lumivar::EmissionKind::Frame)) {
    EXPECT_EQ(frame.sequence, 0u);
  }
  EXPECT_EQ(session.next_sequence(), 0u);
  const auto native = payloads_of<lumivar::NativeEvidenceRecord>(sink, lumivar::EmissionKind::NativeEvidence);
  ASSERT_EQ(native.size(), 1u);
  EXPECT_EQ(native[0].native_event.kind, "chip8.coverage");
  EXPECT_EQ(native[0].sequence, 2u);  // its fixed position among the three records
}

TEST(SessionEvidence, NativeEvidenceRecordsOfTheRun) {
  RunSpec run_spec{.rom = kHaltSecond, .cycles_per_frame = 4, .frame_limit = 2};
  run_spec.observation.native_evidence.enabled = true;
  run_spec.observation.native_evidence.all = true;
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  execute_into(session, sink);
  const auto native = payloads_of<lumivar::NativeEvidenceRecord>(sink, lumivar::EmissionKind::NativeEvidence);
  ASSERT_EQ(native.size(), 3u);
  const std::vector<std::pair<std::string, lumivar::SchemaVersion>> expected = {
      {"chip8.framebuffer", {1, 0, 0}}, {"chip8.execution_summary", {2, 0, 0}}, {"chip8.coverage", {1, 0, 0}}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(native[i].schema, (lumivar::SchemaRef{"lumivar.native_evidence", {1, 0, 0}}));
    EXPECT_EQ(native[i].run_id, "run-1");
    EXPECT_EQ(native[i].machine_id, "chip8");
    EXPECT_EQ(native[i].machine_version, "chip8-family-semantics.v1");
    EXPECT_EQ(native[i].sequence, i);
    EXPECT_EQ(native[i].step, 2u);
    EXPECT_EQ(native[i].native_event.kind, expected[i].first);
    EXPECT_EQ(native[i].native_event.schema, (lumivar::SchemaRef{expected[i].first, expected[i].second}));
  }
  const JsonObject& framebuffer = native[0].native_event.payload.as<JsonObject>();
  EXPECT_EQ(framebuffer.at("width"), JsonValue(128));
  EXPECT_EQ(framebuffer.at("height"), JsonValue(64));
  EXPECT_EQ(framebuffer.at("planes"), JsonValue(2));
  EXPECT_EQ(framebuffer.at("bytes"), lumivar::bytes_to_json(session.emulator().export_frame()));
  EXPECT_EQ(native[1].native_event.payload,
            JsonValue(JsonObject{{"rom_hash", JsonValue(fnv1a_64(kHaltSecond))},
                                 {"draw_count", JsonValue(0)},
                                 {"collision_count", JsonValue(0)},
                                 {"input_opcode_count", JsonValue(0)}}));
  EXPECT_EQ(native[2].native_event.payload,
            JsonValue(JsonObject{{"unique_pcs", JsonValue(2)},
                                 {"unique_edges", JsonValue(2)},
                                 {"memory_written_bytes", JsonValue(0)},
                                 {"max_stack_depth", JsonValue(0)}}));
}

TEST(SessionEvidence, InputAppliedEventsFollowTheAccessDetail) {
  struct Case {
    lumivar::AccessDetail detail;
    bool read_value;
    bool write_before;
    bool write_after;
  };
  const std::vector<Case> cases = {{lumivar::AccessDetail::None, false, false, false},
                                   {lumivar::AccessDetail::AfterOnly, true, false, true},
                                   {lumivar::AccessDetail::BeforeAndAfter, true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(lumivar::spelling(c.detail)));
    RunSpec run_spec{.rom = kLoopForever,
                 .frame_limit = 2,
                 .schedule = {{.ordinal = 3, .frame = 1, .key = 2, .active = true},
                              {.ordinal = 4, .frame = 1, .key = 15, .active = true}}};
    run_spec.observation.normalized_events.events = kinds_selection({EventKindTag::InputApplied});
    run_spec.observation.normalized_events.access_detail = c.detail;
    Chip8Session session = make_session(run_spec);
    RecordingSink sink("sink");
    execute_into(session, sink);
    const std::vector<NormalizedEvent> events = events_of(sink);
    ASSERT_EQ(events.size(), 2u);
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> masks = {{0x0000, 0x0004}, {0x0004, 0x8004}};
    for (std::size_t i = 0; i < 2; ++i) {
      const NormalizedEvent& event = events[i];
      EXPECT_EQ(event.kind.tag, EventKindTag::InputApplied);
      EXPECT_EQ(event.frame, 1u);
      EXPECT_EQ(event.step, 4u);
      EXPECT_FALSE(event.pc);
      const lumivar::StateLocation keypad{lumivar::StateSpaceTag::Input, "keypad_mask", std::nullopt, 16};
      ASSERT_EQ(event.reads.size(), 1u);
      ASSERT_EQ(event.writes.size(), 1u);
      EXPECT_EQ(event.reads[0].location, keypad);
      EXPECT_EQ(event.writes[0].location, keypad);
      EXPECT_EQ(event.reads[0].value, c.read_value ? std::optional(JsonValue(masks[i].first)) : std::nullopt);
      EXPECT_EQ(event.writes[0].before, c.write_before ? std::optional(JsonValue(masks[i].first)) : std::nullopt);
      EXPECT_EQ(event.writes[0].after, c.write_after ? std::optional(JsonValue(masks[i].second)) : std::nullopt);
      ASSERT_EQ(event.io.size(), 1u);
      const std::string input_id = i == 0 ? "chip8.key.2" : "chip8.key.f";
      EXPECT_EQ(event.io[0].port, "keypad_in");
      EXPECT_EQ(event.io[0].direction, lumivar::IoDirection::Input);
      EXPECT_EQ(event.io[0].channel, lumivar::IoChannel(lumivar::IoChannelTag::Keypad));
      EXPECT_EQ(event.io[0].value,
                JsonValue(JsonObject{{"input_id", JsonValue(input_id)}, {"ordinal", JsonValue(3 + i)}}));
      const lumivar::InputApplication application{
          .input_id = input_id,
          .input_schema = {"chip8.input.key", {1, 0, 0}},
          .source = lumivar::InputSource::scheduled(3 + i),
          .application_coordinate = lumivar::InputCoordinate::frame(1),
          .payload = {{"chip8.input.key", {1, 0, 0}}, lumivar::StructuredValue::boolean(true)}};
      EXPECT_EQ(event.extensions.at("lumivar.input_applied"), lumivar::to_json(application));
    }
    // No input-value evidence was asked for.
    EXPECT_TRUE(payloads_of<lumivar::InputApplication>(sink, lumivar::EmissionKind::InputValueEvidence).empty());
  }
}

TEST(SessionEvidence, FrameTickEventsForRunningTimers) {
  RunSpec run_spec{.rom = kTimers, .cycles_per_frame = 5, .frame_limit = 4};
  run_spec.observation.normalized_events.events =
      kinds_selection({EventKindTag::TimerChanged, EventKindTag::SoundEmitted});
  run_spec.observation.normalized_events.access_detail = lumivar::AccessDetail::BeforeAndAfter;
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  execute_into(session, sink);
  // Frame-end ticks carry no pc; events of steps do.
  std::vector<NormalizedEvent> ticks;
  for (NormalizedEvent& event : events_of(sink)) {
    if (!event.pc) ticks.push_back(std::move(event));
  }
  ASSERT_EQ(ticks.size(), 4u);  // frame 0: sound and timers; frames 1, 2: delay; frame 3: none

  const NormalizedEvent& sound = ticks[0];
  EXPECT_EQ(sound.kind.tag, EventKindTag::SoundEmitted);
  EXPECT_EQ(sound.step, 5u);
  EXPECT_EQ(sound.frame, 0u);
  ASSERT_EQ(sound.reads.size(), 3u);
  EXPECT_EQ(sound.reads[0].location, (lumivar::StateLocation{lumivar::StateSpaceTag::Timer, "sound", std::nullopt, 8}));
  EXPECT_EQ(sound.reads[0].value, JsonValue(1));
  EXPECT_EQ(sound.reads[1].location,
            (lumivar::StateLocation{lumivar::StateSpace::extension_member("chip8.audio"), "pattern", std::nullopt, 128}));
  EXPECT_EQ(sound.reads[1].value, lumivar::bytes_to_json(session.emulator().machine().pattern));
  EXPECT_EQ(sound.reads[2].location,
            (lumivar::StateLocation{lumivar::StateSpaceTag::Output, "audio_pitch", std::nullopt, 8}));
  EXPECT_EQ(sound.reads[2].value, JsonValue(64));
  ASSERT_EQ(sound.io.size(), 1u);
  EXPECT_EQ(sound.io[0].port, "sound_out");
  EXPECT_EQ(sound.io[0].channel, lumivar::IoChannel(lumivar::IoChannelTag::Sound));
  EXPECT_EQ(sound.io[0].value, JsonValue(JsonObject{{"active", JsonValue(true)},
                                                    {"timer_before", JsonValue(1)},
                                                    {"timer_after", JsonValue(0)}}));

  const NormalizedEvent& both = ticks[1];
  EXPECT_EQ(both.kind.tag, EventKindTag::TimerChanged);
  ASSERT_EQ(both.writes.size(), 2u);
  EXPECT_EQ(both.writes[0].location.name, "delay");
  EXPECT_EQ(both.writes[0].before, JsonValue(3));
  EXPECT_EQ(both.writes[0].after, JsonValue(2));
  EXPECT_EQ(both.writes[1].location.name, "sound");
  ASSERT_EQ(both.io.size(), 1u);
  EXPECT_EQ(both.io[0].port, "timer_out");
  EXPECT_EQ(both.io[0].direction, lumivar::IoDirection::Output);
  EXPECT_EQ(both.io[0].value, JsonValue(JsonObject{{"delay_before", JsonValue(3)},
                                                   {"delay_after", JsonValue(2)},
                                                   {"sound_before", JsonValue(1)},
                                                   {"sound_after", JsonValue(0)},
                                                   {"source", JsonValue("frame_tick")}}));

  // Delay 2 -> 1 and 1 -> 0 with the sound timer idle: one delay write, no sound event.
  for (std::size_t i = 2; i < 4; ++i) {
    EXPECT_EQ(ticks[i].kind.tag, EventKindTag::TimerChanged);
    EXPECT_EQ(ticks[i].frame, i - 1);
    ASSERT_EQ(ticks[i].writes.size(), 1u);
    EXPECT_EQ(ticks[i].writes[0].location.name, "delay");
  }
}

TEST(SessionEvidence, SinkRefusingRunStartedEndsTheRunAtOnce) {
  Chip8Session session = make_session(evidence_rich_run());
  RecordingSink sink("sink");
  sink.fail_calls({0}, "closed");
  auto summary = session.execute(sink);
  ASSERT_FALSE(summary);
  EXPECT_EQ(summary.error().message, "emission sink rejected run data: closed");
  EXPECT_TRUE(sink.emissions.empty());
  EXPECT_EQ(sink.log(), std::vector<std::string>{"sink:run_started"});
  EXPECT_EQ(session.lifecycle(), SessionLifecycle::Terminal);
}

TEST(SessionEvidence, SinkRefusalLaterInTheRunStopsAllFurtherEmission) {
  Chip8Session session = make_session(evidence_rich_run());
  RecordingSink sink("sink");
  sink.fail_calls({3}, "disk full");  // the first frame artifact
  auto summary = session.execute(sink);
  ASSERT_FALSE(summary);
  EXPECT_EQ(summary.error().message, "emission sink rejected run data: disk full");
  EXPECT_EQ(sink.log(), (std::vector<std::string>{"sink:run_started", "sink:event", "sink:event", "sink:frame"}));
}

TEST(SessionEvidence, BudgetedSinkCountsTheRunAndReportsBudgetFailures) {
  RunSpec run_spec = evidence_rich_run();
  {
    Chip8Session session = make_session(run_spec);
    RecordingSink downstream("python");
    auto sink = lumivar::BudgetedSink::create(run_spec.observation, "run-1", "chip8", "chip8-python-bundle",
                                              {.file_recorder = nullptr, .python_batch_sink = &downstream});
    ASSERT_TRUE(sink);
    auto summary = session.execute(*sink);
    ASSERT_TRUE(summary) << summary.error().message;
    auto receipt = sink->finish();
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->status, lumivar::ReceiptStatus::Complete);
    EXPECT_EQ(receipt->channels[static_cast<std::size_t>(lumivar::EvidenceChannel::NormalizedEvents)].item_count, 4u);
    EXPECT_EQ(receipt->channels[static_cast<std::size_t>(lumivar::EvidenceChannel::Envelope)].item_count, 2u);
    EXPECT_EQ(downstream.emissions.back().kind(), lumivar::EmissionKind::EvidenceReceipt);
  }
  run_spec.observation.budgets.max_normalized_events = 2;
  Chip8Session session = make_session(run_spec);
  auto sink = lumivar::BudgetedSink::create(run_spec.observation, "run-1", "chip8", "chip8-python-bundle", {});
  ASSERT_TRUE(sink);
  auto summary = session.execute(*sink);
  ASSERT_FALSE(summary);
  EXPECT_EQ(summary.error().message, "emission sink rejected run data: emission budget exceeded: NormalizedEvents");
  auto receipt = sink->finish();
  ASSERT_TRUE(receipt);
  EXPECT_EQ(receipt->status, lumivar::ReceiptStatus::Failed);
}

TEST(SessionEvidence, IdenticalRunsEmitIdenticalStreams) {
  RunSpec run_spec = evidence_rich_run();
  run_spec.observation.frames.capture = lumivar::FrameCapture::Full;
  Chip8Session first = make_session(run_spec);
  Chip8Session second = make_session(run_spec);
  RecordingSink a("a");
  RecordingSink b("b");
  execute_into(first, a);
  execute_into(second, b);
  ASSERT_FALSE(a.emissions.empty());
  EXPECT_EQ(a.emissions, b.emissions);
  EXPECT_EQ(a.outputs, b.outputs);
  EXPECT_EQ(a.receipts, b.receipts);

  ASSERT_TRUE(first.reset());
  RecordingSink again("again");
  execute_into(first, again);
  EXPECT_EQ(again.emissions, a.emissions);
  for (std::size_t i = 0; i < a.emissions.size(); ++i) {
    EXPECT_EQ(again.emissions[i].payload_json(), a.emissions[i].payload_json());
  }
}

TEST(SessionEvidence, CrashEndsWithRunCrashed) {
  RunSpec run_spec{.rom = kInvalidFirst};
  run_spec.observation.normalized_events.events = lumivar::EventSelectionLevel::Lifecycle;
  Chip8Session session = make_session(run_spec);
  RecordingSink sink("sink");
  execute_into(session, sink);
  EXPECT_EQ(emission_log(sink), (std::vector<std::string>{"run_started", "event:run_started", "event:run_crashed",
                                                          "run_finished"}));
  EXPECT_EQ(events_of(sink)[1].step, 1u);
  EXPECT_EQ(events_of(sink)[1].frame, 0u);
}

// Emitter-level checks: a ledger and an emitter over a recording sink.
struct EmitterRig {
  explicit EmitterRig(lumivar::ObservationRequest request) {
    RunSpec run_spec{.rom = kLoopForever};
    run_spec.observation = std::move(request);
    session.emplace(make_session(run_spec));
    emitter.emplace(sink, session->observation(), run_id, ledger);
  }
  std::string run_id = "run-1";
  RecordingSink sink{"sink"};
  EventLedger ledger;
  std::optional<Chip8Session> session;
  std::optional<SessionEvidenceEmitter> emitter;
};

TEST(SessionEvidenceEmitter, SnapshotDigestStaysOutOfTheProjection) {
  lumivar::ObservationRequest request;
  request.normalized_events.events = lumivar::EventSelectionLevel::All;
  EmitterRig first(request);
  EmitterRig second(request);
  ASSERT_TRUE(first.emitter->emit_snapshot(first.session->emulator(), {1, 2, 3}));
  ASSERT_TRUE(second.emitter->emit_snapshot(second.session->emulator(), {4, 5, 6}));
  EXPECT_EQ(lumivar::spelling(first.sink.emissions[1].kind()), "snapshot");
  const NormalizedEvent& a = first.sink.emissions[0].get<NormalizedEvent>();
  const NormalizedEvent& b = second.sink.emissions[0].get<NormalizedEvent>();
  EXPECT_EQ(a.kind.tag, EventKindTag::SnapshotCaptured);
  EXPECT_NE(a, b);
  const JsonObject& extension = a.extensions.at("lumivar.snapshot").as<JsonObject>();
  EXPECT_EQ(extension.at("byte_len"), JsonValue(3));
  EXPECT_EQ(extension.at("state_schema"), lumivar::to_json(lumivar::SchemaRef{"chip8.session.snapshot", {5, 0, 0}}));
  const auto envelope = first.sink.emissions[1].get<lumivar::SnapshotEnvelope>();
  EXPECT_EQ(envelope.sequence, a.sequence);
  EXPECT_EQ(envelope.byte_len, 3u);
  EXPECT_TRUE(lumivar::validate_snapshot_envelope(envelope));
  EXPECT_EQ(first.ledger.finish_projection(), second.ledger.finish_projection());
}

TEST(SessionEvidenceEmitter, SequencesCountOnlySelectedEvents) {
  lumivar::ObservationRequest request;
  request.normalized_events.events = kinds_selection({EventKindTag::RunHalted});
  EmitterRig rig(request);
  auto dropped = rig.emitter->emit_event(rig.emitter->session_event(EventKindTag::RunStarted, 0, 0, 0x200));
  ASSERT_TRUE(dropped);
  EXPECT_FALSE(dropped->emitted);
  auto kept = rig.emitter->emit_event(rig.emitter->session_event(EventKindTag::RunHalted, 5, 1, 0x204));
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->emitted);
  EXPECT_EQ(kept->sequence, 0u);
  EXPECT_EQ(rig.ledger.next_sequence, 1u);
  EXPECT_EQ(rig.ledger.projection.event_count(), 1u);
  EXPECT_EQ(rig.sink.emissions.size(), 1u);

  rig.ledger.next_sequence = std::numeric_limits<std::uint64_t>::max();
  auto overflow = rig.emitter->emit_event(rig.emitter->session_event(EventKindTag::RunHalted, 5, 1, 0x204));
  ASSERT_FALSE(overflow);
  EXPECT_EQ(overflow.error().message, "CHIP-8 event sequence overflow");
  EXPECT_EQ(rig.sink.emissions.size(), 1u);
}

TEST(SessionEvidenceEmitter, FrameEvidenceNeedsACompletedFrame) {
  EmitterRig rig({});
  auto refused = rig.emitter->emit_frame_completed(rig.session->emulator());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, "CHIP-8 emitted frame evidence before completing a frame");
}

}  // namespace
}  // namespace chip8::bundle
