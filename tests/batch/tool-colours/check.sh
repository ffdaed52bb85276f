# text.bmp: the glyph is drawn in the text tool's green, and in no other colour than white.
python3 - <<'PY'
import struct, sys
data = open("text.bmp", "rb").read()
off = struct.unpack_from("<I", data, 10)[0]
w, h, _, bits = struct.unpack_from("<iiHH", data, 18)
stride = (w * 3 + 3) // 4 * 4
colours = {data[off + y * stride + 3 * x:off + y * stride + 3 * x + 3]
           for y in range(abs(h)) for x in range(w)}
sys.exit(0 if bits == 24 and colours == {b"\xff\xff\xff", b"\x00\xff\x00"} else 1)
PY
