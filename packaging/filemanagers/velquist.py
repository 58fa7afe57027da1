# GNOME Files (Nautilus 43 and later, through nautilus-python): 转换为 JPG, 转换为 PNG and
# 用 Velquist 转换… for selections made only of HEIC/HEIF photos and folders.
import os
import sys

import gi

gi.require_version("Nautilus", "4.0")
from gi.repository import Gio, GLib, GObject, Nautilus  # noqa: E402

HEIF_TYPES = ("image/heic", "image/heif")
HEIF_SUFFIXES = (".heic", ".heif", ".hif")


def _program(name):
    # The folder of the programs can be named for a trial run; normally they are on PATH.
    folder = os.environ.get("VELQUIST_BIN_DIR")
    return os.path.join(folder, name) if folder else name


def _is_heif_or_folder(info):
    if info.is_directory():
        return True
    if info.get_mime_type() in HEIF_TYPES:
        return True
    return (info.get_name() or "").lower().endswith(HEIF_SUFFIXES)


def _local_paths(files):
    """The selection as file-system paths in bytes; items that are not local are left out."""
    paths = []
    for info in files:
        path = Gio.File.new_for_uri(info.get_uri()).get_path()
        if path is not None:
            paths.append(os.fsencode(path))
    return paths


def _spawn(argv):
    # In a session of its own, so that it outlives the file manager's window; GLib reaps
    # it when it ends.
    quiet = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_RDWR, 0) for fd in (0, 1, 2)]
    try:
        pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=quiet, setsid=True)
    except OSError as error:
        print(f"velquist: cannot start {argv[0]}: {error}", file=sys.stderr)
        return
    GLib.child_watch_add(GLib.PRIORITY_DEFAULT, pid, lambda *_: None)


def command_for(choice, paths):
    """The command an item runs: "jpg", "png" or "window" on the paths (bytes)."""
    if choice == "window":
        return [_program("velquist"), b"--", *paths]
    return [_program("velquist-action"), "--format", choice, "--", *paths]


def _speaks_chinese():
    """Whether the session's messages are Chinese, looked up as gettext does."""
    for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"):
        value = os.environ.get(name)
        if value:
            return value.split(":")[0].lower().startswith("zh")
    return False


class VelquistMenu(GObject.GObject, Nautilus.MenuProvider):
    CHOICES = ("jpg", "png", "window")
    LABELS_ZH = ("转换为 JPG", "转换为 PNG", "用 Velquist 转换…")
    LABELS_EN = ("Convert to JPG", "Convert to PNG", "Convert with Velquist…")

    def get_file_items(self, *args):
        files = args[-1]  # Nautilus 4.0 passes the files only, older ones a window first
        if not files or not all(_is_heif_or_folder(info) for info in files):
            return []
        items = []
        labels = self.LABELS_ZH if _speaks_chinese() else self.LABELS_EN
        for choice, label in zip(self.CHOICES, labels):
            item = Nautilus.MenuItem(name="Velquist::" + choice, label=label)
            item.connect("activate", self._activate, choice, list(files))
            items.append(item)
        return items

    def _activate(self, _item, choice, files):
        paths = _local_paths(files)
        if paths:
            _spawn(command_for(choice, paths))
