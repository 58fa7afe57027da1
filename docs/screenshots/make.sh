#!/usr/bin/env bash
# Saves pictures of the message box and the prompt box, with their shadow, into
# this folder: Xvfb with the xcompmgr compositing manager, then the box program.
# Usage: docs/screenshots/make.sh [build folder]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build}"
program="$(cd "$build" && pwd)/bin/velquist_box_screenshots"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
  xcompmgr & compositor=\$!
  sleep 1
  '$program' '$here'; status=\$?
  kill \$compositor
  exit \$status"
