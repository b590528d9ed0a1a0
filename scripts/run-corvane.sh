#!/usr/bin/env bash
# Starts the built Corvane, or says plainly why it cannot.
set -euo pipefail
build_dir="${1:-build}"
program="$build_dir/bin/corvane"
if [[ ! -x "$program" ]]; then
  echo "Corvane is not built ($program is missing): run make run or make build." >&2
  exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: Corvane is a desktop program and needs a graphical session" >&2
  echo "(set DISPLAY or WAYLAND_DISPLAY, or use build/bin/corvane-cli without a window)." >&2
  exit 1
fi
exec "$program"
