#!/usr/bin/env bash
# Tidewell: time from the start of the program to its first page shown on
# an X display (target: at most 500 ms), and the wizard's peak memory.
# Runs the program from its folder, as users do, under a private Xvfb,
# registry store and temporary folder. Needs Xvfb and xwininfo.
set -euo pipefail
trap 'echo "tidewell bench: failed at line $LINENO" >&2' ERR

bin="${KAVO_BIN_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}"
runs="${TIDEWELL_BENCH_RUNS:-7}"
target_ms=500
[ -x "$bin/Tidewell" ] || { echo "no $bin/Tidewell (build first)" >&2; exit 1; }
for tool in Xvfb xwininfo; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=""
wizard=""
cleanup() {
  [ -n "$wizard" ] && kill "$wizard" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to fd 3.
# -noreset: the server must not reset while one run ends and the next
# connects (that refuses the connection).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.02; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
viewable() { xwininfo -name "KAVO WLAN Tidewell" 2>/dev/null | grep -q "IsViewable"; }

times=()
peaks=()
for i in $(seq "$runs"); do
  start=$(now_ms)
  (cd "$bin" && exec ./Tidewell >/dev/null 2>&1) &
  wizard=$!
  shown=""
  while [ $(( $(now_ms) - start )) -lt 10000 ]; do
    if viewable; then shown=$(now_ms); break; fi
    sleep 0.002
  done
  sleep 0.3  # let it settle on its first page before the memory is taken
  # The peak resident set size so far (VmHWM, in KiB).
  peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$wizard/status" 2>/dev/null || true)
  kill "$wizard" 2>/dev/null || true
  wait "$wizard" 2>/dev/null || true
  wizard=""
  [ -n "$shown" ] || { echo "run $i: the first page never appeared" >&2; exit 1; }
  [ -n "$peak" ] || { echo "run $i: the wizard ended by itself" >&2; exit 1; }
  times+=($(( shown - start )))
  peaks+=("$peak")
  echo "run $i: first page after ${times[-1]} ms, peak memory ${peaks[-1]} KiB"
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
med_ms=$(median "${times[@]}")
med_kb=$(median "${peaks[@]}")
max_kb=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n1)
echo "tidewell: start to first page: median ${med_ms} ms over $runs runs (target <= ${target_ms} ms)"
echo "tidewell: peak memory: median ${med_kb} KiB, largest ${max_kb} KiB"
if [ "$med_ms" -gt "$target_ms" ]; then
  echo "tidewell: start-up time over target" >&2
  exit 1
fi
