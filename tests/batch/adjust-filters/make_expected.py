# Writes input/in.bmp and the expected results of script.zb, each computed from the rule of
# its command (run from this folder: python3 make_expected.py).
import ctypes, math, struct

W, H = 10, 8
libc = ctypes.CDLL("libc.so.6")

def write_bmp(path, px):  # px[y][x] = (b, g, r), y = 0 top
    row = 3 * W + (-3 * W) % 4
    data = b""
    for y in range(H - 1, -1, -1):
        line = b"".join(bytes(p) for p in px[y])
        data += line + b"\0" * (row - 3 * W)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 0, 0, 0, 0)
    open(path, "wb").write(head + info + data)

src = [[((x * 29 + y * 7) % 256, (x * 13 + y * 31) % 256, (x * y * 11 + 40) % 256) for x in range(W)] for y in range(H)]
write_bmp("input/in.bmp", src)

def each(px, f):
    return [[tuple(f(c) for c in p) for p in row] for row in px]

inv = each(src, lambda v: 255 - v)
write_bmp("expected/invert.bmp", inv)

def bc(v, b, k):
    t = min(255, max(0, v + b))
    if t < k: u = 0
    elif t > 255 - k: u = 255
    else: u = min(255, max(0, (t - k) * 255 // (255 - 2 * k)))
    return min(255, max(0, v + int((u - v) * 100 / 100)))
bcd = each(inv, lambda v: bc(v, 20, 40))
write_bmp("expected/bc.bmp", bcd)

def levels(v, ib, im, iw, ob, ow):
    if v < ib: return ob
    if v > iw: return ow
    mid = (ob + ow) / 2
    o = ob + (v - ib) * (mid - ob) / (im - ib) if v <= im else mid + (v - im) * (ow - mid) / (iw - im)
    return min(255, max(0, int(o)))
lev = each(bcd, lambda v: levels(v, 30, 100, 220, 10, 240))
write_bmp("expected/levels.bmp", lev)

# Mosaic 3: cells from the bottom row and the left column; all pixels opaque.
mos = [list(r) for r in lev]
for r0 in range(0, H, 3):
    for x0 in range(0, W, 3):
        cells = [(H - 1 - r, x) for r in range(r0, min(H, r0 + 3)) for x in range(x0, min(W, x0 + 3))]
        mean = tuple(sum(lev[y][x][c] for y, x in cells) // len(cells) for c in range(3))
        for y, x in cells: mos[y][x] = mean
write_bmp("expected/mosaic.bmp", mos)

# Add Noise 60 with seed 5: one rand() per pixel, bottom row first, left to right.
libc.srand(5)
steps = [0, 64, 128, 192, 255]
noise = [list(r) for r in mos]
for y in range(H - 1, -1, -1):
    for x in range(W):
        n = libc.rand() % 150
        if n >= 125: continue
        col = (steps[n % 5], steps[n // 5 % 5], steps[n // 25])  # b, g, r
        noise[y][x] = tuple((col[c] * 60 + mos[y][x][c] * 40) // 100 for c in range(3))
write_bmp("expected/noise.bmp", noise)
