#!/bin/sh
# Runs a command with an X display: the current one, or a private Xvfb started just for it.
if [ -n "$DISPLAY" ]; then
    exec "$@"
fi
exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$@"
