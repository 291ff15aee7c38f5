#!/usr/bin/env bash
# Times our render tool beside libvips and ImageMagick on the same
# 24-megapixel photo and prints one table (see bench/README.md).
#
#   bench/compare.sh [RUNS]          RUNS: runs of each operation (default 5, at least 5)
#   bench/compare.sh --batch [RUNS]  only the batch rows and the peak memory
#                                    (RUNS at least 3)
#
# Needs what scripts/setup.sh installs; installs libvips-tools, libvips-dev,
# imagemagick and time (GNU time, for the peak memory) itself when they are
# missing (for this benchmark only).
# Builds a Release tree in build-compare/ (or $PELLUCINE_COMPARE_BUILD).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
batch_only=0
if [ "${1:-}" = "--batch" ]; then
  batch_only=1
  shift
fi
runs=${1:-5}
least=$((batch_only ? 3 : 5))
if ! [[ "$runs" =~ ^[0-9]+$ ]] || [ "$runs" -lt "$least" ]; then
  echo "compare: RUNS must be a whole number of at least $least" >&2
  exit 2
fi
build=${PELLUCINE_COMPARE_BUILD:-$root/build-compare}
flower=$root/tests/data/png/flower.png
if [ ! -f "$flower" ]; then
  echo "compare: $flower is missing" >&2
  exit 1
fi

# ---- The peers ---------------------------------------------------------------
missing=()
for p in libvips-tools libvips-dev imagemagick time; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  echo "compare: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
IM=convert-im6.q16

# ---- Our programs ----------------------------------------------------------
echo "compare: building (Release) in $build" >&2
buildlog=$(mktemp "${TMPDIR:-/tmp}/pellucine-compare-build.XXXXXX")
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target pellucine-render pellucine_codec_timing pellucine_batch_timing vips_timing pellucine_bench_pipeline \
         pellucine_display_latency; } \
     >"$buildlog" 2>&1; then
  tail -n 40 "$buildlog" >&2
  echo "compare: the build failed" >&2
  rm -f "$buildlog"
  exit 1
fi
rm -f "$buildlog"
tool=$build/tools/pellucine-render
codec=$build/bench/pellucine_codec_timing
batchtime=$build/bench/pellucine_batch_timing
vipstime=$build/bench/vips_timing
pipebench=$build/bench/pellucine_bench_pipeline
latency=$build/bench/pellucine_display_latency
filters=$root/bench/filters

work=$(mktemp -d "${TMPDIR:-/tmp}/pellucine-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

# ImageMagick's default policy caps images far below 24 megapixels in memory
# (the rest would go through a disk cache); this one lets the photo stay in
# memory. Only ImageMagick's commands see it.
mkdir -p "$work/policy"
cat > "$work/policy/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="memory" value="4GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="area" value="1GP"/>
  <policy domain="resource" name="width" value="16KP"/>
  <policy domain="resource" name="height" value="16KP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
EOF
im() { MAGICK_CONFIGURE_PATH="$work/policy" "$IM" "$@"; }

# ---- The photo: 6000 x 4000, Lanczos upscale, then crop; JPEG quality 90, 4:2:0
photo=$work/photo.jpg
im "$flower" -filter Lanczos -resize '6000x4000^' -gravity center -crop 6000x4000+0+0 +repage -strip \
  -sampling-factor 2x2,1x1,1x1 -quality 90 "$photo"
im "$photo" "$work/photo.ppm"  # the encoders' input for ImageMagick

# Every tool writes JPEG at quality 90 with 4:2:0 chroma subsampling.
vjpg() { echo "$1[Q=90,subsample-mode=on,strip]"; }
IMJPG=(-sampling-factor 2x2,1x1,1x1 -quality 90)

# The curve as a 256 x 1 table made by our own Curves tile, so that vips
# maplut and ImageMagick -clut apply the same curve.
vips identity "$work/ramp1.v"
vips bandjoin "$work/ramp1.v $work/ramp1.v $work/ramp1.v" "$work/ramp.png"
"$tool" "$filters/curve.plf" "$work/ramp.png" "$work/lut.png"

# Matrices for vips recomb: saturation 1.5 and 1.3 around the Rec. 601 luma,
# the luma row, a hue rotation of 12 degrees, the colour mixer.
satmat() {
  awk -v s="$1" 'BEGIN { w[0]=0.299; w[1]=0.587; w[2]=0.114; print "3 3";
    for (r = 0; r < 3; r++) { line = ""; for (c = 0; c < 3; c++) line = line " " ((1 - s) * w[c] + (r == c ? s : 0)); print line } }'
}
satmat 1.5 > "$work/sat15.mat"
satmat 1.3 > "$work/sat13.mat"
printf '3 1\n0.299 0.587 0.114\n' > "$work/luma.mat"
awk 'BEGIN { a = 12 * 3.14159265358979 / 180; c = cos(a); s = sin(a); k = 1 / 3; q = sqrt(k); print "3 3";
  print c + (1 - c) * k, k * (1 - c) - q * s, k * (1 - c) + q * s;
  print k * (1 - c) + q * s, c + k * (1 - c), k * (1 - c) - q * s;
  print k * (1 - c) - q * s, k * (1 - c) + q * s, c + k * (1 - c) }' > "$work/hue.mat"
