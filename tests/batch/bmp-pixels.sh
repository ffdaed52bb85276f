# Sourced by the check.sh of cases that read pixels of saved pictures.
# px FILE X Y: "R G B" of pixel (X, Y) of a 24- or 32-bit bottom-up BMP.
px() {
  local f=$1 x=$2 y=$3
  local off w h bpp
  read -r off < <(od -An -tu4 -j10 -N4 "$f")
  read -r w h < <(od -An -td4 -j18 -N8 "$f")
  read -r bpp < <(od -An -tu2 -j28 -N2 "$f")
  local bytes=$((bpp / 8))
  local stride=$(((w * bytes + 3) / 4 * 4))
  local at=$((off + (h - 1 - y) * stride + x * bytes))
  od -An -tu1 -j"$at" -N3 "$f" | awk '{ print $3, $2, $1 }'
}
fail=0
# want FILE X Y "R G B": notes a mismatch in `fail`.
want() {
  local got
  got=$(px "$1" "$2" "$3")
  if [ "$got" != "$4" ]; then echo "$1 at $2,$3: $got, expected $4"; fail=1; fi
}
