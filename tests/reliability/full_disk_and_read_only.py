"""A disk that fills up and a place that cannot be written: the real program
writes an e-book directory, an EPUB, the parameter table and the settings
there, and each must end with a clear message naming the place and the
cause, exit code 1, no success message, what was there before untouched and
nothing partial under the final name or beside it.

usage: full_disk_and_read_only.py MODE QXEBOOK CLOSE_DRIVER TEMPLATE_DIR
MODE is "full" (a small tmpfs filled up; needs root to mount it) or
"read-only" (a tmpfs remounted read-only when root, else a folder of mode
555). Exits 77 when the place cannot be made here.
"""

import contextlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from killed_while_saving import AUTHOR, NAME, TITLE, book_text, tree  # noqa: E402

SKIP = 77


def run(command, env):
    done = subprocess.run(command, env=env, capture_output=True)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def fill(folder, leave):
    """Fills the file system of `folder` up to `leave` bytes free."""
    filler = folder / "filler"
    with open(filler, "wb", buffering=0) as f:
        try:
            while True:
                f.write(b"\0" * 65536)
        except OSError:
            pass
    with open(filler, "r+b") as f:
        f.truncate(max(0, os.path.getsize(filler) - leave))


class Place:
    """A small file system for one case: full or read-only, made writable while the case sets it up."""

    def __init__(self, work, mode, size="4m"):
        self.root, self.mode, self.size = work / "place", mode, size
        self.mounted = False

    def __enter__(self):
        self.root.mkdir()
        if os.geteuid() == 0:
            subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={self.size}", "tmpfs", str(self.root)], check=True)
            self.mounted = True
        return self.root

    def close_off(self, leave=0):
        """From here on the place takes nothing (or only `leave` bytes)."""
        if self.mode == "full":
            fill(self.root, leave)
        elif self.mounted:
            subprocess.run(["mount", "-o", "remount,ro", str(self.root)], check=True)
        else:
            for folder, dirs, _ in os.walk(self.root):
                os.chmod(folder, 0o555)

    def __exit__(self, *_):
        if self.mounted:
            subprocess.run(["umount", str(self.root)], check=True)
        else:
            for folder, dirs, _ in os.walk(self.root):
                os.chmod(folder, 0o755)
        shutil.rmtree(self.root)


def can_make(mode):
    if mode == "full" and os.geteuid() != 0:
        return "a full disk needs a small tmpfs, and mounting one needs root"
    if os.geteuid() == 0:
        probe = tempfile.mkdtemp()
        try:
            done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", probe], capture_output=True)
            if done.returncode != 0:
                return "this system does not let the test mount a tmpfs: " + done.stderr.decode().strip()
            subprocess.run(["umount", probe], check=True)
        finally:
            os.rmdir(probe)
    return None


