#!/usr/bin/env bash
# End to end on a real Slurm cluster: stands up a one-node cluster in a scratch folder (its own munge
# key and daemon, a generated slurm.conf, slurmctld and slurmd on free ports), submits a 12-frame
# render with `zephrin farm slurm` in chunks of 4, compares every frame byte for byte with a local
# render, then requeues one task and checks that it rewrites nothing. Everything it starts is
# stopped on the way out, whatever happens.
#
# Usage: slurm_farm_test.sh ZEPHRIN
# Exit 0 pass, 1 fail, 77 skipped (Slurm or munge cannot run here).
set -euo pipefail

zephrin=$(realpath "$1")
readonly kSkip=77
# How long the cluster may take to come up, and a job to finish, in seconds.
readonly kStartTimeout=60
readonly kJobTimeout=240

skip() { echo "SKIPPED: $*" >&2; exit "$kSkip"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "the test cluster runs its daemons as root and munged as the munge user"
for tool in munged munge slurmctld slurmd sbatch scontrol sinfo runuser; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (Debian packages slurm-wlm and munge)"
done
getent passwd munge >/dev/null || skip "there is no munge user (Debian package munge)"

work=$(mktemp -d /tmp/zephrin-slurm.XXXXXX)
chmod 755 "$work"
pids=()
finished=0
cleanup() {
  # Stop the daemons this script started, newest first, and wait for each.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ "$finished" -ne 1 ]; then
    for log in "$work"/log/* "$work"/munge-run/munged.log "$work"/farm/slurm-*.out; do
      [ -f "$log" ] && { echo "--- $log"; tail -n 40 "$log"; }
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A port no one listens on; the cluster must not meet another one started beside it.
free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && ! (exec 3<>"/dev/tcp/127.0.0.1/$((port + 1))") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  skip "no free port pair found"
}

# munge: a 1024-byte random key that only the munge user can read, and a private socket.
mkdir -p "$work/munge-key" "$work/munge-run" "$work/log" "$work/state" "$work/spool"
dd if=/dev/urandom of="$work/munge-key/munge.key" bs=1024 count=1 status=none
chown -R munge:munge "$work/munge-key" "$work/munge-run"
chmod 700 "$work/munge-key"
chmod 400 "$work/munge-key/munge.key"
chmod 755 "$work/munge-run"
socket="$work/munge-run/munge.socket"
# munged forks into the background once its socket is ready; its pid file says which process to stop.
runuser -u munge -- munged --key-file="$work/munge-key/munge.key" --socket="$socket" \
  --pid-file="$work/munge-run/munged.pid" --seed-file="$work/munge-run/munged.seed" \
  --log-file="$work/munge-run/munged.log" >"$work/log/munged.out" 2>&1 || skip "munged did not start"
pids+=("$(cat "$work/munge-run/munged.pid")")
munge -S "$socket" -n </dev/null | unmunge -S "$socket" >/dev/null 2>&1 || skip "munged did not start"

node=$(hostname -s)
port=$(free_port)
memory=$(awk '/MemTotal/ { print int($2 / 1024 * 0.9) }' /proc/meminfo)
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=zephrintest
SlurmctldHost=$node(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
SlurmctldPort=$port
SlurmdPort=$((port + 1))
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$memory State=UNKNOWN
PartitionName=render Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF

slurmctld -D -f "$SLURM_CONF" >"$work/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$work/log/slurmd.out" 2>&1 &
pids+=($!)
up=0
for _ in $(seq 1 $((kStartTimeout * 2))); do
  if [ "$(sinfo -h -n "$node" -o %t 2>/dev/null)" = "idle" ]; then up=1; break; fi
  sleep 0.5
done
[ "$up" -eq 1 ] || skip "the Slurm node did not come up"
echo "cluster up: node $node, $(nproc) CPUs, ports $port-$((port + 1))"

# Twelve frames that all differ: a lit card turning under a spot light that casts a shadow.
mkdir -p "$work/farm" "$work/local"
cat >"$work/scene.json" <<'SCENE'
{"format": "zephrin-scene", "version": 1,
 "composition": {"name": "Farm", "width": 96, "height": 54, "frameRate": 12, "duration": 1,
                 "background": [0.1, 0.1, 0.15, 1]},
 "footage": {"card": {"solid": {"color": [0.9, 0.5, 0.2], "width": 48, "height": 30}},
             "floor": {"solid": {"color": [0.7, 0.7, 0.7], "width": 200, "height": 120}}},
 "layers": [
   {"name": "Key", "type": "light",
    "light": {"lightType": "spot", "coneAngle": 90, "castsShadows": true, "shadowDarkness": 80},
    "transform": {"position": [30, 10, -80], "pointOfInterest": [48, 27, 0]}},
   {"name": "Card", "type": "av", "source": "card", "threeD": true,
    "transform": {"position": [48, 27, 0], "rotationY": {"keyframes": [[0, -50], [1, 50]]}},
    "material": {"castsShadows": "on"}},
   {"name": "Floor", "type": "av", "source": "floor", "threeD": true,
    "transform": {"position": [48, 27, 30]}}]}
SCENE

"$zephrin" render "$work/scene.json" --frames 0-11 -o "$work/local/frame.####.png" --progress plain >/dev/null \
  || fail "the local render failed"

"$zephrin" farm slurm "$work/scene.json" --frames 0-11 --chunk 4 -o "$work/farm/out/frame.####.png" --dry-run \
  >"$work/dry-run.sh" || fail "the dry run failed"
grep -q -- "--array=0-2" "$work/dry-run.sh" || fail "the dry run does not ask for three array tasks"

cd "$work/farm"
job=$("$zephrin" farm slurm "$work/scene.json" --frames 0-11 --chunk 4 -o "$work/farm/out/frame.####.png") \
  || fail "the submission failed"
[[ "$job" =~ ^[0-9]+$ ]] || fail "the submission printed \"$job\", not a job id"
echo "submitted job $job"

# Waits until every task of the job has ended; prints their states, one per line.
wait_for_job() {
  local deadline=$((SECONDS + kJobTimeout)) states
  while [ "$SECONDS" -lt "$deadline" ]; do
    states=$(scontrol show job -o "$job" | grep -o 'JobState=[A-Z_]*' | cut -d= -f2)
    if [ -n "$states" ] && ! grep -qvE '^(COMPLETED|FAILED|CANCELLED|TIMEOUT|OUT_OF_MEMORY|NODE_FAIL)$' <<<"$states"; then
      echo "$states"
      return
    fi
    sleep 1
  done
  fail "job $job did not finish within $kJobTimeout s: $(scontrol show job -o "$job" | grep -o 'JobState=[A-Z_]*' | tr '\n' ' ')"
}
states=$(wait_for_job)
[ "$(grep -c '^COMPLETED$' <<<"$states")" -eq 3 ] || fail "expected three completed tasks, got: $(tr '\n' ' ' <<<"$states")"

for n in $(seq -f '%04g' 0 11); do
  [ -f "out/frame.$n.png" ] || fail "frame $n was not written by the farm"
  cmp -s "$work/local/frame.$n.png" "out/frame.$n.png" || fail "frame $n differs from the local render"
done
[ "$(ls out | wc -l)" -eq 12 ] || fail "the farm left other files beside the frames: $(ls out | tr '\n' ' ')"
echo "12 frames identical to the local render"

# A requeued task (a node lost, a preemption) must find its frames done and rewrite none of them.
before=$(stat -c '%n %i %.9Y %s' out/*)
scontrol requeue "${job}_1"
# A requeued job waits out a grace period before it may start again; this cluster needs none.
scontrol update JobId="${job}_1" StartTime=now
deadline=$((SECONDS + kJobTimeout))
while :; do
  record=$(scontrol show job -o "${job}_1")
  if grep -q 'JobState=COMPLETED' <<<"$record" && grep -q 'Restarts=1' <<<"$record"; then break; fi
  grep -qE 'JobState=(FAILED|CANCELLED|TIMEOUT|OUT_OF_MEMORY)' <<<"$record" && fail "the requeued task ended: $record"
  [ "$SECONDS" -lt "$deadline" ] || fail "the requeued task did not finish: $record"
  sleep 1
done
after=$(stat -c '%n %i %.9Y %s' out/*)
[ "$before" = "$after" ] || fail "the requeued task rewrote frames: $(diff <(echo "$before") <(echo "$after"))"
for n in 0004 0005 0006 0007; do
  grep -q "skipped .*frame.$n.png (already there)" "slurm-${job}_1.out" \
    || fail "the requeued task did not find frame $n done: $(cat "slurm-${job}_1.out")"
done
echo "requeued task 1 ran again and rewrote nothing"
finished=1
