# RAR 4 archives no RAR tool would write: stored members with any name, links, and main-header
# flags (1 = a volume of a set, 0x80 = encrypted headers). Header CRCs are right.
# Usage: make_rar4.py PATH MAINFLAGS "NAME|f-or-l|TEXT"...
import struct, sys, zlib
path, mainflags, members = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
def block(typ, flags, body, data=b""):
    h = struct.pack("<BHH", typ, flags, 7 + len(body)) + body
    return struct.pack("<H", zlib.crc32(h) & 0xFFFF) + h + data
out = b"Rar!\x1a\x07\x00" + block(0x73, mainflags, b"\0" * 6)
stamp = (40 << 25) | (1 << 21) | (1 << 16)
for member in members:
    name, kind, text = member.split("|")
    data = text.encode()
    attr = 0o120777 if kind == "l" else 0o100644
    body = struct.pack("<IIBIIBBHI", len(data), len(data), 3, zlib.crc32(data), stamp, 20, 0x30,
                       len(name.encode()), attr) + name.encode()
    out += block(0x74, 0x8000, body, data)
out += block(0x7B, 0x4000, b"")
open(path, "wb").write(out)
