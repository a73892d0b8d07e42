#!/usr/bin/env bash
# Checks the Debian package as a user would meet it:
#   scripts/check-package.sh [BUILD_DIR | PACKAGE.deb]        (default: build/)
# lintian finds no errors; the file list is complete; the desktop entry validates; the MIME type
# parses and maps *.fwx to the program's icon; the icons have their sizes; every manual page
# renders without warnings; and the programs unpacked from the package (into a temporary root,
# on the system's Qt libraries) run --help, inspect, info and program against the simulator from
# the same package, keeping their files in the per-user configuration folder of a temporary
# HOME. The programs run as an ordinary user (nobody, when this runs as root), so the unpacked
# bin folder is not writable for them, as /usr/bin is not.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC="$PWD"

arg="${1:-build}"
if [ -f "$arg" ]; then
  deb="$arg"
else
  shopt -s nullglob
  debs=("$arg"/quorvan-programmer_*.deb)
  shopt -u nullglob
  if [ ${#debs[@]} -ne 1 ]; then
    echo "check-package: expected one quorvan-programmer_*.deb in $arg, found ${#debs[@]}" >&2
    exit 1
  fi
  deb="${debs[0]}"
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() {
  echo "ok: $*"
}

work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== $deb"
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"

echo "== lintian"
if lintian --display-info --pedantic --fail-on error "$deb"; then
  pass "lintian: no errors"
else
  fail "lintian reports errors"
fi

echo "== contents"
chmod 755 "$work"
root="$work/root"
dpkg-deb -x "$deb" "$root"
chmod 755 "$root"
doc=usr/share/doc/quorvan-programmer
for f in usr/bin/quorvan-programmer usr/bin/quorvan-beacon-sim usr/bin/quorvan-fwx-pack \
  usr/share/applications/quorvan-programmer.desktop \
  usr/share/icons/hicolor/scalable/apps/quorvan-programmer.svg \
  usr/share/icons/hicolor/{48x48,64x64,128x128,256x256}/apps/quorvan-programmer.png \
  usr/share/mime/packages/quorvan-programmer.xml \
  usr/share/man/man1/{quorvan-programmer,quorvan-beacon-sim,quorvan-fwx-pack}.1.gz \
  $doc/copyright $doc/changelog.gz $doc/examples/demo.fwx; do
  [ -f "$root/$f" ] || fail "missing /$f"
done
for size in 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/quorvan-programmer.png"
  [ -f "$png" ] || continue
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  got="$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')"
  [ "$got" = "${size}x${size}" ] || fail "icon ${size}x${size} is $got"
done
xmllint --noout "$root/usr/share/icons/hicolor/scalable/apps/quorvan-programmer.svg" || fail "the SVG icon does not parse"
pass "file list and icon sizes checked"

echo "== desktop entry and MIME type"
desktop="$root/usr/share/applications/quorvan-programmer.desktop"
if desktop-file-validate "$desktop"; then
  pass "desktop-file-validate"
else
  fail "desktop-file-validate"
fi
grep -qx 'Exec=quorvan-programmer %f' "$desktop" || fail "the desktop entry does not pass the file to the program"
grep -qx 'MimeType=application/x-quorvan-fwx;' "$desktop" || fail "the desktop entry does not list the fwx type"
mimexml="$root/usr/share/mime/packages/quorvan-programmer.xml"
if xmllint --noout "$mimexml"; then
  pass "MIME XML parses"
else
  fail "MIME XML does not parse"
fi
mimedb="$work/mime"
mkdir -p "$mimedb/packages"
cp "$mimexml" "$mimedb/packages/"
update-mime-database "$mimedb" >/dev/null
grep -qx 'application/x-quorvan-fwx:\*\.fwx' <(cut -d: -f2- "$mimedb/globs2") ||
  fail "the MIME database does not map *.fwx to application/x-quorvan-fwx"
grep -qx 'application/x-quorvan-fwx:quorvan-programmer' "$mimedb/icons" ||
  fail "the fwx type does not show the program's icon"
pass "MIME database built from the package's XML"

echo "== manual pages"
for page in quorvan-programmer quorvan-beacon-sim quorvan-fwx-pack; do
  file="$root/usr/share/man/man1/$page.1.gz"
  [ -f "$file" ] || continue
  if ! LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" >"$work/$page.txt" 2>"$work/$page.err"; then
    fail "man -l $page failed"
  fi
  if [ -s "$work/$page.err" ]; then
    cat "$work/$page.err"
    fail "$page.1 renders with warnings"
  fi
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -q "^$section" "$work/$page.txt" || fail "$page.1 has no $section section"
  done
done
for section in COMMANDS SWITCHES FILES; do
  grep -q "^$section" "$work/quorvan-programmer.txt" || fail "quorvan-programmer.1 has no $section section"
done
# Every command and switch of the program's own usage text is in its manual page.
for word in ports info program config inspect -PORT= -BAUD= -WATCH= -RESULTS= -TRACE -LOG= -LOGAUTOSAVE= -LOGENTRIES= -MIN; do
  grep -q -- "$word" "$work/quorvan-programmer.txt" || fail "quorvan-programmer.1 does not mention $word"
done
pass "manual pages render"

echo "== the unpacked programs"
for exe in quorvan-programmer quorvan-beacon-sim quorvan-fwx-pack; do
  if readelf -d "$root/usr/bin/$exe" | grep -qE 'RPATH|RUNPATH'; then
    fail "$exe carries a library search path"
  fi
  if env -u LD_LIBRARY_PATH ldd "$root/usr/bin/$exe" | grep -q 'not found'; then
    env -u LD_LIBRARY_PATH ldd "$root/usr/bin/$exe" | grep 'not found'
    fail "$exe needs libraries the system does not have"
  fi
done

home="$work/home"
portable="$work/portable"
mkdir -p "$home" "$portable"
cp "$SRC/examples/demo.fwx" "$work/demo.fwx"
chmod 644 "$work/demo.fwx"
# As root every folder is writable, so the programs run as nobody; otherwise the unpacked bin
# folder is made read-only.
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$home" "$portable"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
  chmod a-w "$root/usr/bin"
fi
as_user=("${run_as[@]}" env -u LD_LIBRARY_PATH -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen)
run() {
  "${as_user[@]}" "$@"
}
prog="$root/usr/bin/quorvan-programmer"

# expect STATUS NAME TEXT COMMAND...: runs COMMAND, which must exit with STATUS and print TEXT.
expect() {
  local want="$1" name="$2" text="$3"
  shift 3
  local status=0
  run "$@" >"$work/$name.out" 2>&1 || status=$?
  if [ "$status" -ne "$want" ]; then
    tail -n 20 "$work/$name.out"
    fail "$name: exit status $status, expected $want"
  elif ! grep -qF -- "$text" "$work/$name.out"; then
    tail -n 20 "$work/$name.out"
    fail "$name: no \"$text\" in its output"
  else
    pass "$name"
  fi
}

expect 0 help "Exit status:" "$prog" --help
expect 0 inspect "Package is valid: 256 blocks, 65536 bytes of data." "$prog" inspect "$work/demo.fwx"
expect 0 fwx-pack-help "--output FILE" "$root/usr/bin/quorvan-fwx-pack" --help

# Started directly (not through a function) so that $! is the simulator itself.
"${as_user[@]}" "$root/usr/bin/quorvan-beacon-sim" --reboot-ms 300 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
pty=""
for _ in $(seq 1 100); do
  pty="$(head -n 1 "$work/sim.out" 2>/dev/null || true)"
  [ -n "$pty" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$pty" ]; then
  cat "$work/sim.err"
  fail "the simulator printed no device"
else
  pass "simulator on $pty"
  expect 0 info "104857" "$prog" info "-PORT=$pty"
  expect 0 program "Completed." "$prog" program "$root/$doc/examples/demo.fwx" "-PORT=$pty"
  kill "$sim_pid"
  sim_status=0
  wait "$sim_pid" || sim_status=$?
  sim_pid=""
  [ "$sim_status" -eq 0 ] || fail "the simulator exited with status $sim_status after SIGTERM"
fi
expect 2 no-port "is not available" "$prog" info "-PORT=$work/no-such-port"

echo "== where the installed program keeps its files"
config="$home/.config/Quorvan Programmer"
if [ -f "$config/quorvan-programmer.log" ] && grep -q "inspect" "$config/quorvan-programmer.log"; then
  pass "log in the per-user configuration folder"
else
  fail "no log with the runs in $config"
fi
extra="$(find "$root/usr/bin" -mindepth 1 ! -name quorvan-programmer ! -name quorvan-beacon-sim ! -name quorvan-fwx-pack)"
[ -z "$extra" ] || fail "files beside the installed programs: $extra"
# A copy in a folder the user can write to keeps its files beside itself.
cp "$prog" "$portable/"
run "$portable/quorvan-programmer" inspect "$work/demo.fwx" >/dev/null
if [ -f "$portable/quorvan-programmer.log" ]; then
  pass "a copy in a writable folder keeps its log beside itself"
else
  fail "a copy in a writable folder wrote no log beside itself"
fi

if [ "$failures" -ne 0 ]; then
  echo "check-package: $failures check(s) failed"
  exit 1
fi
echo "check-package: all checks passed"
