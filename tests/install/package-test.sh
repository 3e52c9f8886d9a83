#!/usr/bin/env bash
# The Debian package end to end: built from the build folder by
# scripts/package.sh, checked by lintian, unpacked; it and `cmake --install`
# hold exactly the listed files; the desktop entry, AppStream data and manual
# pages are valid; the manual page and the shell completion know every
# command and option --help lists; the unpacked programs run.
#
#   package-test.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
src=$1 build=$2 version=$3
work=$(mktemp -d /tmp/kelvar-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

deb=$(KELVAR_BUILD_DIR=$build bash "$src/scripts/package.sh" "$work" | tail -n 1) || { echo "no package" >&2; exit 1; }
echo "package: $deb"

# lintian: no errors; the warnings stay listed in the output.
lintian --fail-on error --display-level ">=warning" "$deb" || fail "lintian found errors"

for field in Package:kelvar517 Version:"$version" Section:electronics; do
  [ "$(dpkg-deb -f "$deb" "${field%%:*}")" = "${field#*:}" ] || fail "control field ${field%%:*} is not ${field#*:}"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6sql6-odbc libodbc2 libc6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# The files, below the prefix, of the package and of an install by hand.
expected="bin/kelvar517
bin/kelvar517-cli
bin/kelvar517-meter-sim
share/applications/kelvar517.desktop
share/bash-completion/completions/kelvar517-cli
share/doc/kelvar517/README.md
share/doc/kelvar517/changelog.gz
share/doc/kelvar517/copyright
share/doc/kelvar517/docs/behaviour.md
share/icons/hicolor/128x128/apps/kelvar517.png
share/icons/hicolor/256x256/apps/kelvar517.png
share/icons/hicolor/48x48/apps/kelvar517.png
share/icons/hicolor/scalable/apps/kelvar517.svg
share/man/man1/kelvar517-cli.1.gz
share/man/man1/kelvar517-meter-sim.1.gz
share/man/man1/kelvar517.1.gz
share/metainfo/org.example.kelvar517.metainfo.xml"
root=$work/root
dpkg-deb -x "$deb" "$root"
cmake --install "$build" --prefix "$work/by-hand" >/dev/null || fail "cmake --install failed"
for tree in "$root/usr" "$work/by-hand"; do
  actual=$(cd "$tree" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
  diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") >&2 || fail "$tree holds other files than listed"
done
for size in 48 128 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/kelvar517.png" | grep -q "$size x $size" ||
    fail "the ${size} px icon is not ${size} x ${size}"
done

desktop-file-validate "$root/usr/share/applications/kelvar517.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.kelvar517.metainfo.xml" || fail "appstreamcli validate"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"${page%.1.gz}.txt")
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# The unpacked programs: the one version, and a read of the built-in simulated meter.
bin=$root/usr/bin
for program in kelvar517 kelvar517-cli kelvar517-meter-sim; do
  [ "$("$bin/$program" --version)" = "$program $version" ] || fail "$program --version is not $version"
done
info=$("$bin/kelvar517-cli" info --simulate --timeout 2000) || fail "kelvar517-cli info --simulate failed"
grep -q "^Заводской номер: " <<<"$info" || fail "info --simulate printed no meter information: $info"

# Every command and option --help lists is in the manual page; the completion
# offers the commands and the values of the link options.
# An entry's heading is a line indented by 7 blanks; the option may follow others.
has_entry() { grep -qE -- "^ {7}([^ ].*)?$1([], |]|\$)" "$2"; }
man_cli=$root/usr/share/man/man1/kelvar517-cli.txt
commands=$("$bin/kelvar517-cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\).*/\1/p')
[ -n "$commands" ] || fail "kelvar517-cli --help lists no commands"
for command in $commands; do
  grep -qE "^ {7}$command( |$)" "$man_cli" || fail "kelvar517-cli.1 has no entry for the command $command"
  for option in $("$bin/kelvar517-cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    has_entry "$option" "$man_cli" || fail "kelvar517-cli.1 has no entry for $option of $command"
  done
done
for option in $("$bin/kelvar517-meter-sim" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  has_entry "$option" "$root/usr/share/man/man1/kelvar517-meter-sim.txt" ||
    fail "kelvar517-meter-sim.1 has no entry for $option"
done

complete_line() { # the words of a command line, the last one being completed
  bash -c 'source /usr/share/bash-completion/bash_completion
           source "$0"
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _kelvar517_cli; printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | xargs' \
    "$root/usr/share/bash-completion/completions/kelvar517-cli" "$bin/kelvar517-cli" "$@"
}
while IFS='|' read -r line want; do
  # shellcheck disable=SC2086
  got=$(complete_line $line "")
  [ "$got" = "$want" ] || fail "completing \"kelvar517-cli $line\": \"$got\", not \"$want\""
done <<EOF2
|$(LC_ALL=C sort <<<"$commands" | xargs)
journal|daily power profile settings yearly
schedule|read write
info --protocol|modbus rs485
write --parity|even none odd
info --baud|19200 38400 4800 9600
EOF2
[ "$(complete_line info --tr)" = "--trace" ] || fail "the completion does not offer the options of info"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
