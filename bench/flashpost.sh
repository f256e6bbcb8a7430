#!/usr/bin/env bash
# Flashpost's upload speed beside tftp-hpa, and its peak memory.
#
# A 188,416-byte file (the largest Flashpost holds) goes from Flashpost to
# ap-sim on port 69 of the loopback, timed from the write request to the last
# ACK (ap-sim measures it); the same file goes from tftp-hpa's tftp to
# in.tftpd (standard TFTP, also 512-byte stop and wait), timed around the
# client. Both run RUNS times in a private network namespace, so port 69 and
# the loopback are this script's own; the medians and their ratio are printed
# (target: at most 1.5), with Flashpost's peak resident memory.
set -euo pipefail

if [ "${1:-}" != "--inner" ]; then
  : "${KAVO_BIN_DIR:?run through scripts/bench, or set KAVO_BIN_DIR}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "flashpost: skipped (needs root for a private network namespace)"
    exit 0
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  unshare -n bash "$0" --inner "$work"
  exit $?
fi

work=$2
bin=$KAVO_BIN_DIR
runs=${RUNS:-7}
size=188416
ip link set lo up
# in.tftpd resolves its bind address with AI_ADDRCONFIG, which wants one
# address besides the loopback: a veth pair of this namespace's own.
ip link add kbench0 type veth peer name kbench1
ip addr add 192.0.2.1/24 dev kbench0
ip link set kbench0 up

mkdir -p "$work/tmp/pkg" "$work/config" "$work/srv"
chmod 1777 "$work/srv"
head -c $size /dev/urandom > "$work/tmp/pkg/fw.bin"
printf 'pkg\\fw.bin $0\r\n' > "$work/tmp/APfirmware.txt"
export TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
"$bin/kavo-reg" add 'HKCU\Software\KAVO\Tidewell' /v IpAddress /d 127.0.0.1 /f >/dev/null

# Waits until the file holds the text (at most 30 s).
wait_for() {
  for _ in $(seq 3000); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.01
  done
  echo "flashpost: no '$2' in $1" >&2
  return 1
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

fp_times=() ; peaks=()
for i in $(seq "$runs"); do
  out="$work/sim$i.out"
  "$bin/ap-sim" tftp --port 69 --address 127.0.0.1 --out "$work/got$i.bin" > "$out" &
  sim=$!
  wait_for "$out" '"listening"'
  "$bin/Flashpost" 2>/dev/null &
  fp=$!
  wait_for "$out" '"valid"'
  peaks+=("$(awk '/VmHWM/ {print $2}' /proc/$fp/status)")
  kill "$fp" "$sim"
  wait "$fp" "$sim" 2>/dev/null || true
  grep -q '"valid":true' "$out" || { echo "flashpost: invalid upload: $(tail -1 "$out")" >&2; exit 1; }
  cmp -s "$work/got$i.bin" "$work/tmp/pkg/fw.bin" || { echo "flashpost: image differs" >&2; exit 1; }
  fp_times+=("$(sed -n 's/.*"elapsed_ms":\([0-9.]*\).*/\1/p' "$out")")
done

port=6969
in.tftpd -L -s -c -a 127.0.0.1:$port "$work/srv" &
tftpd=$!
sleep 0.2
tftp_times=()
for i in $(seq "$runs"); do
  t0=$(date +%s%N)
  tftp -m binary 127.0.0.1 $port -c put "$work/tmp/pkg/fw.bin" "fw$i.bin"
  t1=$(date +%s%N)
  cmp -s "$work/srv/fw$i.bin" "$work/tmp/pkg/fw.bin" || { echo "flashpost: tftp-hpa copy differs" >&2; kill $tftpd; exit 1; }
  tftp_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", (b - a) / 1e6}')")
done
kill "$tftpd"
wait "$tftpd" 2>/dev/null || true

fp_med=$(printf '%s\n' "${fp_times[@]}" | median)
tftp_med=$(printf '%s\n' "${tftp_times[@]}" | median)
peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
echo "flashpost: $size bytes, $runs runs each (medians)"
echo "  Flashpost -> ap-sim     : ${fp_med} ms  (runs: ${fp_times[*]})"
echo "  tftp-hpa  -> in.tftpd   : ${tftp_med} ms  (runs: ${tftp_times[*]})"
awk -v a="$fp_med" -v b="$tftp_med" 'BEGIN {r = a / b; printf "  ratio Flashpost/tftp-hpa: %.2f (target <= 1.5) %s\n", r, (r <= 1.5 ? "ok" : "OVER")}'
echo "  Flashpost peak memory (VmHWM): ${peak} kB"
