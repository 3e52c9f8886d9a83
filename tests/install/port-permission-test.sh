#!/usr/bin/env bash
# A serial port the user has no right to: the command-line companion exits
# with 2, its message keeps "Ошибка открытия порта DEVICE" as the first line and
# names the group that owns the device and how to join it.
# As root, the program runs as the user "nobody" against the simulated meter's
# device handed to the group dialout; as another user, against that device
# with the caller's own rights taken away (only the group is named then).
#
#   port-permission-test.sh CLI METER_SIM
set -uo pipefail
cli=$1 sim=$2
work=$(mktemp -d /tmp/kelvar-permission.XXXXXX)
chmod 755 "$work"
# A copy any user may run, wherever the build folder is.
cp "$cli" "$work/kelvar517-cli"
exec 3< <(exec "$sim")
sim_pid=$!
trap 'kill "$sim_pid"; rm -rf "$work"' EXIT
read -r -t 30 device <&3 || { echo "the simulated meter printed no device" >&2; exit 1; }

if [ "$(id -u)" -eq 0 ]; then
  chgrp dialout "$device" && chmod 0660 "$device" || exit 1
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  want=("группе dialout" "sudo usermod -a -G dialout nobody" "войдите в систему заново")
else
  chmod 0000 "$device" || exit 1
  run=()
  want=("группе $(stat -c %G "$device")")
fi

"${run[@]}" "$work/kelvar517-cli" info --port "$device" >"$work/out" 2>"$work/err"
code=$?
cat "$work/err"
failures=0
[ "$code" -eq 2 ] || { echo "FAIL: exit code $code, not 2" >&2; failures=1; }
[ "$(head -n 1 "$work/err")" = "Ошибка открытия порта $device" ] || { echo "FAIL: first line" >&2; failures=1; }
for text in "${want[@]}"; do
  grep -qF -- "$text" "$work/err" || { echo "FAIL: no \"$text\"" >&2; failures=1; }
done
exit "$failures"
