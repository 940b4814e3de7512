# shellcheck shell=sh
# A private sound server in a folder of the caller's, in one of two flavours: a user-mode
# PulseAudio (`pulseaudio`), or PipeWire with WirePlumber and pipewire-pulse on a session bus of
# its own (`pipewire`); clients of both speak the PulseAudio protocol. It has a null sink for
# playback, a microphone made from a second null sink's monitor, kept awake by a stream of zeros,
# a quiet microphone that hears only the speakers and a silent one that never sends a frame.
# Sourced by scripts that record; the tests run it as `sh sound-server.sh FOLDER [FLAVOUR]`, which
# serves until its input closes and meanwhile obeys these lines, answering each with one line:
# `kill` (SIGKILL to every process of the server, as a crash), `start` (the same server again at
# the same address), `add ID` and `remove ID` (an input that hears what the microphone hears) and
# `default ID` (the default source).

SOUND_SERVER_MICROPHONE_SINK=tarnwick_microphone_in
SOUND_SERVER_FLAVOUR=pulseaudio
SOUND_SERVER_PID=
SOUND_SERVER_FEEDER_PID=
SOUND_SERVER_SPEAKER_PIDS=

# sound_server_start FOLDER [FLAVOUR]: starts the server, waits until it answers and exports
# PULSE_SERVER. The server runs in a session of its own, so its process id ends all of it.
sound_server_start() {
    sound_folder=$1
    SOUND_SERVER_FLAVOUR=${2:-$SOUND_SERVER_FLAVOUR}
    case $SOUND_SERVER_FLAVOUR in
    pulseaudio)
        export PULSE_SERVER="unix:$sound_folder/native"
        rm -f "$sound_folder/native"
        echo "load-module module-native-protocol-unix auth-anonymous=1 socket=$sound_folder/native" \
            >"$sound_folder/server.pa"
        HOME=$sound_folder XDG_RUNTIME_DIR=$sound_folder PULSE_RUNTIME_PATH=$sound_folder \
            PULSE_STATE_PATH=$sound_folder \
            setsid pulseaudio -n -F "$sound_folder/server.pa" --exit-idle-time=-1 --daemonize=no \
            --use-pid-file=no >"$sound_folder/server.log" 2>&1 &
        ;;
    pipewire)
        export PULSE_SERVER="unix:$sound_folder/pulse/native"
        rm -f "$sound_folder/pulse/native" "$sound_folder/pipewire-0"
        # WirePlumber gives up at once if PipeWire's socket is not there yet, and without it
        # pipewire-pulse refuses every default.
        HOME=$sound_folder XDG_RUNTIME_DIR=$sound_folder XDG_CONFIG_HOME=$sound_folder/config \
            XDG_STATE_HOME=$sound_folder/state XDG_DATA_HOME=$sound_folder/data \
            setsid dbus-run-session -- sh -c 'pipewire &
                until [ -S "$XDG_RUNTIME_DIR/pipewire-0" ]; do sleep 0.05; done
                wireplumber & pipewire-pulse & wait' \
            >"$sound_folder/server.log" 2>&1 &
        ;;
    *)
        echo "unknown sound server flavour: $SOUND_SERVER_FLAVOUR" >&2
        return 1
        ;;
    esac
    SOUND_SERVER_PID=$!
    tries=0
    until pactl info >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ] || ! kill -0 "$SOUND_SERVER_PID" 2>/dev/null; then
            echo "the sound server did not answer; see $sound_folder/server.log" >&2
            return 1
        fi
        sleep 0.1
    done
    remap="channels=1 channel_map=mono master_channel_map=mono"
    {
        pactl load-module module-null-sink sink_name=tarnwick_speakers rate=48000 channels=1 &&
            pactl load-module module-null-sink sink_name=$SOUND_SERVER_MICROPHONE_SINK rate=48000 channels=1 &&
            pactl load-module module-remap-source source_name=tarnwick_microphone \
                master=$SOUND_SERVER_MICROPHONE_SINK.monitor $remap &&
            pactl load-module module-remap-source source_name=tarnwick_quiet_microphone \
                master=tarnwick_speakers.monitor $remap
    } >/dev/null || return 1
    # pipewire-pulse refuses defaults ("Not supported") until WirePlumber has come up.
    tries=0
    until pactl set-default-sink tarnwick_speakers 2>/dev/null && pactl set-default-source tarnwick_microphone; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ]; then
            echo "the sound server refused a default sink or source:" >&2
            tail -n 5 "$sound_folder/server.log" >&2
            return 1
        fi
        sleep 0.1
    done
    # Silent: PulseAudio keeps a source suspended by the user suspended while streams attach;
    # PipeWire does not schedule a passive node on a sink nobody plays to, so a stream on it is
    # never started.
    if [ "$SOUND_SERVER_FLAVOUR" = pulseaudio ]; then
        pactl load-module module-remap-source source_name=tarnwick_silent_microphone \
            master=tarnwick_speakers.monitor $remap >/dev/null &&
            pactl suspend-source tarnwick_silent_microphone 1 || return 1
    else
        pactl load-module module-null-sink sink_name=tarnwick_silence rate=48000 channels=1 >/dev/null &&
            pactl load-module module-remap-source source_name=tarnwick_silent_microphone \
                master=tarnwick_silence.monitor $remap source_properties=node.passive=true >/dev/null || return 1
    fi
    for sink in "$SOUND_SERVER_MICROPHONE_SINK" tarnwick_speakers; do
        pacat --playback --latency-msec=20 --format=float32le --rate=48000 --channels=1 -d "$sink" </dev/zero 2>/dev/null &
        SOUND_SERVER_FEEDER_PID="$SOUND_SERVER_FEEDER_PID $!"
    done
    # A fresh null sink renders in blocks of about two seconds, and a capture opened meanwhile
    # lags that far for its whole life: wait until a short capture hears the microphone in real
    # time (0.3 s of 16-bit samples within 0.4 s).
    tries=0
    until [ "$(timeout 0.4 parec --raw --latency-msec=20 --format=s16le --rate=48000 --channels=1 \
        -d tarnwick_microphone | wc -c)" -ge 28800 ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 30 ]; then
            echo "the microphone never delivered audio in real time" >&2
            return 1
        fi
    done
}

