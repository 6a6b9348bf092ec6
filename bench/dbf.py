#!/usr/bin/env python3
"""Read_Dbf and Write_Dbf on tables of 10,000, 100,000 and 1,000,000 records
(NO1 C10, PNAME C40, UNIT C6: 57 bytes a record), and 10,000,000 with --big
(its table takes GDAL a minute and a half to write): the last key read, the
last key updated, a new key appended, each beside cat of the table (the
peer), with each one's peak RSS.

The tables are written by GDAL (ogr2ogr, Debian's gdal-bin) from a CSV
file, not by our code, and kept under build/bench/dbf for the next run. The
writes flush the table (an update or append is durable when it is
reported), so each run starts from a copy already flushed: the flush then
costs what the write itself changed, not the copy's pages. Each row checks
what the call did: the message Read_Dbf printed and the value it returned,
and the record Write_Dbf left (read back from the file by its offsets).

Goals, at 1,000,000 records and above: Read_Dbf 1.1 times cat or less,
Write_Dbf append and update 1.5 times or less. Smaller tables have rows for
information only: there the process start (Read_Dbf) and the latency of the
flushes a durable write needs (Write_Dbf: three for an append, one for an
update, each a few milliseconds on any disk) outweigh reading the table."""
import os
import shutil
import struct
import subprocess

import benchlib

benchlib.ensure_packages("time", "gdal-bin")
benchlib.ensure_built()
data = benchlib.BUILD / "bench" / "dbf-tables"
data.mkdir(parents=True, exist_ok=True)
folder = benchlib.fresh_folder("dbf")
sizes = [10_000, 100_000, 1_000_000] + ([10_000_000] if benchlib.big_sizes() else [])


def master(records):
    """The table of `records` records, written by ogr2ogr once."""
    table = data / f"parts{records}.dbf"
    if table.exists():
        return table
    csv = data / f"parts{records}.csv"
    with open(csv, "w") as f:
        f.write("NO1,PNAME,UNIT\n")
        for start in range(0, records, 100_000):
            f.writelines(f"K{i:07d},PART NUMBER {i},PCS\n"
                         for i in range(start, min(records, start + 100_000)))
    (data / f"parts{records}.csvt").write_text('"String(10)","String(40)","String(6)"\n')
    subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", str(table), str(csv)], check=True,
                   stdout=subprocess.DEVNULL)
    os.remove(csv)
    return table


def layout(path):
    """(record count, header length, record length) from the table's header."""
    with open(path, "rb") as f:
        count, header, length = struct.unpack("<IHH", f.read(12)[4:12])
    return count, header, length


def record(path, index):
    count, header, length = layout(path)
    with open(path, "rb") as f:
        f.seek(header + index * length)
        return f.read(length)


for records in sizes:
    source = master(records)
    table = folder / "parts.dbf"

    def restore():
        shutil.copyfile(source, table)
        fd = os.open(table, os.O_RDONLY)
        os.fsync(fd)
        os.close(fd)

    restore()
    last = "K%07d" % (records - 1)
    repeat = 15 if records < 10_000_000 else 3
    peer, _ = benchlib.best("cat parts.dbf > /dev/null", folder, repeat=repeat, shell=True)
    tag = f"{records:,} records ({source.stat().st_size / 1e6:.1f} MB)"

    expr = f'(princ (Read_Dbf "parts" "{last}"))'
    ours, rss = benchlib.best(benchlib.zchost(expr), folder, repeat=repeat)
    out = benchlib.capture(benchlib.zchost(expr), folder)
    benchlib.expect(f"Found Data->[{last}]".encode() in out and
                    f"PART NUMBER {records - 1}".encode() in out,
                    f"Read_Dbf of {last} printed {out!r}")
    benchlib.row(f"Read_Dbf last key, {tag}", ours, peer, "cat",
                 1.1 if records >= 1_000_000 else None, rss)

    count, _, _ = layout(source)
    for label, expr, index, key in [
            ("Write_Dbf update last key",
             f'(Write_Dbf "parts.dbf" "{last}" "NEW NAME" "BOX")', records - 1, last),
            ("Write_Dbf append new key",
             '(Write_Dbf "parts.dbf" "NEWKEY" "NEW NAME" "BOX")', records, "NEWKEY")]:
        ours, rss = benchlib.best(benchlib.zchost(expr), folder, repeat=repeat, setup=restore)
        restore()
        benchlib.capture(benchlib.zchost(expr), folder)
        now, _, _ = layout(table)
        got = record(table, index)
        benchlib.expect(now == count + (index == records) and
                        got.startswith(b" " + key.encode().ljust(10) + b"NEW NAME".ljust(40) +
                                       b"BOX".ljust(6)),
                        f"{label} left {now} records and the record {got!r}")
        benchlib.row(f"{label}, {tag}", ours, peer, "cat",
                     1.5 if records >= 1_000_000 else None, rss)
benchlib.summary()
