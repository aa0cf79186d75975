"""The module object, its class, the descriptor and the argument rules."""

import importlib
import inspect
import json
import shutil
import subprocess
import sys

import pytest

import lumivar_chip8

DESCRIPTOR = (
    '{"bundle_version":"0.3.0","distribution":"lumivar-chip8",'
    '"execute_function":"execute_prepared","machine_id":"chip8","module":"lumivar_chip8",'
    '"prepare_function":"prepare_run","protocol":"lumivar.python_bundle",'
    '"protocol_version":{"major":2,"minor":0,"patch":0}}'
)


def test_all_lists_members_in_registration_order():
    assert lumivar_chip8.__all__ == [
        "PreparedBundleRun",
        "prepare_run",
        "execute_prepared",
        "bundle_provider",
    ]
    assert lumivar_chip8.__doc__ == ""


def test_second_import_returns_the_same_module():
    del sys.modules["lumivar_chip8"]
    try:
        again = importlib.import_module("lumivar_chip8")
    finally:
        sys.modules["lumivar_chip8"] = lumivar_chip8
    assert again is lumivar_chip8


def test_another_interpreter_cannot_import():
    interpreters = pytest.importorskip("concurrent.interpreters")
    interp = interpreters.create()
    try:
        with pytest.raises(interpreters.ExecutionFailed, match="ImportError"):
            interp.exec("import lumivar_chip8")
    finally:
        interp.close()


def test_descriptor_text_is_exact():
    text = lumivar_chip8.bundle_provider()
    assert type(text) is str
    assert text == DESCRIPTOR
    assert len(text.encode()) == 260
    assert lumivar_chip8.bundle_provider() == text
    parsed = json.loads(text)
    assert parsed["protocol_version"] == {"major": 2, "minor": 0, "patch": 0}
    assert list(parsed) == sorted(parsed)


def test_bundle_provider_takes_no_arguments():
    with pytest.raises(TypeError):
        lumivar_chip8.bundle_provider(1)
    with pytest.raises(TypeError):
        lumivar_chip8.bundle_provider(x=1)


def test_text_signatures():
    assert str(inspect.signature(lumivar_chip8.prepare_run)) == (
        "(artifact, run_id, configuration_json, input_schedule_json, "
        "execution_controls_json, observation_json)"
    )
    assert str(inspect.signature(lumivar_chip8.execute_prepared)) == (
        "(prepared, sinks, output_path=None)"
    )
    assert str(inspect.signature(lumivar_chip8.bundle_provider)) == "()"


def test_prepared_bundle_run_refuses_instantiation_and_subclassing():
    cls = lumivar_chip8.PreparedBundleRun
    assert cls.__module__ == "lumivar_chip8"
    assert cls.__doc__ is None
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert "__dict__" not in cls.__dict__
    assert "__weakref__" not in cls.__dict__
    assert set(cls.__dict__) <= {"__module__", "__doc__", "__new__"}


ARGS6 = (b"\x00", "run", "null", "null", "null", "null")


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (
            lambda: lumivar_chip8.prepare_run(*ARGS6[:5]),
            "prepare_run() missing 1 required positional argument: 'observation_json'",
        ),
        (
            lambda: lumivar_chip8.prepare_run(*ARGS6[:4]),
            "prepare_run() missing 2 required positional arguments: "
            "'execution_controls_json' and 'observation_json'",
        ),
        (
            lambda: lumivar_chip8.prepare_run(),
            "prepare_run() missing 6 required positional arguments: 'artifact', 'run_id', "
            "'configuration_json', 'input_schedule_json', 'execution_controls_json', "
            "and 'observation_json'",
        ),
        (
            lambda: lumivar_chip8.prepare_run(*ARGS6, 7),
            "prepare_run() takes 6 positional arguments but 7 were given",
        ),
        (
            lambda: lumivar_chip8.execute_prepared(1, 2, 3, 4),
            "execute_prepared() takes from 2 to 3 positional arguments but 4 were given",
        ),
        (
            lambda: lumivar_chip8.execute_prepared(),
            "execute_prepared() missing 2 required positional arguments: 'prepared' and 'sinks'",
        ),
        (
            lambda: lumivar_chip8.prepare_run(*ARGS6, colour=1),
            "prepare_run() got an unexpected keyword argument 'colour'",
        ),
        (
            lambda: lumivar_chip8.prepare_run(*ARGS6, artifact=b""),
            "prepare_run() got multiple values for argument 'artifact'",
        ),
        (
            lambda: lumivar_chip8.execute_prepared(1, [], prepared=2),
            "execute_prepared() got multiple values for argument 'prepared'",
        ),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