# sound_server_say WAV [VOLUME]: plays a WAV into the microphone in the background, as a voice
# would; VOLUME as paplay takes it, 65536 = as recorded, more amplifies and clips.
sound_server_say() {
    paplay -d "$SOUND_SERVER_MICROPHONE_SINK" --volume="${2:-65536}" "$1" >/dev/null 2>&1 &
    SOUND_SERVER_SPEAKER_PIDS="$SOUND_SERVER_SPEAKER_PIDS $!"
}

# sound_server_kill [SIGNAL]: ends the server's whole session (SIGKILL unless told), then the
# feeders, which lost it.
sound_server_kill() {
    if [ -n "$SOUND_SERVER_PID" ]; then
        env kill -s "${1:-KILL}" -- "-$SOUND_SERVER_PID" 2>/dev/null || true
        wait "$SOUND_SERVER_PID" 2>/dev/null || true
    fi
    for pid in $SOUND_SERVER_FEEDER_PID; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    SOUND_SERVER_FEEDER_PID=
    SOUND_SERVER_PID=
}

# sound_server_stop: ends the players, the feeders and the server by their process ids.
sound_server_stop() {
    for pid in $SOUND_SERVER_SPEAKER_PIDS; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    SOUND_SERVER_SPEAKER_PIDS=
    sound_server_kill TERM
}

# sound_server_answer COMMAND...: runs a command and says `ok` or `failed`.
sound_server_answer() {
    if "$@" >/dev/null; then echo ok; else echo failed; fi
}

if [ "${0##*/}" = sound-server.sh ] && [ $# -ge 1 ]; then
    sound_server_folder=$1
    if sound_server_start "$sound_server_folder" "${2:-pulseaudio}" >&2; then
        echo "$PULSE_SERVER"
        while read -r command; do
            case $command in
            kill) sound_server_kill && echo killed ;;
            start) if sound_server_start "$sound_server_folder" >&2; then echo "$PULSE_SERVER"; else echo failed; fi ;;
            add\ *) sound_server_answer pactl load-module module-remap-source source_name="${command#add }" \
                master=$SOUND_SERVER_MICROPHONE_SINK.monitor channels=1 channel_map=mono master_channel_map=mono ;;
            remove\ *) sound_server_answer pactl unload-module \
                "$(pactl list short modules | grep "source_name=${command#remove } " | cut -f1)" ;;
            default\ *) sound_server_answer pactl set-default-source "${command#default }" ;;
            *) echo failed ;;
            esac
        done
    fi
    sound_server_stop
fi
