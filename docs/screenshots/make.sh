#!/usr/bin/env bash
# Saves pictures of the message box and the prompt box, with their shadow, into
# this folder: Xvfb with the xcompmgr compositing manager, then the box program, once
# under a Chinese locale and once under an English one (the *-en.png pictures).
# Usage: docs/screenshots/make.sh [build folder]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build}"
program="$(cd "$build" && pwd)/bin/velquist_box_screenshots"
for locale in zh_CN.UTF-8 en_US.UTF-8; do
  LC_ALL=$locale LANG=$locale xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
    xcompmgr & compositor=\$!
    sleep 1
    '$program' '$here'; status=\$?
    kill \$compositor
    exit \$status"
done
