#!/bin/sh
# Records the line-recording corpus of tests/recordings from the simulator:
# one session per line fault and per controller type. Each NAME.rec is the
# recording, NAME.expected the exit code ("exit N") and what the command
# printed. Run from the source folder after a build; a fault found in the
# field is added as one more NAME.rec with its NAME.expected.
set -eu
cli=${1:-build/bin/orvant2-cli}
out=tests/recordings
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

record() { # NAME SCENARIO-TEXT WORDS...
    name=$1 scenario=$2
    shift 2
    printf '%b' "$scenario" >"$tmp/$name.txt"
    set +e
    "$cli" --simulate "$tmp/$name.txt" --record "$out/$name.rec" "$@" >"$tmp/out" 2>/dev/null
    code=$?
    set -e
    { echo "exit $code"; cat "$tmp/out"; } >"$out/$name.expected"
    echo "$name: exit $code"
}

one='controller 0 0 4\n'
record fault-silent "${one}sensor 1 fault=silent\n" status
record fault-checksum "${one}sensor 1 fault=checksum\n" status
record fault-garbage "${one}sensor 1 fault=garbage\n" status
record fault-address "${one}sensor 1 fault=address\n" status
record fault-late "${one}sensor 1 fault=late\n" status
record fault-echo "echo\n${one}" status
record fault-echo-only "echo-only\n${one}" status
record fault-hang-up "cut 1C 2\n${one}" status
record fault-silent-write "${one}sensor 1 fault=silent\n" sensor 2 set filling-criterion=3.5
for type in 0 1 3 4; do
    record "type-$type" "type $type\n${one}" --type "$type" status
done
record type-2 'type 2\nsensors 0 4\n' --type 2 status
record type-5 'type 5\nsensors 0 4\n' --type 5 status
record read-only-get "${one}" --read-only sensor 2 get
