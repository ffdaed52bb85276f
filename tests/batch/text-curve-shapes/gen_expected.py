# Writes the expected pictures of script.zb from the fill rule alone (a pixel is covered when
# its centre lies inside the path): a filled rectangle with corners (L, T) and (R, B) covers the
# pixels L <= x < R, T <= y < B. Run: python3 gen_expected.py
import struct

W, H = 40, 30
WHITE, RED, BLUE = (255, 255, 255), (255, 0, 0), (0, 0, 255)


def picture(rects):
    px = [[WHITE] * W for _ in range(H)]
    for (l, t, r, b, colour) in rects:  # later ones on top
        for y in range(max(t, 0), min(b, H)):
            for x in range(max(l, 0), min(r, W)):
                px[y][x] = colour
    return px


def bmp(px):
    stride = (W * 3 + 3) // 4 * 4
    rows = b""
    for y in range(H - 1, -1, -1):
        row = b"".join(bytes((c[2], c[1], c[0])) for c in px[y])
        rows += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(rows), 0, 0, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(rows), 0, 0, 54)
    return head + info + rows


# "Rectangle" at (10, 5) spans (10, 5)-(110, 105); the curve's corners are (2, 2) and (8, 12).
open("expected/shapes.bmp", "wb").write(bmp(picture([(10, 5, 110, 105, RED), (2, 2, 8, 12, BLUE)])))
# History row 3 is the curve's first anchor alone: a one-anchor curve draws nothing.
open("expected/opened.bmp", "wb").write(bmp(picture([(10, 5, 110, 105, RED)])))
