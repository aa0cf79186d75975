"""The main job: run a small demo ROM end to end and show what came back.

The ROM draws the font digit A, scrolls the screen down and right, waits for a
key that the schedule presses at frame 2 and releases at frame 4, draws the
digit of that key and halts.
"""

import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "chip8" / "python" / "tests"))

import lumivar_chip8  # noqa: E402
from documents import configuration, controls, key_entry, observation, schedule, text  # noqa: E402

DEMO_ROM = bytes([
    0x60, 0x0A,  # V0 = 0xA
    0xF0, 0x29,  # I = font glyph of V0
    0x61, 0x08,  # V1 = 8 (x)
    0x62, 0x04,  # V2 = 4 (y)
    0xD1, 0x25,  # draw 5 rows at (V1, V2)
    0x00, 0xC2,  # scroll down 2 rows
    0x00, 0xFB,  # scroll right 4 pixels
    0xF3, 0x0A,  # V3 = next key pressed and released
    0xF3, 0x29,  # I = font glyph of V3
    0x71, 0x0C,  # V1 += 12
    0xD1, 0x25,  # draw it
    0x00, 0xFD,  # halt
])


class CollectingSink:
    def __init__(self):
        self.kinds = []
        self.outputs = []
        self.receipts = []

    def emit_batch(self, batch):
        self.kinds.extend(record["kind"] for record in batch)

    def record_capability_outputs(self, outputs):
        self.outputs.extend(outputs)

    def record_capability_receipts(self, receipts):
        self.receipts.extend(receipts)


def show_framebuffer(value):
    width, height = value.get("width"), value.get("height")
    pixels = value.get("bytes") or value.get("pixels")
    if not (isinstance(width, int) and isinstance(height, int) and isinstance(pixels, list)):
        print(json.dumps(value)[:400])
        return
    # The export holds the physical 128 x 64 pixels; a low-resolution screen
    # shows each logical pixel as a 2 x 2 block, so every second one is enough.
    step = 2 if width >= 128 else 1
    for y in range(0, height, step):
        row = pixels[y * width:(y + 1) * width:step]
        print("    |" + "".join("#" if p else " " for p in row) + "|")


def main() -> None:
    descriptor = json.loads(lumivar_chip8.bundle_provider())
    print(f"bundle {descriptor['distribution']} {descriptor['bundle_version']}, "
          f"protocol {descriptor['protocol']} {descriptor['protocol_version']}")

    prepared = lumivar_chip8.prepare_run(
        DEMO_ROM,
        "demo-run",
        text(configuration("schip", cycles_per_frame=8)),
        text(schedule(key_entry(1, 2, 7, True), key_entry(2, 4, 7, False))),
        text(controls(frame_limit=30)),
        text(observation(events="lifecycle", frames="hashes", native=True, native_all=True,
                         capabilities=["chip8.framebuffer", "chip8.execution_summary", "chip8.coverage"])),
    )
    sink = CollectingSink()
    result = lumivar_chip8.execute_prepared(prepared, [sink])

    execution = result["machine_execution"]
    print(f"machine execution: {execution['status']}")
    if execution["status"] == "completed":
        common = execution["result"]["common"]
        print(f"  termination {common['termination']}, {common['cycles']} cycles, "
              f"{common['frames']} frames, boot_success {common['boot_success']}")
    else:
        print(f"  {execution['result']['message']}")
    receipt = result["evidence_fulfillment"]
    print(f"evidence: {receipt['status']}, {len(sink.kinds)} records "
          f"({', '.join(f'{k} x{sink.kinds.count(k)}' for k in dict.fromkeys(sink.kinds))})")
    print("capability outputs:")
    for output in sink.outputs:
        schema = output["schema"]
        print(f"  {schema['id']}:")
        if schema["id"] == "chip8.framebuffer":
            show_framebuffer(output["value"])
        else:
            print("    " + json.dumps(output["value"], sort_keys=True)[:300])
    for capability in sink.receipts:
        print(f"  receipt {capability['id']}: {capability['status']}")


if __name__ == "__main__":
    main()
