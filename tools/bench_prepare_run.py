"""prepare_run calls per second for a 4 KiB ROM, a 64-entry key schedule and a full observation."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "chip8" / "python" / "tests"))

import lumivar_chip8  # noqa: E402
from documents import configuration, controls, key_entry, observation, schedule, text  # noqa: E402


def main() -> None:
    rom = bytes((i * 37) & 0xFF for i in range(4096))
    args = (
        rom,
        "bench-run",
        text(configuration("schip", 20, 99)),
        text(schedule(*(key_entry(i, i, i % 16, i % 2 == 0) for i in range(64)))),
        text(controls(frame_limit=120, step_limit=100000)),
        text(observation(events="all", access_detail="before_and_after", state_diffs=True,
                         capabilities=["chip8.framebuffer", "chip8.coverage", "chip8.execution_summary"],
                         native=True, native_all=True, frames="full", input_values=True,
                         budgets={"max_normalized_events": 1000000})),
    )
    lumivar_chip8.prepare_run(*args)
    best = 0.0
    for _ in range(5):
        calls = 0
        start = time.perf_counter()
        while (elapsed := time.perf_counter() - start) < 0.5:
            for _ in range(200):
                lumivar_chip8.prepare_run(*args)
            calls += 200
        best = max(best, calls / elapsed)
    print(f"prepare_run: {best:,.0f} calls/s (best of 5 half-second rounds)")


if __name__ == "__main__":
    main()
