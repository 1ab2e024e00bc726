#!/usr/bin/env bash
# Brings the translations' sources (translations/*.ts) up to date with the
# code: texts new in the code are added unfinished, texts gone from it are
# dropped. Then translate the unfinished ones (Qt Linguist, or by hand).
#   scripts/update-translations.sh           update the .ts files
#   scripts/update-translations.sh --check   change nothing; fail if a text of the code
#                                            has no finished translation or a
#                                            translation has no text in the code
# LUPDATE names the tool (qttools5-dev-tools' lupdate by default).
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=${LUPDATE:-/usr/lib/qt5/bin/lupdate}
options=(-locations none -no-ui-lines)
status=0
for ts in translations/*.ts; do
    if [ "${1:-}" != --check ]; then
        "$lupdate" "${options[@]}" -no-obsolete src -ts "$ts"
        continue
    fi
    copy=$(mktemp --suffix=.ts)
    cp "$ts" "$copy"
    "$lupdate" "${options[@]}" -silent src -ts "$copy"
    problems=$(grep -B2 -E 'type="(unfinished|vanished|obsolete)"|<translation></translation>|<translation/>' \
        "$copy" | grep -o '<source>.*</source>' || true)
    rm -f "$copy"
    if [ -n "$problems" ]; then
        echo "$ts is not up to date with the code (run scripts/update-translations.sh and translate):" >&2
        echo "$problems" >&2
        status=1
    fi
done
exit "$status"
