#!/usr/bin/env bash
# The English translation, translations/rufwart_en.ts, against the sources.
#
#   check-translations.sh LUPDATE           fails when the .ts is out of date with the sources (lupdate
#                                           would change it) or holds a text that is untranslated,
#                                           unfinished or no longer used
#   check-translations.sh LUPDATE --update  brings the .ts up to date with the sources (new texts
#                                           arrive unfinished: translate them in Qt Linguist or by hand)
#
# The build runs the second form as `cmake --build build --target update_translations`.
set -euo pipefail
lupdate=$1
root=$(cd "$(dirname "$0")/.." && pwd)
ts=$root/translations/rufwart_en.ts

# No source locations in the .ts: moving a line does not make it out of date.
run_lupdate() {
  (cd "$root" && "$lupdate" -silent -no-obsolete -locations none -source-language de -target-language en \
    src/core src/net src/gui src/app -ts "$1")
}

if [ "${2:-}" = "--update" ]; then
  run_lupdate "$ts"
  exit 0
fi

status=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$ts" "$scratch/rufwart_en.ts"
run_lupdate "$scratch/rufwart_en.ts" >/dev/null
if ! cmp -s "$ts" "$scratch/rufwart_en.ts"; then
  echo "translations/rufwart_en.ts is out of date with the sources (run the update_translations target):"
  diff -u "$ts" "$scratch/rufwart_en.ts" | head -60 || true
  status=1
fi
# Texts without a finished English translation, and texts the sources no longer use.
if grep -n -E 'type="(unfinished|vanished|obsolete)"|<translation></translation>|<numerusform></numerusform>' "$ts"; then
  echo "translations/rufwart_en.ts: the lines above are untranslated, unfinished or no longer used"
  status=1
fi
exit $status
