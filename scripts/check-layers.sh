#!/bin/bash
# Checks the folder layering of the whole tree: includes name their folder,
# a folder never includes one above it, and the include graph between
# folders has no cycle of any length.
# The module, lowest first: platform, core, widgets, then the feature
# folders (recording, capture, schedule, preferences, watermark, feedback),
# then app; the task service sits on schedule and core, the picture tools on
# everything. The engine (Components/Screencast/linux) is a library of its
# own: it may use platform's log and nothing else of the module. Its folders,
# lowest first: core (connection, settings, log module, the pipeline's
# seams), then source and effects, then encode, mux and audio, then ui (the
# on-screen windows), then rec (the recorder that builds a recording from
# all of them) and play, then cam (a camera's movie is a recording), then
# api (the interface's functions).
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 2

declare -A rank=([platform]=0 [core]=1 [widgets]=2 [recording]=3 [capture]=3
  [schedule]=3 [preferences]=3 [watermark]=3 [feedback]=3 [app]=4 [service]=4 [tools]=5)
declare -A erank=([core]=0 [source]=1 [effects]=2 [encode]=3 [mux]=3 [audio]=3
  [ui]=4 [rec]=5 [play]=5 [cam]=6 [api]=7)
engine=Components/Screencast/linux
module_folders="platform core widgets recording capture schedule preferences watermark feedback app service tools"
engine_headers=$(ls Components/Screencast/include)
failed=0
declare -A edge=()

# "file:included/path.h" for every project include below $1.
includes() {
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+\.h"' --include='*.cpp' --include='*.h' "$1" |
    sed -E 's/^([^:]+):[0-9]+:.*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1:\2/'
}

for from in $module_folders; do
  while IFS=: read -r file inc; do
    case $inc in
      ui_*.h) continue ;;
      */*) ;;
      *)
        if grep -qx "$inc" <<<"$engine_headers"; then continue; fi
        if [ -n "$(find $module_folders -name "$inc" -print -quit)" ]; then
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
  done < <(includes "$from")
done

# The engine's own folders: every file in a ranked folder, includes with
# their folder, no lower folder including a higher one, and nothing of the
# module but the log.
while IFS= read -r file; do
  dir=${file#"$engine"/}
  dir=${dir%/*}
  if [[ "$dir" == */* || -z "${erank[$dir]:-}" ]]; then
    echo "$file: not in one of the engine's folders"; failed=1
  fi
done < <(find "$engine" -name '*.cpp' -o -name '*.h')
for from in "${!erank[@]}"; do
  [ -d "$engine/$from" ] || continue
  while IFS=: read -r file inc; do
    to=${inc%%/*}
    if [ "$to" != "$inc" ] && [ -f "$engine/$inc" ] && [ -n "${erank[$to]:-}" ]; then
      [ "$to" = "$from" ] && continue
      if [ "${erank[$to]}" -gt "${erank[$from]}" ]; then
        echo "$file: engine/$from includes the higher folder $to ($inc)"; failed=1
      fi
      edge[engine/$from>engine/$to]=1
    elif [ "$to" = "$inc" ]; then
      if grep -qx "$inc" <<<"$engine_headers"; then continue; fi
      if [ -n "$(find "$engine" -name "$inc" -print -quit)" ]; then
        echo "$file: include \"$inc\" without its folder"; failed=1
      fi
    elif [ -n "${rank[$to]:-}" ]; then
      case $inc in
        platform/log/*) ;;
        *) echo "$file: the engine includes the module's $inc"; failed=1 ;;
      esac
    fi
  done < <(includes "$engine/$from")
done

# Cycles of any length: a depth-first walk that meets a folder still on
# its path has found one.
declare -A state=() next=()
for e in "${!edge[@]}"; do next[${e%%>*}]+="${e##*>} "; done
path=()
walk() {
  local node=$1 to i
  state[$node]=open
  path+=("$node")
  for to in ${next[$node]:-}; do
    if [ "${state[$to]:-}" = open ]; then
      local cycle="" seen=0
      for i in "${path[@]}"; do
        [ "$i" = "$to" ] && seen=1
        [ $seen = 1 ] && cycle+="$i -> "
      done
      echo "include cycle: $cycle$to"
      failed=1
    elif [ -z "${state[$to]:-}" ]; then
      walk "$to"
    fi
  done
  unset 'path[-1]'
  state[$node]=done
}
for node in $(printf '%s\n' "${!next[@]}" | sort); do
  [ -z "${state[$node]:-}" ] && walk "$node"
done

[ $failed -eq 0 ] && echo "layers: ok"
exit $failed
