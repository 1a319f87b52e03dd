#!/usr/bin/env bash
# install_test.sh BUILD SOURCE CMAKE CC PREFIX LIBDIR
# Installs into a temporary DESTDIR and uses the tree as a station and an integrator would: the C
# example of the README built with pkg-config and with CMake, the Python module, and the programs,
# all run by an ordinary user (nobody, when the test runs as root) against the installed simulator.
set -euo pipefail
umask 022
build=$1 src=$2 cmake=$3 cc=$4 prefix=$5 libdir=$6
fail() { echo "FAIL: $*" >&2; exit 1; }

tmp=$(mktemp -d /tmp/tagwright-install-XXXXXX)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"
dest=$tmp/root
root=$dest$prefix
DESTDIR=$dest "$cmake" --install "$build" >/dev/null

# The tree.
for f in bin/tagwright-cli bin/tagwright-sim lib/tagwright/TagwrightEng.so include/tagwright/lf_sdk.h \
  "$libdir/pkgconfig/tagwright-sdk.pc" "$libdir/cmake/TagwrightSdk/TagwrightSdkConfig.cmake" \
  lib/python3/dist-packages/tagwright_sdk/__init__.py share/doc/tagwright/README.md; do
  [ -e "$root/$f" ] || fail "missing $f"
done
for f in lib/udev/rules.d/60-tagwright.rules share/man/man1/tagwright-cli.1.gz share/man/man1/tagwright-sim.1.gz; do
  [ -e "$root/$f" ] || fail "missing $f"
done
if [ -e "$root/bin/tagwright" ]; then
  for f in share/man/man1/tagwright.1.gz share/applications/example.velkor.Tagwright.desktop \
    share/metainfo/example.velkor.Tagwright.metainfo.xml share/icons/hicolor/scalable/apps/tagwright.svg \
    share/doc/tagwright/Tagwright-Bedienungsanleitung.pdf; do
    [ -e "$root/$f" ] || fail "missing $f"
  done
  ! command -v desktop-file-validate >/dev/null ||
    desktop-file-validate "$root"/share/applications/*.desktop || fail "desktop entry"
  ! command -v appstreamcli >/dev/null ||
    appstreamcli validate --no-net "$root"/share/metainfo/*.xml >/dev/null || fail "AppStream data"
fi
zcat "$root/share/man/man1/tagwright-cli.1.gz" | grep -qF -- '\-\-port' || fail "manual page without options"

# The udev rule: `udevadm verify` where udev has it; otherwise `udevadm test` parses every rules
# file, ours put into /etc/udev/rules.d inside a mount namespace of our own.
rules=$root/lib/udev/rules.d/60-tagwright.rules
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules" || fail "udevadm verify"
elif command -v udevadm >/dev/null && [ -d /etc/udev/rules.d ] && [ "$(id -u)" -eq 0 ] &&
  unshare --mount true 2>/dev/null; then
  parsed=$(unshare --mount sh -c 'mount -t tmpfs none /etc/udev/rules.d && cp "$1" /etc/udev/rules.d/ &&
    udevadm test --action=add /sys/class/tty/console 2>&1' sh "$rules")
  grep -q 'Reading rules file: /etc/udev/rules.d/60-tagwright.rules' <<<"$parsed" || fail "udev did not read the rule"
  ! grep '60-tagwright.rules:' <<<"$parsed" || fail "udev rule"
else
  echo "udev rule not checked: no udevadm, or not root" >&2
fi

lib=$root/$libdir
[ "$(readlink "$lib/libtagwright_sdk.so")" = libtagwright_sdk.so.1 ] || fail "development link"
[ -f "$lib/$(readlink "$lib/libtagwright_sdk.so.1")" ] || fail "soname link"
objdump -p "$lib/libtagwright_sdk.so.1" | grep -q 'SONAME *libtagwright_sdk\.so\.1$' || fail "soname"
others=$(nm -D --defined-only "$lib/libtagwright_sdk.so.1" | awk '$3 != "" && $3 !~ /^LF_/ {print $3}')
[ -z "$others" ] || fail "exported besides LF_: $others"
for f in "$root"/bin/* "$lib"/libtagwright_sdk.so.1 "$root"/lib/tagwright/*.so; do
  ! readelf -d "$f" | grep -q 'R.*PATH' || fail "$f keeps a build RPATH/RUNPATH"
done

# An ordinary user: nobody when we are root; a home of its own for settings and the demo protocol.
home=$tmp/home
mkdir -p "$home"
as_user=(env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR=)
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$home"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_user[@]}")
fi
export LD_LIBRARY_PATH=$lib

# The installed simulator with one ATA5577 in its field; its first line is the device to open.
coproc SIM { exec "${as_user[@]}" "$root/bin/tagwright-sim" --no-register 2>"$tmp/sim.err"; }
sim_pid=$SIM_PID
read -r -t 10 pty <&"${SIM[0]}" || fail "simulator did not start: $(cat "$tmp/sim.err")"
echo "tag add 9 A1A215E0B1B2B3B5 factory" >&"${SIM[1]}"
read -r -t 10 reply <&"${SIM[0]}"
[[ $reply == ok* ]] || fail "tag add: $reply"

# The README's C example, built with pkg-config and with CMake against the tree.
mkdir -p "$tmp/c"
awk '/^```c$/ {on=1; next} /^```$/ {on=0} on' "$src/README.md" >"$tmp/c/demo.c"
[ -s "$tmp/c/demo.c" ] || fail "no C example in README.md"
PKG_CONFIG_SYSROOT_DIR=$dest PKG_CONFIG_LIBDIR=$lib/pkgconfig \
  "$cc" "$tmp/c/demo.c" -o "$tmp/c/demo-pc" $(PKG_CONFIG_SYSROOT_DIR=$dest PKG_CONFIG_LIBDIR=$lib/pkgconfig \
  pkg-config --cflags --libs tagwright-sdk)
cat >"$tmp/c/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(demo C)
find_package(TagwrightSdk 1 REQUIRED)
add_executable(demo-cmake demo.c)
target_link_libraries(demo-cmake PRIVATE TagwrightSdk::tagwright_sdk)
CMAKE
"$cmake" -S "$tmp/c" -B "$tmp/c/build" -DCMAKE_PREFIX_PATH="$root" -DCMAKE_C_COMPILER="$cc" >/dev/null
"$cmake" --build "$tmp/c/build" >/dev/null
for exe in "$tmp/c/demo-pc" "$tmp/c/build/demo-cmake"; do
  out=$("${as_user[@]}" "$exe" "$pty")
  [[ $out == *"version answer"* ]] || fail "$exe: $out"
done

# The Python module against the simulator.
"${as_user[@]}" PYTHONPATH="$root/lib/python3/dist-packages" PYTHONDONTWRITEBYTECODE=1 \
  python3 "$src/tests/integration/install/sdk_python_check.py" "$pty" || fail "python module"
echo quit >&"${SIM[1]}"
wait "$sim_pid" || true
sim_pid=

# The installed command-line tool's demo: its protocol goes to the user's cache folder.
out=$("${as_user[@]}" "$root/bin/tagwright-cli" demo --count 3 2>&1) || fail "demo: $out"
proto=$home/.cache/tagwright/demo/Protokoll_S.txt
[ "$(grep -c . "$proto")" -ge 3 ] || fail "demo protocol $proto: $out"
echo "install tree ok: $(cd "$dest" && find . -type f -o -type l | wc -l) files"
