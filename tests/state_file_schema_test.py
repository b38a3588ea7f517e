#!/usr/bin/env python3
"""Checks docs/state-file.schema.json against the library, both ways.

1. Written files: runs the example host and kelab (the real library, writing
   real state files into a scratch folder) and validates every state file
   they wrote against the schema's root (what the library loads) and against
   $defs/writtenStateFile (what it writes).
2. Accepted and refused files: a table of hand-made files, each validated
   against the root schema and checked with `kelab check --file`, which loads
   it with the library's own code; the two verdicts must match the table.
3. The check itself: schemas mutated to disagree with the files must fail,
   so a validator that looked at nothing could not pass.

The state file stores each record as a string holding JSON; JSON Schema 2020-12
only annotates such content (contentMediaType, contentSchema), so this
validator asserts it: a string whose schema says contentMediaType
"application/json" must parse, and its value must match contentSchema.

Usage: state_file_schema_test.py --schema FILE --kelab KELAB --host MINIMAL_HOST --work DIR
Exit status 0 when everything agrees; 1, saying where, when not.
"""

import argparse
import copy
import json
import math
import os
import shutil
import subprocess
import sys

try:
    import jsonschema
    from jsonschema import Draft202012Validator, ValidationError
except ImportError:
    sys.exit("state_file_schema_test: the Python module jsonschema is missing "
             "(scripts/setup.sh installs python3-jsonschema)")


def strict_json(text):
    """Parses `text` as the library does: RFC 8259 JSON, no NaN or Infinity,
    no lone surrogates (the library refuses what is not Unicode)."""
    def constant(name):
        raise ValueError(f"{name} is not JSON")

    value = json.loads(text, parse_constant=constant)

    def check(v):
        if isinstance(v, str):
            v.encode("utf-8")  # raises for a lone surrogate
        elif isinstance(v, dict):
            for k, item in v.items():
                check(k)
                check(item)
        elif isinstance(v, list):
            for item in v:
                check(item)
        elif isinstance(v, float) and not math.isfinite(v):
            raise ValueError("a number out of range")
    check(value)
    return value


def content_schema(validator, subschema, instance, schema):
    """The content vocabulary, asserted: JSON inside a string."""
    if not validator.is_type(instance, "string"):
        return
    if schema.get("contentMediaType") != "application/json":
        return
    try:
        decoded = strict_json(instance)
    except (ValueError, UnicodeError) as e:
        yield ValidationError(f"the string's content is not JSON: {e}")
        return
    yield from validator.descend(decoded, subschema, schema_path="contentSchema")


ContentValidator = jsonschema.validators.extend(
    Draft202012Validator, validators={"contentSchema": content_schema})


def validator_for(schema, definition=None):
    """A validator of the schema's root, or of one of its $defs."""
    Draft202012Validator.check_schema(schema)
    if definition is not None:
        schema = {"$schema": schema["$schema"], "$defs": schema["$defs"],
                  "$ref": f"#/$defs/{definition}"}
    return ContentValidator(schema)


def problems(validator, data):
    """What is wrong with the state file `data` (bytes): [] when nothing."""
    if len(data) == 0:
        return []  # an empty file holds no records: the library reads none
    try:
        document = strict_json(data.decode("utf-8"))
    except (ValueError, UnicodeError) as e:
        return [f"not a JSON text: {e}"]
    return [f"{'/'.join(str(p) for p in error.absolute_path) or '(root)'}: {error.message}"
            for error in validator.iter_errors(document)]


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    return result.returncode, result.stdout.decode("utf-8", "replace") + \
        result.stderr.decode("utf-8", "replace")


def write_state_files(kelab, host, work):
    """Runs the example host and kelab on scratch documents folders; returns
    the state files they wrote."""
    host_docs = os.path.join(work, "host-docs")
    status, output = run([host, host_docs])
    if status != 0:
        sys.exit(f"minimal_host failed ({status}):\n{output}")
    kelab_docs = os.path.join(work, "kelab-docs")
    # Identifiers that need escaping in JSON, and non-ASCII ones.
    experiments = ["checkoutFlow", "quote\"back\\slash", "tab\there", "zoë😀", "x" * 300]
    command = [kelab, "run", "--docs", kelab_docs, "--user", "carol"]
    for experiment in experiments:
        command += ["--experiment", experiment, "--read", experiment + "_variation"]
    status, output = run(command)
    if status != 0:
        sys.exit(f"kelab run failed ({status}):\n{output}")
    # A user who signs in and never falls back: the empty file Initialize makes.
    status, output = run([kelab, "run", "--docs", kelab_docs, "--user", "dave",
                          "--experiment", "checkoutFlow"])
    if status != 0:
        sys.exit(f"kelab run failed ({status}):\n{output}")
    files = []
    for docs in (host_docs, kelab_docs):
        users = os.path.join(docs, "Users")
        for user in sorted(os.listdir(users)):
            path = os.path.join(users, user, "ABExperiment")
            if os.path.isfile(path):
                files.append(path)
    return files


def record(**members):
    return json.dumps(members, separators=(",", ":"))


