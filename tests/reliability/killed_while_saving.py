"""Crash safety: the real program is killed (SIGKILL) at random moments while
it saves, and after every kill what it saves must be whole under its final
name: the old content or the new one, never a mix, never neither, and
nothing half-written beside it that the next run does not clear away.

usage: killed_while_saving.py CASE QXEBOOK CLOSE_DRIVER TEMPLATE_DIR [KILLS]

CASE is one of
  settings  the settings saved on closing (the close driver, many saves a run)
  params    `qxebook params set N FILE`, each run with a new text
  ebook     `qxebook convert BOOK --overwrite` over an older e-book directory
  epub      `qxebook convert BOOK --epub-only --overwrite` over an older EPUB

The kill delays are spread over the time a run takes, a third of them over
its second half and a third over its last fifth, where the writing and the
renames are. Only runs that were
still alive when killed count as kills. The child gets a HOME and an
XDG_DATA_HOME of its own, so the trash it uses is the test's.
"""

import collections
import os
import pathlib
import random
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

TITLE = "守夜"
AUTHOR = "佚名"
NAME = f"《{TITLE}》"  # the title the file name gives, brackets and all
CHAPTERS = 120


def book_text(variant):
    """A book of CHAPTERS chapters whose first chapter says which variant it is."""
    lines = [f"《{TITLE}》", ""]
    for k in range(1, CHAPTERS + 1):
        lines += [f"第{k}章 夜里的第{k}盏灯", ""]
        if k == 1:
            lines += [f"　　这是{variant}版的第一章。", ""]
        for p in range(6):
            lines += [f"　　第{k}章第{p}段：守夜的人提着灯走过长街，风从城外吹来，灯火摇了又摇。", ""]
    return "\r\n".join(lines).encode("gbk")


