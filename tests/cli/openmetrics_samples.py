"""Reads OpenMetrics text on stdin with the parser of the Python client and prints one line per
sample: its name, its labels (values as JSON strings, sorted by label) and its value. Fails when
the text does not parse, or when a family is not a gauge named veriprog_..., or its unit does not
match its name."""
import json
import sys

from prometheus_client.openmetrics.parser import text_string_to_metric_families

UNITS = {"veriprog_run_seconds": "seconds",
         "veriprog_last_success_timestamp_seconds": "seconds"}

text = sys.stdin.read()
for family in text_string_to_metric_families(text):
    if family.type != "gauge" or not family.name.startswith("veriprog_"):
        sys.exit(f"{family.name}: a {family.type}, not a veriprog_ gauge")
    if family.unit != UNITS.get(family.name, ""):
        sys.exit(f"{family.name}: unit '{family.unit}'")
    if not family.documentation:
        sys.exit(f"{family.name}: no help")
    for sample in family.samples:
        labels = ",".join(f"{k}={json.dumps(v)}" for k, v in sorted(sample.labels.items()))
        value = sample.value
        value = str(int(value)) if value == int(value) else repr(value)
        print(f"{sample.name}{{{labels}}} {value}")
