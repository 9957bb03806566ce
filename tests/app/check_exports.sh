#!/bin/bash
# The launcher finds the module's entry by its plain name.
set -eu
lib=$1
nm -D --defined-only "$lib" | awk '$2 == "T" && $3 == "main_entry" { found = 1 } END { exit !found }' \
  || { echo "main_entry is not exported unmangled by $lib"; nm -D --defined-only "$lib" | grep -i main_entry; exit 1; }
echo "main_entry exported by $(basename "$lib")"
