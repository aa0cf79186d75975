"""execute_prepared from Python: terminations, the result dict, sinks and their failures."""

import pytest

import lumivar_chip8
from documents import configuration, controls, key_entry, observation, schedule, text
from sinks import EventsOnlySink, RaisingSink, RecordingSink

PRESETS = ["chip8", "chip48", "vip", "schip", "xochip"]
LOOP = bytes([0x12, 0x00])  # 1200: jump to itself
HALT = bytes([0x00, 0xFD])
INVALID = bytes([0xE0, 0x00])  # E000 is not an accepted opcode
WAIT_KEY = bytes([0xF0, 0x0A])
# Skip the halt when key 5 is down, landing on an invalid opcode.
KEY5_PROBE = bytes([0x65, 0x05, 0xE5, 0x9E, 0x00, 0xFD, 0xE0, 0x00])

RESULT_KEYS = [
    "evidence_fulfillment",
    "machine_execution",
    "publication",
    "published_run",
    "python_sink_delivery",
    "recorder_finalization",
]


def prepare(rom, frame_limit=5, step_limit=None, preset="chip8", cycles_per_frame=7, sched=None, obs=None,
            run_id="run-1"):
    return lumivar_chip8.prepare_run(
        rom,
        run_id,
        text(configuration(preset, cycles_per_frame)),
        text(sched),
        text(controls(frame_limit=frame_limit, step_limit=step_limit)),
        text(obs),
    )


def common(result):
    assert result["machine_execution"]["status"] == "completed"
    return result["machine_execution"]["result"]["common"]


@pytest.mark.parametrize("preset", PRESETS)
def test_terminations_under_every_preset(preset):
    loop = common(lumivar_chip8.execute_prepared(prepare(LOOP, preset=preset), []))
    assert loop == {"boot_success": True, "cycles": 35, "frames": 5, "termination": "Timeout"}
    halt = common(lumivar_chip8.execute_prepared(prepare(HALT, preset=preset), []))
    assert halt == {"boot_success": True, "cycles": 1, "frames": 0, "termination": "Completed"}
    invalid = common(lumivar_chip8.execute_prepared(prepare(INVALID, preset=preset), []))
    assert invalid["termination"] == "InvalidOpcode"
    assert invalid["boot_success"] is False
    waiting = common(lumivar_chip8.execute_prepared(prepare(WAIT_KEY, preset=preset), []))
    assert waiting["termination"] == "WaitingForInput"
    stepped = common(lumivar_chip8.execute_prepared(prepare(WAIT_KEY, step_limit=3, preset=preset), []))
    assert stepped["termination"] == "step_limit"
    assert stepped["cycles"] == 3


def test_invalid_first_opcode_under_a_step_limit_of_one():
    result = common(lumivar_chip8.execute_prepared(prepare(INVALID, step_limit=1), []))
    assert result["termination"] == "step_limit"
    assert result["boot_success"] is False


@pytest.mark.parametrize(
    ("first", "second", "termination"),
    [(True, False, "Completed"), (False, True, "InvalidOpcode")],
)
def test_later_schedule_entry_for_the_same_key_and_frame_wins(first, second, termination):
    sched = schedule(key_entry(1, 0, 5, first), key_entry(2, 0, 5, second))
    result = common(lumivar_chip8.execute_prepared(prepare(KEY5_PROBE, sched=sched), []))
    assert result["termination"] == termination


def test_result_of_a_run_without_sinks():
    result = lumivar_chip8.execute_prepared(prepare(LOOP), [])
    assert list(result) == RESULT_KEYS
    assert result["python_sink_delivery"] == {
        "batches_delivered": 0,
        "failure": None,
        "items_delivered": 0,
        "logical_bytes_delivered": 0,
        "peak_batch_items": 0,
        "peak_batch_logical_bytes": 0,
        "sink_count": 0,
        "status": "not_requested",
    }
    assert result["recorder_finalization"] == {"status": "not_requested"}
    assert result["publication"] == {
        "details": {"reason": "file recorder was not requested"},
        "status": "not_published",
    }
    assert result["published_run"] is None
    assert result["evidence_fulfillment"]["status"] == "complete"
    assert list(result["evidence_fulfillment"]) == sorted(result["evidence_fulfillment"])


def test_output_path_none_behaves_as_omitted():
    prepared = prepare(LOOP)
    assert lumivar_chip8.execute_prepared(prepared, [], output_path=None) == lumivar_chip8.execute_prepared(
        prepared, []
    )


def test_stream_order_and_batches():
    sink = RecordingSink()
    prepared = prepare(LOOP, frame_limit=40, obs=observation(events="lifecycle", frames="hashes"))
    result = lumivar_chip8.execute_prepared(prepared, [sink])
    kinds = sink.kinds()
    assert kinds[0] == "run_started"
    assert kinds[-2:] == ["run_finished", "evidence_receipt"]
    assert [len(b) for b in sink.batches if b[0]["kind"] in ("run_started", "run_finished", "evidence_receipt")] == [
        1, 1, 1]
    assert max(len(b) for b in sink.batches) == 32
    assert kinds.count("frame") == 40
    delivery = result["python_sink_delivery"]
    assert delivery["status"] == "complete"
    # Capability outputs and receipts are deliveries of their own.
    deliveries = len(sink.batches) + len(sink.outputs) + len(sink.receipts)
    assert delivery["batches_delivered"] == deliveries
    assert delivery["items_delivered"] == len(kinds) + sum(map(len, sink.outputs + sink.receipts))
    assert delivery["peak_batch_items"] == 32
    assert sink.records[-1]["record"] == result["evidence_fulfillment"]


