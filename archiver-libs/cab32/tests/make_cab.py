# Cabinets no peer writes, made byte by byte: one stored folder, the data block unchecked
# (checksum 0). Flags 2 marks the cabinet as continued in a next one.
# Usage: make_cab.py PATH FLAGS NAME... (the member "ok.txt" holds "fine", every other "evil")
import struct, sys
path, flags, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
data = b"".join(b"evil" if n != "ok.txt" else b"fine" for n in names)
extra = b"next.cab\0disk\0" if flags & 2 else b""
files = b""
off = 0
for n in names:
    body = b"evil" if n != "ok.txt" else b"fine"
    files += struct.pack("<IIHHHH", len(body), off, 0, 0x5021, 0, 0x20) + n.encode() + b"\0"
    off += len(body)
head = 36 + len(extra)
coff_files = head + 8
coff_data = coff_files + len(files)
block = struct.pack("<IHH", 0, len(data), len(data)) + data
total = coff_data + len(block)
out = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, coff_files, 0, 3, 1, 1, len(names), flags, 0, 0)
out += extra + struct.pack("<IHH", coff_data, 1, 0) + files + block
open(path, "wb").write(out)
