#!/usr/bin/env bash
# Every valid PNG decodes byte for byte as a baseline revision of the loader
# decodes it, but the layout the loader reads through libpng (16-bit RGB
# with a tRNS colour), which must give the 16-bit RGBA picture ImageMagick
# reads, the same run after run.
#
#   tests/desktop_only/media/png_valid_files/png_valid_files.sh [BASELINE]
#
# BASELINE is a git revision (HEAD when not given): its source/ folder is
# exported (git archive, the repository is left as it is) and the loader of
# each side built with png-loader-dump (this folder's CMakeLists.txt). The
# PNGs come from ImageMagick (png8 to png64, grey, grey and alpha, palettes
# of 1 to 8 bits, RGB and RGBA of 8 and 16 bits; interlaced or not; without
# ancillary chunks, with ImageMagick's gAMA, cHRM, bKGD, tIME and tEXt, with
# an iCCP profile), Qt's writer (every picture format, with colour spaces
# written as iCCP or sRGB, with and without a gAMA), Pillow when the
# system's python3 has it (gAMA, cHRM, sRGB and iCCP chunks of its own, tRNS
# for grey, RGB and palettes) and optipng and pngcrush when present. Each
# file goes through decode (profile kept and applied) and
# loadFloatKeepingAlpha on both sides.
#
# Not run by ctest: it builds the loader twice (a few minutes, less with
# ccache). Needs git, cmake, ninja and ImageMagick's convert.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../../.." && pwd)"
baseline="${1:-HEAD}"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 3 ] && jobs=3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

echo "== building the loader of $baseline and of the working tree"
mkdir -p "$work/baseline"
git -C "$root" archive "$baseline" source | tar -x -C "$work/baseline"
build() {  # build NAME TREE
  cmake -S "$here" -B "$work/build-$1" -G Ninja -DPELLUCINE_TREE="$2" >"$work/build-$1.log" 2>&1
  cmake --build "$work/build-$1" -j "$jobs" --target png-loader-dump >>"$work/build-$1.log" 2>&1 ||
    { tail -30 "$work/build-$1.log"; exit 1; }
}
build baseline "$work/baseline"
build current "$root"
dump_baseline="$work/build-baseline/png-loader-dump"
dump_current="$work/build-current/png-loader-dump"

echo "== writing the PNGs"
pngs="$work/pngs"
bases="$work/bases"
mkdir -p "$pngs" "$bases"
"$dump_current" --write-profile "$work/p3.icc" DisplayP3 2>/dev/null

# Pictures of several kinds, written at 16 bits with alpha where they have it.
convert -size 40x30 gradient:red-blue "png64:$bases/gradient.png"
convert -seed 7 -size 33x17 plasma:fractal "png64:$bases/plasma.png"
convert "$root/tests/data/png/flower.png" -resize '48x36!' "png64:$bases/flower.png"
convert -size 1x1 xc:orange "png64:$bases/dot.png"
convert -size 40x30 gradient:red-blue -fill white -draw 'rectangle 3,3 12,12' -transparent white \
  "png64:$bases/square.png"
convert -size 40x30 gradient:red-blue \( -size 40x30 gradient:white-black \) -alpha off -compose CopyOpacity \
  -composite "png64:$bases/fade.png"
convert -size 29x19 gradient:black-white -colorspace Gray -fill white -draw 'rectangle 2,2 6,6' -transparent white \
  "png64:$bases/greyclear.png"
convert -size 30x20 xc:red -fill blue -draw 'rectangle 5,5 20,15' -fill '#00ff0080' -draw 'circle 15,10 18,10' \
  "png64:$bases/colours.png"

