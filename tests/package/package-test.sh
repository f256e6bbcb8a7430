#!/usr/bin/env bash
# The installation and the Debian package, checked from the outside:
#  1. `cmake --install` into a staging folder gives the program folder, the
#     launcher, the desktop entry and the icon;
#  2. cpack builds the .deb from the same build: same files, a Depends line
#     that covers every shared library the programs load, the
#     post-installation step that grants Beaconry its port;
#  3. (root) the launcher of the unpacked .deb, started from another folder,
#     shows the wizard under a private Xvfb, and its AP search runs the
#     installed Beaconry, which finds a simulated AP in a network namespace.
# Usage: package-test.sh BUILD_DIR
set -uo pipefail

build=$(cd "$1" && pwd)
bin="$build/bin"
work=$(mktemp -d /tmp/kavo-package-test.XXXXXX)
failures=0
pids=()
namespaces=()
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  for n in "${namespaces[@]}"; do ip netns del "$n" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

for f in Tidewell Beaconry Flashpost kavo-reg ap-sim AT76C510.mib; do
  [ -e "$bin/$f" ] || { echo "FAIL: $bin/$f is not built" >&2; exit 1; }
done

# --- 1. the staged installation ---------------------------------------------
stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install"; exit 1; }

programs=usr/lib/kavo-tidewell
expected=(
  usr/bin/tidewell usr/bin/kavo-reg
  "$programs/Tidewell" "$programs/Beaconry" "$programs/Flashpost" "$programs/AT76C510.mib"
  usr/share/applications/kavo-tidewell.desktop
  usr/share/icons/hicolor/scalable/apps/kavo-tidewell.svg
)
# Whatever language files the build holds go into the program folder too.
for f in "$bin"/Tidewell.*; do
  [ -f "$f" ] && expected+=("$programs/$(basename "$f")")
done
for f in "${expected[@]}"; do
  [ -f "$stage/$f" ] || fail "the staged installation lacks $f"
done
for f in usr/bin/tidewell "$programs/Tidewell" "$programs/Beaconry" "$programs/Flashpost"; do
  [ -x "$stage/$f" ] || fail "$f is not executable"
done
cmp -s "$bin/AT76C510.mib" "$stage/$programs/AT76C510.mib" || fail "the installed MIB file differs"
# Nothing of the programs or the MIB file lands on the PATH itself.
for f in Tidewell Beaconry Flashpost AT76C510.mib ap-sim; do
  [ -e "$stage/usr/bin/$f" ] && fail "usr/bin/$f installed: the programs belong in the program folder"
done
for f in "$stage"/usr/bin/Tidewell.*; do
  [ -e "$f" ] && fail "${f#$stage/} installed: language files belong in the program folder"
done
desktop="$stage/usr/share/applications/kavo-tidewell.desktop"
grep -qx 'Exec="/usr/bin/tidewell"' "$desktop" || fail "desktop entry: Exec is not the launcher"
grep -qx "Path=/usr/lib/kavo-tidewell" "$desktop" || fail "desktop entry: Path is not the program folder"
grep -qx "Icon=kavo-tidewell" "$desktop" || fail "desktop entry: no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry does not validate"
fi

