# shellcheck shell=sh
# A private PulseAudio server in a folder of the caller's: a null sink for playback and a
# microphone made from a second null sink's monitor (Qt lists no monitors), kept awake by a
# stream of zeros. A quiet microphone hears only the speakers. Sourced by scripts that record;
# the tests run it as `sh sound-server.sh FOLDER`, which serves until its input closes.

SOUND_SERVER_MICROPHONE_SINK=tarnwick_microphone_in
SOUND_SERVER_PID=
SOUND_SERVER_FEEDER_PID=
SOUND_SERVER_SPEAKER_PIDS=

# sound_server_start FOLDER: starts the server, waits until it answers and exports PULSE_SERVER.
sound_server_start() {
    sound_folder=$1
    cat >"$sound_folder/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$sound_folder/native
load-module module-null-sink sink_name=tarnwick_speakers rate=48000 channels=1
load-module module-null-sink sink_name=$SOUND_SERVER_MICROPHONE_SINK rate=48000 channels=1
load-module module-remap-source source_name=tarnwick_microphone master=$SOUND_SERVER_MICROPHONE_SINK.monitor channels=1 channel_map=mono master_channel_map=mono
load-module module-remap-source source_name=tarnwick_quiet_microphone master=tarnwick_speakers.monitor channels=1 channel_map=mono master_channel_map=mono
set-default-sink tarnwick_speakers
set-default-source tarnwick_microphone
PA
    HOME=$sound_folder XDG_RUNTIME_DIR=$sound_folder PULSE_RUNTIME_PATH=$sound_folder \
        PULSE_STATE_PATH=$sound_folder \
        pulseaudio -n -F "$sound_folder/server.pa" --exit-idle-time=-1 --daemonize=no --use-pid-file=no \
        >"$sound_folder/server.log" 2>&1 &
    SOUND_SERVER_PID=$!
    export PULSE_SERVER="unix:$sound_folder/native"
    tries=0
    until pactl info >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ] || ! kill -0 "$SOUND_SERVER_PID" 2>/dev/null; then
            echo "the sound server did not answer; see $sound_folder/server.log" >&2
            return 1
        fi
        sleep 0.1
    done
    for sink in "$SOUND_SERVER_MICROPHONE_SINK" tarnwick_speakers; do
        pacat --playback --latency-msec=20 --format=float32le --rate=48000 --channels=1 -d "$sink" </dev/zero &
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

# sound_server_stop: ends the players, the feeder and the server by their process ids.
sound_server_stop() {
    for pid in $SOUND_SERVER_SPEAKER_PIDS $SOUND_SERVER_FEEDER_PID $SOUND_SERVER_PID; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    SOUND_SERVER_SPEAKER_PIDS=
    SOUND_SERVER_FEEDER_PID=
    SOUND_SERVER_PID=
}

if [ "${0##*/}" = sound-server.sh ] && [ $# -eq 1 ]; then
    if sound_server_start "$1" >&2; then
        echo "$PULSE_SERVER"
        cat >/dev/null
    fi
    sound_server_stop
fi
