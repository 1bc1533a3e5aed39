#!/usr/bin/env bash
# tests/layers.sh catches each kind of forbidden include planted in a small tree, and passes the
# same tree without it.
set -uo pipefail
check=$(cd "$(dirname "$0")" && pwd)/layers.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{image,port,formats/gif,tools,colour,view,resources,shell,headless,qt,cli}
echo '#include "image/packed_dib.h"' >"$tree/formats/gif/gif.cpp"
echo '#include <QImage>' >"$tree/qt/window.cpp"
"$check" "$tree" >/dev/null || { echo "a clean tree was refused"; exit 1; }
failed=0
while IFS='|' read -r file line; do
  echo "$line" >"$tree/$file"
  if "$check" "$tree" >/dev/null; then echo "not caught: $line in $file"; failed=1; fi
  rm "$tree/$file"
done <<'PLANTED'
image/bad.h|#include "formats/registry.h"
port/bad.h|#include "view/paint.h"
colour/bad.cpp|#include "view/paint.h"
tools/bad.cpp|#include "colour/quantize.h"
formats/gif/bad.cpp|#include "shell/load.h"
view/bad.cpp|#include "shell/viewer.h"
resources/bad.h|#include "shell/menu_state.h"
shell/bad.cpp|#include "headless/headless_port.h"
shell/bad.cpp|#include <QWidget>
headless/bad.cpp|#include "shell/load.h"
qt/bad.cpp|#include "cli/cli_support.h"
cli/bad.cpp|#include "tests/support/builders.h"
PLANTED
exit $failed
