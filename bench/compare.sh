#!/usr/bin/env bash
# Zelvo beside the tools people would pick instead, on one 20-megapixel picture, run by hand
# (never by ./test.sh or CI):
#   bench/compare.sh [RUNS] [OUT.md]        default 5 runs, docs/performance.md
# Needs the release build (./run.sh --help >/dev/null) and, for the peers, Debian's
#   apt-get install imagemagick libvips-tools python3-pil libjpeg-turbo-progs
# A peer that is missing leaves its cells empty. Every job reads its input from and writes its
# output to a tmpfs-backed folder when /dev/shm is there. Zelvo's scratch file goes where a user's
# goes, its own default temporary folder (always a disk file system: the store never chooses
# tmpfs); ZELVO_TEMP=FOLDER puts it in FOLDER instead, e.g. on tmpfs as the first tables did. The jobs run interleaved (one run of
# every tool in turn, RUNS times) so that a slow spell of a shared machine hits all of them;
# the table shows medians of the wall clock, on one thread and on every core.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
out=${2:-docs/performance.md}
root=$PWD
batch=$root/build/release/src/batch/zelvo-batch
[ -x "$batch" ] || { echo "build the release configuration first: ./run.sh --help" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/dev/shm}/zelvo-compare-XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
cores=$(nproc)

im=""
for c in /usr/bin/convert-im6.q16 /usr/bin/magick; do [ -x "$c" ] && im=$c && break; done
vips=$(command -v vips || true)
pil=""
/usr/bin/python3 -c "import PIL" 2>/dev/null && pil=/usr/bin/python3
djpeg=$(command -v djpeg || true)
cjpeg=$(command -v cjpeg || true)

# The picture: 5472 x 3648 (20 MP), a smooth field with grain so that JPEG has work to do.
/usr/bin/python3 - "$work/in.bmp" <<'EOF'
import struct, sys, random
w, h = 5472, 3648
row = (w * 3 + 3) & ~3
random.seed(1)
# One wide row of a horizontal ramp with grain; each picture row is a slice of it, shifted by
# the row and lifted by a table, so that the picture changes smoothly both ways.
wide = bytes((((i // 3) * 3 + i % 3 * 40) // 24 + random.randrange(12)) & 0xFF
             for i in range(3 * w + 3 * 64))
lift = [bytes((v + k) & 0xFF for v in range(256)) for k in range(256)]
pad = b"\0" * (row - 3 * w)
with open(sys.argv[1], "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + row * h, 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, row * h, 2835, 2835, 0, 0))
    for y in range(h):
        off = 3 * (y % 64)
        f.write(wide[off:off + 3 * w].translate(lift[(y // 16) & 0xFF]) + pad)
EOF
"$batch" - --temp-dir "$work" >/dev/null <<EOF
open $work/in.bmp
save $work/in.jpg quality=10
EOF

# The memory floor: memcpy of 1 GiB through a 64 MiB buffer.
memcpy_gbps=$(/usr/bin/python3 - <<'EOF'
import time
a = bytearray(64 << 20); b = bytearray(64 << 20)
best = 1e9
for _ in range(5):
    t = time.perf_counter()
    for _ in range(16): b[:] = a
    best = min(best, time.perf_counter() - t)
print(f"{16 * len(a) / best / 1e9:.1f}")
EOF
)

scratch=()
if [ -n "${ZELVO_TEMP:-}" ]; then
    scratch=(--temp-dir "$ZELVO_TEMP")
    scratch_text="in \`$ZELVO_TEMP\` ($(findmnt -n -o FSTYPE -T "$ZELVO_TEMP" || echo unknown), set by ZELVO_TEMP)"
else
    scratch_text="in its default temporary folder, as a user's is (on the disk of /var/tmp: $(findmnt -n -o FSTYPE -T /var/tmp || echo unknown) here)"
fi
zelvo() {  # THREADS SCRIPT-LINES...
    local threads=$1; shift
    printf '%s\n' "$@" | "$batch" - "${scratch[@]}" --threads "$threads" >/dev/null 2>&1
}
pil_run() {  # THREADS PYTHON
    "$pil" -c "from PIL import Image, ImageFilter; $2"
}
# job|label ; each tool's command, "" when it has no such job. $T is the thread count.
jobs=(open-jpeg open-bmp save-jpeg blur levels brightness size150 rotate90 empty)
declare -A label=(
    [open-jpeg]="open JPEG, save BMP" [open-bmp]="open BMP, save BMP"
    [save-jpeg]="open BMP, save JPEG quality 12 (cjpeg/Pillow/vips q100)"
    [blur]="Blur 10 (sigma 1)" [levels]="Levels 20 127 230" [brightness]="Brightness/Contrast 20 30"
    [size150]="Image Size 2/3 smooth (150 % would pass the 20 MP limit)" [rotate90]="Rotate 90" [empty]="empty script (start-up)")
I=$work/in.bmp J=$work/in.jpg O=$work/out.bmp
job_zelvo() {  # JOB THREADS
    local t=$2
    case $1 in
    open-jpeg) zelvo "$t" "open $J" "save $O" ;;
    open-bmp) zelvo "$t" "open $I" "save $O" ;;
    save-jpeg) zelvo "$t" "open $I" "save $work/out.jpg quality=12" ;;
    blur) zelvo "$t" "open $I" "filter blur 10" "save $O" ;;
    levels) zelvo "$t" "open $I" "adjust levels 20 127 230 0 255" "save $O" ;;
    brightness) zelvo "$t" "open $I" "adjust brightness-contrast 20 30" "save $O" ;;
    size150) zelvo "$t" "open $I" "image size 3648 2432" "save $O" ;;
    rotate90) zelvo "$t" "open $I" "image rotate cw" "save $O" ;;
    empty) zelvo "$t" ;;
    esac
}
job_im() {
    [ -n "$im" ] || return 3
    local l="-limit thread $2"
    case $1 in
    open-jpeg) $im $l "$J" "BMP3:$O" ;;
    open-bmp) $im $l "$I" "BMP3:$O" ;;
    save-jpeg) $im $l "$I" -quality 100 "$work/out.jpg" ;;
    blur) $im $l "$I" -gaussian-blur 0x1 "BMP3:$O" ;;
    levels) $im $l "$I" -level 7.8%,90.2% "BMP3:$O" ;;
    brightness) $im $l "$I" -brightness-contrast 20x30 "BMP3:$O" ;;
    size150) $im $l "$I" -filter Triangle -resize 3648x2432! "BMP3:$O" ;;
    rotate90) $im $l "$I" -rotate 90 "BMP3:$O" ;;
    *) return 3 ;;
    esac
}
job_vips() {
    [ -n "$vips" ] || return 3
    case $1 in
    open-jpeg) VIPS_CONCURRENCY=$2 $vips copy "$J" "$O" ;;
    open-bmp) return 3 ;;  # vips has no BMP loader of its own
    save-jpeg) VIPS_CONCURRENCY=$2 $vips copy "$J" "$work/out.jpg[Q=100]" ;;
    blur) VIPS_CONCURRENCY=$2 $vips gaussblur "$J" "$work/out.v" 1 ;;
    size150) VIPS_CONCURRENCY=$2 $vips resize "$J" "$work/out.v" 0.6667 --kernel linear ;;
    rotate90) VIPS_CONCURRENCY=$2 $vips rot "$J" "$work/out.v" d90 ;;
    *) return 3 ;;
    esac
}
job_pil() {
    [ -n "$pil" ] && [ "$2" = 1 ] || return 3  # Pillow's passes run on one thread
    case $1 in
    open-jpeg) pil_run 1 "Image.open('$J').save('$O')" ;;
    open-bmp) pil_run 1 "Image.open('$I').save('$O')" ;;
    save-jpeg) pil_run 1 "Image.open('$I').save('$work/out.jpg', quality=100)" ;;
    blur) pil_run 1 "Image.open('$I').filter(ImageFilter.GaussianBlur(1)).save('$O')" ;;
    levels) pil_run 1 "im=Image.open('$I'); im.point([min(255,max(0,round((v-20)*255/210))) for v in range(256)]*3).save('$O')" ;;
    brightness) pil_run 1 "im=Image.open('$I'); im.point([min(255,max(0,v+51)) for v in range(256)]*3).save('$O')" ;;
    size150) pil_run 1 "im=Image.open('$I'); im.resize((3648,2432), Image.BILINEAR).save('$O')" ;;
    rotate90) pil_run 1 "Image.open('$I').transpose(Image.ROTATE_270).save('$O')" ;;
    *) return 3 ;;
    esac
}
job_djpeg() {
    [ "$2" = 1 ] || return 3
    case $1 in
    open-jpeg) [ -n "$djpeg" ] && $djpeg -bmp -outfile "$O" "$J" ;;
    save-jpeg) [ -n "$cjpeg" ] && $cjpeg -quality 100 -outfile "$work/out.jpg" "$I" ;;
    *) return 3 ;;
    esac
}
tools=(zelvo im vips pil djpeg)
declare -A tname=([zelvo]=Zelvo [im]="ImageMagick" [vips]=libvips [pil]=Pillow [djpeg]="djpeg/cjpeg")

