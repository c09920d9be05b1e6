#!/bin/bash
# The Linux library exports the twelve Omra_ functions and no other function
# or object of its own.
set -euo pipefail
lib=$1
got=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | grep -v -E '^(_init|_fini)$' | sort)
want=$(printf '%s\n' Omra_Cleanup Omra_CreateAction Omra_DoAction Omra_FreeAction \
  Omra_GetActionInfo Omra_GetProperty Omra_InitAction Omra_SetCallBack Omra_SetDriver \
  Omra_SetProperty Omra_Setup Omra_Startup | sort)
if [ "$got" != "$want" ]; then
  echo "exported symbols differ:"
  diff <(echo "$want") <(echo "$got") || true
  exit 1
fi
echo "12 exports, nothing else"
