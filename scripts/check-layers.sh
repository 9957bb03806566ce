#!/bin/bash
# Checks the module's folder layering: includes name their folder, a folder
# never includes one above it, and no two folders include each other.
# Order, lowest first: platform, core, widgets, then the feature folders
# (recording, capture, schedule, preferences, watermark, feedback), then app.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 2

declare -A rank=([platform]=0 [core]=1 [widgets]=2 [recording]=3 [capture]=3
  [schedule]=3 [preferences]=3 [watermark]=3 [feedback]=3 [app]=4)
folders="platform core widgets recording capture schedule preferences watermark feedback app"
engine_headers=$(ls Components/Screencast/include)
failed=0
declare -A edge=()

for from in $folders; do
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -E 's/.*#[[:space:]]*include[[:space:]]*[<"]([^">]+)[">].*/\1/' <<<"$line")
    case $inc in
      ui_*.h) continue ;;
      */*) ;;
      *)
        if grep -qx "$inc" <<<"$engine_headers"; then continue; fi
        if [ -n "$(find $folders -name "$inc" -print -quit)" ]; then
          echo "$file: include \"$inc\" without its folder"; failed=1
        fi
        continue ;;
    esac
    to=${inc%%/*}
    [ -n "${rank[$to]:-}" ] || continue
    [ "$to" = "$from" ] && continue
    if [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
      echo "$file: $from includes the higher folder $to ($inc)"; failed=1
    fi
    edge[$from>$to]=1
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^">]+\.h[">]' \
             --include='*.cpp' --include='*.h' "$from" | sed -E 's/^([^:]+):[0-9]+:/\1:/')
done

for e in "${!edge[@]}"; do
  a=${e%%>*}; b=${e##*>}
  if [ -n "${edge[$b>$a]:-}" ] && [[ $a < $b ]]; then
    echo "$a and $b include each other"; failed=1
  fi
done

[ $failed -eq 0 ] && echo "layers: ok"
exit $failed