declare -A times
for ((r = 0; r < runs; ++r)); do
    for job in "${jobs[@]}"; do
        for threads in 1 "$cores"; do
            for tool in "${tools[@]}"; do
                start=$(date +%s.%N)
                if "job_$tool" "$job" "$threads" >/dev/null 2>&1; then
                    end=$(date +%s.%N)
                    times[$job,$threads,$tool]+="$(awk "BEGIN {print $end - $start}") "
                fi
            done
        done
    done
    echo "run $((r + 1)) of $runs done" >&2
done

median() { tr ' ' '\n' | { grep -v '^$' || true; } | sort -g | awk '{a[NR]=$1} END {if (NR) printf "%.2f", (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
{
    echo "# Performance"
    echo
    echo "Written by \`bench/compare.sh $runs\` on $(date -u +%Y-%m-%d): $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $cores cores,"
    echo "memcpy ${memcpy_gbps} GB/s. A 5472 × 3648 picture (20 MP); each cell is the median wall-clock"
    echo "time in seconds of $runs interleaved runs of the whole job (start, read, pass, write), on one"
    echo "thread and on all $cores cores (\`--threads\`, \`-limit thread\`, \`VIPS_CONCURRENCY\`; Pillow,"
    echo "djpeg and cjpeg run on one). libvips reads the JPEG (it has no BMP loader) and writes its own"
    echo "format for the passes. Zelvo's scratch file is $scratch_text;"
    echo "the inputs and outputs of every tool are on tmpfs. Figures taken on a machine shared with"
    echo "other work are noisy, the all-core ones most."
    echo
    echo "| job | Zelvo 1 | Zelvo all | ImageMagick 1 | ImageMagick all | libvips 1 | libvips all | Pillow | djpeg/cjpeg |"
    echo "|---|---|---|---|---|---|---|---|---|"
    for job in "${jobs[@]}"; do
        row="| ${label[$job]}"
        for cell in "zelvo,1" "zelvo,$cores" "im,1" "im,$cores" "vips,1" "vips,$cores" "pil,1" "djpeg,1"; do
            tool=${cell%,*} t=${cell#*,}
            row+=" | $(echo "${times[$job,$t,$tool]:-}" | median)"
        done
        echo "$row |"
    done
} >"$out"
cat "$out"
