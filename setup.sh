#!/usr/bin/env bash
# Installs what is missing (Debian packages), builds, then runs the utility or the tests.
#   ./setup.sh run    build and start talvo-linearizer with a simulated meter
#   ./setup.sh test   build the test suite with AddressSanitizer and UndefinedBehaviorSanitizer
#                     and run it, fuzz each target for 4 s from its corpus, check the desktop
#                     metadata
#   ./setup.sh fuzz [SECONDS]  longer fuzzing: each target for SECONDS (default 600)
#   ./setup.sh deps   only install the packages (also those of the package check)
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev libgl-dev libqt6sql6-sqlite libqt6sql6-psql
  libxlsxwriter-dev libgsf-1-dev libminizip-dev zlib1g-dev libudev-dev
  fonts-liberation fonts-dejavu-core xdg-utils qt6-wayland qt6-l10n-tools qt6-tools-dev qt6-translations-l10n)
TEST_PACKAGES=(xvfb xauth xdotool x11-apps x11-utils openbox python3-openpyxl python3-xlwt
  clang libclang-rt-14-dev ninja-build appstream desktop-file-utils locales-all poppler-utils
  mandoc bash-completion zsh ser2net openssh-client postgresql-15)
# Not needed by the tests: the package check (packaging/check-deb.sh) and the screenshots.
PACKAGING_PACKAGES=(debhelper lintian imagemagick)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else echo "setup.sh: need root or sudo to install: $*" >&2; exit 1
  fi
}

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Run as root, the tests of permissions run those rows as this system user (no login, no home).
TEST_USER=talvo-test
ensure_test_user() {
  [ "$(id -u)" -eq 0 ] || return 0
  id "$TEST_USER" >/dev/null 2>&1 && return 0
  echo "Creating the system user $TEST_USER for the tests of permissions"
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$TEST_USER" ||
    echo "setup.sh: could not create $TEST_USER; the tests of permissions will skip" >&2
}

build() { # build DIR [TARGET...]: only the targets given, all without
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j "$(nproc)" ${1:+--target "$@"}
}

case "${1:-}" in
  deps)
    install_missing "${PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}" ;;
  run)
    install_missing "${PACKAGES[@]}"
    # Only what it starts: the utility and the simulated meter (tests and benchmarks are not built).
    build build talvo-linearizer talvo-meter-sim
    shift
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "setup.sh: no display; start it from a desktop session (or under xvfb-run)" >&2
      exit 1
    fi
    exec build/src/talvo-linearizer --simulate "$@" ;;
  test)
    install_missing "${PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    echo "== test suite (AddressSanitizer, UndefinedBehaviorSanitizer)"
    # The asan preset (CMakePresets.json): clang, -O1 with line tables only and unity builds;
    # the sanitizers' reports keep their lines. The same tree builds the fuzz targets.
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$(nproc)"
    ensure_test_user
    # Most tests spend their time waiting on a meter's replies and timeouts: two per core.
    ctest --preset asan --output-on-failure -j "$(($(nproc) * 2))"
    echo "== fuzzing"
    fuzz/run.sh "${FUZZ_SECONDS:-4}" build-asan
    echo "== desktop metadata"
    appstreamcli validate --no-net --pedantic data/*.metainfo.xml
    desktop-file-validate data/*.desktop
    echo "All checks passed." ;;
  fuzz)
    install_missing "${PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    fuzz/run.sh "${2:-600}" ;;
  *)
    echo "usage: ./setup.sh run|test|fuzz [SECONDS]|deps" >&2
    exit 2 ;;
esac
