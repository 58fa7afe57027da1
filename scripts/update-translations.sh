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
# The skins' roles, numbers and names ("primary", "3,3", "jpg") are strings too, but no
# words: only texts with Chinese in them stay in the file.
python3 - "$top/translations/velquist_en.ts" <<'PY'
import re, sys
path = sys.argv[1]
with open(path, encoding="utf-8") as ts:
    text = ts.read()
def words(message):
    source = re.search(r"<source>(.*?)</source>", message.group(0), re.S).group(1)
    return message.group(0) if re.search("[\u3000-\u9fff\uff00-\uffef]", source) else ""
text = re.sub(r"\n *<message>.*?</message>", words, text, flags=re.S)
text = re.sub(r"\n *<context>\s*<name>[^<]*</name>\s*</context>", "", text)
with open(path, "w", encoding="utf-8") as ts:
    ts.write(text)
PY
