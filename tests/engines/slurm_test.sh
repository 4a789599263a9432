#!/usr/bin/env bash
# The README's Slurm array script, as printed, on a single-node cluster of
# our own: munged, slurmctld and slurmd started here with their configuration
# in a temporary folder and stopped by PID at the end. 2,000 sources in a
# nested tree (repeated names, names with spaces) must each be converted
# exactly once across the shards' reports, into results byte-identical to a
# plain -j 1 run.
# Usage: slurm_test.sh CLI_DIR SOURCE_DIR   (exit 77: skipped, unless MV_CLUSTER_REQUIRED is set)
set -uo pipefail
# Under `make cluster-test` a missing package or user is a failure, not a skip.
skip=77
[ -z "${MV_CLUSTER_REQUIRED:-}" ] || skip=1

cli_dir="$(cd "$1" && pwd)" source_dir="$2"
for program in munged slurmctld slurmd sbatch sinfo; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is missing (make cluster-test installs it)"; exit $skip; }
done
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the test cluster's daemons run as root"; exit $skip; }

tmp="$(mktemp -d)"
pids=()
stop() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$tmp"
}
trap stop EXIT
fail() { echo "FAIL: $*"; for log in "$tmp"/*.log; do echo "== $log"; tail -20 "$log"; done; exit 1; }

# Ports of our own, so that a second run or another cluster does not meet ours.
read -r ctld_port slurmd_port < <(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')

mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool" "$tmp/jobs"
chmod 711 "$tmp/munge"
head -c 1024 /dev/urandom >"$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/socket" \
    --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/seed" \
    --log-file="$tmp/munged.log" >>"$tmp/munged.log" 2>&1 &
pids+=($!)

host="$(hostname -s)"
export SLURM_CONF="$tmp/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=marrowvale-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=node1 NodeHostname=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=main Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

for _ in $(seq 50); do [ -S "$tmp/munge/socket" ] && break; sleep 0.1; done
slurmctld -D -i -f "$SLURM_CONF" >>"$tmp/slurmctld.log" 2>&1 &
pids+=($!)
slurmd -D -N node1 -f "$SLURM_CONF" >>"$tmp/slurmd.log" 2>&1 &
pids+=($!)
for _ in $(seq 60); do
    [ "$(sinfo -h -N -o %t 2>/dev/null)" = idle ] && break
    sleep 0.5
done
[ "$(sinfo -h -N -o %t 2>/dev/null)" = idle ] || fail "the node did not come up: $(sinfo -N 2>&1)"

data="$tmp/data" out="$tmp/out" reports="$tmp/reports" reference="$tmp/reference"
/usr/bin/python3 "$source_dir/tests/engines/make_tree.py" "$data" 2000
mkdir -p "$reference"
"$cli_dir/marrowvale-cli" convert -q -j 1 -o "$reference" "$data" || fail "the plain -j 1 run failed"

# The script block of the README that submits an array, with only the data
# and output paths replaced.
awk '/^```/ { if (block ~ /#SBATCH --array/) { printf "%s", block; exit } block = ""; inside = !inside; next }
     inside { block = block $0 "\n" }' "$source_dir/README.md" >"$tmp/readme.sbatch"
grep -q '^#SBATCH --array' "$tmp/readme.sbatch" || fail "no Slurm array script in README.md"
sed -e "s|/shared/data|$data|g" -e "s|/shared/out|$out|g" -e "s|/shared/reports|$reports|g" \
    "$tmp/readme.sbatch" >"$tmp/jobs/convert.sbatch"

started=$(date +%s%N)
(cd "$tmp/jobs" && PATH="$cli_dir:$PATH" sbatch --wait --quiet convert.sbatch) ||
    fail "sbatch --wait: $(cat "$tmp"/jobs/slurm-*.out 2>/dev/null)"
milliseconds=$(( ($(date +%s%N) - started) / 1000000 ))

shards=$(ls "$reports"/*.jsonl | wc -l)
records=$(cat "$reports"/*.jsonl | wc -l)
sources=$(cat "$reports"/*.jsonl | jq -r .source | sort -u | wc -l)
converted=$(cat "$reports"/*.jsonl | jq -r 'select(.status == "converted" and (.reports | length) == 0) | .source' | wc -l)
[ "$records" -eq 2000 ] || fail "$records records for 2000 sources"
[ "$sources" -eq 2000 ] || fail "$sources distinct sources in $records records"
[ "$converted" -eq 2000 ] || fail "$converted of 2000 converted without a report"
# The README's jq check of the joined reports, as printed but for its folder.
awk '/^```/ { if (block ~ /jq -se/) { printf "%s", block; exit } block = ""; inside = !inside; next }
     inside { block = block $0 "\n" }' "$source_dir/README.md" | sed -e "s|/shared/reports|$reports|g" >"$tmp/check.sh"
grep -q 'jq -se' "$tmp/check.sh" || fail "no jq check of the reports in README.md"
sh "$tmp/check.sh" >/dev/null || fail "the README's jq check failed on the reports"
diff -r "$reference" "$out" >"$tmp/diff.txt" || fail "results differ from the -j 1 run: $(head "$tmp/diff.txt")"
echo "slurm: $shards shards, $records records, 2000 sources, results identical, ${milliseconds} ms in sbatch --wait"
