#!/bin/sh
# Collects the translatable texts of src/ and skin/ into translations/velquist_en.ts,
# keeping the translations already there. lupdate reads Designer files by their
# ending, and the skins end in .xml: it reads them as .ui copies in a scratch folder.
# Usage: scripts/update-translations.sh [path to lupdate]
set -eu
lupdate=${1:-/usr/lib/qt6/bin/lupdate}
top=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for skin in "$top"/skin/*.xml; do
    name=$(basename "$skin" .xml)
    [ "$name" = res ] && continue
    cp "$skin" "$scratch/$name.ui"
done
"$lupdate" -locations none -no-obsolete -source-language zh_CN -target-language en \
    "$top/src" "$scratch" -ts "$top/translations/velquist_en.ts"
