#!/usr/bin/env bash
# Renders the hicolor PNG icons from velquist.svg (after the drawing changed).
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" velquist.svg -o "velquist-$size.png"
done
