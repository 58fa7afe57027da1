#!/usr/bin/env bash
# Installs a build into a throwaway prefix and checks that the installed
# programs run from there: the worker answers --help, the window finds its skin
# and worker, the desktop entry and the file managers' menu items validate and the
# icons are in place.
# With VELQUIST_PACKAGE_TEST=1 it also builds the .deb and checks it.
# Usage: check_install.sh <build dir> <source dir>
set -euo pipefail

build=${1:?build dir}
source=${2:?source dir}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# desktop-file-validate's complaints about a file, less those listed in the pattern
# (empty: none allowed).
validate_entry() {
  local file=$1 allowed=${2:-}
  command -v desktop-file-validate >/dev/null || return 0
  local out
  out=$(desktop-file-validate "$file" 2>&1 || true)
  [[ -n "$allowed" ]] && out=$(grep -v -E "$allowed" <<<"$out" || true)
  [[ -z "$out" ]] || fail "desktop-file-validate $file: $out"
}

# The file managers' menu items: present, well-formed, and running installed programs.
check_file_manager_items() {
  local share=$1/share
  [[ -x "$1/bin/velquist-action" ]] || fail "velquist-action not installed"
  local extension="$share/nautilus-python/extensions/velquist.py"
  [[ -f "$extension" ]] || fail "the GNOME Files extension is not installed"
  PYTHONPYCACHEPREFIX="$work/pycache" python3 -m py_compile "$extension" ||
    fail "the GNOME Files extension does not compile"
  # KDE's own entry type, which the validator does not know, carries these keys.
  local menu="$share/kio/servicemenus/velquist.desktop"
  [[ -f "$menu" ]] || fail "the Dolphin service menu is not installed"
  validate_entry "$menu" 'key "(MimeType|Actions)" is present in group "Desktop Entry", but the type is "Service"'
  local deepin
  for deepin in "$share/deepin/dde-file-manager/oem-menuextensions/velquist.desktop" \
    "$1/etc/deepin/menu-extensions/velquist.desktop"; do
    [[ -f "$deepin" ]] || fail "$deepin not installed"
    validate_entry "$deepin"
  done
  local action
  for action in jpg png window; do
    local file="$share/nemo/actions/velquist-$action.nemo_action"
    [[ -f "$file" ]] || fail "the Nemo action $action is not installed"
    [[ "$(head -1 "$file")" == "[Nemo Action]" ]] || fail "$file: not a Nemo action"
    grep -q '^Exec=velquist\(-action --format [a-z]*\)\? -- %F$' "$file" || fail "$file: Exec"
    grep -q '^Selection=' "$file" && grep -q '^Extensions=heic;heif;hif;dir;$' "$file" ||
      fail "$file: lacks the selection or the extensions"
  done
  local program
  for program in $(grep -h '^Exec=' "$menu" "$deepin" "$share"/nemo/actions/velquist-*.nemo_action |
    sed 's/^Exec=\([^ ]*\).*/\1/' | sort -u); do
    [[ -x "$1/bin/$program" ]] || fail "a menu item runs $program, which is not installed"
  done
}

