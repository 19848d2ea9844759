#!/bin/bash
# Runs a Windows program of the build under Wine: the build's own prefix
# (passed in WINEPREFIX by the caller), quietly, without Mono or Gecko. The
# windows need an X display: without one, a private Xvfb serves this run.
set -e
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ -z "$DISPLAY" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$wine" "$@"
fi
exec "$wine" "$@"
