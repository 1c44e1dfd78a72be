"""Headless Chromium for the end-to-end tests: dump a page's DOM after its
scripts ran, or take a screenshot."""

import os
import shutil
import subprocess
import tempfile

FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--hide-scrollbars",
]


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


def run(url, *extra, timeout=120):
    browser = find_chromium()
    if not browser:
        raise RuntimeError("chromium is not installed")
    with tempfile.TemporaryDirectory(prefix="qx-chromium-") as profile:
        cmd = [browser, *FLAGS, f"--user-data-dir={profile}", *extra, url]
        done = subprocess.run(cmd, capture_output=True, timeout=timeout)
        return done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def dump_dom(url, *extra):
    out, err = run(url, "--dump-dom", "--virtual-time-budget=5000", *extra)
    if not out.strip():
        raise RuntimeError("chromium printed no DOM:\n" + err[-2000:])
    return out


def screenshot(url, path, size="1024,900", *extra):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    run(url, f"--screenshot={os.path.abspath(path)}", f"--window-size={size}", "--virtual-time-budget=5000", *extra)
    return os.path.exists(path)
