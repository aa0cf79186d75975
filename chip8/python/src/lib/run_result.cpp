#include "chip8_python/lib/run_result.hpp"

#include "lumivar_core/encoding/json_writer.hpp"
#include "lumivar_core/event/json_members.hpp"

namespace lumivar::python {
namespace {

void write_status(JsonWriter& writer, std::string_view status) {
  writer.key("status");
  writer.write_string(status);
}

void write_summary(JsonWriter& writer, const chip8::bundle::RunSummary& summary) {
  writer.begin_object();
  writer.key("capabilities");
  writer.begin_array();
  for (const chip8::bundle::CapabilitySummary& capability : summary.capabilities) {
    writer.begin_object();
    writer.key("schema");
    writer.begin_object();
    writer.key("id");
    writer.write_string(capability.schema.id);
    writer.key("version");
    write_schema_version(writer, capability.schema.version);
    writer.end_object();
    writer.end_object();
  }
  writer.end_array();
  writer.key("common");
  writer.begin_object();
  writer.key("boot_success");
  writer.write_bool(summary.common.boot_success);
  writer.key("cycles");
  writer.write_u64(summary.common.cycles);
  writer.key("frames");
  writer.write_u64(summary.common.frames);
  writer.key("termination");
  writer.write_string(summary.common.termination);
  writer.end_object();
  writer.end_object();
}

void write_machine_execution(JsonWriter& writer, const MachineExecutionOutcome& outcome) {
  writer.begin_object();
  writer.key("result");
  if (outcome.status == MachineExecutionStatus::kCompleted) {
    write_summary(writer, *outcome.summary);
    write_status(writer, "completed");
  } else {
    writer.begin_object();
    writer.key("message");
    writer.write_string(outcome.message);
    writer.end_object();
    write_status(writer, outcome.status == MachineExecutionStatus::kFailed ? "failed"
                                                                           : "interrupted_by_evidence_failure");
  }
  writer.end_object();
}

void write_publication(JsonWriter& writer, const PublicationOutcome& outcome) {
  writer.begin_object();
  if (!outcome.published) {
    writer.key("details");
    writer.begin_object();
    writer.key("reason");
    writer.write_string(outcome.reason);
    writer.end_object();
  }
  write_status(writer, outcome.published ? "published" : "not_published");
  writer.end_object();
}

void write_recorder_finalization(JsonWriter& writer, const RecorderFinalizationOutcome& outcome) {
  writer.begin_object();
  switch (outcome.status) {
    case RecorderFinalizationStatus::kNotRequested:
      write_status(writer, "not_requested");
      break;
    case RecorderFinalizationStatus::kNotFinalized:
      writer.key("result");
      writer.begin_object();
      writer.key("reason");
      writer.write_string(outcome.text);
      writer.end_object();
      write_status(writer, "not_finalized");
      break;
    case RecorderFinalizationStatus::kFailed:
      writer.key("result");
      writer.begin_object();
      writer.key("message");
      writer.write_string(outcome.text);
      writer.end_object();
      write_status(writer, "failed");
      break;
  }
  writer.end_object();
}

}  // namespace

Result<std::string> run_result_json(const RunResult& result) {
  JsonWriter writer(JsonStyle::compact);
  writer.begin_object();
  writer.key("evidence_fulfillment");
  write_evidence_receipt(writer, result.evidence_fulfillment, MemberOrder::KeyOrder);
  writer.key("machine_execution");
  write_machine_execution(writer, result.machine_execution);
  writer.key("publication");
  write_publication(writer, result.publication);
  writer.key("published_run");
  if (result.published_path) {
    writer.begin_object();
    writer.key("path");
    writer.write_string(*result.published_path);
    writer.key("published");
    writer.write_bool(true);
    writer.end_object();
  } else {
    writer.write_null();
  }
  writer.key("python_sink_delivery");
  if (!writer.write_value(recorder::to_json(result.python_sink_delivery))) {
    return fail("cannot convert the run result to JSON: non-finite float");
  }
  writer.key("recorder_finalization");
  write_recorder_finalization(writer, result.recorder_finalization);
  writer.end_object();
  return writer.take();
}

}  // namespace lumivar::python
