"""The GNOME Files extension loaded with the real Nautilus bindings and called as Nautilus
calls it. Usage: nautilus_extension_test.py EXTENSION"""
import importlib.util
import os
import sys
import tempfile
import time
import unittest
from unittest import mock

try:
    import gi

    gi.require_version("Nautilus", "4.0")
    from gi.repository import GObject, Nautilus
except (ImportError, ValueError) as missing:
    print(f"skipped: the Nautilus 4.0 Python bindings are missing ({missing})")
    sys.exit(77)

EXTENSION = sys.argv.pop(1)


class Info(GObject.GObject, Nautilus.FileInfo):
    """A selected item as Nautilus describes it."""

    def __init__(self, uri, mime, directory=False):
        super().__init__()
        self.uri, self.mime, self.directory = uri, mime, directory

    def do_get_uri(self):
        return self.uri

    def do_get_mime_type(self):
        return self.mime

    def do_is_directory(self):
        return self.directory

    def do_get_name(self):
        return self.uri.rsplit("/", 1)[-1]


# Stand-ins for the programs: each writes the arguments it got, NUL-terminated.
RECORDER = '#!/bin/sh\nfor a in "$0" "$@"; do printf "%s\\0" "$a"; done > "$0.args.tmp"\n' \
           'mv "$0.args.tmp" "$0.args"\n'


class ExtensionTest(unittest.TestCase):
    def setUp(self):
        self.bin = tempfile.mkdtemp()
        for name in ("velquist", "velquist-action"):
            path = os.path.join(self.bin, name)
            with open(path, "w") as script:
                script.write(RECORDER)
            os.chmod(path, 0o755)
        os.environ["VELQUIST_BIN_DIR"] = self.bin
        spec = importlib.util.spec_from_file_location("velquist_extension", EXTENSION)
        self.module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(self.module)
        self.menu = self.module.VelquistMenu()

    def ran(self, name):
        path = os.path.join(self.bin, name + ".args")
        deadline = time.monotonic() + 30
        while not os.path.exists(path) and time.monotonic() < deadline:
            time.sleep(0.05)  # polling for the child's file, bounded by the deadline
        with open(path, "rb") as args:
            return args.read().split(b"\0")[1:-1]

    def test_offers_items_only_for_heif_photos_and_folders(self):
        photo = Info("file:///p/a.heic", "image/heic")
        odd_name = Info("file:///p/B.HIF", "application/octet-stream")
        folder = Info("file:///p/album", "inode/directory", directory=True)
        jpeg = Info("file:///p/c.jpg", "image/jpeg")
        # Chinese names for a Chinese session (the first of LANGUAGE's list counts),
        # English for any other.
        with mock.patch.dict(os.environ, {"LANGUAGE": "zh_CN:en", "LANG": "en_US.UTF-8"}):
            items = self.menu.get_file_items([photo, odd_name, folder])
        self.assertEqual([item.props.label for item in items],
                         ["转换为 JPG", "转换为 PNG", "用 Velquist 转换…"])
        with mock.patch.dict(os.environ, {"LANGUAGE": "", "LC_ALL": "de_DE.UTF-8"}):
            items = self.menu.get_file_items([photo, odd_name, folder])
        self.assertEqual([item.props.label for item in items],
                         ["Convert to JPG", "Convert to PNG", "Convert with Velquist…"])
        self.assertEqual(self.menu.get_file_items([photo, jpeg]), [])
        self.assertEqual(self.menu.get_file_items([]), [])

    def test_items_run_the_programs_on_local_paths_as_bytes(self):
        selection = [Info("file:///p/a%20b%FF.heic", "image/heic"),
                     Info("sftp://host/p/c.heic", "image/heic"),
                     Info("file:///p/album", "inode/directory", directory=True)]
        jpg, png, window = self.menu.get_file_items(selection)
        png.activate()
        self.assertEqual(self.ran("velquist-action"),
                         [b"--format", b"png", b"--", b"/p/a b\xff.heic", b"/p/album"])
        window.activate()
        self.assertEqual(self.ran("velquist"), [b"--", b"/p/a b\xff.heic", b"/p/album"])
        self.assertEqual(self.module._local_paths([Info("sftp://h/a.heic", "image/heic")]), [])


if __name__ == "__main__":
    unittest.main()