def test_every_sink_receives_the_same_stream():
    sinks = [RecordingSink(), RecordingSink()]
    lumivar_chip8.execute_prepared(prepare(LOOP, obs=observation(events="lifecycle")), tuple(sinks))
    assert sinks[0].batches == sinks[1].batches
    assert sinks[0].batches


def test_identical_calls_give_identical_evidence():
    prepared = prepare(LOOP, obs=observation(events="lifecycle", frames="full", native=True, native_all=True,
                                             capabilities=["chip8.framebuffer"]))
    runs = []
    for _ in range(2):
        sink = RecordingSink()
        result = lumivar_chip8.execute_prepared(prepared, [sink])
        runs.append((result, sink.batches, sink.outputs, sink.receipts))
    assert runs[0] == runs[1]


def test_second_sink_raising_is_reported_and_stops_the_run():
    first, second = RecordingSink(), RaisingSink(ValueError("boom"))
    result = lumivar_chip8.execute_prepared(prepare(LOOP, obs=observation(events="lifecycle")), [first, second])
    delivery = result["python_sink_delivery"]
    assert delivery["status"] == "failed"
    assert delivery["failure"] == {
        "batch_size": 1,
        "callback": "emission_batch",
        "exception_message": "ValueError: boom",
        "exception_type": "ValueError",
        "sink_identity": "python-sink-1",
        "sink_index": 1,
        "successfully_delivered_items": 1,
    }
    assert delivery["batches_delivered"] == 0
    assert [len(b) for b in first.batches] == [1]
    assert result["machine_execution"]["status"] == "interrupted_by_evidence_failure"
    assert result["evidence_fulfillment"]["failure"] is not None


def test_sink_without_capability_methods_fails_at_the_capability_delivery():
    sink = EventsOnlySink()
    obs = observation(events="lifecycle", capabilities=["chip8.execution_summary"], native=True, native_all=True)
    result = lumivar_chip8.execute_prepared(prepare(LOOP, obs=obs), [sink])
    failure = result["python_sink_delivery"]["failure"]
    assert failure["exception_type"] == "AttributeError"
    assert failure["callback"] == "capability_outputs"
    assert failure["sink_identity"] == "python-sink-0"
    assert result["machine_execution"]["status"] == "interrupted_by_evidence_failure"
    assert all(record["kind"] != "run_finished" for batch in sink.batches for record in batch)


@pytest.mark.parametrize("sinks", ["", "sink", 5, None, {}])
def test_sinks_must_be_a_sequence_other_than_str(sinks):
    with pytest.raises(TypeError, match="^argument 'sinks': "):
        lumivar_chip8.execute_prepared(prepare(LOOP), sinks)


def test_session_creation_failure_is_raised_before_sinks_are_examined():
    sink = RecordingSink()
    prepared = prepare(LOOP, frame_limit=None)
    with pytest.raises(ValueError) as caught:
        lumivar_chip8.execute_prepared(prepared, "not a list")
    assert str(caught.value) == "CHIP-8 publication execution requires an explicit frame_limit"
    with pytest.raises(ValueError):
        lumivar_chip8.execute_prepared(prepared, [sink])
    assert sink.batches == []


def test_a_prepared_run_can_be_executed_many_times():
    prepared = prepare(LOOP)
    first = lumivar_chip8.execute_prepared(prepared, [])
    for _ in range(3):
        assert lumivar_chip8.execute_prepared(prepared, []) == first


@pytest.mark.parametrize(
    ("kwargs", "fragment"),
    [
        ({"output_path": "/nonexistent/run"}, "run directories"),
    ],
)
def test_features_not_built_yet_are_refused_before_running(kwargs, fragment):
    sink = RecordingSink()
    with pytest.raises(NotImplementedError, match=fragment):
        lumivar_chip8.execute_prepared(prepare(LOOP), [sink], **kwargs)
    assert sink.batches == []


@pytest.mark.parametrize("run_id", [
    'quote " backslash \\ slash /',
    "tab\tnewline\nreturn\rcontrol\x01\x1f delete\x7f",
    "caf\u00e9 \u2028 \u4e2d\u6587 \U0001f600",
])
def test_records_carry_unusual_text_unchanged(run_id):
    sink = RecordingSink()
    obs = observation(events="lifecycle", capabilities=["chip8.coverage"], native=True,
                      native_kinds=["chip8.coverage"])
    result = lumivar_chip8.execute_prepared(prepare(LOOP, run_id=run_id, obs=obs), [sink])
    assert common(result)["termination"] == "Timeout"
    run_ids = [record["record"]["run_id"] for record in sink.records if "run_id" in record["record"]]
    assert len(run_ids) >= 3
    assert all(type(value) is str and value == run_id for value in run_ids)
    [[output]] = sink.outputs
    assert all(type(value) is int for value in output["value"].values())
