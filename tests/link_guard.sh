#!/usr/bin/env bash
# Fails when a program or library of the build links the media libraries
# or imports one of their symbols: they must be bound at run time.
set -euo pipefail
dir="$1"
bad=0
count=0
for f in "$dir"/*; do
  [ -f "$f" ] || continue
  head -c 4 "$f" | grep -q $'\x7fELF' || continue
  count=$((count + 1))
  if readelf -d "$f" | grep -E 'NEEDED.*\[lib(avcodec|avformat|avutil|avfilter|avdevice|swscale|swresample)\.' ; then
    echo "FAIL: $f links a media library"; bad=1
  fi
  syms=$(nm -D --undefined-only "$f" 2>/dev/null | awk '{print $NF}' | grep -E '^(av|avcodec|avformat|avfilter|avio|avutil|avdevice|avsubtitle|avpicture|sws|swr|swscale|swresample)_' || true)
  if [ -n "$syms" ]; then
    echo "FAIL: $f imports media library symbols:"; echo "$syms" | head -20; bad=1
  fi
done
echo "checked $count binaries"
[ "$count" -gt 0 ] || { echo "FAIL: no binaries found in $dir"; exit 1; }
exit $bad
