#!/usr/bin/env bash
# Exits 0 when this kernel runs 32-bit x86 programs (some kernels have their
# 32-bit emulation switched off), by running a 93-byte i386 program that
# only exits. Needs nothing installed but python3.
set -u
program=$(mktemp)
trap 'rm -f "$program"' EXIT
python3 - "$program" <<'PY'
import struct, sys
entry = 0x08048000 + 52 + 32
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # exit(0) by int 0x80
size = 52 + 32 + len(code)
elf = b"\x7fELF\x01\x01\x01" + bytes(9)
elf += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
elf += struct.pack("<IIIIIIII", 1, 0, 0x08048000, 0x08048000, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(elf + code)
PY
chmod +x "$program"
"$program" 2>/dev/null
