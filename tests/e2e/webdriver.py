"""A small W3C WebDriver client for the end-to-end tests: starts chromedriver
with headless Chromium and drives it over HTTP (open pages, switch frames,
click elements, press keys, run scripts, take screenshots)."""

import base64
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

import chromium

ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
KEYS = {"left": "\ue012", "right": "\ue014", "enter": "\ue007"}


def find_chromedriver():
    return shutil.which("chromedriver")


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WebDriverError(RuntimeError):
    pass


class Browser:
    """One headless Chromium session; use it in a with block."""

    def __init__(self, *flags, size="1024,900"):
        self.flags = list(flags)
        self.size = size
        self.port = _free_port()
        self.base = f"http://127.0.0.1:{self.port}"
        self.profile = tempfile.mkdtemp(prefix="qx-webdriver-")
        self.driver = None
        self.session = None

    def __enter__(self):
        self.driver = subprocess.Popen([find_chromedriver(), f"--port={self.port}"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while True:
            try:
                self._request("GET", "/status")
                break
            except (urllib.error.URLError, ConnectionError):
                if time.time() > deadline:
                    self.__exit__(None, None, None)
                    raise WebDriverError("chromedriver did not start")
                time.sleep(0.1)
        args = chromium.FLAGS + [f"--user-data-dir={self.profile}", f"--window-size={self.size}"] + self.flags
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": chromium.find_chromium(), "args": args},
        }}}
        self.session = self._request("POST", "/session", caps)["value"]["sessionId"]
        return self

    def __exit__(self, *exc):
        try:
            if self.session:
                self._request("DELETE", f"/session/{self.session}")
        except Exception:
            pass
        if self.driver:
            self.driver.terminate()
            try:
                self.driver.wait(10)
            except subprocess.TimeoutExpired:
                self.driver.kill()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _request(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=60) as answer:
                return json.loads(answer.read())
        except urllib.error.HTTPError as e:
            raise WebDriverError(f"{method} {path}: {e.read().decode('utf-8', 'replace')[:500]}") from None

    def _cmd(self, method, path, body=None):
        return self._request(method, f"/session/{self.session}{path}", body)["value"]

    def open(self, url):
        self._cmd("POST", "/url", {"url": url})

    def script(self, source, *args):
        return self._cmd("POST", "/execute/sync", {"script": source, "args": list(args)})

    def frame(self, index):
        """Switch into frame `index` of the current document; None: back to the top."""
        self._cmd("POST", "/frame", {"id": index})

    def find(self, using, value):
        return self._cmd("POST", "/element", {"using": using, "value": value})[ELEMENT]

    def click(self, element):
        self._cmd("POST", f"/element/{element}/click", {})

    def press(self, key):
        value = KEYS[key]
        self._cmd("POST", "/actions", {"actions": [{"type": "key", "id": "keyboard", "actions": [
            {"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]}]})
        self._cmd("DELETE", "/actions")

    def screenshot(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        with open(path, "wb") as f:
            f.write(base64.b64decode(self._cmd("GET", "/screenshot")))

    def wait_for(self, source, what, timeout=15):
        """Runs `source` until it returns a true value, which it returns."""
        deadline = time.time() + timeout
        while True:
            try:
                value = self.script(source)
            except WebDriverError:
                value = None  # the page is being replaced
            if value:
                return value
            if time.time() > deadline:
                raise AssertionError(f"timed out waiting for {what}")
            time.sleep(0.1)
