"""Step-level traces from Python: the events of every machine step, their fields, causes and determinism."""

import json

import lumivar_chip8
from documents import configuration, controls, key_entry, observation, schedule, text
from sinks import RecordingSink

# 0x200 LD V0, 5; 0x202 CALL 0x206; 0x204 EXIT; 0x206 RET.
CALL_AND_RETURN = bytes([0x60, 0x05, 0x22, 0x06, 0x00, 0xFD, 0x00, 0xEE])
# 0x200 LD I, 0x300; 0x202 LD V1, 0xFE; 0x204 BCD V1 at I; 0x206 SE V1, 0xFE (taken); 0x208 skipped; 0x20A EXIT.
STORE_AND_SKIP = bytes([0xA3, 0x00, 0x61, 0xFE, 0xF1, 0x33, 0x31, 0xFE, 0x00, 0xE0, 0x00, 0xFD])
# 0x200 LD V3, K; 0x202 loop.
WAIT_KEY = bytes([0xF3, 0x0A, 0x12, 0x02])

FULL_TRACE = observation(
    events="all", access_detail="before_and_after", state_diffs=True, native=True, native_all=True
)


def run(rom, obs=FULL_TRACE, run_id="run-1", cycles_per_frame=8, frame_limit=1, sched=None):
    prepared = lumivar_chip8.prepare_run(
        rom,
        run_id,
        text(configuration("chip8", cycles_per_frame)),
        text(sched),
        text(controls(frame_limit=frame_limit)),
        text(obs),
    )
    sink = RecordingSink()
    result = lumivar_chip8.execute_prepared(prepared, [sink])
    return result, sink


def events(sink):
    return [record["record"] for record in sink.records if record["kind"] == "event"]


def kind_text(event):
    kind = event["kind"]
    return kind if isinstance(kind, str) else "ext:" + kind["extension"]


def test_call_and_return_trace_every_step_with_causes():
    _, sink = run(CALL_AND_RETURN)
    trace = events(sink)
    assert [kind_text(e) for e in trace] == [
        "run_started",
        "step_started", "instruction_decoded", "register_write",
        "step_started", "instruction_decoded", "call", "stack_changed",
        "step_started", "instruction_decoded", "return", "stack_changed",
        "step_started", "instruction_decoded", "ext:chip8.internal_state_changed",
        "run_halted",
    ]
    assert [e["sequence"] for e in trace] == list(range(len(trace)))

    call = trace[6]
    assert call["instruction"] == {"bytes": [0x22, 0x06], "decoded": "CALL 0x206", "encoding": "chip8.word16.be"}
    assert call["pc"] == {"space": "program", "value": 0x202}
    assert call["control_flow"] == {
        "from": {"space": "program", "value": 0x202},
        "kind": "call",
        "taken": True,
        "to": {"space": "program", "value": 0x206},
    }
    assert call["causes"] == [{"evidence": "same CHIP-8 execution step", "relation": "control", "source_sequence": 5}]
    assert call["extensions"] == {"chip8.native": {"Map": {"from": {"Unsigned": 0x202}, "to": {"Unsigned": 0x206}}}}

    register_write = trace[3]
    assert register_write["writes"] == [
        {"after": 5, "before": 0, "location": {"address": None, "name": "V0", "space": "register", "width_bits": 8}}
    ]
    halted = trace[14]["writes"][0]
    assert halted["location"]["space"] == {"extension": "chip8.execution"}
    assert (halted["before"], halted["after"]) == (False, True)


def test_memory_writes_and_taken_skips():
    _, sink = run(STORE_AND_SKIP)
    trace = events(sink)
    store = next(e for e in trace if e["kind"] == "memory_write")
    assert [(w["location"]["address"]["value"], w["before"], w["after"]) for w in store["writes"]] == [
        (0x300, 0, 2), (0x301, 0, 5), (0x302, 0, 4)
    ]
    assert store["extensions"]["chip8.native"] == {
        "Map": {
            "addr": {"Unsigned": 0x300},
            "after": {"Array": [{"Unsigned": 2}, {"Unsigned": 5}, {"Unsigned": 4}]},
            "before": {"Array": [{"Unsigned": 0}] * 3},
            "len": {"Unsigned": 3},
        }
    }
    decoded = [e for e in trace if e["kind"] == "instruction_decoded"]
    assert [r["location"]["name"] for r in decoded[2]["reads"]] == ["I", "V1"]
    skip = next(e for e in trace if e["kind"] == "branch_taken")
    assert skip["control_flow"]["from"]["value"] == 0x206
    assert skip["control_flow"]["to"]["value"] == 0x20A
    assert "CLS" not in [e["instruction"]["decoded"] for e in decoded]


def test_access_detail_none_keeps_locations_only():
    obs = observation(events="all", access_detail="none")
    _, sink = run(CALL_AND_RETURN, obs=obs)
    for event in events(sink):
        assert all(read.get("value") is None for read in event["reads"])
        assert all(w["before"] is None and w["after"] is None for w in event["writes"])
        assert event["extensions"] == {} or event["kind"] in ("input_applied",)


def test_a_key_latch_links_the_wait_state_change_to_the_keypad_sample():
    _, sink = run(WAIT_KEY, cycles_per_frame=1, frame_limit=2, sched=schedule(key_entry(0, 1, 5)))
    trace = events(sink)
    sample = next(e for e in trace if e["kind"] == "input_sampled")
    change = trace[trace.index(sample) + 1]
    assert kind_text(change) == "ext:chip8.internal_state_changed"
    assert [(c["relation"], c["source_sequence"]) for c in change["causes"]] == [
        ("data", sample["causes"][0]["source_sequence"]),
        ("input", sample["sequence"]),
    ]
    assert sample["io"][0]["value"] == {
        "mask": 0x20,
        "wait_after": {"key": 5, "phase": "wait_release", "register": 3},
        "wait_before": {"phase": "wait_press", "register": 3},
    }


def test_with_every_kind_unselected_only_frames_and_native_evidence_remain():
    obs = observation(
        events="none", access_detail="after_only", state_diffs=True, native=True, native_all=True, frames="hashes"
    )
    _, sink = run(CALL_AND_RETURN, obs=obs, frame_limit=2, cycles_per_frame=2)
    kinds = sink.kinds()
    assert "event" not in kinds
    assert kinds.count("frame") == 1 and kinds.count("native_evidence") == 3
    frame = next(r["record"] for r in sink.records if r["kind"] == "frame")
    assert frame["sequence"] == 0


def without_run_id(records):
    stripped = []
    for record in records:
        payload = dict(record["record"]) if isinstance(record["record"], dict) else record["record"]
        if isinstance(payload, dict):
            payload.pop("run_id", None)
        stripped.append((record["kind"], json.dumps(payload, sort_keys=True)))
    return stripped


def test_identical_runs_give_identical_streams_and_run_ids_only_change_run_id():
    first_result, first = run(STORE_AND_SKIP)
    again_result, again = run(STORE_AND_SKIP)
    assert first.records == again.records
    assert first_result == again_result
    _, other = run(STORE_AND_SKIP, run_id="another-run")
    events_first = [r for r in first.records if r["kind"] == "event"]
    events_other = [r for r in other.records if r["kind"] == "event"]
    assert events_first != events_other
    assert without_run_id(events_first) == without_run_id(events_other)