printf '3 3\n0.9 0.1 0\n0.05 0.9 0.05\n0 0.1 0.9\n' > "$work/mixer.mat"

# ---- Timing helpers -----------------------------------------------------------
now_ns() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Median wall time in ms of RUNS runs of a command (after one warm-up run).
wall() {
  "$@" >/dev/null 2>&1
  local i start end
  for ((i = 0; i < runs; i++)); do
    start=$(now_ns)
    "$@" >/dev/null 2>&1
    end=$(now_ns)
    echo $(((end - start) / 1000)) | awk '{ printf "%.1f\n", $1 / 1000 }'
  done | median
}

# The value of a "NAME: MS" line printed by our timing programs.
value_of() { awk -F': ' '{ v = $2 } END { printf "%.1f\n", v }'; }

# The median render time of our tool (its --time over RUNS renders).
ours_render() { "$tool" --threads "$1" --repeat "$runs" --time "$filters/$2.plf" "$photo" "$work/ours.jpg" 2>&1 >/dev/null | value_of; }

# The ten-tile chain through the vips command line: one command per
# operation (see README.md), float intermediates in vips's own format.
vips_chain_cli() {  # [PHOTO [OUTPUT]]
  local t=$work/chain in=${1:-$photo} out=${2:-$work/vips.jpg}
  mkdir -p "$t"
  vips linear "$in" "$t/1.v" 1.15 0
  vips linear "$t/1.v" "$t/2.v" 1.2 -- -22  # "--": vips would read -22 as an option
  vips recomb "$t/2.v" "$t/3.v" "$work/sat13.mat"
  vips cast "$t/3.v" "$t/4.v" uchar
  vips maplut "$t/4.v" "$t/5.v" "$work/lut.png"
  vips maplut "$t/5.v" "$t/6.v" "$work/lut.png"
  vips linear "$t/6.v" "$t/7.v" "1 0.96 0.9" "0 0 0"
  vips recomb "$t/7.v" "$t/l.v" "$work/luma.mat"
  vips linear "$t/l.v" "$t/tint.v" "0.5 0.385 0.01" "0 12.2 50.6"
  vips linear "$t/7.v" "$t/7h.v" 0.5 0
  vips add "$t/7h.v" "$t/tint.v" "$t/8.v"
  vips recomb "$t/8.v" "$t/9.v" "$work/hue.mat"
  vips linear "$t/9.v" "$t/10.v" "1 1 1" "10 -5 8"
  vips recomb "$t/10.v" "$(vjpg "$out")" "$work/mixer.mat"
  rm -rf "$t"
}

im_chain() {
  im "$photo" -evaluate multiply 1.15 -evaluate multiply 1.2 -evaluate subtract 8.627% \
    -modulate 100,130,100 "$work/lut.png" -clut "$work/lut.png" -clut \
    -color-matrix "1 0 0 0 0.96 0 0 0 0.9" -fill "rgb(255,221,107)" -tint 50 \
    -modulate 100,100,106.667 -channel R -evaluate add 3.922% -channel G -evaluate subtract 1.961% \
    -channel B -evaluate add 3.137% +channel -color-matrix "0.9 0.1 0 0.05 0.9 0.05 0 0.1 0.9" \
    "${IMJPG[@]}" "$work/im.jpg"
}

rows=()
row() {  # operation threads ours vips im
  local ratio="-"
  if [ "$3" != "-" ] && [ "$4" != "-" ]; then ratio=$(awk -v a="$3" -v b="$4" 'BEGIN { printf "%.2f", a / b }'); fi
  rows+=("$(printf '%-38s %7s %10s %10s %10s %8s' "$1" "$2" "$3" "$4" "$5" "$ratio")")
  echo "compare: $1, $2 threads: ours $3, libvips $4, ImageMagick $5" >&2
}

# The peak memory (maximum resident set, MB) of one command, from GNU time.
peak_mb() {
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
  awk '{ v = $1 } END { printf "%.0f\n", v / 1024 }' "$work/rss"
}
memrows=()
memrow() { memrows+=("$(printf '%-38s %10s' "$1" "$2")"); echo "compare: peak memory, $1: $2 MB" >&2; }

