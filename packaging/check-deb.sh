#!/usr/bin/env bash
# Builds the Debian package with dpkg-buildpackage from a copy of the tree and checks it:
# its files, stripped and hardened executables, the debug-symbols package, the manual pages,
# the completion, the desktop metadata and lintian. Fails on any lintian error or warning.
#   packaging/check-deb.sh [WORK_DIR]    (default: a new temporary folder; the packages stay there)
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh deps

work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/talvo-deb.XXXXXX")}
version=$(dpkg-parsechangelog -S Version)
upstream=${version%-*}
grep -q "project(talvo-linearizer VERSION $upstream " CMakeLists.txt ||
  { echo "check-deb: debian/changelog's $upstream is not the version in CMakeLists.txt" >&2; exit 1; }
tree=$work/talvo-linearizer-$upstream
rm -rf "$tree" && mkdir -p "$tree"
tar -cf - --exclude=./.git --exclude='./build*' --exclude='./obj-*' --exclude=./fuzz/findings \
  --exclude=./debian/.debhelper --exclude=./debian/tmp --exclude=./debian/talvo-linearizer . | tar -xf - -C "$tree"

echo "== dpkg-buildpackage -us -uc -b (log: $work/build.log)"
if ! (cd "$tree" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1; then
  tail -40 "$work/build.log" >&2
  exit 1
fi
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$work/talvo-linearizer_${version}_$arch.deb
dbgsym=$(ls "$work"/talvo-linearizer-dbgsym_"${version}"_"$arch".*deb)
root=$work/root
rm -rf "$root" && dpkg-deb -x "$deb" "$root"

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

echo "== contents"
for f in bin/talvo-linearizer bin/talvo-meter-sim share/man/man1/talvo-linearizer.1.gz \
    share/man/man1/talvo-meter-sim.1.gz share/bash-completion/completions/talvo-linearizer \
    share/zsh/vendor-completions/_talvo-linearizer share/applications/talvo-linearizer.desktop \
    share/metainfo/com.quillon.TalvoLinearizer.metainfo.xml share/icons/hicolor/scalable/apps/talvo-linearizer.svg \
    share/doc/talvo-linearizer/copyright share/doc/talvo-linearizer/changelog.Debian.gz \
    share/doc/talvo-linearizer/examples/70-talvo-linearizer-modemmanager.rules; do
  [ -s "$root/usr/$f" ] || fail "not in the package: /usr/$f"
done
debug=$(dpkg-deb -c "$dbgsym" | grep -c '/usr/lib/debug/\.build-id/.*\.debug$' || true)
[ "$debug" -eq 2 ] || fail "$(basename "$dbgsym") has debug symbols for $debug executables, not 2"

echo "== executables: stripped, hardened"
for exe in "$root"/usr/bin/*; do
  name=$(basename "$exe")
  sections=$(readelf -S -W "$exe")
  ! grep -q -E '\.(symtab|debug_info)\b' <<<"$sections" || fail "$name is not stripped"
  readelf -l -W "$exe" | grep -q GNU_RELRO || fail "$name: no relro"
  readelf -d -W "$exe" | grep -q -E 'BIND_NOW|FLAGS_1.*NOW' || fail "$name: no bindnow"
  readelf -h -W "$exe" | grep -q 'DYN (' || fail "$name: not position independent"
  symbols=$(readelf --dyn-syms -W "$exe")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$name: no stack protector"
  grep -q -E '__[a-z_]+_chk@' <<<"$symbols" || fail "$name: no fortified functions"
  du -h "$exe"
done
[ "$("$root/usr/bin/talvo-linearizer" --version)" = "talvo-linearizer $upstream" ] || fail "--version is not $upstream"

echo "== manual pages"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  mandoc -T lint -W warning "$page" || fail "mandoc: $page"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man: $page: $warnings"
done

echo "== completion and desktop metadata"
XDG_DATA_DIRS=$root/usr/share bash --norc --noprofile -c \
  'source /usr/share/bash-completion/bash_completion; __load_completion talvo-linearizer; complete -p talvo-linearizer' ||
  fail "bash-completion does not find the completion"
zsh -n "$root/usr/share/zsh/vendor-completions/_talvo-linearizer" || fail "zsh completion"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >/dev/null || fail "appstreamcli validate"

echo "== lintian"
lintian --display-info --fail-on error,warning "$deb" "$dbgsym" || fail "lintian"

[ "$failed" -eq 0 ] || exit 1
echo "Package checks passed: $deb"
