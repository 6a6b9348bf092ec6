#!/usr/bin/env python3
"""Read_Dbf and Write_Dbf on a table of 1,000,000 records (NO1 C10, PNAME C40,
UNIT C6: 57 MB): the last key read, the last key updated, a new key appended,
each beside cat of the table (the floor), and each one's peak RSS; ogrinfo
and dbfdump | grep of the same key where they are installed.

The writes flush the table (an update or append is durable when it is
reported), so each run starts from a copy already flushed: the flush then
costs what the write itself changed, not the copy's pages."""
import os
import shutil
import struct

import benchlib

RECORDS = 1_000_000
benchlib.ensure_built()
folder = benchlib.fresh_folder("dbf")
fields = [("NO1", 10), ("PNAME", 40), ("UNIT", 6)]
header = struct.pack("<BBBBIHH20x", 3, 126, 12, 8, RECORDS, 32 + 32 * len(fields) + 1, 57)
for name, width in fields:
    header += name.encode().ljust(11, b"\0") + b"C" + b"\0" * 4 + bytes([width, 0]) + b"\0" * 14
header += b"\r"
body = b"".join(b" %-10s%-40s%-6s" % (b"K%07d" % i, b"PART NUMBER %d" % i, b"PCS")
                for i in range(RECORDS))
(folder / "master.dbf").write_bytes(header + body + b"\x1a")
del body
last = "K%07d" % (RECORDS - 1)


def restore():
    shutil.copyfile(folder / "master.dbf", folder / "parts.dbf")
    fd = os.open(folder / "parts.dbf", os.O_RDONLY)
    os.fsync(fd)
    os.close(fd)


restore()
floor, _ = benchlib.best("cat parts.dbf > /dev/null", folder, repeat=15, shell=True)
print(f"table: {(folder / 'master.dbf').stat().st_size / 1e6:.1f} MB, {RECORDS} records")
for label, expr in [
        ("Read_Dbf of the last key", f'(Read_Dbf "parts" "{last}")'),
        ("Write_Dbf updating the last key", f'(Write_Dbf "parts.dbf" "{last}" "NEW NAME" "BOX")'),
        ("Write_Dbf appending a new key", '(Write_Dbf "parts.dbf" "NEWKEY" "NEW NAME" "BOX")')]:
    ours, rss = benchlib.best(benchlib.zchost(expr), folder, repeat=15, setup=restore)
    benchlib.report(label + " vs cat", ours, floor, 1.2, rss)
if shutil.which("ogrinfo"):
    other, _ = benchlib.best(f"ogrinfo -ro -q -al -where \"NO1='{last}'\" parts.dbf", folder,
                             repeat=3, shell=True)
    print(f"{'ogrinfo -where (for comparison)':<34} {other * 1000:9.2f} ms")
if shutil.which("dbfdump"):
    other, _ = benchlib.best(f"dbfdump parts.dbf | grep {last}", folder, repeat=3, shell=True)
    print(f"{'dbfdump | grep (for comparison)':<34} {other * 1000:9.2f} ms")