# --- 2. the Debian package ---------------------------------------------------
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack"; exit 1; }
deb=$(ls "$work"/deb/kavo-tidewell_*_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { fail "cpack made no kavo-tidewell .deb"; exit 1; }
echo "package: $(basename "$deb")"

# The same files as the staged installation.
(cd "$stage" && find . -type f | sed 's|^\./||' | sort) >"$work/staged.txt"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./||' | sort >"$work/packaged.txt"
diff -u "$work/staged.txt" "$work/packaged.txt" >"$work/files.diff" ||
  { cat "$work/files.diff" >&2; fail "the package's files differ from the staged installation"; }

# Every shared library the programs name (NEEDED) comes from a package in Depends.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for exe in Tidewell Beaconry Flashpost kavo-reg; do
  needed=$(objdump -p "$bin/$exe" | awk '$1 == "NEEDED" {print $2}')
  [ -n "$needed" ] || echo "FAIL: no NEEDED entries in $exe" >&2
  ldd "$bin/$exe" | awk -v list="$needed" 'BEGIN {n = split(list, a, "\n"); for (i = 1; i <= n; i++) want[a[i]] = 1}
                                          $2 == "=>" && ($1 in want) {print $3}'
done | sort -u | while read -r lib; do
  real=$(readlink -f "$lib")
  pkg=$(dpkg -S "$lib" 2>/dev/null || dpkg -S "$real" 2>/dev/null)
  pkg=${pkg%%:*}
  [ -n "$pkg" ] || { echo "FAIL: no package owns $lib" >&2; exit 1; }
  sed 's/ *([^)]*)//g; s/ *| */\n/g; s/, */\n/g' <<<"$depends" | grep -qxF "$pkg" || { echo "FAIL: Depends lacks $pkg (for $lib)" >&2; exit 1; }
done || fail "the Depends line does not cover the programs' libraries"

# The post-installation step grants the capability or says clearly why not.
dpkg-deb -e "$deb" "$work/control"
postinst="$work/control/postinst"
[ -x "$postinst" ] || fail "the package has no executable postinst"
grep -q "setcap cap_net_bind_service=+ep" "$postinst" || fail "postinst does not grant the port capability"
grep -q '"/usr/lib/kavo-tidewell/Beaconry"' "$postinst" || fail "postinst does not name the installed Beaconry"
if [ ! -e /usr/lib/kavo-tidewell/Beaconry ]; then
  # Without setcap on the PATH: a message naming what to install, success.
  out=$(PATH=/nonexistent /bin/sh "$postinst" configure 2>&1); rc=$?
  [ $rc -eq 0 ] || fail "postinst without setcap fails the installation (exit $rc)"
  grep -q "libcap2-bin" <<<"$out" || fail "postinst without setcap says nothing useful: $out"
  # With setcap but a refusal (here: the file is not there): a message, success.
  if command -v setcap >/dev/null; then
    out=$(/bin/sh "$postinst" configure 2>&1); rc=$?
    [ $rc -eq 0 ] || fail "postinst with a refused setcap fails the installation (exit $rc)"
    grep -q "could not grant Beaconry" <<<"$out" || fail "postinst hides a refused setcap: $out"
  fi
fi

# As root: the step grants the capability to Beaconry (here the package's own
# copy, unpacked, named in place of the installed path).
if [ "$(id -u)" -eq 0 ] && command -v setcap >/dev/null; then
  dpkg-deb -x "$deb" "$work/granted"
  sed "s|\"/usr/lib/kavo-tidewell/Beaconry\"|\"$work/granted/usr/lib/kavo-tidewell/Beaconry\"|" \
    "$postinst" >"$work/postinst-granted"
  out=$(/bin/sh "$work/postinst-granted" configure 2>&1); rc=$?
  [ $rc -eq 0 ] || fail "postinst failed (exit $rc): $out"
  [ -z "$out" ] || fail "postinst complained although it could grant the capability: $out"
  getcap "$work/granted/usr/lib/kavo-tidewell/Beaconry" | grep -q cap_net_bind_service ||
    fail "postinst did not grant Beaconry cap_net_bind_service"
fi

# --- 3. the unpacked package's launcher, its wizard and its AP search --------
if [ "$(id -u)" -ne 0 ] || ! ip netns list >/dev/null 2>&1; then
  echo "the launcher check needs root (network namespaces); skipped"
  [ $failures -eq 0 ] && exit 77
  exit 1
fi
for tool in Xvfb xdotool xwininfo; do
  command -v $tool >/dev/null || { fail "$tool is missing (scripts/setup installs it)"; exit 1; }
done
root="$work/root"
dpkg-deb -x "$deb" "$root"

# A PC and an AP joined by a veth pair, in namespaces of their own.
tag="kvp$$"
pc="$tag-pc" ap="$tag-ap"
ip netns add "$pc" && namespaces+=("$pc")
ip netns add "$ap" && namespaces+=("$ap")
ip link add "${tag}a" netns "$pc" type veth peer name "${tag}b" netns "$ap" || { fail "veth"; exit 1; }
ip -n "$pc" link set "${tag}a" name eth0
ip -n "$ap" link set "${tag}b" name eth0
for n in "$pc" "$ap"; do ip -n "$n" link set lo up; ip -n "$n" link set eth0 up; done
ip -n "$pc" addr add 10.78.0.1/24 dev eth0
ip -n "$ap" addr add 10.78.0.11/24 dev eth0
ip -n "$pc" route add default dev eth0
ip -n "$ap" route add default dev eth0

ip netns exec "$ap" "$bin/ap-sim" snmp --description "KAVO AP firmwareV1.4.2 packaged" >"$work/agent.log" 2>&1 &
pids+=($!)

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 250); do [ -s "$work/display" ] && break; sleep 0.02; done
[ -s "$work/display" ] || { fail "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
mkdir -p "$work/config" "$work/tmp" "$work/elsewhere"

# From another current folder, as a user starting it from a shell would.
(cd "$work/elsewhere" && exec ip netns exec "$pc" env QT_QPA_PLATFORM=xcb \
   XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp" "$root/usr/bin/tidewell") >"$work/wizard.log" 2>&1 &
wizard=$!
pids+=($wizard)

window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
wait_window() {
  for _ in $(seq 100); do w=$(window "$1"); [ -n "$w" ] && { echo "$w"; return 0; }; sleep 0.1; done
  return 1
}
main=$(wait_window "KAVO WLAN Tidewell") || { cat "$work/wizard.log" >&2; fail "the launcher showed no wizard"; exit 1; }
cwd=$(readlink "/proc/$wizard/cwd" 2>/dev/null)   # ip netns exec and the launcher exec it
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key --window "$main" alt+n     # Next: the AP search
if wait_window "AP List" >/dev/null; then
  found=$(XDG_CONFIG_HOME="$work/config" "$bin/kavo-reg" query 'HKCU\Software\KAVO\Tidewell' /v ApIpAddress 2>&1)
  grep -q "10.78.0.11" <<<"$found" || fail "the AP search did not find the simulated AP: $found"
  [ -n "${KAVO_SCREENSHOT_DIR:-}" ] && import -window root "$KAVO_SCREENSHOT_DIR/package-aplist.png"
else
  fail "no AP List after Next (the wizard did not find or run Beaconry)"
  cat "$work/wizard.log" >&2
fi
echo "wizard's current folder: ${cwd:-unknown}"
[ -z "$cwd" ] || [ "$cwd" = "$root/usr/lib/kavo-tidewell" ] || fail "the wizard runs in $cwd, not its program folder"

[ $failures -eq 0 ] && echo "package test passed"
[ $failures -eq 0 ]