thread_counts="8 1"
[ "$batch_only" = 1 ] && thread_counts=""
for threads in $thread_counts; do
  export VIPS_CONCURRENCY=$threads MAGICK_THREAD_LIMIT=$threads

  # Render alone, in process, memory to memory (no codecs).
  for op in gamma saturation curve blur16 chain10; do
    vop=$op; [ "$op" = blur16 ] && vop=blur
    row "$op: render" "$threads" "$(ours_render "$threads" "$op")" \
      "$("$vipstime" --threads "$threads" --repeat "$runs" "$vop" "$photo" "$work" | value_of)" "-"
  done

  # The codecs alone.
  row "jpeg decode" "$threads" "$("$codec" --threads "$threads" --repeat "$runs" decode "$photo" "$work" | value_of)" \
    "$("$vipstime" --threads "$threads" --repeat "$runs" decode "$photo" "$work" | value_of)" \
    "$(wall im "$photo" null:)"
  # Into memory used before, as libvips's decode row writes (and as the
  # batch worker reads its next photo).
  row "jpeg decode, memory reused" "$threads" \
    "$("$codec" --threads "$threads" --repeat "$runs" decode-reused "$photo" "$work" | value_of)" \
    "$("$vipstime" --threads "$threads" --repeat "$runs" decode "$photo" "$work" | value_of)" "-"
  row "jpeg encode" "$threads" "$("$codec" --threads "$threads" --repeat "$runs" encode "$photo" "$work" | value_of)" \
    "$("$vipstime" --threads "$threads" --repeat "$runs" encode "$photo" "$work" | value_of)" \
    "$(wall im "$work/photo.ppm" "${IMJPG[@]}" "$work/im.jpg")"

  # End to end: decode, render, encode, each tool as a command.
  ours_e2e() { wall "$tool" --threads "$threads" "$filters/$1.plf" "$photo" "$work/ours.jpg"; }
  row "gamma 1.5: end to end" "$threads" "$(ours_e2e gamma)" \
    "$(wall vips gamma "$photo" "$(vjpg "$work/vips.jpg")" --exponent 1.5)" \
    "$(wall im "$photo" -gamma 1.5 "${IMJPG[@]}" "$work/im.jpg")"
  row "saturation 1.5: end to end" "$threads" "$(ours_e2e saturation)" \
    "$(wall vips recomb "$photo" "$(vjpg "$work/vips.jpg")" "$work/sat15.mat")" \
    "$(wall im "$photo" -modulate 100,150,100 "${IMJPG[@]}" "$work/im.jpg")"
  row "curve: end to end" "$threads" "$(ours_e2e curve)" \
    "$(wall vips maplut "$photo" "$(vjpg "$work/vips.jpg")" "$work/lut.png")" \
    "$(wall im "$photo" "$work/lut.png" -clut "${IMJPG[@]}" "$work/im.jpg")"
  row "gaussian blur sigma 16: end to end" "$threads" "$(ours_e2e blur16)" \
    "$(wall vips gaussblur "$photo" "$(vjpg "$work/vips.jpg")" 16 --precision float)" \
    "$(wall im "$photo" -blur 0x16 "${IMJPG[@]}" "$work/im.jpg")"
  chain_e2e=$(ours_e2e chain10)
  row "chain10: end to end (vips CLI)" "$threads" "$chain_e2e" "$(wall vips_chain_cli)" "$(wall im_chain)"
  row "chain10: end to end (vips in process)" "$threads" "$chain_e2e" \
    "$("$vipstime" --threads "$threads" --repeat "$runs" chain10-e2e "$photo" "$work" | value_of)" "-"

  # Interactive: the 2560 x 1440 view (Google Benchmark medians).
  bench_json=$("$pipebench" --benchmark_filter="BM_View.*/threads:$threads/" --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null)
  view_ms() { echo "$bench_json" | awk -F, -v n="\"BM_$1/threads:$threads/real_time_median\"" '$1 == n { printf "%.2f\n", $3 }'; }
  row "view 2560x1440: last tile changed" "$threads" "$(view_ms ViewLastTileChange)" "-" "-"
  row "view 2560x1440: whole chain10" "$threads" "$(view_ms ViewWholeChain)" "-" "-"

  # Opening the photo in the program: from the open request to the first
  # picture in the view (the main window offscreen, median of RUNS opens).
  row "open photo: first picture in the view" "$threads" \
    "$("$latency" --threads "$threads" --repeat "$runs" --open "$photo" 2>/dev/null |
      awk '$1 == "open" { printf "%.1f\n", $3 }')" "-" "-"
done

