#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch root and checks what
# it installs, then the desktop integration there: the entry validates, the viewer is the
# default for each of its types, the icon is found at every size from 16 to 256 pixels, and the
# thumbnailer makes thumbnails of every format read.
#   tests/package_test.sh BUILD-FOLDER
set -euo pipefail
build=$(realpath "$1")
source_dir=$(realpath "$(dirname "$0")/..")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$build"
cpack -G DEB -B "$scratch/out" >/dev/null
deb=$(ls "$scratch"/out/ravelle_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
root=$scratch/root
dpkg-deb -x "$deb" "$root"
fail() { echo "package: $*" >&2; exit 1; }

# The dependencies come from dpkg-shlibdeps, with the photo libraries opened at run time: the image
# and Qt libraries are among them.
for library in libjpeg libpng libtiff libheif libavif libjxl libqt6widgets6 libc6; do
  grep -q "$library" <<<"$depends" || fail "no $library in Depends: $depends"
done
for file in usr/bin/ravelle usr/bin/ravelle-cli usr/libexec/ravelle/ravelle-render; do
  [ -x "$root/$file" ] || fail "$file missing or not executable"
done
for file in usr/share/applications/ravelle.desktop usr/share/man/man1/ravelle.1.gz \
            usr/share/man/man1/ravelle-cli.1.gz usr/share/bash-completion/completions/ravelle-cli \
            usr/share/mime/packages/ravelle.xml usr/share/thumbnailers/ravelle.thumbnailer \
            usr/share/metainfo/com.ravellegraphics.FileViewer.metainfo.xml usr/share/doc/ravelle/copyright usr/share/doc/ravelle/changelog.gz; do
  [ -s "$root/$file" ] || fail "$file missing"
done
for size in 16 32 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/ravelle.png
  file "$icon" | grep -q "PNG image data, $size x $size" || fail "no ${size}px icon"
done
# The thumbnailer's command, as a file manager fills it in, on a valid corpus file of every format
# read: a PNG within the size, not blank, with the keys; a damaged file leaves no thumbnail.
thumbnailer=$root/usr/share/thumbnailers/ravelle.thumbnailer
exec_line=$(sed -n 's/^Exec=ravelle-cli //p' "$thumbnailer")
thumbnail() {  # IN OUT: runs the Exec line with the installed program
  local args=${exec_line//%s/128}
  args=${args//%i/$1}
  "$root/usr/bin/ravelle-cli" ${args//%o/$2}
}
corpus=${RAVELLE_CORPUS:-$source_dir/../shared/corpus}
if [ -f "$corpus/MANIFEST.tsv" ] && [ -x /usr/bin/convert ]; then
  for format in BMP GIF PCX TGA IFF ICO CUR ANI SunIcon WMF EMF JPEG PNG TIFF WebP AVIF HEIF JXL; do
    path=$(awk -F'\t' -v f="$format" '$2 == f && $7 == "valid" && $1 !~ / / {print $1; exit}' "$corpus/MANIFEST.tsv")
    out=$scratch/thumb-$format.png
    thumbnail "$corpus/$path" "$out" >/dev/null 2>&1 || fail "no thumbnail of $path"
    read -r w h deviation < <(/usr/bin/convert "$out" -format '%w %h %[fx:standard_deviation]\n' info:)
    { [ "$w" -le 128 ] && [ "$h" -le 128 ] && [ "$(awk -v d="$deviation" 'BEGIN {print (d > 0)}')" = 1 ]; } ||
      fail "thumbnail of $path is ${w}x$h, deviation $deviation"
    /usr/bin/identify -verbose "$out" | grep -q "Thumb::URI: file://" || fail "thumbnail of $path has no Thumb::URI"
  done
  head -c 40 "$root/usr/bin/ravelle-cli" > "$scratch/cut.bmp"
  printf 'BM' | dd of="$scratch/cut.bmp" conv=notrunc status=none
  ! thumbnail "$scratch/cut.bmp" "$scratch/cut.png" >/dev/null 2>&1 && [ ! -e "$scratch/cut.png" ] ||
    fail "a damaged file gave a thumbnail"
fi

# The command-line tool runs from its installed place and finds its renderer there.
"$root/usr/bin/ravelle-cli" --version >/dev/null || fail "ravelle-cli does not start"
{ "$root/usr/bin/ravelle-cli" render no-such-file "$scratch/r.png" --size 8x8 2>/dev/null; test $? -eq 1; } ||
  fail "ravelle-cli render does not report a missing file"

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/com.ravellegraphics.FileViewer.metainfo.xml" >/dev/null ||
    fail "the AppStream metadata does not validate"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/ravelle.desktop" || fail "desktop entry does not validate"
fi
if command -v xdg-mime >/dev/null && command -v update-desktop-database >/dev/null; then
  update-desktop-database "$root/usr/share/applications"
  export XDG_DATA_DIRS=$root/usr/share XDG_DATA_HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_CONFIG_DIRS=$scratch/config
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
  types=$(sed -n 's/^MimeType=//p' "$root/usr/share/applications/ravelle.desktop" | tr ';' ' ')
  for type in $types; do
    [ "$(xdg-mime query default "$type")" = ravelle.desktop ] || fail "ravelle is not the default for $type"
  done
fi
if command -v update-mime-database >/dev/null; then
  mkdir -p "$scratch/mime" && cp -r /usr/share/mime/packages "$scratch/mime/"
  cp "$root/usr/share/mime/packages/ravelle.xml" "$scratch/mime/packages/"
  update-mime-database "$scratch/mime" >/dev/null 2>&1
  grep -q '^image/x-sun-icon$' "$scratch/mime/types" || fail "image/x-sun-icon not in the MIME database"
fi
# The package's own build links ravelle-cli dynamically; a test build may link it statically,
# which lintian reports as embedded libraries and which is the only report let through here.
if command -v lintian >/dev/null; then
  report=$(lintian --fail-on error --suppress-tags embedded-library "$deb" 2>&1) ||
    fail "lintian reports errors: $report"
fi