check_prefix() {
  local prefix=$1
  check_file_manager_items "$prefix"
  "$prefix/bin/velquist-convert" --help >"$work/help.txt" 2>&1 ||
    fail "installed velquist-convert --help failed: $(cat "$work/help.txt")"
  [[ -s "$work/help.txt" ]] || fail "velquist-convert --help printed nothing"

  if [[ -x "$build/bin/velquist" ]]; then
    local report
    report=$("$prefix/bin/velquist" --check-install) || fail "velquist --check-install: $report"
    grep -q "^skin: .*/share/velquist/skin/$" <<<"$report" ||
      fail "the installed program does not take the installed skin: $report"
  fi
  [[ -f "$prefix/share/velquist/skin/res.xml" ]] || fail "skin not installed"
  [[ -f "$prefix/share/velquist/translations/velquist_en.qm" ]] ||
    fail "the English translation is not installed"

  local entry="$prefix/share/applications/velquist.desktop"
  [[ -f "$entry" ]] || fail "desktop entry not installed"
  grep -q '^Exec=velquist %F$' "$entry" || fail "desktop entry does not pass files"
  grep -q '^MimeType=image/heic;image/heif;' "$entry" || fail "desktop entry lacks the HEIF types"
  [[ -f "$prefix/share/thumbnailers/velquist.thumbnailer" ]] || fail "thumbnailer entry not installed"
  # Cameras' *.HIF photos are image/heif also where the system's MIME database predates them.
  local mime="$prefix/share/mime/packages/velquist.xml"
  [[ -f "$mime" ]] || fail "the MIME glob for .hif is not installed"
  if command -v update-mime-database >/dev/null; then
    update-mime-database "$prefix/share/mime" >/dev/null 2>&1 || fail "update-mime-database rejects $mime"
    grep -qx 'image/heif:\*\.hif' "$prefix/share/mime/globs" || fail "*.hif is not typed image/heif"
  fi
  if command -v desktop-file-validate >/dev/null; then
    local out
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
    [[ -z "$out" ]] || fail "desktop-file-validate is not clean: $out"
  else
    echo "note: desktop-file-validate not installed, entry not validated"
  fi

  [[ -f "$prefix/share/icons/hicolor/scalable/apps/velquist.svg" ]] || fail "scalable icon missing"
  local size
  for size in 16 32 48 64 128 256; do
    local icon="$prefix/share/icons/hicolor/${size}x${size}/apps/velquist.png"
    [[ -f "$icon" ]] || fail "icon $size missing"
    # PNG header: width and height as big-endian words at bytes 16 and 20.
    local dims want
    dims=$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ')
    want=" 0 0 $((size / 256)) $((size % 256))"
    [[ "$dims" == "$want$want" ]] || fail "icon $size has size $dims"
  done
}

cmake --install "$build" --component desktop --prefix "$work/prefix" >"$work/install.log" ||
  fail "cmake --install: $(cat "$work/install.log")"
check_prefix "$work/prefix"
echo "install into a prefix: ok"

if [[ "${VELQUIST_PACKAGE_TEST:-0}" != "1" ]]; then
  echo "package build skipped (set VELQUIST_PACKAGE_TEST=1)"
  exit 0
fi

(cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/deb/velquist_*.deb)
dpkg-deb -I "$deb" >"$work/info.txt"
dpkg-deb -c "$deb" >"$work/contents.txt"
grep -q 'Depends:.*libheif1' "$work/info.txt" || fail "the package does not depend on libheif1"
grep -q 'Depends:.*libqt6widgets6' "$work/info.txt" || fail "the package does not depend on Qt"
grep -q 'Depends:.*xdg-utils' "$work/info.txt" || fail "the package does not depend on xdg-utils (preview and open-folder use xdg-open)"
grep -q 'Depends:.*libavcodec[0-9]' "$work/info.txt" || fail "the package does not depend on libavcodec (loaded on first use, not linked)"
grep -q 'Recommends:.*python3-nautilus' "$work/info.txt" ||
  fail "the package does not recommend python3-nautilus (the GNOME Files items)"
for path in ./usr/bin/velquist ./usr/bin/velquist-convert ./usr/share/velquist/skin/res.xml \
  ./usr/share/velquist/translations/velquist_en.qm \
  ./usr/share/applications/velquist.desktop ./usr/bin/velquist-action \
  ./usr/share/nautilus-python/extensions/velquist.py ./usr/share/kio/servicemenus/velquist.desktop \
  ./usr/share/nemo/actions/velquist-jpg.nemo_action ./usr/share/nemo/actions/velquist-png.nemo_action \
  ./usr/share/nemo/actions/velquist-window.nemo_action \
  ./usr/share/deepin/dde-file-manager/oem-menuextensions/velquist.desktop \
  ./usr/etc/deepin/menu-extensions/velquist.desktop; do
  grep -q " $path\$" "$work/contents.txt" || fail "$path not in the package"
done
if grep -q ' ./usr/bin/velquist-service$' "$work/contents.txt"; then
  fail "the web service must not ship in the desktop package"
fi
# A throwaway root: what the package unpacks runs from there.
dpkg-deb -x "$deb" "$work/root"
check_prefix "$work/root/usr"
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" || true
fi
echo "package $(basename "$deb"): ok"