# (name, file content, whether the library loads it)
SAMPLES = [
    ("empty file", b"", True),
    ("no records", b"{}", True),
    ("empty record", json.dumps({"e": "{}"}).encode(), True),
    ("written form", json.dumps({"e": record(campaignId="1", challengerType="none",
                                              variation="challenger",
                                              variationId="b")}).encode(), True),
    ("names in other letter case, unknown member, unknown variation",
     json.dumps({"e": record(VARIATION="Forced_Control", extra="x",
                             variation="bogus")}).encode(), True),
    ("any campaignId text", json.dumps({"e": record(campaignId="not digits")}).encode(), True),
    ("empty identifier", json.dumps({"": "{}"}).encode(), True),
    ("white space everywhere", b' { "e" : " { \\"variation\\" : \\"challenger\\" } " } ', True),
    ("a name twice: the last wins", b'{"e":"[]","e":"{}"}', True),
    ("non-ASCII identifier", json.dumps({"zoë😀": "{}"}, ensure_ascii=False).encode(), True),
    ("only white space", b"  ", False),
    ("an array", b"[]", False),
    ("a string", b'"{}"', False),
    ("record as a nested object", b'{"e":{}}', False),
    ("record as a number", b'{"e":1}', False),
    ("record as null", b'{"e":null}', False),
    ("record text not JSON", json.dumps({"e": "not json"}).encode(), False),
    ("record text an array", json.dumps({"e": "[]"}).encode(), False),
    ("record text a number", json.dumps({"e": "1"}).encode(), False),
    ("record member a number", json.dumps({"e": '{"variation":1}'}).encode(), False),
    ("unknown record member a boolean", json.dumps({"e": '{"unknown":true}'}).encode(), False),
    ("record member an object", json.dumps({"e": '{"x":{"a":"b"}}'}).encode(), False),
    ("trailing comma", b'{"e":"{}",}', False),
    ("byte-order mark", b'\xef\xbb\xbf{}', False),
    ("invalid UTF-8", b'{"\xff":"{}"}', False),
    ("lone surrogate", b'{"\\ud800":"{}"}', False),
    ("NaN", b'{"e":NaN}', False),
    ("two documents", b'{}{}', False),
]


def check_samples(validator, kelab, work):
    """Each sample: the schema's verdict and the library's must be the table's."""
    folder = os.path.join(work, "samples")
    os.makedirs(folder)
    failures = []
    for index, (name, content, loads) in enumerate(SAMPLES):
        path = os.path.join(folder, f"sample-{index}")
        with open(path, "wb") as f:
            f.write(content)
        schema_ok = not problems(validator, content)
        status, output = run([kelab, "check", "--file", path])
        if status not in (0, 1):
            failures.append(f"{name}: kelab check exited {status}: {output.strip()}")
            continue
        library_ok = status == 0
        if schema_ok != loads or library_ok != loads:
            failures.append(f"{name}: expected {'accepted' if loads else 'refused'}; "
                            f"schema {'accepts' if schema_ok else 'refuses'}, "
                            f"library {'loads' if library_ok else 'refuses'} "
                            f"({output.strip()})")
    return failures


def mutations(schema):
    """Schemas that disagree with the files, and what each must catch."""
    no_forced = copy.deepcopy(schema)
    no_forced["$defs"]["writtenRecord"]["properties"]["variation"]["enum"].remove("forced_control")
    needs_number = copy.deepcopy(schema)
    needs_number["$defs"]["record"]["properties"]["campaignId"] = {"type": "integer"}
    return [("writtenRecord without forced_control", no_forced, "writtenStateFile"),
            ("record whose campaignId is a number", needs_number, None)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--schema", required=True)
    parser.add_argument("--kelab", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()

    with open(args.schema, encoding="utf-8") as f:
        schema = json.load(f)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)

    accepted = validator_for(schema)
    written = validator_for(schema, "writtenStateFile")
    files = write_state_files(args.kelab, args.host, args.work)
    failures = []
    records = 0
    for path in files:
        with open(path, "rb") as f:
            data = f.read()
        if data:
            records += len(json.loads(data))
        for kind, validator in (("root", accepted), ("writtenStateFile", written)):
            failures += [f"{path} ({kind}): {p}" for p in problems(validator, data)]
    print(f"{len(files)} state files written by the library, {records} records: "
          f"{'valid' if not failures else 'INVALID'}")
    if records < len(files):
        failures.append(f"only {records} records were written; the runs did not force control")

    sample_failures = check_samples(accepted, args.kelab, args.work)
    print(f"{len(SAMPLES)} hand-made files: schema and library "
          f"{'agree' if not sample_failures else 'DISAGREE'}")
    failures += sample_failures

    # Files the unmutated schema accepts: the written ones (root and
    # writtenStateFile) and the samples the library loads (root only).
    written_files = []
    for path in files:
        with open(path, "rb") as f:
            written_files.append(f.read())
    loaded_samples = [content for _, content, loads in SAMPLES if loads]
    for name, mutated, definition in mutations(schema):
        validator = validator_for(mutated, definition)
        checked = written_files if definition else written_files + loaded_samples
        caught = sum(1 for content in checked if problems(validator, content))
        print(f"mutated schema ({name}): rejects {caught} of {len(checked)} files "
              f"that the library wrote or loads")
        if caught == 0:
            failures.append(f"the mutated schema ({name}) passed: the check checks nothing")

    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        shutil.rmtree(args.work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
