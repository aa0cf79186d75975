"""Short fitness-style runs per second from Python: prepare_run plus execute_prepared of a
4 KiB ROM for 120 frames, no trace, one sink that keeps the capability outputs."""

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "chip8" / "python" / "tests"))

import lumivar_chip8  # noqa: E402
from documents import configuration, controls, observation, text  # noqa: E402


def fitness_rom() -> bytes:
    # A loop of ALU work, a BCD store and a sprite draw, padded to 4 KiB.
    body = bytes([
        0x60, 0x00,  # V0 = 0
        0x61, 0x00,  # V1 = 0
        0xA3, 0x00,  # I = 0x300
        0x70, 0x01,  # V0 += 1
        0x81, 0x04,  # V1 += V0
        0xF1, 0x33,  # BCD of V1 at I
        0xD0, 0x13,  # draw 3 rows at (V0, V1)
        0x12, 0x06,  # jump 0x206
    ])
    return body + bytes((i * 7) & 0xFF for i in range(4096 - len(body)))


class OutputSink:
    def __init__(self):
        self.outputs = []

    def emit_batch(self, batch):
        pass

    def record_capability_outputs(self, outputs):
        self.outputs.extend(outputs)

    def record_capability_receipts(self, receipts):
        pass


def runs_per_second(capabilities) -> float:
    rom = fitness_rom()
    documents = (
        text(configuration("chip8", 12, 1)),
        "null",
        text(controls(frame_limit=120)),
        text(observation(capabilities=capabilities, native=True, native_kinds=capabilities)),
    )
    best = 0.0
    for _ in range(5):
        runs = 0
        start = time.perf_counter()
        while (elapsed := time.perf_counter() - start) < 0.5:
            sink = OutputSink()
            prepared = lumivar_chip8.prepare_run(rom, "bench", *documents)
            lumivar_chip8.execute_prepared(prepared, [sink])
            assert len(sink.outputs) == len(capabilities)
            runs += 1
        best = max(best, runs / elapsed)
    return best


def main() -> None:
    basic = ["chip8.coverage", "chip8.execution_summary"]
    print(f"execute (coverage, execution summary): {runs_per_second(basic):,.0f} runs/s")
    print(f"execute (with framebuffer): {runs_per_second(basic + ['chip8.framebuffer']):,.0f} runs/s")


if __name__ == "__main__":
    main()