# name|output prefix|options
modes=(
  "png8|png8|" "png24|png24|" "png32|png32|" "png48|png48|" "png64|png64|" "png00|png00|" "png|png|"
  "grey1|png|-colorspace Gray -define png:color-type=0 -define png:bit-depth=1"
  "grey2|png|-colorspace Gray -define png:color-type=0 -define png:bit-depth=2"
  "grey4|png|-colorspace Gray -define png:color-type=0 -define png:bit-depth=4"
  "grey8|png|-colorspace Gray -define png:color-type=0 -define png:bit-depth=8"
  "grey16|png|-colorspace Gray -define png:color-type=0 -define png:bit-depth=16"
  "greyalpha8|png|-colorspace Gray -define png:color-type=4 -define png:bit-depth=8"
  "greyalpha16|png|-colorspace Gray -define png:color-type=4 -define png:bit-depth=16"
  "palette1|png|-colors 2 -define png:color-type=3 -define png:bit-depth=1"
  "palette2|png|-colors 4 -define png:color-type=3 -define png:bit-depth=2"
  "palette4|png|-colors 16 -define png:color-type=3 -define png:bit-depth=4"
  "palette8|png|-colors 200 -define png:color-type=3 -define png:bit-depth=8"
  "rgb8|png|-define png:color-type=2 -define png:bit-depth=8"
  "rgb16|png|-define png:color-type=2 -define png:bit-depth=16"
  "rgba8|png|-define png:color-type=6 -define png:bit-depth=8"
  "rgba16|png|-define png:color-type=6 -define png:bit-depth=16"
)
for base in "$bases"/*.png; do
  b="$(basename "$base" .png)"
  for mode in "${modes[@]}"; do
    IFS='|' read -r name prefix options <<<"$mode"
    read -r -a words <<<"$options"
    for interlace in None PNG; do
      for chunks in strip chunks iccp; do
        case "$chunks" in
          strip) extra=(-strip) ;;
          chunks) extra=() ;;
          iccp) extra=(-profile "$work/p3.icc") ;;
        esac
        convert "$base" "${words[@]}" -interlace "$interlace" "${extra[@]}" \
          "$prefix:$pngs/im-$b-$name-$interlace-$chunks.png" 2>/dev/null || true
      done
    done
  done
done

"$dump_current" --write-qt "$pngs" >/dev/null 2>&1

if /usr/bin/python3 -I -c 'import PIL' 2>/dev/null; then
  /usr/bin/python3 -I - "$pngs" "$work/p3.icc" <<'PY'
import struct, sys
from PIL import Image, PngImagePlugin
folder, icc_path = sys.argv[1], sys.argv[2]
icc = open(icc_path, 'rb').read()
def picture(w, h):
    img = Image.new('RGBA', (w, h))
    img.putdata([(x * 255 // max(w - 1, 1), y * 255 // max(h - 1, 1), (x * 7 + y * 13) % 256,
                  0 if (x < w // 3 and y < h // 2) else 255 - x % 200) for y in range(h) for x in range(w)])
    return img
chunk_sets = {
    'none': [], 'gama': [(b'gAMA', struct.pack('>I', 45455))],
    'chrm': [(b'cHRM', struct.pack('>8I', 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)),
             (b'gAMA', struct.pack('>I', 100000))],
    'srgb': [(b'sRGB', b'\x00'), (b'gAMA', struct.pack('>I', 45455))], 'srgbonly': [(b'sRGB', b'\x01')],
    'iccp': None,
}
count = 0
for w, h in ((1, 1), (35, 21)):
    rgba = picture(w, h)
    grey16 = rgba.convert('L').convert('I').point(lambda v: v * 257)  # 16-bit grey
    variants = {
        '1': (rgba.convert('1'), {}), 'L': (rgba.convert('L'), {}), 'LA': (rgba.convert('LA'), {}),
        'Ltrns': (rgba.convert('L'), {'transparency': rgba.convert('L').getpixel((0, 0))}),
        'P': (rgba.convert('RGB').convert('P', palette=Image.ADAPTIVE, colors=60), {}),
        'Ptrns': (rgba.convert('RGB').convert('P', palette=Image.ADAPTIVE, colors=60), {'transparency': 0}),
        'P1trns': (rgba.convert('RGB').convert('P', palette=Image.ADAPTIVE, colors=2), {'transparency': 1, 'bits': 1}),
        'P2trns': (rgba.convert('RGB').convert('P', palette=Image.ADAPTIVE, colors=4), {'transparency': 2, 'bits': 2}),
        'P4trns': (rgba.convert('RGB').convert('P', palette=Image.ADAPTIVE, colors=16), {'transparency': 3, 'bits': 4}),
        'RGB': (rgba.convert('RGB'), {}),
        'RGBtrns': (rgba.convert('RGB'), {'transparency': rgba.convert('RGB').getpixel((0, 0))}),
        'RGBA': (rgba, {}), 'I16': (grey16, {}), 'I16trns': (grey16, {'transparency': grey16.getpixel((0, 0))}),
    }
    for vname, (img, extra) in variants.items():
        for cname, chunks in chunk_sets.items():
            for optimize in (False, True):
                params = dict(extra, optimize=optimize)
                if chunks is None:
                    if img.mode in ('1', 'L', 'LA', 'I'):
                        continue  # an RGB profile does not describe grey
                    params['icc_profile'] = icc
                else:
                    info = PngImagePlugin.PngInfo()
                    for cid, data in chunks:
                        info.add(cid, data)
                    params['pnginfo'] = info
                img.save(f'{folder}/pil-{w}x{h}-{vname}-{cname}-o{int(optimize)}.png', **params)
                count += 1
print(count)
PY
else
  echo "(Pillow is not there for /usr/bin/python3: no Pillow files)"
fi

shopt -s nullglob
if command -v optipng >/dev/null; then
  for f in "$pngs"/im-*-png32-None-strip.png "$pngs"/im-*-png64-None-chunks.png "$pngs"/qt-37x23-*-none-g0-t0.png; do
    optipng -quiet -o2 -out "$pngs/optipng-$(basename "$f")" "$f" 2>/dev/null || true
  done
fi
if command -v pngcrush >/dev/null; then
  for f in "$pngs"/im-*-png48-PNG-chunks.png "$pngs"/im-*-rgba8-None-strip.png "$pngs"/qt-37x23-*-p3-g1-t0.png; do
    pngcrush -q -reduce "$f" "$pngs/pngcrush-$(basename "$f")" >/dev/null 2>&1 || true
  done
fi

# Writers often give the same bytes for different options: each file once.
find "$pngs" -name '*.png' -size +0 | sort | xargs -d '\n' sha1sum | sort -s -k1,1 -u | cut -c43- | sort >"$work/list"
total=$(wc -l <"$work/list")
echo "   $total different files"

echo "== decoding with both loaders"
"$dump_baseline" "$work/list" >"$work/baseline.tsv" 2>/dev/null
"$dump_current" "$work/list" >"$work/current.tsv" 2>/dev/null
"$dump_current" "$work/list" >"$work/current-again.tsv" 2>/dev/null

echo "   layouts (colour type, bit depth, interlace, tRNS):"
cut -f2 "$work/current.tsv" | sed 's/,colour=.*//' | sort | uniq -c | sed 's/^/     /'
echo "   colour chunks before the image data:"
cut -f2 "$work/current.tsv" | sed 's/.*,colour=//' | sort | uniq -c | sed 's/^/     /'

