#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it: its metadata
# and contents, the manual pages and the units, and the installed programs run
# from a scratch root. Usage: test_package.sh BUILD_DIR SOURCE_DIR VERSION
# Exit 77 (skipped) where the Debian tools are missing.
set -euo pipefail
build=$(cd "$1" && pwd) source=$2 version=$3

for tool in cpack dpkg dpkg-deb dpkg-shlibdeps groff; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
arch=$(dpkg --print-architecture)

# The package, from the programs already built here.
if ! cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
deb=$work/out/zqreader_${version}_${arch}.deb
[ -f "$deb" ] || { ls -R "$work/out"; echo "FAIL: no $deb"; exit 1; }

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = zqreader ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=", $(field Depends | tr -d '\n'),"
echo "Depends: ${depends:2:-1}"
for dep in libc6 libqt6core6 libqt6sql6 libqt6serialport6 libqt6widgets6 libqt6svg6 \
  libqt6sql6-sqlite qt6-qpa-plugins adduser; do
  grep -Eq ", $dep( \([^)]*\))?," <<<"${depends// ,/,}" || fail "Depends lacks $dep"
done
grep -Eq ", sqlite3( |,)" <<<"$depends" && fail "Depends on the sqlite3 tool"

contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for path in usr/bin/zqreader usr/bin/zqreader-cli usr/bin/zqreader-sim \
  usr/share/zqreader/template.db usr/share/applications/zqreader.desktop \
  usr/share/icons/hicolor/scalable/apps/zqreader.svg \
  usr/share/man/man1/zqreader.1.gz usr/share/man/man1/zqreader-cli.1.gz \
  usr/share/man/man1/zqreader-sim.1.gz \
  usr/lib/systemd/system/zqreader-read@.service usr/lib/systemd/system/zqreader-read@.timer \
  usr/share/doc/zqreader/examples/zqreader-read.conf \
  usr/share/doc/zqreader/examples/60-zqreader-adapter.rules; do
  grep -qx "\./$path" <<<"$contents" || fail "missing /$path"
done
# Nothing of the build or the tests, and no unit enabled by the package.
grep -Eq '/(tests|bench|tools)/|\.a$|\.wants/' <<<"$contents" && fail "unexpected files"

dpkg-deb --control "$deb" "$work/control"
for script in postinst postrm; do
  [ -x "$work/control/$script" ] && sh -n "$work/control/$script" || fail "$script"
done

root=$work/root
dpkg-deb -x "$deb" "$root"

for page in zqreader zqreader-cli zqreader-sim; do
  warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "@ZQ_VERSION@" && fail "$page.1 version"
done
for option in --port --log-line --exit-nothing-new --verbose; do
  zcat "$root/usr/share/man/man1/zqreader-cli.1.gz" | grep -q -- "${option//-/\\\\-}" ||
    fail "zqreader-cli.1 lacks $option"
done

# The installed programs, with the installed template: run from an empty
# folder, the template is found under ../share/zqreader from the program.
mkdir "$work/run"
cd "$work/run"
out=$("$root/usr/bin/zqreader-cli" --version) && [ "$out" = "zqreader-cli $version" ] ||
  fail "zqreader-cli --version: $out"
out=$("$root/usr/bin/zqreader-cli" new front.db 2>&1) &&
  [ "$out" = "A new database has been created:  $work/run/front.db" ] || fail "new: $out"
out=$("$root/usr/bin/zqreader-cli" list front.db 2>&1) && [ -z "$out" ] || fail "list: $out"
"$root/usr/bin/zqreader-sim" --version >/dev/null || fail "zqreader-sim --version"
rc=0
QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/zqreader" front.db >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 124 ] || fail "the desktop program did not keep running (status $rc)"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/zqreader.desktop" || fail "desktop entry"
fi

# What the service runs, as it runs it: the instance's configuration read as
# its EnvironmentFile, the command line of ExecStart with its variables, and
# the receiver a simulated one.
"$root/usr/bin/zqreader-sim" --generate 30 --seed 7 --pace 0 --link "$work/run/rx" \
  >/dev/null 2>"$work/sim.log" &
sim=$!
for _ in $(seq 100); do [ -e "$work/run/rx" ] && break; sleep 0.05; done
sed -e "s|^ZQREADER_DB=.*|ZQREADER_DB=$work/run/front.db|" \
  -e "s|^ZQREADER_PORT=.*|ZQREADER_PORT=$work/run/rx|" \
  "$root/usr/share/doc/zqreader/examples/zqreader-read.conf" >"$work/front.conf"
exec_start=$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/system/zqreader-read@.service")
run_service() {
  (
    set -a
    . "$work/front.conf"
    set +a
    eval "set -- $exec_start"
    PATH=$root/usr/bin:$PATH "$@"
  )
}
out=$(run_service 2>&1) && [ "$out" = "zqreader-cli read: $work/run/front.db from $work/run/rx: 30 events downloaded" ] ||
  fail "the service's command line: $out"
out=$(run_service 2>&1) && [ "$out" = "zqreader-cli read: $work/run/front.db from $work/run/rx: nothing new" ] ||
  fail "the service's command line, a second time: $out"
kill $sim 2>/dev/null
wait $sim 2>/dev/null

# The units, with the program where this root has it.
if command -v systemd-analyze >/dev/null; then
  mkdir "$work/units"
  for unit in zqreader-read@.service zqreader-read@.timer; do
    sed "s|^ExecStart=zqreader-cli|ExecStart=$root/usr/bin/zqreader-cli|" \
      "$root/usr/lib/systemd/system/$unit" >"$work/units/$unit"
  done
  cp "$work/units/zqreader-read@.service" "$work/units/zqreader-read@front.service"
  cp "$work/units/zqreader-read@.timer" "$work/units/zqreader-read@front.timer"
  # Documentation=man:zqreader-cli(1) is looked up among the installed pages.
  if ! out=$(cd "$work/units" && MANPATH=$root/usr/share/man SYSTEMD_LOG_LEVEL=warning \
    systemd-analyze verify \
    zqreader-read@front.service zqreader-read@front.timer 2>&1); then
    fail "systemd-analyze verify: $out"
  elif [ -n "$out" ]; then
    fail "systemd-analyze verify warns: $out"
  fi
else
  echo "systemd-analyze is not installed: units not verified"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package $deb checked"
