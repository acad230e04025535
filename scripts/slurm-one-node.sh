#!/usr/bin/env bash
# A Slurm cluster of this machine alone, for tests: munged, slurmctld and
# slurmd as root, on loopback, with every file (key, configuration, state,
# logs, sockets) in one directory. Needs slurm-wlm and munge
# (scripts/install-deps.sh).
#
#   scripts/slurm-one-node.sh start DIR   # then: SLURM_CONF=DIR/slurm.conf sbatch ...
#   scripts/slurm-one-node.sh stop DIR    # stops the daemons that start started
#
# Ports 16817 and 16818 (not Slurm's own 6817/6818), so that it never meets
# a Slurm the machine may already run.
set -euo pipefail
command=${1:?start or stop}
dir=${2:?the state directory}
dir=$(cd "$dir" && pwd)

# The daemons this script started, by the process ids in their pid files.
stop() {
  local name pid
  for name in slurmd slurmctld munged; do
    [[ -s $dir/$name.pid ]] || continue
    pid=$(cat "$dir/$name.pid")
    if kill "$pid" 2>/dev/null; then
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/$name.pid"
  done
}

if [[ $command == stop ]]; then
  stop
  exit 0
fi
[[ $command == start ]] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

node=$(hostname -s)
cpus=$(nproc)
chmod 700 "$dir"
mkdir -p "$dir/state" "$dir/spool"
head -c 1024 /dev/urandom >"$dir/munge.key"
chmod 400 "$dir/munge.key"
# --force: munged as root, in a directory of its own rather than /run/munge.
munged --force --key-file="$dir/munge.key" --socket="$dir/munge.socket" \
  --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munged.seed"

cat >"$dir/slurm.conf" <<CONF
ClusterName=tavisor-test
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=16817
SlurmdPort=16818
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
# No cgroups: the tasks are plain processes of slurmd.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
MpiDefault=none
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
ReturnToService=2
SlurmdParameters=config_overrides
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$dir/slurm.conf
# -i: a fresh state, whatever an earlier run left.
slurmctld -i -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF" -N "$node"
for _ in $(seq 100); do
  if sinfo -h -N -o %t 2>/dev/null | grep -qE '^(idle|mix|alloc)'; then
    echo "one-node Slurm up: SLURM_CONF=$SLURM_CONF"
    exit 0
  fi
  sleep 0.2
done
echo "$0: the node did not come up; the logs:" >&2
tail -n 20 "$dir"/*.log >&2 || true
stop
exit 1
