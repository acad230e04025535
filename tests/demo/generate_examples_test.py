#!/usr/bin/env python3
"""The Kubernetes Indexed Job of examples/: the fields such a job needs, and
its container's arguments run by tavisor-generate for every index, whose
parts must be the single-process run. (The Slurm example runs in a real
Slurm: scripts/test-slurm.sh.)

Usage: generate_examples_test.py MANIFEST GENERATE_EXECUTABLE DATA_DIR
"""
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile

import yaml

from checks import check

MANIFEST, GENERATE, DATA = (os.path.abspath(a) for a in sys.argv[1:4])
WORK = tempfile.mkdtemp(prefix="generate-examples-test-")

with open(MANIFEST) as f:
    job = yaml.safe_load(f)
check(job.get("apiVersion") == "batch/v1" and job.get("kind") == "Job", "not a batch/v1 Job")
spec = job["spec"]
check(spec.get("completionMode") == "Indexed", "completionMode is not Indexed")
completions = spec.get("completions")
check(isinstance(completions, int) and completions > 0, "no completions")
check(isinstance(spec.get("parallelism"), int) and 0 < spec["parallelism"] <= completions,
      "parallelism is not 1 to completions")
pod = spec["template"]["spec"]
check(pod.get("restartPolicy") in ("Never", "OnFailure"), "restartPolicy must be Never or "
      "OnFailure in a Job")
containers = pod["containers"]
check(len(containers) == 1, "not one container")
container = containers[0]
env = {e["name"]: e for e in container.get("env", [])}
args = container.get("args", [])
# The count of parts goes to the program as --shard auto/$(VAR), VAR equal to
# completions; the index comes from JOB_COMPLETION_INDEX.
shard = args[args.index("--shard") + 1] if "--shard" in args else ""
found = re.fullmatch(r"auto/\$\((\w+)\)", shard)
check(found is not None, "--shard is %r, not auto/$(VAR)" % shard)
check(env.get(found.group(1), {}).get("value") == str(completions),
      "%s is not the completions, %d" % (found.group(1), completions))
index = env.get("JOB_COMPLETION_INDEX", {})
check(index.get("valueFrom", {}).get("fieldRef", {}).get("fieldPath") ==
      "metadata.annotations['batch.kubernetes.io/job-completion-index']",
      "JOB_COMPLETION_INDEX is not the pod's completion index")
output = args[args.index("-o") + 1]
check("{shard}" in output, "the output %r is not named after the part" % output)

# The arguments as Kubernetes expands them ($(VAR) from the container's
# env), a smaller COUNT, the files in the test's directory.
values = {name: e["value"] for name, e in env.items() if "value" in e}
values["COUNT"] = "3000"


def expand(arg):
    return re.sub(r"\$\((\w+)\)", lambda m: values[m.group(1)], arg)


part_args = [expand(a) for a in args]
part_args[part_args.index("-o") + 1] = os.path.join(WORK, os.path.basename(output))
clean = {k: v for k, v in os.environ.items() if not k.startswith("SLURM_")}
for i in range(completions):
    result = subprocess.run([GENERATE, *part_args, "--data", DATA],
                            env=dict(clean, JOB_COMPLETION_INDEX=str(i)), stderr=subprocess.PIPE)
    check(result.returncode == 0, "index %d: %s" % (i, result.stderr.decode()))
whole = os.path.join(WORK, "whole.jsonl.gz")
no_shard = list(part_args)
at = no_shard.index("--shard")
del no_shard[at:at + 2]
no_shard[no_shard.index("-o") + 1] = whole
subprocess.run([GENERATE, *no_shard, "--data", DATA], env=clean, check=True,
               stderr=subprocess.DEVNULL)
parts = sorted(n for n in os.listdir(WORK) if n != "whole.jsonl.gz")
check(len(parts) == completions, "parts %r" % parts)
joined = b"".join(gzip.open(os.path.join(WORK, n)).read() for n in parts)
check(joined == gzip.open(whole).read(), "the parts are not the run")
shutil.rmtree(WORK)