# ---- The batch: twenty photos through the batch worker, 8 threads -----------
# Each photo is another 6000 x 4000 crop of one Lanczos upscale, JPEG
# quality 90, 4:2:0. Per round, interleaved: our batch worker over the
# twenty (pellucine_batch_timing, timed in process from queueing to idle,
# its peak memory from GNU time), the vips command line once per photo
# (process starts included; the chain's over four photos, scaled), and
# libvips's own pipeline once per photo in
# one process (vips_timing gamma-e2e / chain10-e2e).
export VIPS_CONCURRENCY=8 MAGICK_THREAD_LIMIT=8
batch_count=20
im "$flower" -filter Lanczos -resize '6240x4160^' -strip "$work/big.mpc"
batch=()
for ((i = 0; i < batch_count; i++)); do
  b=$(printf '%s/batch/photo%02d.jpg' "$work" "$i")
  mkdir -p "$work/batch" "$work/batch-ours" "$work/batch-vips"
  im "$work/big.mpc" -gravity northwest -crop "6000x4000+$((i * 12))+$((i * 8))" +repage \
    -sampling-factor 2x2,1x1,1x1 -quality 90 "$b"
  batch+=("$b")
done
rm -f "$work"/big.mpc "$work"/big.cache
# The chain's fourteen commands take seconds a photo: per round they run
# over the first chain_cli_count photos and their time is scaled to the
# twenty (a rate, as photos per second are).
chain_cli_count=4
vips_batch_cli() {  # LOOK
  local i n=$batch_count
  [ "$1" = gamma ] || n=$chain_cli_count
  for ((i = 0; i < n; i++)); do
    if [ "$1" = gamma ]; then
      vips gamma "${batch[i]}" "$(vjpg "$work/batch-vips/$i.jpg")" --exponent 1.5
    else
      vips_chain_cli "${batch[i]}" "$work/batch-vips/$i.jpg"
    fi
  done
}
batchrows=()
for look in gamma chain10; do
  ours_t=() cli_t=() inproc_t=() ours_m=()
  for ((r = 0; r < runs; r++)); do
    ours_t+=("$(/usr/bin/time -f %M -o "$work/rss" "$batchtime" --threads 8 "$filters/$look.plf" "$work/batch-ours" "${batch[@]}" |
      awk -F': ' '$1 == "batch_ms" { print $2 }')")
    ours_m+=("$(awk '{ printf "%.0f\n", $1 / 1024 }' "$work/rss")")
    start=$(now_ns); vips_batch_cli "$look" >/dev/null 2>&1; end=$(now_ns)
    cli_n=$batch_count; [ "$look" = gamma ] || cli_n=$chain_cli_count
    cli_t+=("$(awk -v d=$((end - start)) -v n=$cli_n -v all=$batch_count 'BEGIN { printf "%.1f\n", d / 1e6 * all / n }')")
    inproc_t+=("$("$vipstime" --threads 8 --repeat 1 "$look-e2e" "${batch[@]}" "$work/batch-vips" | value_of)")
    echo "compare: batch $look, round $((r + 1)): ours ${ours_t[-1]} ms (${ours_m[-1]} MB), vips CLI ${cli_t[-1]} ms, vips in process ${inproc_t[-1]} ms" >&2
  done
  o=$(printf '%s\n' "${ours_t[@]}" | median)
  c=$(printf '%s\n' "${cli_t[@]}" | median)
  v=$(printf '%s\n' "${inproc_t[@]}" | median)
  row "$look: batch of $batch_count (vips CLI)" 8 "$o" "$c" "-"
  row "$look: batch of $batch_count (vips in process)" 8 "$o" "$v" "-"
  pps() { awk -v ms="$1" -v n=$batch_count 'BEGIN { printf "%.2f", n * 1000 / ms }'; }
  batchrows+=("$(printf '%-38s %10s %10s %12s' "$look: photos per second" "$(pps "$o")" "$(pps "$c")" "$(pps "$v")")")
  memrow "$look: batch of $batch_count" "$(printf '%s\n' "${ours_m[@]}" | sort -n | tail -n 1)"
done

# ---- Peak memory of one render from file to file (8 threads) -------------------
for op in gamma chain10 blur16; do
  memrow "$op: end to end (render tool)" "$(peak_mb "$tool" --threads 8 "$filters/$op.plf" "$photo" "$work/ours.jpg")"
done

echo
printf '%-38s %7s %10s %10s %10s %8s\n' "operation" "threads" "ours ms" "libvips ms" "IM ms" "ours/vips"
for r in "${rows[@]}"; do echo "$r"; done
echo
printf '%-38s %10s %10s %12s\n' "batch, 8 threads" "ours" "vips CLI" "vips in proc"
for r in "${batchrows[@]}"; do echo "$r"; done
echo
printf '%-38s %10s\n' "peak memory (maximum resident set)" "ours MB"
for r in "${memrows[@]}"; do echo "$r"; done
