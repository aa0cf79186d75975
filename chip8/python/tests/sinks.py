"""Sink objects for the tests: they keep what execute_prepared hands them."""


class RecordingSink:
    def __init__(self):
        self.batches = []
        self.outputs = []
        self.receipts = []

    def emit_batch(self, batch):
        self.batches.append(batch)

    def record_capability_outputs(self, outputs):
        self.outputs.append(outputs)

    def record_capability_receipts(self, receipts):
        self.receipts.append(receipts)

    @property
    def records(self):
        return [record for batch in self.batches for record in batch]

    def kinds(self):
        return [record["kind"] for record in self.records]


class RaisingSink(RecordingSink):
    def __init__(self, error):
        super().__init__()
        self.error = error

    def emit_batch(self, batch):
        raise self.error


class EventsOnlySink:
    """Lacks record_capability_outputs and record_capability_receipts."""

    def __init__(self):
        self.batches = []

    def emit_batch(self, batch):
        self.batches.append(batch)
