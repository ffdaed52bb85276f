#!/usr/bin/env bash
# The fixed cost of a zelvo-batch run: an empty script with the temporary disk it chooses itself
# and with a tmpfs folder, and `--help` (loading and static set-up only), each run RUNS times; prints the median and the range of the wall clock and of the CPU
# time (user + system) in milliseconds. Run by hand on the release build, never by ./test.sh:
#   bench/startup.sh [RUNS] [ZELVO-BATCH]       default 20 runs, build/release/src/batch/zelvo-batch
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
batch=${2:-build/release/src/batch/zelvo-batch}
[ -x "$batch" ] || { echo "build the release configuration first: ./run.sh --help" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/dev/shm}/zelvo-startup-XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/empty.zs"
/usr/bin/python3 - "$runs" "$batch" "$work" <<'PY'
import os, resource, statistics, subprocess, sys, time
runs, batch, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
jobs = {
    "empty script": [batch, os.path.join(work, "empty.zs")],
    "  on tmpfs": [batch, os.path.join(work, "empty.zs"), "--temp-dir", work],
    "--help": [batch, "--help"],
}
times = {name: ([], []) for name in jobs}
for _ in range(runs):
    for name, argv in jobs.items():  # interleaved, so a busy spell hits them all
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        t = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
        wall = time.perf_counter() - t
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        times[name][0].append(wall * 1e3)
        times[name][1].append(cpu * 1e3)
for name, (wall, cpu) in times.items():
    print(f"{name:13} wall {statistics.median(wall):6.1f} ms ({min(wall):.1f}..{max(wall):.1f})"
          f"   cpu {statistics.median(cpu):6.1f} ms ({min(cpu):.1f}..{max(cpu):.1f})")
PY
