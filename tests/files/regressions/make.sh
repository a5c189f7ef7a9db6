#!/bin/sh
# Rebuilds the hand-made reproducers of faults found by fuzzing and by folder
# scans. The test suite runs every file in this folder through the analysis
# by its extension (".any" through every reader, ".playlist" through every
# playlist loader), so under the sanitizer build a fault that returns makes
# the suite fail. The fuzz runs (test.sh, scripts/fuzz-long.sh) copy what they
# find here as <target>-<kind>-<hash><extension>; those files are kept as they
# are, only the ones below are made by this script.
set -eu
cd "$(dirname "$0")"

# TTA1 header with 65535 channels of 65535 bits: the frame size must not be
# multiplied in int (22 bytes, no audio).
printf 'TTA1\001\000\377\377\377\377\001\000\000\000\001\000\000\000\000\000\000\000' \
    >tta-channels-times-bits.tta

# OptimFROG header with channel mode 255: the sample count must not be
# shifted by the mode.
printf 'OFR \017\000\000\000\000\000\000\200\000\000\002\377\104\254\000\000\100\001\010' \
    >optimfrog-channel-mode-255.ofr
