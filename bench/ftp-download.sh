#!/usr/bin/env bash
# Tidewell's download from the update server: a 64 MB package from vsftpd
# on the loopback interface, fetched by the wizard (its download method,
# driven in tidewell-download-bench) and by curl in active mode, in one
# run, each writing into the same kind of folder. Prints both transfer
# times, their ratio (target: the wizard at most 1.1 times curl's time)
# and the longest pause of the wizard's event loop during the download
# (target: under 50 ms). Needs root (vsftpd shuts anonymous users into
# their folder), vsftpd and curl.
set -euo pipefail
trap 'echo "ftp-download bench: failed at line $LINENO" >&2' ERR

bin="${KAVO_BIN_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}"
runs="${FTP_BENCH_RUNS:-7}"
size_mb=64
[ -x "$bin/tidewell-download-bench" ] || { echo "no $bin/tidewell-download-bench (build first)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "ftp-download bench: needs root for vsftpd; skipped"; exit 0; }
vsftpd=$(command -v vsftpd || echo /usr/sbin/vsftpd)
for tool in "$vsftpd" curl python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/pub/KAVO/Wireless/AP" "$work/empty" "$work/tmp" "$work/curl" "$work/config"
chmod 755 "$work" "$work/root"
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/root/pub/KAVO/Wireless/AP/a1400.zip"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
anon_root=$work/root
no_anon_password=YES
port_enable=YES
connect_from_port_20=NO
pasv_enable=NO
secure_chroot_dir=$work/empty
seccomp_sandbox=NO
xferlog_enable=NO
write_enable=NO
CONF
"$vsftpd" "$work/vsftpd.conf" &
server=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done

export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp"
ratios=()
pauses=()
for i in $(seq "$runs"); do
  rm -f "$work/tmp/a1400.zip" "$work/saved.zip" "$work/curl/a1400.zip"
  out=$("$bin/tidewell-download-bench" 127.0.0.1 "$port" "$work/saved.zip" 2>"$work/bench.err")
  case "$out" in ok=1*) ;; *) echo "run $i: the wizard's download failed: $out $(cat "$work/bench.err")" >&2; exit 1 ;; esac
  wizard_ms=$(sed -n 's/.*transfer_ms=\([0-9.]*\).*/\1/p' <<<"$out")
  pause_ms=$(sed -n 's/.*longest_pause_ms=\([0-9.]*\).*/\1/p' <<<"$out")
  cmp -s "$work/tmp/a1400.zip" "$work/root/pub/KAVO/Wireless/AP/a1400.zip" || { echo "run $i: the wizard's file differs" >&2; exit 1; }
  # curl: from its RETR (pre-transfer done) to the end, active mode.
  curl_s=$(curl -s --ftp-port 127.0.0.1 -o "$work/curl/a1400.zip" \
    -w '%{time_pretransfer} %{time_total}' "ftp://127.0.0.1:$port/pub/KAVO/Wireless/AP/a1400.zip")
  curl_ms=$(awk '{printf "%.1f", ($2 - $1) * 1000}' <<<"$curl_s")
  cmp -s "$work/curl/a1400.zip" "$work/root/pub/KAVO/Wireless/AP/a1400.zip" || { echo "run $i: curl's file differs" >&2; exit 1; }
  ratio=$(awk -v w="$wizard_ms" -v c="$curl_ms" 'BEGIN {printf "%.2f", w / c}')
  ratios+=("$ratio")
  pauses+=("$pause_ms")
  echo "run $i: wizard ${wizard_ms} ms, curl ${curl_ms} ms, ratio ${ratio}, longest event-loop pause ${pause_ms} ms"
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
med_ratio=$(median "${ratios[@]}")
max_pause=$(printf '%s\n' "${pauses[@]}" | sort -g | tail -n1)
echo "ftp-download: ${size_mb} MB, wizard/curl time ratio: median ${med_ratio} over $runs runs (target <= 1.1)"
echo "ftp-download: longest event-loop pause during the download: ${max_pause} ms (target < 50 ms)"
status=0
awk -v r="$med_ratio" 'BEGIN {exit !(r > 1.1)}' && { echo "ftp-download: slower than the target" >&2; status=1; }
awk -v p="$max_pause" 'BEGIN {exit !(p >= 50)}' && { echo "ftp-download: event-loop pause over the target" >&2; status=1; }
exit $status