def tree(folder):
    """Every file under `folder`: relative path -> bytes."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = pathlib.Path(root) / name
            files[str(path.relative_to(folder))] = path.read_bytes()
    return files


class Case:
    """One thing saved: how to run a save and what state the disk is in."""

    def __init__(self, work, qxebook, driver, templates):
        self.work, self.qxebook, self.driver, self.templates = work, qxebook, driver, templates
        self.env = dict(os.environ)
        self.env.update(HOME=str(work / "user"), XDG_DATA_HOME=str(work / "user" / "data"),
                        SOURCE_DATE_EPOCH="1700000000", QX_HOME=str(work / "home"))
        (work / "user" / "data").mkdir(parents=True)
        self.leftover_states = collections.Counter()

    def possible(self, current, new):
        """The states a killed run may leave: what was there, or what it wrote."""
        return (current, new)

    def run(self, command, check=True):
        done = subprocess.run(command, env=self.env, capture_output=True, text=True)
        if check:
            assert done.returncode == 0, (command, done.returncode, done.stderr)
        return done


class Settings(Case):
    TAGS = ["A", "BB"]
    LEFTOVER = re.compile(r"qx_cfg\.ini\.tmp\d{1,6}")

    def setup(self):
        self.home = self.work / "home"
        self.home.mkdir()
        self.refs = {}
        for tag in self.TAGS * 2:  # the second round is written over an existing file, as every later save
            self.run([self.driver, str(self.home), tag])
            self.refs[tag] = (self.home / "qx_cfg.ini").read_bytes()
        return self.TAGS[-1]

    def command(self, i):
        # Saves that alternate between the two, ending with the new one: a
        # kill finds the one before or the one after the save it cuts short.
        new, old = self.TAGS[i % 2], self.TAGS[(i + 1) % 2]
        return [self.driver, str(self.home), f"{new},{old}", "25"], new

    def possible(self, current, new):
        # One run saves both in turn: a kill finds the one before the save it
        # cut short, whichever that was.
        return tuple(self.TAGS)

    def state(self):
        data = (self.home / "qx_cfg.ini").read_bytes()
        found = [t for t, ref in self.refs.items() if ref == data]
        assert found, f"the settings file is neither old nor new: {len(data)} bytes"
        return found[0]

    def leftovers(self):
        extra = [p.name for p in self.home.iterdir() if p.name != "qx_cfg.ini"]
        for name in extra:
            assert self.LEFTOVER.fullmatch(name), f"unexpected entry beside the settings: {name}"
        assert len(extra) <= 1, f"leftovers pile up: {extra}"
        return len(extra)


class Params(Case):
    ROW, WITNESS = 5, 9
    LEFTOVER = re.compile(r"data\.vd[bt]\.tmp\d{1,6}")

    def setup(self):
        self.home = self.work / "home"
        self.home.mkdir()
        self.files = self.work / "texts"
        self.files.mkdir()
        self.run([self.qxebook, "params", "restore", "--home", str(self.home)])
        self.witness = self.get(self.WITNESS)
        self.texts = {}
        self.set_text(-1)
        self.run(self.command(-1)[0])
        return -1

    def set_text(self, i):
        # Long enough to take many blocks of the long-text file, different every run.
        text = "".join(f"第{i}次保存的模板文字，第{k}行。\n" for k in range(3000))
        self.texts[i] = text
        (self.files / f"{i}.txt").write_text(text, encoding="utf-8")

    def get(self, row):
        return self.run([self.qxebook, "params", "get", str(row), "--home", str(self.home)]).stdout

    def command(self, i):
        if i not in self.texts:
            self.set_text(i)
        return [self.qxebook, "params", "set", str(self.ROW), str(self.files / f"{i}.txt"), "--home",
                str(self.home)], i

    def state(self):
        text = self.get(self.ROW)  # fails on a table that does not read whole
        found = [i for i, t in self.texts.items() if t == text]
        assert found, "row %d is neither the old nor the new text" % self.ROW
        return found[0]

    def extra_check(self, i):
        if i % 20 == 0:
            assert self.get(self.WITNESS) == self.witness, "another row changed"

    def leftovers(self):
        extra = [p.name for p in self.home.iterdir() if p.name not in ("data.vdb", "data.vdt")]
        for name in extra:
            assert self.LEFTOVER.fullmatch(name), f"unexpected entry beside the table: {name}"
        for stem in ("data.vdb", "data.vdt"):
            same = [n for n in extra if n.startswith(stem)]
            assert len(same) <= 1, f"leftovers pile up: {same}"
        return len(extra)


class Ebook(Case):
    VARIANTS = ["旧", "新"]

    def setup(self):
        home = self.work / "home"
        import shutil
        shutil.copytree(self.templates, home / "template")
        self.run([self.qxebook, "params", "restore", "--home", str(home)])
        self.book = self.work / f"《{TITLE}》{AUTHOR}.txt"
        self.out = self.work / "out"
        self.refs = {}
        for v in self.VARIANTS:
            ref = self.work / ("ref-" + v)
            self.book.write_bytes(book_text(v))
            self.run(self.base(ref))
            self.refs[v] = self.result_of(ref)
        self.book.write_bytes(book_text(self.VARIANTS[0]))
        self.run(self.base(self.out))
        return self.VARIANTS[0]

    def base(self, out):
        return [self.qxebook, "convert", str(self.book), "--overwrite", "--quiet", "--out", str(out)]

    def final(self, out):
        return out / NAME

    def result_of(self, out):
        return tree(self.final(out))

    def command(self, i):
        v = self.VARIANTS[i % 2]
        self.book.write_bytes(book_text(v))
        return self.base(self.out), v

    def state(self):
        final = self.final(self.out)
        assert final.is_dir(), "no e-book directory under the final name"
        got = self.result_of(self.out)
        for v, ref in self.refs.items():
            if got == ref:
                return v
        missing = sorted(set(self.refs[self.VARIANTS[0]]) - set(got))
        raise AssertionError(f"the e-book directory is neither old nor new: {len(got)} files, missing {missing[:5]}")

    LEFTOVER = re.compile(r"\." + re.escape(NAME) + r"\.part-\d+")

    def leftovers(self):
        extra = [p for p in self.out.iterdir() if p.name != NAME]
        for p in extra:
            assert self.LEFTOVER.fullmatch(p.name) and p.is_dir(), f"unexpected entry beside the e-book: {p.name}"
            got = tree(p)
            kind = [v for v, ref in self.refs.items() if ref == got]
            self.leftover_states[kind[0] if kind else "partial"] += 1
        assert len(extra) <= 1, f"leftovers pile up: {[p.name for p in extra]}"
        return len(extra)


class Epub(Ebook):
    def base(self, out):
        return [self.qxebook, "convert", str(self.book), "--epub-only", "--overwrite", "--quiet", "--out", str(out)]

    def final(self, out):
        return out / f"{NAME}.epub"

    def result_of(self, out):
        return self.final(out).read_bytes()

    def state(self):
        final = self.final(self.out)
        assert final.is_file(), "no EPUB under the final name"
        with zipfile.ZipFile(final) as z:
            assert z.testzip() is None, "a damaged entry in the EPUB"
        got = final.read_bytes()
        for v, ref in self.refs.items():
            if got == ref:
                return v
        raise AssertionError(f"the EPUB is neither old nor new: {len(got)} bytes")

    LEFTOVER = re.compile(r"\." + re.escape(NAME) + r"\.epub\.[0-9a-f]{8}\.part")

    def leftovers(self):
        extra = [p for p in self.out.iterdir() if p.name != f"{NAME}.epub"]
        for p in extra:
            assert self.LEFTOVER.fullmatch(p.name) and p.is_file(), f"unexpected entry beside the EPUB: {p.name}"
        assert len(extra) <= 1, f"leftovers pile up: {[p.name for p in extra]}"
        return len(extra)


CASES = {"settings": Settings, "params": Params, "ebook": Ebook, "epub": Epub}


def main():
    name, qxebook, driver, templates = sys.argv[1:5]
    want = int(sys.argv[5]) if len(sys.argv) > 5 else 200
    rng = random.Random(int(os.environ.get("QX_KILL_SEED", "0")) or None)
    with tempfile.TemporaryDirectory(prefix=f"qx-kill-{name}-") as work:
        case = CASES[name](pathlib.Path(work), qxebook, driver, pathlib.Path(templates))
        current = case.setup()

        # How long a run takes, unkilled, from the moment it is started as
        # the killed ones are.
        durations = []
        for i in range(5):
            command, new = case.command(i)
            child = subprocess.Popen(command, env=case.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            started = time.monotonic()
            assert child.wait() == 0, command
            durations.append(time.monotonic() - started)
            current = case.state()
            assert current == new, (current, new)
        span = statistics.median(durations)

        kills = finished = 0
        states = collections.Counter()
        with_leftover = 0
        started = time.monotonic()
        i = 5
        while kills < want:
            command, new = case.command(i)
            delay = rng.uniform(*[(0, span), (span / 2, span), (span * 0.8, span * 1.05)][i % 3])
            child = subprocess.Popen(command, env=case.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            began = time.monotonic()
            try:
                code = child.wait(timeout=delay)
                # It was quicker than the delay: the runs take less time than thought.
                durations.append(time.monotonic() - began)
                span = statistics.median(durations[-15:])
            except subprocess.TimeoutExpired:
                child.send_signal(signal.SIGKILL)  # one that has just exited, not yet reaped, is not hurt
                code = child.wait()
            if code == -signal.SIGKILL:
                kills += 1
            else:
                assert code == 0, f"run {i} failed with {code}"
                finished += 1
            state = case.state()
            possible = case.possible(current, new)
            assert state in possible, f"run {i}: found {state}, expected one of {possible}"
            if code == 0:
                assert state == new, f"run {i} completed, but the old content is in place"
            states["new" if state == new else "old"] += 1 if code != 0 else 0
            if hasattr(case, "extra_check"):
                case.extra_check(i)
            with_leftover += 1 if case.leftovers() and code != 0 else 0
            current = state
            i += 1

        # A run to the end clears what the killed ones left.
        command, new = case.command(i)
        case.run(command)
        assert case.state() == new
        left = case.leftovers()
        assert left == 0, f"{left} leftovers after a complete run"
        took = time.monotonic() - started
        extra = f", leftovers by content: {dict(case.leftover_states)}" if case.leftover_states else ""
        print(f"{name}: {kills} kills ({finished} runs finished before their kill), a run takes {span * 1000:.0f} ms; "
              f"after the kills: {states['old']} old, {states['new']} new, {with_leftover} with a leftover beside it"
              f"{extra}; {took:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
