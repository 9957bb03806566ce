#!/bin/bash
# Unloads what the install loaded, and nothing else: a module index is
# only unloaded while it still belongs to the virtual output (a restarted
# server hands the same numbers to other modules).
# Exit 0: something was unloaded; 1: nothing was there to unload.

. "$(dirname "$0")/audioplugin_common.sh"

[ -f "$STATE_FILE" ] || exit 1
modules=$(pactl list short modules 2>/dev/null)
unloaded=1
while read -r index; do
    [ -n "$index" ] || continue
    if printf '%s\n' "$modules" | awk -F'\t' -v i="$index" '$1 == i' | grep -qF -- "$SINK_NAME"; then
        pactl unload-module "$index" && unloaded=0
    fi
done < <(tac "$STATE_FILE")
rm -f "$STATE_FILE"
exit $unloaded
