#!/usr/bin/env bash
# Starts the program from its build folder, where db_path and the first
# database lie next to the executable.
set -euo pipefail
bin="$(cd "$(dirname "$0")/.." && pwd)/build/bin/velm"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
No display: the program needs a desktop to show its windows.
To see it on a machine without one, run it under a virtual display:
    xvfb-run -a -s "-screen 0 1280x900x24" $bin
or render a window to a picture:
    QT_QPA_PLATFORM=offscreen $bin --screenshot logon.png LOGON
MSG
  exit 2
fi
exec "$bin" "$@"
