# bash completion for ravelle-cli. The format and tool names are checked against the program's
# own by the test suite.

_ravelle_cli() {
  local cur prev formats tools
  COMPREPLY=()
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  formats="bmp bmp-rle bmp-bitfields bmp-bitfields-565 gif gif-interlaced iff iff-packed iff-ham
    iff-ham-packed jpeg jpeg-progressive pcx png png-adam7 tga tga-rle tiff-none tiff-none-tiles
    tiff-huffman tiff-huffman-tiles tiff-g3 tiff-g3-tiles tiff-g4 tiff-g4-tiles tiff-lzw
    tiff-lzw-tiles tiff-jpeg tiff-jpeg-tiles tiff-packbits tiff-packbits-tiles tiff-deflate
    tiff-deflate-tiles webp webp-lossless avif jxl jxl-lossless"
  tools="rotate90 rotate180 rotate270 flip-lr flip-tb invert brighten darken truecolor best256
    best32 best16 std256 web216 std16 gray mono restore"

  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W "info convert render print thumbnail --help --version" -- "$cur"))
    return
  fi
  case $prev in
    --to) COMPREPLY=($(compgen -W "$formats" -- "$cur")); return ;;
    --apply) COMPREPLY=($(compgen -W "$tools" -- "$cur")); return ;;
    --display-depth) COMPREPLY=($(compgen -W "1 4 8 16 24 32" -- "$cur")); return ;;
    -j|-s|--size|--frame|--copies) return ;;
    --printer) COMPREPLY=($(compgen -W "$(lpstat -e 2>/dev/null)" -- "$cur")); return ;;
    -o) COMPREPLY=($(compgen -d -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    case ${COMP_WORDS[1]} in
      info) COMPREPLY=($(compgen -W "--verbose -j" -- "$cur")) ;;
      convert) COMPREPLY=($(compgen -W "--to --frame --apply --display-depth -o -j --overwrite --verbose" -- "$cur")) ;;
      render) COMPREPLY=($(compgen -W "--size --tile --verbose" -- "$cur")) ;;
      print) COMPREPLY=($(compgen -W "--large --tiled --printer --copies --verbose" -- "$cur")) ;;
      thumbnail) COMPREPLY=($(compgen -W "-s" -- "$cur")) ;;
    esac
    return
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _ravelle_cli ravelle-cli
