#!/usr/bin/env bash
# scripts/demo from end to end, without a display: it walks through "Update
# Firmware from the Internet" on a private X server by itself (Next, OK, Yes,
# Flashpost closed with Esc, Finish). Then: the AP chosen (the first one
# listed) received the new firmware byte for byte and the other nothing, the
# store holds the package's version as LastUpdateVersion, the demo exited 0
# and left no namespace, process or file behind. A second run is interrupted
# (as Ctrl-C does) and must clean up and exit 0 just the same. Without root
# the demo refuses with the reason.
# Usage: demo-test.sh SOURCE_DIR BIN_DIR
set -uo pipefail

src=$(cd "$1" && pwd)
bin=$(cd "$2" && pwd)
if [ "$(id -u)" -ne 0 ] || ! ip netns list >/dev/null 2>&1; then
  echo "the demo needs root (network namespaces); skipped"
  exit 77
fi
work=$(mktemp -d /tmp/kavo-demo-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Whatever the run named as its own (namespaces, hosts file, folder) is gone,
# and no process of it runs.
check_nothing_left() {  # log
  local tag folder p
  tag=$(sed -n 's/.*simulated network (\(kvd[0-9]*\)-\*).*/\1/p' "$1" | head -n1)
  folder=$(sed -n 's/.*files in \(\/tmp\/kavo-demo\.[A-Za-z0-9]*\).*/\1/p' "$1" | head -n1)
  [ -n "$tag" ] && [ -n "$folder" ] || { fail "the demo did not name its network and folder"; return; }
  ip netns list | grep -q "^$tag-" && fail "namespaces left: $(ip netns list | grep "^$tag-" | tr '\n' ' ')"
  ls -d /etc/netns/"$tag"-* >/dev/null 2>&1 && fail "/etc/netns/$tag-* left"
  [ -e "$folder" ] && fail "$folder left"
  for p in /proc/[0-9]*; do
    if tr "\0" "\n" 2>/dev/null <"$p/cmdline" | grep -q "$folder" ||
       tr "\0" "\n" 2>/dev/null <"$p/environ" | grep -qx "TMPDIR=$folder/tmp"; then
      fail "process left: $(tr '\0' ' ' <"$p/cmdline")"
    fi
  done
}

# After a forced kill the demo could not clean up: remove what it named,
# so that a failing run leaves nothing behind either.
sweep() {  # log
  local tag folder n
  tag=$(sed -n 's/.*simulated network (\(kvd[0-9]*\)-\*).*/\1/p' "$1" | head -n1)
  folder=$(sed -n 's/.*files in \(\/tmp\/kavo-demo\.[A-Za-z0-9]*\).*/\1/p' "$1" | head -n1)
  [ -n "$tag" ] || return 0
  for n in $(ip netns list | awk -v t="$tag-" 'index($1, t) == 1 {print $1}'); do
    ip netns pids "$n" | xargs -r kill -KILL 2>/dev/null
    ip netns del "$n"
  done
  rm -rf /etc/netns/"$tag"-*
  [ -n "$folder" ] && rm -rf "$folder"
}

run_demo() {  # log, extra env...
  local log=$1; shift
  # A command started with & ignores SIGINT; give the demo the default, as in a terminal.
  setsid env --default-signal=INT -u DISPLAY -u XAUTHORITY -u SUDO_UID -u SUDO_GID -u SUDO_USER \
    KAVO_BIN_DIR="$bin" \
    XDG_CONFIG_HOME="$work/config" "$@" "$src/scripts/demo" >"$log" 2>&1 &
  demo=$!
}

# --- not root: a clear refusal ------------------------------------------------
out=$(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups -- \
  env -u DISPLAY "$src/scripts/demo" 2>&1); rc=$?
[ $rc -eq 1 ] || fail "without root the demo exited with $rc, not 1"
grep -q "needs root" <<<"$out" && grep -q "namespaces" <<<"$out" ||
  fail "without root the demo does not say why it needs root: $out"

# --- the walk-through, as under sudo by an unprivileged user -----------------
# (nobody: Beaconry must still get UDP port 162 inside the PC namespace.)
chmod 755 "$work"
mkdir -p "$work/config"
chown nobody:"$(id -gn nobody)" "$work/config"
run_demo "$work/walk.log" KAVO_DEMO_SHOTS="$work/shots" SUDO_UID="$(id -u nobody)" \
  SUDO_GID="$(id -g nobody)" SUDO_USER=nobody
for _ in $(seq 3000); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$demo" 2>/dev/null; then
  fail "the demo did not end within 300 s"; kill -KILL -- "-$demo"; sleep 1; sweep "$work/walk.log"
fi
wait "$demo"; rc=$?
cat "$work/walk.log"
[ $rc -eq 0 ] || fail "the demo exited with $rc"

new=$(sed -n 's/^The new firmware (a1400.zip): \([0-9]*\) bytes, sha256 \([0-9a-f]*\)$/\1 \2/p' "$work/walk.log")
read -r new_length new_sha <<<"$new"
[ -n "${new_sha:-}" ] || fail "the demo did not state the new firmware"
report() { grep "^AP $1 " "$work/walk.log" | sed 's/^[^{]*//'; }
ap1=$(report 1) ap2=$(report 2)
for field in '"valid":true' '"request_ok":true' '"length_match":true' '"checksum_match":true' \
             "\"length\":${new_length:-x}," "\"sha256\":\"${new_sha:-x}\""; do
  grep -qF "$field" <<<"$ap1" || fail "AP 1 (the first listed, chosen) lacks $field: $ap1"
done
grep -qF '"requests":0' <<<"$ap2" || fail "AP 2, not chosen, was written to: $ap2"
version=$(XDG_CONFIG_HOME="$work/config" "$bin/kavo-reg" query 'HKCU\Software\KAVO\Tidewell' \
  /v LastUpdateVersion | awk '$1 == "LastUpdateVersion" {print $3}')
[ "$version" = 1400 ] || fail "LastUpdateVersion is '$version', not 1400"
owner=$(stat -c %U "$work/config/KAVO/registry.db" 2>/dev/null)
[ "$owner" = nobody ] || fail "the store belongs to '$owner', not to the user the demo ran for"
grep -q "^LastUpdateVersion in .*: 1400$" "$work/walk.log" || fail "the demo did not print LastUpdateVersion 1400"
for step in first-page ap-list procedure question flashpost-transfer flashpost-finished finished; do
  ls "$work/shots/"*"-$step.png" >/dev/null 2>&1 || fail "no screenshot of the step $step"
done
check_nothing_left "$work/walk.log"

# --- interrupted while the AP list is open ------------------------------------
run_demo "$work/interrupted.log" KAVO_DEMO_SHOTS="$work/shots2"
for _ in $(seq 600); do ls "$work/shots2/"*-ap-list.png >/dev/null 2>&1 && break; sleep 0.1; done
kill -INT -- "-$demo" 2>/dev/null    # what Ctrl-C sends to the terminal's foreground group
for _ in $(seq 300); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$demo" 2>/dev/null; then
  fail "the demo did not end after Ctrl-C"; kill -KILL -- "-$demo"; sleep 1; sweep "$work/interrupted.log"
fi
wait "$demo"; rc=$?
[ $rc -eq 0 ] || { cat "$work/interrupted.log"; fail "after Ctrl-C the demo exited with $rc"; }
grep -q "interrupted" "$work/interrupted.log" || fail "the demo did not say it was interrupted"
check_nothing_left "$work/interrupted.log"

[ $failures -eq 0 ] && echo "demo test passed"
[ $failures -eq 0 ]
