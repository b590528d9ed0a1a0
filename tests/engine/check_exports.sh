#!/usr/bin/env bash
# The engine library may export its two entry points and nothing else.
set -euo pipefail
lib="$1"
exported=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort | tr '\n' ' ')
if [[ "$exported" != "CreateMediaManager GetSystemLogger " ]]; then
  echo "unexpected exports from $lib: $exported" >&2
  exit 1
fi
echo "exports: $exported"