same=0
differing=0
taken=0
taken_wrong=0
while IFS=$'\t' read -r path layout result rgba16 && IFS=$'\t' read -r _ _ old _ <&3 &&
  IFS=$'\t' read -r _ _ again _ <&4; do
  if [ "$result" != "$again" ]; then
    echo "DIFFERS FROM RUN TO RUN: $path ($layout)"
    differing=$((differing + 1))
  elif [[ "$layout" == ct=2,depth=16,*,trns=1,* ]]; then
    taken=$((taken + 1))
    reference=$(convert "$path" -depth 16 -endian MSB rgba:- | sha1sum | cut -d' ' -f1)
    if [ "$rgba16" != "$reference" ]; then
      echo "NOT IMAGEMAGICK'S PICTURE: $path ($layout)"
      taken_wrong=$((taken_wrong + 1))
    fi
  elif [ "$result" == "$old" ]; then
    same=$((same + 1))
  else
    echo "CHANGED: $path ($layout)"
    differing=$((differing + 1))
  fi
done <"$work/current.tsv" 3<"$work/baseline.tsv" 4<"$work/current-again.tsv"

echo "$same files decode as $baseline does; $taken of 16-bit RGB with tRNS" \
  "($taken_wrong of them not ImageMagick's picture)"
echo "$((same + taken)) passed, $((differing + taken_wrong)) failed"
[ "$differing" -eq 0 ] && [ "$taken_wrong" -eq 0 ] && [ "$total" -eq $((same + taken)) ]
