#!/bin/bash
# Makes system sound recordable for this user: a sound server that answers,
# with an output whose monitor can be recorded.
# Exit 0: something was changed; 1: nothing needed changing; 2: failed.

. "$(dirname "$0")/audioplugin_common.sh"

if ! server_answers && command -v pulseaudio >/dev/null 2>&1; then
    pulseaudio --start >/dev/null 2>&1
    for _ in $(seq 50); do
        server_answers && break
        sleep 0.2
    done
    server_answers && exit 0
fi
server_answers || exit 2

# Every output of the server has a monitor: one output is all it takes.
sink_exists "$(default_sink)" && exit 1
sink_exists "$SINK_NAME" && exit 1

# The name the user sees; its quotes would end the module arguments early.
name=${SR_AUDIO_PLUGIN_NAME:-Screen Recorder Audio Output}
name=${name//[\"\'\\]/}
real_sink=$(pactl list short sinks 2>/dev/null | cut -f2 | head -n 1)

null_index=$(pactl load-module module-null-sink "sink_name=$SINK_NAME" \
    "sink_properties='device.description=\"$name\"'") || exit 2
echo "$null_index" > "$STATE_FILE"
# The virtual output is what gets recorded; a loopback keeps it audible.
if [ -n "$real_sink" ]; then
    loop_index=$(pactl load-module module-loopback "source=$SINK_NAME.monitor" "sink=$real_sink") \
        && echo "$loop_index" >> "$STATE_FILE"
fi
pactl set-default-sink "$SINK_NAME" || exit 2
exit 0
