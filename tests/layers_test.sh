#!/usr/bin/env bash
# tests/layers.sh catches each kind of forbidden include planted in a small tree, and passes the
# same tree without it.
set -uo pipefail
check=$(cd "$(dirname "$0")" && pwd)/layers.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{image,formats/gif,tools,colour,view,shell,platform/qt}
echo '#include "image/packed_dib.h"' >"$tree/formats/gif/gif.cpp"
echo '#include <QImage>' >"$tree/platform/qt/window.cpp"
"$check" "$tree" >/dev/null || { echo "a clean tree was refused"; exit 1; }
failed=0
while IFS='|' read -r file line; do
  echo "$line" >"$tree/$file"
  if "$check" "$tree" >/dev/null; then echo "not caught: $line in $file"; failed=1; fi
  rm "$tree/$file"
done <<'PLANTED'
image/bad.h|#include "formats/registry.h"
formats/gif/bad.cpp|#include "shell/load.h"
tools/bad.cpp|#include "colour/quantize.h"
colour/bad.cpp|#include "view/paint.h"
view/bad.cpp|#include "shell/viewer.h"
shell/bad.cpp|#include <QWidget>
PLANTED
exit $failed