class Cases:
    def __init__(self, work, mode, qxebook, driver, templates):
        self.work, self.mode, self.qxebook, self.driver = work, mode, qxebook, driver
        self.home = work / "home"
        shutil.copytree(templates, self.home / "template")
        self.env = dict(os.environ, HOME=str(work / "user"), XDG_DATA_HOME=str(work / "user" / "data"),
                        SOURCE_DATE_EPOCH="1700000000", QX_HOME=str(self.home), LANG="C.UTF-8", LC_ALL="C.UTF-8")
        (work / "user" / "data").mkdir(parents=True)
        self.book = work / f"《{TITLE}》{AUTHOR}.txt"
        assert run([qxebook, "params", "restore", "--home", str(self.home)], self.env)[0] == 0
        self.cause = "No space left on device" if mode == "full" else (
            "Read-only file system" if os.geteuid() == 0 else "Permission denied")
        self.rows = []

    def convert(self, out, *extra):
        return run([self.qxebook, "convert", str(self.book), "--overwrite", "--out", str(out), *extra], self.env)

    def check(self, case, code, out, err, expect, place, old, now, final_names):
        """Common checks; `old`/`now` are what the place held before and after."""
        text = out + err
        assert code == 1, f"{case}: exit code {code}\n{text}"
        for part in expect + [self.cause]:
            assert part in text, f"{case}: the message lacks {part!r}:\n{text}"
        # On success the program prints what it wrote on stdout and says so in a status line.
        assert not out.strip(), f"{case}: something reported as written:\n{out}"
        assert "成功" not in err, f"{case}: success reported:\n{err}"
        assert now == old, f"{case}: what was there before changed"
        left = sorted(p.name for p in (place / "out").iterdir()) if (place / "out").exists() else []
        assert left == final_names, f"{case}: left beside it: {left}"
        lines = err.replace("\r", "").splitlines()
        first = next((i for i, line in enumerate(lines) if "error:" in line), 0)
        message = " / ".join(lines[first:])
        self.rows.append((case, message, code, "old one whole, nothing else" if old else "nothing"))

    def ebook(self, with_old):
        case = f"convert (e-book directory){' over an older one' if with_old else ''}"
        with contextlib.ExitStack() as stack:
            place = Place(self.work, self.mode)
            root = stack.enter_context(place)
            (root / "out").mkdir()
            if with_old:
                self.book.write_bytes(book_text("旧"))
                assert self.convert(root / "out", "--quiet")[0] == 0
            old = tree(root / "out" / NAME) if with_old else None
            place.close_off(leave=64 * 1024)  # room for a part of the new one: the disk fills during the run
            self.book.write_bytes(book_text("新"))
            code, out, err = self.convert(root / "out")
            now = tree(root / "out" / NAME) if (root / "out" / NAME).exists() else None
            self.check(case, code, out, err, [str(root / "out" / NAME)], root, old, now, [NAME] if with_old else [])

    def epub(self):
        case = "convert --epub-only over an older EPUB"
        with contextlib.ExitStack() as stack:
            place = Place(self.work, self.mode)
            root = stack.enter_context(place)
            (root / "out").mkdir()
            final = root / "out" / f"{NAME}.epub"
            self.book.write_bytes(book_text("旧"))
            assert self.convert(root / "out", "--epub-only", "--quiet")[0] == 0
            old = final.read_bytes()
            place.close_off(leave=16 * 1024)
            self.book.write_bytes(book_text("新"))
            code, out, err = self.convert(root / "out", "--epub-only")
            self.check(case, code, out, err, ["EPUB 写入失败，原有文件未改动", str(final)], root, old,
                       final.read_bytes(), [final.name])

    def params(self):
        case = "params set"
        with contextlib.ExitStack() as stack:
            place = Place(self.work, self.mode)
            root = stack.enter_context(place)
            home = root / "home"
            home.mkdir()
            assert run([self.qxebook, "params", "restore", "--home", str(home)], self.env)[0] == 0
            get = [self.qxebook, "params", "get", "5", "--home", str(home)]
            old = run(get, self.env)[1]
            text = self.work / "row5.txt"
            text.write_text("".join(f"新的模板文字，第{k}行。\n" for k in range(3000)), encoding="utf-8")
            place.close_off()
            code, out, err = run([self.qxebook, "params", "set", "5", str(text), "--home", str(home)], self.env)
            assert sorted(p.name for p in home.iterdir()) == ["data.vdb", "data.vdt"], list(home.iterdir())
            self.check(case, code, out, err, ["cannot write the parameter table in " + str(home),
                                              "the table is left as it was"],
                       root, old, run(get, self.env)[1], [])

    def settings(self):
        case = "settings saved on closing (core, CloseDown)"
        with contextlib.ExitStack() as stack:
            place = Place(self.work, self.mode)
            root = stack.enter_context(place)
            home = root / "home"
            home.mkdir()
            assert run([self.driver, str(home), "A"], self.env)[0] == 0
            ini = home / "qx_cfg.ini"
            old = ini.read_bytes()
            place.close_off()
            code, out, err = run([self.driver, str(home), "BBBB"], self.env)
            assert sorted(p.name for p in home.iterdir()) == ["qx_cfg.ini"], list(home.iterdir())
            self.check(case, code, out, err, ["设置保存失败，原有设置文件未改动：" + str(ini)], root, old,
                       ini.read_bytes(), [])


def main():
    mode, qxebook, driver, templates = sys.argv[1:5]
    why = can_make(mode)
    if why:
        print(f"skipped: {why}")
        return SKIP
    with tempfile.TemporaryDirectory(prefix=f"qx-{mode}-") as work:
        cases = Cases(pathlib.Path(work), mode, qxebook, driver, pathlib.Path(templates))
        cases.ebook(with_old=True)
        cases.ebook(with_old=False)
        cases.epub()
        cases.params()
        cases.settings()
        print(f"{mode}: case | message | exit code | left")
        for row in cases.rows:
            print(" | ".join(str(x) for x in row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
