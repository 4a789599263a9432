#!/bin/sh
# per_isa.sh ISA CLI TEST [ARG...]: runs TEST with MARROWVALE_ISA=ISA, so that
# the differential tests prove each vector variant on its own; exits 77
# (skipped) where this processor lacks the variant, which the CLI tells.
isa=$1
cli=$2
shift 2
MARROWVALE_ISA=$isa "$cli" --version 2>/dev/null | grep -qx "vector scans: $isa" || exit 77
MARROWVALE_ISA=$isa exec "$@"
