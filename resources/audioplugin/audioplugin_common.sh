# Shared by the audio plug-in's install and uninstall scripts (sourced).
#
# Everything here concerns the sound server of the user who asked, so no
# step needs administrator rights. When an administrator tool ran the
# script anyway, it goes back to that user first: root's pactl would talk
# to a server of its own.

if [ "$(id -u)" = 0 ] && [ -n "${PKEXEC_UID:-}" ]; then
    exec runuser -u "$(id -nu "$PKEXEC_UID")" -- \
        env XDG_RUNTIME_DIR="/run/user/$PKEXEC_UID" /bin/bash "$0" "$@"
fi

SINK_NAME=sr_virtual_output

# The folder for the install's notes: the session's runtime folder, else one
# in the user's own cache. Never the shared /tmp, where another user could
# plant a link that the install writes through, or a list of his own.
state_folder() {
    local dir=${XDG_RUNTIME_DIR:-}
    if [ -z "$dir" ]; then
        dir="${XDG_CACHE_HOME:-$HOME/.cache}/ScreenRecorder/run"
        mkdir -p "${dir%/*}" && mkdir -p -m 0700 "$dir" || return 1
    fi
    [ -d "$dir" ] && [ ! -L "$dir" ] && [ -O "$dir" ] &&
        [ -z "$(find "$dir" -maxdepth 0 -perm /022)" ] && printf '%s\n' "$dir"
}
state_dir=$(state_folder) || {
    echo "audioplugin: no private folder for the module list" >&2
    exit 1
}
# The module indices the install loaded, one a line, for the uninstall.
STATE_FILE="$state_dir/sr-audioplugin-$(id -u).modules"

server_answers() {
    pactl info >/dev/null 2>&1
}

default_sink() {
    pactl info 2>/dev/null | sed -n 's/^Default Sink: //p'
}

sink_exists() {
    [ -n "$1" ] && pactl list short sinks 2>/dev/null | cut -f2 | grep -qxF -- "$1"
}
