#!/bin/sh
# Runs a bundle's Windows program the way a user would by hand, without the launcher: the
# bundle's X server in the background, the program under the bundle's Wine on it, then the X
# server stopped.
#   by_hand.sh CONTENTS DISPLAY PROGRAM WORKDIR [WORDS...]   (PROGRAM and WORKDIR below drive_c)
contents=$1 display=$2 program=$3 workdir=$4
shift 4
prefix="$contents/SharedSupport/Ambergate/support/default"
logs="$contents/Resources/Logs"
"$contents/MacOS/QVX11.app/Contents/MacOS/QVX11Server" "$display" > "$logs/ByHandX11.log" 2>&1 &
x11=$!
cd "$contents/SharedSupport/Ambergate/bin" || exit 1
WINEPREFIX="$prefix" DISPLAY="$display" ./wine --workdir "$prefix/drive_c$workdir" \
  "$prefix/drive_c$program" "$@" > "$logs/ByHandWine.log" 2>&1
kill -9 "$x11"
