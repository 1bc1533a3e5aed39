#!/usr/bin/env bash
# Checks that every #include stays inside its layer, in the source tree ROOT (default: this
# checkout). Prints each include that crosses a line and exits 1 when there is one.
#   tests/layers.sh [ROOT]
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

# Each folder and the project folders its files may include.
allowed=(
  "image:image"
  "port:image port"
  "colour:image colour"
  "tools:image tools"
  "formats:image formats tools colour"
  "view:image port formats view"
  "resources:image port resources"
  "shell:image port formats tools colour view resources shell"
  "headless:image port formats resources headless"
  "qt:image port formats tools colour view resources shell headless qt"
  "cli:image port formats tools colour view resources shell headless qt cli"
)
# Where Qt may be included: its adapters, the desktop program, the Qt tests (the metafile tests
# look at pixels a QPainter drew), and the programs and benchmarks that draw with Qt on purpose.
qt_allowed='^(qt/|headless/painter_surface\.|tests/qt/|tests/view/metafile_|tests/bench/|cli/make_icon\.cpp|cli/render_main\.cpp|tests/cli/cli_test\.cpp)'

status=0
for entry in "${allowed[@]}"; do
  folder=${entry%%:*}
  [ -d "$folder" ] || continue
  pattern=$(tr ' ' '|' <<<"${entry#*:}")
  while IFS= read -r line; do
    echo "$line: $folder/ may include only ${entry#*:}"
    status=1
  done < <(grep -rnE '^\s*#\s*include\s+"[a-z_]+/' "$folder" --include='*.h' --include='*.cpp' |
           grep -vE "#\s*include\s+\"($pattern)/")
done

while IFS= read -r line; do
  file=${line%%:*}
  [[ $file =~ $qt_allowed ]] && continue
  echo "$line: Qt belongs in the adapters"
  status=1
done < <(grep -rnE '^\s*#\s*include\s+<Q' . --include='*.h' --include='*.cpp' \
           --exclude-dir='build*' --exclude-dir='.git' | sed 's|^\./||')
exit $status
