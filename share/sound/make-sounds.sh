#!/usr/bin/env bash
# Synthesises the five cues with sox. The WAV files are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
tone() { sox -n -r 22050 -b 16 -c 1 "$@"; }
tone start.wav synth 0.12 sine 880 synth 0.12 sine 1320 fade 0.005 0.12 0.03 vol 0.6
tone "$t/o1.wav" synth 0.35 sine 1046.5 fade 0.005 0.35 0.25 vol 0.6
tone "$t/o2.wav" synth 0.35 sine 784 fade 0.005 0.35 0.25 vol 0.6
tone "$t/o3.wav" synth 0.7 sine 523.25 fade 0.005 0.7 0.5 vol 0.6
sox "$t/o1.wav" "$t/o2.wav" "$t/o1.wav" "$t/o2.wav" "$t/o3.wav" over.wav
tone type.wav synth 0.4 sine 1568 fade 0.002 0.4 0.35 vol 0.6
tone type0.wav synth 0.3 sine 400:1200 fade 0.01 0.3 0.05 vol 0.5
tone "$t/y1.wav" synth 0.12 sine 1046.5 fade 0.005 0.12 0.02 vol 0.6
tone "$t/y2.wav" synth 0.3 sine 1568 fade 0.005 0.3 0.2 vol 0.6
sox "$t/y1.wav" "$t/y2.wav" yes.wav
