"""Builders of the four JSON documents prepare_run takes, for the tests."""

import json


def version(major, minor=0, patch=0):
    return {"major": major, "minor": minor, "patch": patch}


def configuration(quirks="chip8", cycles_per_frame=12, machine_seed=0, **extra):
    value = {
        "quirks": {"Text": quirks},
        "cycles_per_frame": {"Unsigned": cycles_per_frame},
        "machine_seed": {"Unsigned": machine_seed},
    }
    value.update(extra)
    return {"schema": {"id": "chip8.machine_configuration", "version": version(2)}, "value": {"Map": value}}


def key_entry(ordinal, frame, key, pressed=True):
    return {
        "ordinal": ordinal,
        "coordinate": {"kind": "frame", "value": {"frame": frame}},
        "input_id": f"chip8.key.{key:x}",
        "payload": {"schema": {"id": "chip8.input.key", "version": version(1)}, "value": {"Bool": pressed}},
    }


def schedule(*entries):
    return {"schema": {"id": "lumivar.input_schedule", "version": version(1)}, "entries": list(entries)}


def controls(frame_limit=None, step_limit=None, bundle_limits=()):
    return {"frame_limit": frame_limit, "step_limit": step_limit, "bundle_limits": list(bundle_limits)}


def observation(
    events="none",
    access_detail="none",
    state_diffs=False,
    capabilities=(),
    native=False,
    native_all=False,
    native_kinds=(),
    frames="none",
    snapshots="none",
    input_values=False,
    budgets=None,
    overflow="fail",
    guarantee="summary",
):
    return {
        "schema_version": version(2, 1),
        "guarantee": guarantee,
        "normalized_events": {"events": events, "access_detail": access_detail, "state_diffs": state_diffs},
        "capabilities": [
            {"id": c, "required": True, "parameters": None} if isinstance(c, str) else c for c in capabilities
        ],
        "native_evidence": {"enabled": native, "all": native_all, "kinds": list(native_kinds)},
        "frames": {"capture": frames},
        "snapshots": {"capture": snapshots},
        "input_value_evidence": {"enabled": input_values},
        "budgets": budgets or {},
        "overflow": overflow,
    }


def text(document):
    return "null" if document is None else json.dumps(document)
