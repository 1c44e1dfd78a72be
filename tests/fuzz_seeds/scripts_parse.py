#!/usr/bin/env python3
"""Every script text the pipeline makes from the committed fuzz seeds parses
as JavaScript (in node, read as GBK the way a browser reads the e-book).

  scripts_parse.py DRIVER SEEDS_DIR WORK_DIR

Exit 77 (skipped) when node is not installed.
"""
import glob
import os
import shutil
import subprocess
import sys

driver, seeds, work = sys.argv[1:4]
node = shutil.which("node")
if not node:
    print("node is not installed: skipped")
    sys.exit(77)
pipeline = sorted(glob.glob(os.path.join(seeds, "pipeline_fuzz", "*")))
texts = sorted(glob.glob(os.path.join(seeds, "loading_fuzz", "*")) + glob.glob(os.path.join(seeds, "page_fuzz", "*")))
if not pipeline:
    print("no pipeline seeds in " + seeds)
    sys.exit(1)
env = dict(os.environ, QX_THREADS="1")
subprocess.run([driver, work] + pipeline + ["--texts"] + texts, check=True, env=env)
checker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_scripts.js")
sys.exit(subprocess.run([node, checker, work]).returncode)
