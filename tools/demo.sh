#!/bin/sh
# Runs gvtool the way a newcomer would, from a folder inside the build tree,
# on a synthetic save that gvmksave generates there first.
set -eu
build=$(cd "${1:-build}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/SLOT0"
cd "$demo"
echo "\$ gvtool"
"$build/app/gvtool" || true
echo
echo "\$ gvmksave SLOT0/SAVE.DAT"
"$build/tools/gvmksave" SLOT0/SAVE.DAT
echo
echo "\$ gvtool config.xml SLOT0/SAVE.DAT"
# The demo has a configuration of its own: the shipped example changes nothing.
cp "$top/examples/demo.xml" config.xml
"$build/app/gvtool" config.xml SLOT0/SAVE.DAT
echo
echo "\$ gvdump SLOT0/SAVE.DAT | head -n 8"
"$build/app/gvdump" SLOT0/SAVE.DAT > gvars.xml
head -n 8 gvars.xml
