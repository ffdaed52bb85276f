# Writes the input pattern and the expected pictures of script.zb from the geometry rules
# alone: a quarter turn clockwise takes (x, y) to (H - 1 - y, x), a horizontal flip to
# (W - 1 - x, y), a half turn to (W - 1 - x, H - 1 - y); nearest-neighbour Image Size takes
# output (i, j) from source (trunc(i / sx), trunc(j / sy)); Canvas Size keeps the top-left
# corner. Run: python3 gen_expected.py
import struct

W, H = 6, 4


def pattern():
    return [[(40 * x + 10, 60 * y + 5, (x * 7 + y * 31) % 256) for x in range(W)] for y in range(H)]


def size(px):
    return len(px[0]), len(px)


def rotate_cw(px):
    w, h = size(px)
    out = [[None] * h for _ in range(w)]
    for y in range(h):
        for x in range(w):
            out[x][h - 1 - y] = px[y][x]
    return out


def flip_h(px):
    return [list(reversed(row)) for row in px]


def rotate_180(px):
    return [list(reversed(row)) for row in reversed(px)]


def nearest(px, nw, nh):
    w, h = size(px)
    sx, sy = nw / w, nh / h
    return [[px[min(int(j / sy), h - 1)][min(int(i / sx), w - 1)] for i in range(nw)] for j in range(nh)]


def top_left(px, nw, nh):
    return [row[:nw] for row in px[:nh]]


def bmp(px):
    w, h = size(px)
    stride = (w * 3 + 3) // 4 * 4
    rows = b""
    for y in range(h - 1, -1, -1):
        row = b"".join(bytes((c[2], c[1], c[0])) for c in px[y])
        rows += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(rows), 0, 0, 54)
    return head + info + rows


def write(name, px):
    open(name, "wb").write(bmp(px))


p = pattern()
write("input/pattern.bmp", p)
write("expected/cw.bmp", rotate_cw(p))
write("expected/cw-flip-h.bmp", flip_h(rotate_cw(p)))
write("expected/four-cw.bmp", p)
sized = nearest(p, 9, 6)  # 150 %: every other source row and column repeats
write("expected/size.bmp", sized)
write("expected/canvas.bmp", top_left(sized, 4, 3))
write("expected/transformed.bmp", rotate_180(sized))
write("expected/undone.bmp", p)  # back at the opened image
