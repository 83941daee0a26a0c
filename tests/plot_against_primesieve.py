#!/usr/bin/env python3
"""Applies the real plug-in with our host's command line to a generated
picture and compares every pixel with the primes listed by primesieve.

Usage: plot_against_primesieve.py WINDOWS_BUILD_DIR PLUGIN.8bf (the 32-bit or
the 64-bit build, with its own plug-in)."""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_png_gray8(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
    assert depth == 8 and interlace == 0, header
    raw, stride = zlib.decompress(idat), width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([line[x * channels] for x in range(width)])
        prev = line
    return rows


def spiral_order(width, height):
    """Pixels in the order of a clockwise walk from the top-left corner inward."""
    top, left, bottom, right = 0, 0, height - 1, width - 1
    while top <= bottom and left <= right:
        yield from ((top, x) for x in range(left, right + 1))
        yield from ((y, right) for y in range(top + 1, bottom + 1))
        if top < bottom:
            yield from ((bottom, x) for x in range(right - 1, left - 1, -1))
        if left < right:
            yield from ((y, left) for y in range(bottom - 1, top, -1))
        top, left, bottom, right = top + 1, left + 1, bottom - 1, right - 1


def run_host(wine, args):
    """Runs our host; on failure shows its exit status and everything it said."""
    done = subprocess.run(wine + args, capture_output=True, text=True, errors="replace")
    if done.returncode != 0:
        sys.stderr.write(f"vkhost {' '.join(args)}\nexit status {done.returncode}\n{done.stdout}{done.stderr}")
        sys.exit(1)


def main():
    windows_build, plugin = sys.argv[1], sys.argv[2]
    vkhost = os.path.join(windows_build, "tools", "vkhost", "vkhost.exe")
    wine = [os.path.join(ROOT, "tools", "wine-run.sh"), vkhost]
    width, height, failures = 173, 129, 0
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "in.png")
        run_host(wine, ["generate", source, str(width), str(height), "--gray"])
        for layout, shift in (("normal", 0), ("normal", 12345), ("spiral", 0), ("spiral", 65535)):
            out = os.path.join(tmp, f"{layout}-{shift}.png")
            run_host(wine, ["apply", plugin, source, out, "--layout", layout, "--shift", str(shift),
                            "--fg", "000000", "--bg", "FFFFFF"])
            listed = subprocess.run(["primesieve", str(shift), str(shift + width * height - 1), "-p"],
                                    check=True, capture_output=True, text=True).stdout.split()
            primes = set(int(p) for p in listed)
            order = ((y, x) for y in range(height) for x in range(width)) if layout == "normal" \
                else spiral_order(width, height)
            pixels = read_png_gray8(out)
            wrong = sum(1 for k, (y, x) in enumerate(order) if (pixels[y][x] == 0) != (k + shift in primes))
            print(f"{layout} shift {shift}: {len(primes)} primes, {wrong} pixels wrong")
            failures += wrong
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
