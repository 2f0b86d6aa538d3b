#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# scripts/add_spdx.sh on a small checkout of its own: --check names each source file without the
# licence line and fails; the script puts the line in the right form and place (below a #! line);
# a second run changes nothing; data files are never touched.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
script="$here/../../scripts/add_spdx.sh"
command -v git >/dev/null || { echo "no git: skipped"; exit 77; }
work="$(mktemp -d /tmp/camlift-spdx.XXXXXX)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/scripts" "$work/core"
cp "$script" "$work/scripts/add_spdx.sh"
printf '// A header.\n#pragma once\n' >"$work/core/a.h"
printf '#!/usr/bin/env bash\necho hi\n' >"$work/scripts/run.sh"
chmod 755 "$work/scripts/run.sh"
printf 'project(x)\n' >"$work/CMakeLists.txt"
printf '// SPDX-License-Identifier: Apache-2.0\nint x;\n' >"$work/core/done.cpp"
printf 'plain data\n' >"$work/notes.txt"
git -C "$work" init -q && git -C "$work" add -A || fail "git init"

out="$(bash "$work/scripts/add_spdx.sh" --check 2>&1)" && fail "--check passed: $out"
for f in core/a.h scripts/run.sh CMakeLists.txt; do
  grep -q "^$f: " <<<"$out" || fail "--check does not name $f: $out"
done
grep -q "done.cpp\|notes.txt" <<<"$out" && fail "--check names a file it must not: $out"

bash "$work/scripts/add_spdx.sh" >/dev/null || fail "add_spdx.sh failed"
[ "$(cat "$work/core/a.h")" = $'// SPDX-License-Identifier: Apache-2.0\n// A header.\n#pragma once' ] ||
  fail "a.h: $(cat "$work/core/a.h")"
[ "$(cat "$work/scripts/run.sh")" = $'#!/usr/bin/env bash\n# SPDX-License-Identifier: Apache-2.0\necho hi' ] ||
  fail "run.sh: $(cat "$work/scripts/run.sh")"
[ -x "$work/scripts/run.sh" ] || fail "run.sh lost its execute bit"
[ "$(cat "$work/CMakeLists.txt")" = $'# SPDX-License-Identifier: Apache-2.0\nproject(x)' ] ||
  fail "CMakeLists.txt: $(cat "$work/CMakeLists.txt")"
[ "$(cat "$work/notes.txt")" = "plain data" ] || fail "notes.txt was changed"

before="$(cd "$work" && cat core/a.h scripts/run.sh CMakeLists.txt core/done.cpp | md5sum)"
bash "$work/scripts/add_spdx.sh" >/dev/null || fail "second run failed"
after="$(cd "$work" && cat core/a.h scripts/run.sh CMakeLists.txt core/done.cpp | md5sum)"
[ "$before" = "$after" ] || fail "a second run changed files"
bash "$work/scripts/add_spdx.sh" --check >/dev/null 2>&1 || fail "--check fails after the run"
echo "add_spdx: ok"
