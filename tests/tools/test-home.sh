# Sourced by the renderer's shell tests: a work folder removed at exit, a throw-away home inside
# it (never the user's own), and a failure counter.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
