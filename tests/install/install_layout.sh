#!/usr/bin/env bash
# cmake --install puts the manual pages and the shell completion where man and bash-completion
# look, and the installed completion completes: install_layout.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/talvo-linearizer bin/talvo-meter-sim share/man/man1/talvo-linearizer.1 share/man/man1/talvo-meter-sim.1 \
    share/bash-completion/completions/talvo-linearizer share/zsh/vendor-completions/_talvo-linearizer \
    share/applications/talvo-linearizer.desktop share/metainfo/com.quillon.TalvoLinearizer.metainfo.xml \
    share/doc/talvo-linearizer/examples/70-talvo-linearizer-modemmanager.rules; do
  [ -s "$root/usr/$f" ] || fail "not installed: /usr/$f"
done
for page in "$root"/usr/share/man/man1/*.1; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

[ -r /usr/share/bash-completion/bash_completion ] || { echo "bash-completion is not installed"; exit 77; }
work=$root/work
mkdir -p "$work/folder" && cd "$work"
touch table.xlsx old.XLS calc.ods points.csv notes.txt picture.png
# Each case: the words typed (the last one being completed) | words offered | words not offered.
cases=(
  "''|program|--port"
  "-|--port --simulate --help --version|--settings"
  "program -|--settings --table --port --dry-run --log|--simulate --type"
  "program --table ''|table.xlsx old.XLS calc.ods folder|points.csv notes.txt picture.png"
  "program --settings ''|notes.txt folder|table.xlsx points.csv"
)
bash --norc --noprofile -c '
  source /usr/share/bash-completion/bash_completion
  source "$1"; shift
  compopt() { :; }
  status=0
  for c in "$@"; do
    IFS="|" read -r typed offered absent <<<"$c"
    eval "COMP_WORDS=(talvo-linearizer $typed)"
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE="${COMP_WORDS[*]}" COMP_POINT=${#COMP_LINE} COMPREPLY=()
    _talvo_linearizer talvo-linearizer "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    got=" ${COMPREPLY[*]} "
    for w in $offered; do [[ $got == *" $w "* ]] || { echo "FAIL: $typed: $w not offered (offered:$got)"; status=1; }; done
    for w in $absent; do [[ $got != *" $w "* ]] || { echo "FAIL: $typed: $w offered"; status=1; }; done
  done
  exit $status' completion "$root/usr/share/bash-completion/completions/talvo-linearizer" "${cases[@]}"
echo "installed and completing: ${#cases[@]} cases"
