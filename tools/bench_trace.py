"""Fully traced runs from Python: normalized events per second delivered to one sink that only
counts records ("all" events, "before_and_after", state diffs, native evidence for every kind)."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "chip8" / "python" / "tests"))

import lumivar_chip8  # noqa: E402
from documents import configuration, controls, observation, text  # noqa: E402

# ADD V0, 1; LD I, 0x050; DRW V0, V1, 5; JP 0x200: a draw every fourth step.
ROM = bytes([0x70, 0x01, 0xA0, 0x50, 0xD0, 0x15, 0x12, 0x00])


class CountingSink:
    def __init__(self):
        self.records = 0

    def emit_batch(self, batch):
        self.records += len(batch)

    def record_capability_outputs(self, outputs):
        pass

    def record_capability_receipts(self, receipts):
        pass


def events_per_second() -> float:
    prepared = lumivar_chip8.prepare_run(
        ROM,
        "bench",
        text(configuration("chip8", 1000, 1)),
        "null",
        text(controls(frame_limit=10)),
        text(observation(events="all", access_detail="before_and_after", state_diffs=True, native=True,
                         native_all=True)),
    )
    best = 0.0
    for _ in range(5):
        sink = CountingSink()
        start = time.perf_counter()
        lumivar_chip8.execute_prepared(prepared, [sink])
        elapsed = time.perf_counter() - start
        best = max(best, sink.records / elapsed)
    return best


def main() -> None:
    print(f"fully traced run into one counting sink: {events_per_second():,.0f} records/s")


if __name__ == "__main__":
    main()
