#!/bin/sh
# Writes a 30-second music-like test recording: stereo, 44.1 kHz, 16-bit.
# A plucked arpeggio over four chords, a fifth apart on the two channels,
# with a soft pad and some room, so it has attacks, decays and stereo width.
#
#   scripts/make-sample.sh OUT.wav
#
# Needs sox (scripts/setup.sh installs it).
set -eu

out=${1:?usage: make-sample.sh OUT.wav}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Four bars of eight notes (0.46875 s each: 128 bpm eighths), four times.
chords="A2 C3 E3 A3 E3 C3 A2 E2
F2 A2 C3 F3 C3 A2 F2 C2
C3 E3 G3 C4 G3 E3 C3 G2
G2 B2 D3 G3 D3 B2 G2 D2"
notes=$(echo $chords $chords $chords $chords)
i=0
for note in $notes; do
  i=$((i + 1))
  sox -V1 -n -r 44100 -b 16 -c 1 "$work/$(printf 'note%03d' "$i").wav" synth 0.46875 pluck "$note"
done
sox -V1 "$work"/note*.wav "$work/left.wav" gain -3
# The right channel plays the same line a fifth (700 cents) higher.
sox -V1 "$work/left.wav" "$work/right.wav" pitch 700
sox -V1 -M "$work/left.wav" "$work/right.wav" "$work/wide.wav"
# A quiet pad under it, then room and a safe peak level.
sox -V1 -n -r 44100 -b 16 -c 2 "$work/pad.wav" synth 30 sine 110 sine 165 tremolo 0.25 60 vol 0.12
sox -V1 -m "$work/wide.wav" "$work/pad.wav" -b 16 "$work/mixed.wav" trim 0 30
sox -V1 "$work/mixed.wav" -r 44100 -b 16 -c 2 "$out" highpass 20 reverb 35 gain -n -1 trim 0 30
