from collections.abc import Sequence
from typing import Any, Final, Protocol, final

__all__: Final[list[str]]

class EvidenceSink(Protocol):
    """What execute_prepared calls on every sink it is given."""

    def emit_batch(self, records: list[dict[str, Any]], /) -> object: ...
    def record_capability_outputs(self, outputs: list[dict[str, Any]], /) -> object: ...
    def record_capability_receipts(self, receipts: list[dict[str, Any]], /) -> object: ...

@final
class PreparedBundleRun:
    """An immutable prepared run; created only by prepare_run."""

def bundle_provider() -> str: ...
def prepare_run(
    artifact: bytes,
    run_id: str,
    configuration_json: str,
    input_schedule_json: str,
    execution_controls_json: str,
    observation_json: str,
) -> PreparedBundleRun: ...
def execute_prepared(
    prepared: PreparedBundleRun,
    sinks: Sequence[EvidenceSink],
    output_path: str | None = None,
) -> dict[str, Any]: ...
