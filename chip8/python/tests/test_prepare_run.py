"""prepare_run from Python: defaults, every document's errors, the returned object."""

import pytest

import lumivar_chip8
from documents import configuration, controls, key_entry, observation, schedule, text, version

ROM = bytes([0x00, 0xE0, 0x12, 0x00])


def prepare(rom=ROM, run_id="run-1", config=None, sched=None, ctrl=None, obs=None):
    return lumivar_chip8.prepare_run(rom, run_id, text(config), text(sched), text(ctrl), text(obs))


def test_all_null_documents_prepare_a_run():
    prepared = prepare()
    assert type(prepared) is lumivar_chip8.PreparedBundleRun


def test_full_documents_prepare_a_run():
    prepared = prepare(
        config=configuration("schip", 20, 7),
        sched=schedule(key_entry(1, 0, 5), key_entry(2, 3, 5, False)),
        ctrl=controls(frame_limit=10, step_limit=100),
        obs=observation(events="all", access_detail="before_and_after", state_diffs=True,
                        native=True, native_all=True, frames="full", input_values=True),
    )
    assert isinstance(prepared, lumivar_chip8.PreparedBundleRun)


def test_surrounding_white_space_is_accepted():
    lumivar_chip8.prepare_run(ROM, "r", " null\n", "\tnull ", "\r\nnull", "null  ")


def test_null_member_of_optional_fields_reads_as_absent():
    lumivar_chip8.prepare_run(ROM, "r", "null", "null", '{"step_limit": null, "bundle_limits": []}', "null")


@pytest.mark.parametrize(
    ("position", "document", "message"),
    [
        (2, "{", "configuration is invalid JSON: EOF while parsing an object at line 1 column 1"),
        (2, "", "configuration is invalid JSON: EOF while parsing a value at line 1 column 0"),
        (3, '{"entries": [', "input_schedule is invalid JSON: EOF while parsing a list at line 1 column 13"),
        (3, "[]", "input_schedule is invalid JSON: invalid type: sequence, expected struct InputSchedule "
                  "at line 1 column 1"),
        (4, "nulx", "execution_controls is invalid JSON: expected ident at line 1 column 4"),
        (4, "nul", "execution_controls is invalid JSON: EOF while parsing a value at line 1 column 3"),
        (5, "null x", "observation is invalid JSON: trailing characters at line 1 column 6"),
        (5, "{}", "observation is invalid JSON: missing field `schema_version` at line 1 column 2"),
        (4, '{"frame_limit": -1}',
         "execution_controls is invalid JSON: invalid value: integer `-1`, expected u64 at line 1 column 18"),
        (4, '{"frame_limit": "7"}',
         'execution_controls is invalid JSON: invalid type: string "7", expected u64 at line 1 column 19'),
        (4, '{"frame_limit": 1, "colour": 2}',
         "execution_controls is invalid JSON: unknown field `colour`, expected one of "
         "`frame_limit`, `step_limit`, `bundle_limits` at line 1 column 27"),
        (3, '{"schema": {"id": "lumivar.input_schedule", "version": {"major": 1, "minor": 0, "patch": 0}}}',
         "input_schedule is invalid JSON: missing field `entries` at line 1 column 93"),
        (2, '{"schema": {"id": "x", "version": {"major": 70000, "minor": 0, "patch": 0}}, "value": "Null"}',
         "configuration is invalid JSON: invalid value: integer `70000`, expected u16 at line 1 column 49"),
        (5, '{"schema_version": {"major": 2, "minor": 1, "patch": 0}, "guarantee": "summary", '
            '"normalized_events": {"events": "none", "access_detail": "none", "state_diffs": false}, '
            '"capabilities": [{"id": "a", "required": true, "parameters": ' + "[" * 200,
         "observation is invalid JSON: recursion limit exceeded at line 1 column 356"),
        (5, '{"schema_version": {"major": 2, "minor": 1, "patch": 0}, "guarantee": "always"}',
         "observation is invalid JSON: unknown variant `always`, expected one of `summary`, "
         "`complete_normalized`, `oracle_ready` at line 1 column 78"),
    ],
)
def test_invalid_json_names_the_document(position, document, message):
    args = [ROM, "run", "null", "null", "null", "null"]
    args[position] = document
    with pytest.raises(ValueError) as caught:
        lumivar_chip8.prepare_run(*args)
    assert str(caught.value) == message


def test_documents_are_read_in_parameter_order():
    with pytest.raises(ValueError, match="^configuration is invalid JSON"):
        lumivar_chip8.prepare_run(ROM, "r", "{", "null", "null", "{")


@pytest.mark.parametrize(
    ("kwargs", "message"),
    [
        ({"rom": b""}, "artifact has 0 bytes; minimum is 1"),
        ({"rom": bytes(65025)}, "artifact has 65025 bytes; maximum is 65024"),
        ({"run_id": ""}, "execution request has an empty run ID"),
        (
            {"config": {"schema": {"id": "chip8.machine_configuration", "version": version(1)},
                        "value": {"Map": {}}}},
            "machine configuration schema chip8.machine_configuration 1.0.0 does not match declared "
            "schema chip8.machine_configuration 2.0.0",
        ),
        ({"config": configuration(zz={"Unsigned": 1})}, 'machine configuration contains unknown field "zz"'),
        ({"config": configuration(cycles_per_frame=0)}, 'configuration field "cycles_per_frame" has an invalid value'),
        ({"config": configuration(quirks="superchip")}, 'configuration field "quirks" has an invalid value'),
        (
            {"sched": {"schema": {"id": "lumivar.input_schedule", "version": version(2)}, "entries": []}},
            "unsupported input schedule schema lumivar.input_schedule 2.0.0; expected lumivar.input_schedule 1.0.0",
        ),
        ({"sched": schedule(key_entry(1, 0, 1), key_entry(1, 1, 2))}, "input schedule repeats ordinal 1"),
        (
            {"sched": schedule(dict(key_entry(1, 0, 1), input_id="chip8.key.g"))},
            "input schedule references undeclared input chip8.key.g",
        ),
        (
            {"sched": schedule(dict(key_entry(1, 0, 1), coordinate={"kind": "step", "value": {"step": 3}}))},
            "input coordinate does not match FrameStart policy lumivar.coordinate.frame",
        ),
        (
            {"ctrl": controls(bundle_limits=[{"limit_id": "chip8.turbo", "value": {
                "schema": {"id": "s", "version": version(1)}, "value": "Null"}}])},
            "execution controls reference unsupported limit chip8.turbo",
        ),
        (
            {"obs": dict(observation(), schema_version=version(2, 0))},
            "unsupported emission request schema 2.0.0; expected 2.1.0",
        ),
    ],
)
def test_validation_errors(kwargs, message):
    with pytest.raises(ValueError) as caught:
        prepare(**kwargs)
    assert str(caught.value) == message


def test_observation_problems_are_joined():
    obs = observation(capabilities=["chip8.framebuffer", "chip8.no_such_thing"])
    with pytest.raises(ValueError) as caught:
        prepare(obs=obs)
    assert "; " in str(caught.value)


def test_artifact_must_be_bytes():
    with pytest.raises(TypeError):
        lumivar_chip8.prepare_run(bytearray(ROM), "r", "null", "null", "null", "null")
