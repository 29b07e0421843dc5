#!/bin/sh
# Starts the real program on a virtual X display, waits for its dialog and
# takes a picture of the screen.
#   screenshot_test.sh <Dravenlok> <grab_screen> <out.png>
# Passes when the window "Dravenlok" is mapped and the picture shows more
# than the empty screen's one colour.
set -eu
program=$1 grab=$2 out=$3
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 800x600x24" sh -eu -c '
    program=$1 grab=$2 out=$3
    "$program" &
    app=$!
    trap "kill $app 2>/dev/null || true" EXIT
    tries=0
    until xwininfo -name Dravenlok >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ]; then
            echo "screenshot: no window named Dravenlok appeared" >&2
            exit 1
        fi
        sleep 0.1
    done
    sleep 0.5  # let it paint
    xwininfo -name Dravenlok | grep -E "Width|Height|Map State"
    xwininfo -name Dravenlok | grep -q "IsViewable"
    result=$("$grab" "$out")
    echo "screenshot: $out $result"
    colours=${result##*colours=}
    [ "$colours" -gt 8 ]
' sh "$program" "$grab" "$out"
