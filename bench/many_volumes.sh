#!/usr/bin/env bash
# A one-line book of 100,000 chapters in which every chapter starts a volume
# of its own: loading and analysis stay linear (well under a second).
#
#   bash bench/many_volumes.sh        (from the repository root, after the build)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-volumes.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 -c "
import sys
open(sys.argv[1], 'wb').write(''.join(f'V{i} c\r\nx\r\n\r\n\r\n' for i in range(100000)).encode())" "$work/book.txt"
/usr/bin/time -f "100,000 one-chapter volumes, one-line mode: %e s, peak %M KB" \
    "$build/src/cli/qxebook" inspect "$work/book.txt" --title t --author a --mode one-line --convert none \
    --no-layout --quiet >/dev/null