@pytest.mark.parametrize(
    ("position", "value", "message"),
    [
        (0, "rom", "argument 'artifact': 'str' object cannot be cast as 'bytes'"),
        (0, bytearray(b"x"), "argument 'artifact': 'bytearray' object cannot be cast as 'bytes'"),
        (0, memoryview(b"x"), "argument 'artifact': 'memoryview' object cannot be cast as 'bytes'"),
        (1, 5, "argument 'run_id': 'int' object cannot be cast as 'str'"),
        (2, None, "argument 'configuration_json': 'NoneType' object cannot be cast as 'str'"),
        (3, b"null", "argument 'input_schedule_json': 'bytes' object cannot be cast as 'str'"),
        (4, 1.5, "argument 'execution_controls_json': 'float' object cannot be cast as 'str'"),
        (5, {}, "argument 'observation_json': 'dict' object cannot be cast as 'str'"),
    ],
)
def test_prepare_run_conversion_errors(position, value, message):
    args = list(ARGS6)
    args[position] = value
    with pytest.raises(TypeError) as caught:
        lumivar_chip8.prepare_run(*args)
    assert str(caught.value) == message


def test_conversion_stops_at_the_first_bad_argument():
    with pytest.raises(TypeError, match="^argument 'run_id'"):
        lumivar_chip8.prepare_run(b"", 1, 2, 3, 4, 5)


def test_prepare_run_keywords_bind_like_positions():
    kwargs = dict(zip(inspect.signature(lumivar_chip8.prepare_run).parameters, ARGS6))
    kwargs["observation_json"] = 0
    with pytest.raises(TypeError, match="^argument 'observation_json': 'int' object"):
        lumivar_chip8.prepare_run(**kwargs)


def test_lone_surrogate_text_raises_the_interpreters_error():
    args = list(ARGS6)
    args[1] = "\udc80"
    with pytest.raises(UnicodeEncodeError):
        lumivar_chip8.prepare_run(*args)


def test_bytes_subclass_is_accepted_as_artifact():
    class Rom(bytes):
        pass

    args = list(ARGS6)
    args[0] = Rom(b"\x00\xe0")
    try:
        lumivar_chip8.prepare_run(*args)
    except TypeError as error:  # pragma: no cover - a failure message for the reader
        pytest.fail(f"bytes subclass refused: {error}")
    except (ValueError, NotImplementedError):
        pass


@pytest.mark.parametrize(
    ("kwargs", "message"),
    [
        ({"prepared": 1, "sinks": []}, "argument 'prepared': 'int' object cannot be cast as 'PreparedBundleRun'"),
        ({"prepared": None, "sinks": "x"}, "argument 'prepared': 'NoneType' object cannot be cast as 'PreparedBundleRun'"),
    ],
)
def test_execute_prepared_conversion_errors(kwargs, message):
    with pytest.raises(TypeError) as caught:
        lumivar_chip8.execute_prepared(**kwargs)
    assert str(caught.value) == message


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm (binutils) is not installed")
    output = subprocess.run(
        [nm, "-D", "--defined-only", lumivar_chip8.__file__],
        check=True, capture_output=True, text=True,
    ).stdout
    symbols = [line.split()[-1] for line in output.splitlines() if line.strip()]
    assert symbols == ["PyInit_lumivar_chip8"]
