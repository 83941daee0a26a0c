#!/usr/bin/env python3
"""Applies the real plug-in with our host's command line to a generated
picture and compares every pixel with the primes listed by primesieve; then
uses the command line as a user does, without a display: file names in any
script, the same file in and out, a full disk, 16-bit and gray+alpha
pictures, bad input, and Ctrl+C in each phase.

Usage: plot_against_primesieve.py WINDOWS_BUILD_DIR PLUGIN.8bf [OTHER_PLUGIN.8bf]
(the 32-bit or the 64-bit build, with its own plug-in; the other word size's
plug-in, when given, must be refused)."""
import os
import pty
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def write_png(path, width, height, depth, colour, samples):
    """Samples row by row, the channels of a pixel interleaved."""
    n, fmt = CHANNELS[colour], ">H" if depth == 16 else "B"
    raw = b"".join(b"\0" + b"".join(struct.pack(fmt, v) for v in samples[y * width * n:(y + 1) * width * n])
                   for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) +
                chunk(b"IEND", b""))


def read_png(path):
    """((width, height, depth, colour type), samples as write_png takes them)."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    bpp = CHANNELS[colour] * depth // 8
    assert interlace == 0, header
    raw, stride = zlib.decompress(idat), width * bpp
    samples, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
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
        samples += struct.unpack(">%dH" % (stride // 2), line) if depth == 16 else line
        prev = line
    return (width, height, depth, colour), list(samples)


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


class Host:
    def __init__(self, windows_build, plugin):
        self.wine = [os.path.join(ROOT, "tools", "wine-run.sh"),
                     os.path.join(windows_build, "tools", "vkhost", "vkhost.exe")]
        self.plugin = plugin
        self.failures = 0
        # Nothing here needs a display: the host must not ask for one.
        self.headless = {k: v for k, v in os.environ.items() if k != "DISPLAY"}

    def run(self, args, env=None):
        return subprocess.run(self.wine + args, capture_output=True, text=True, errors="replace",
                              env=env or self.headless)

    def must(self, args):
        """Runs our host; on failure shows its exit status and everything it said."""
        done = self.run(args)
        if done.returncode != 0:
            sys.stderr.write(f"vkhost {' '.join(args)}\nexit status {done.returncode}\n{done.stdout}{done.stderr}")
            sys.exit(1)
        return done

    def check(self, what, problem):
        print(f"{'FAIL' if problem else 'ok'}: {what}{': ' + problem if problem else ''}")
        self.failures += 1 if problem else 0


def plots_match_primesieve(host, tmp):
    # The spiral with shift 65535 is run three times over the picture, for
    # its time: the same picture comes out. The largest pictures take more
    # than one of the sieve's segments, and the multiples of primes up to
    # 1021; a picture with transparency keeps it, its gray made from marks.
    for (width, height), alpha, layout, shift, runs in (
            ((173, 129), False, "normal", 0, 1), ((173, 129), False, "normal", 12345, 1),
            ((173, 129), False, "spiral", 0, 1), ((173, 129), False, "spiral", 65535, 3),
            ((1500, 700), False, "spiral", 49, 1), ((1500, 700), True, "normal", 7, 1),
            ((1500, 700), True, "spiral", 65535, 1)):
        kind = "gray+alpha" if alpha else "gray"
        source = os.path.join(tmp, f"in-{kind}-{width}x{height}.png")
        if not os.path.exists(source):
            host.must(["generate", source, str(width), str(height), "--gray"] + (["--alpha"] if alpha else []))
        out = os.path.join(tmp, f"{layout}-{shift}-{kind}-{width}.png")
        done = host.must(["apply", host.plugin, source, out, "--layout", layout, "--shift", str(shift),
                          "--fg", "000000", "--bg", "FFFFFF", "--repeat", str(runs)])
        listed = subprocess.run(["primesieve", str(shift), str(shift + width * height - 1), "-p"],
                                check=True, capture_output=True, text=True).stdout.split()
        primes = set(int(p) for p in listed)
        order = ((y, x) for y in range(height) for x in range(width)) if layout == "normal" \
            else spiral_order(width, height)
        step = 2 if alpha else 1
        _, samples = read_png(out)
        wrong = sum(1 for k, (y, x) in enumerate(order)
                    if (samples[step * (y * width + x)] == 0) != (k + shift in primes))
        kept = samples[1::2] == read_png(source)[1][1::2] if alpha else True
        timed = runs == 1 or f"(fastest of {runs} runs; median " in done.stdout
        problem = f"{wrong} pixels wrong" if wrong else "the transparency changed" if not kept else \
            "" if timed else f"no time of {runs} runs in: {done.stdout}"
        host.check(f"{kind} {layout} shift {shift}, {runs} run(s): {len(primes)} primes", problem)


def compare_outside(before, after, rect, colours=None):
    """What differs between two pictures outside `rect` (top, left, bottom,
    right), and inside it, colour samples other than those in `colours`."""
    (width, height, depth, colour), a = before
    header, b = after
    if header != before[0]:
        return f"the header changed from {before[0]} to {header}"
    n = CHANNELS[colour]
    top, left, bottom, right = rect
    changed, foreign = 0, set()
    for i, (x0, x1) in enumerate(zip(a, b)):
        pixel, plane = divmod(i, n)
        y, x = divmod(pixel, width)
        inside = top <= y < bottom and left <= x < right
        if inside and plane < (n if colour in (0, 2) else n - 1):
            if colours is not None and x1 not in colours:
                foreign.add(x1)
        elif x0 != x1:
            changed += 1
    if changed:
        return f"{changed} samples changed outside the rectangle or in the transparency"
    return f"colour samples {sorted(foreign)[:6]} are not the colours given" if foreign else ""


def round_trips_are_exact(host, tmp):
    """Random samples, so that every value the host's 16-bit scale cannot tell
    from its neighbour occurs; colours that scale cannot hold exactly."""
    rng = random.Random(18)
    for depth, colour in ((16, 2), (16, 6), (8, 4), (16, 4), (16, 0)):
        width, height = 37, 23
        path = os.path.join(tmp, f"exact-{depth}-{colour}.png")
        top = (1 << depth) - 1
        write_png(path, width, height, depth, colour, [rng.randint(0, top) for _ in range(width * height * CHANNELS[colour])])
        out = path.replace(".png", "-out.png")
        host.must(["apply", host.plugin, path, out, "--rect", "0,0,10,10", "--fg", "F4F4F4", "--bg", "0102FF"])
        colours = {0xF4F4, 0x0101, 0x0202, 0xFFFF} if depth == 16 else {0xF4, 0x01, 0x02, 0xFF}
        host.check(f"{depth}-bit colour type {colour} comes back exactly",
                   compare_outside(read_png(path), read_png(out), (0, 0, 10, 10), colours))


def any_file_name_and_the_same_file(host, tmp):
    folder = os.path.join(tmp, "日本語 Ünïcödé")
    os.mkdir(folder)
    picture = os.path.join(folder, "入力.png")
    host.must(["generate", picture, "61", "43", "--gray", "--alpha"])
    before = read_png(picture)
    host.check("generate --gray --alpha writes gray+alpha", "" if before[0][3] == 4 else f"header {before[0]}")
    host.must(["apply", host.plugin, picture, picture, "--layout", "spiral", "--rect", "5,5,30,40"])
    after = read_png(picture)
    problem = compare_outside(before, after, (5, 5, 30, 40))
    if not problem and after[1] == before[1]:
        problem = "nothing was plotted"
    host.check("a Japanese and accented path, the same file in and out", problem)
    host.check("nothing left beside it", "" if os.listdir(folder) == ["入力.png"] else str(os.listdir(folder)))


def tiny_disk(tmp):
    """A folder on a 200 KB file system, or None where we may not mount one."""
    folder = os.path.join(tmp, "tiny")
    os.mkdir(folder)
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=200k", "tmpfs", folder],
                                           capture_output=True).returncode != 0:
        return None
    return folder


def a_failed_write_keeps_the_old_file(host, tmp):
    rng = random.Random(3)
    noise = os.path.join(tmp, "noise.png")
    write_png(noise, 200, 200, 8, 2, [rng.randint(0, 255) for _ in range(200 * 200 * 3)])
    folder = tiny_disk(tmp)
    if folder is None:
        # A read-only folder stands in for a full disk.
        folder = os.path.join(tmp, "read-only")
        os.mkdir(folder)
    try:
        old = os.path.join(folder, "pic.png")
        shutil.copy(noise, old)
        kept = open(old, "rb").read()
        if os.path.ismount(folder):
            free = os.statvfs(folder).f_bavail * os.statvfs(folder).f_frsize
            with open(os.path.join(folder, "filler"), "wb") as filler:
                filler.write(b"\0" * (free - len(kept) // 2))
        else:
            os.chmod(folder, 0o555)
        # A tiny rectangle: the new file is as large as the old one.
        done = host.run(["apply", host.plugin, old, old, "--rect", "0,0,1,1"])
        problem = "" if done.returncode == 1 else f"exit status {done.returncode}"
        problem = problem or ("" if open(old, "rb").read() == kept else "the old file changed")
        problem = problem or ("" if sorted(os.listdir(folder)) in (["filler", "pic.png"], ["pic.png"])
                              else f"left behind: {os.listdir(folder)}")
        problem = problem or ("" if "left as it was" in done.stderr else f"said: {done.stderr}")
        host.check(f"a failed write keeps the old file ({'full disk' if os.path.ismount(folder) else 'read-only folder'})",
                   problem)
    finally:
        os.chmod(folder, 0o755)
        if os.path.ismount(folder):
            subprocess.run(["umount", folder])


def bad_input_is_refused_in_words(host, tmp, other_plugin):
    def write(name, data):
        path = os.path.join(tmp, name)
        with open(path, "wb") as f:
            f.write(data)
        return path
    good = os.path.join(tmp, "good.png")
    host.must(["generate", good, "20", "10"])
    huge = write("huge.png", b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 60000, 60000, 8, 2, 0, 0, 0)) +
                 chunk(b"IDAT", b"x"))
    truncated = write("truncated.png", open(good, "rb").read()[:70])
    text = write("text.png", b"hello\n")
    not_dll = write("not-a-dll.8bf", b"MZ but nothing more")
    out = os.path.join(tmp, "refused.png")
    cases = [
        ([host.plugin, truncated, out], 1, ["truncated.png", "truncated or damaged"]),
        ([host.plugin, text, out], 1, ["text.png", "not a PNG file"]),
        ([host.plugin, huge, out], 1, ["huge.png", "60000x60000", "at most 30000"]),
        ([host.plugin, os.path.join(tmp, "missing.png"), out], 1, ["missing.png", "no such file"]),
        ([not_dll, good, out], 1, ["not-a-dll.8bf", "not a Windows DLL"]),
        ([host.plugin, good, os.path.join(tmp, "no-folder", "x.png")], 1, ["x.png", "no such folder"]),
        ([host.plugin, good, out, "--shift", "70000"], 2, ["--shift", "0..65535", "70000"]),
        ([host.plugin, good, out, "--rect", "0,0,10"], 2, ["--rect", "top,left,bottom,right"]),
        ([host.plugin, good, out, "--rect", "0,0,100,100"], 1, ["outside the image", "20x10"]),
        ([host.plugin, good, out, "--host-profile", "partial,bogus"], 2, ["bogus", "standard, partial, unmasked-fp"]),
        ([host.plugin, good, out, "--repeat", "0"], 2, ["--repeat", "1..1000", "'0'"]),
        ([host.plugin, good, out, "--repeat", "2", "--dialog"], 2, ["--repeat", "without --dialog"]),
    ]
    if other_plugin:
        cases.append(([other_plugin, good, out], 1, ["-bit plug-in"]))
    for args, status, words in cases:
        done = host.run(["apply"] + args)
        missing = [w for w in words if w not in done.stderr]
        problem = f"exit status {done.returncode}" if done.returncode != status else ""
        problem = problem or (f"no {missing} in: {done.stderr.strip()}" if missing else "")
        problem = problem or ("it wrote a file" if os.path.exists(out) else "")
        host.check(f"refused: {' '.join(os.path.basename(a) for a in args[1:])}", problem)
    info = subprocess.run(host.wine + ["--info", host.plugin], capture_output=True, env=host.headless).stdout
    problem = "" if b"plug-in version:   1.0.0\n" in info and b"interface version: 4.0" in info else f"said: {info!r}"
    host.check("--info names both versions, lines end in LF", problem or ("CR LF" if b"\r" in info else ""))


def run_on_a_terminal(host, args, interrupt_in=None):
    """Runs our host with a terminal for stderr, as a user does; SIGINT when
    the progress shows the phase `interrupt_in`. (status, what it drew, seconds)."""
    main, terminal = pty.openpty()
    started = time.monotonic()
    # On a terminal wine starts its console host, which makes a window on the
    # prefix's shared desktop: given no display, it would leave that desktop
    # without one for the other tests running meanwhile.
    process = subprocess.Popen(host.wine + args, stdin=terminal, stdout=subprocess.DEVNULL, stderr=terminal)
    os.close(terminal)
    drawn, sent = b"", False
    while True:
        ready, _, _ = select.select([main], [], [], 0.05)
        if ready:
            try:
                data = os.read(main, 4096)
            except OSError:
                break
            if not data:
                break
            # wine's console moves the cursor around each character.
            drawn += re.sub(rb"\x1b\[[?0-9;]*[A-Za-z]", b"", data)
            if interrupt_in and not sent and interrupt_in.encode() in drawn:
                process.send_signal(signal.SIGINT)
                sent = True
        elif process.poll() is not None:
            break
    os.close(main)
    return process.wait(), drawn.decode(errors="replace"), time.monotonic() - started


def progress_and_ctrl_c(host, tmp):
    big = os.path.join(tmp, "big.png")
    host.must(["generate", big, "3000", "3000"])
    out = os.path.join(tmp, "big-out.png")
    status, drawn, seconds = run_on_a_terminal(host, ["apply", host.plugin, big, out, "--layout", "spiral"])
    phases = [p for p in ("reading", "filtering", "writing") if p in drawn]
    redraws = drawn.count("\r") - drawn.count("\r\n")
    problem = f"exit status {status}" if status else ""
    problem = problem or ("" if len(phases) == 3 else f"phases shown: {phases}")
    problem = problem or ("" if redraws <= 10 * seconds + 6 else f"{redraws} redraws in {seconds:.1f} s")
    host.check(f"progress for reading, filtering and writing ({redraws} redraws in {seconds:.1f} s)", problem)
    quiet = host.run(["apply", host.plugin, big, out])
    host.check("no bar when stderr is not a terminal", "" if "[" not in quiet.stderr else quiet.stderr[:200])
    kept = open(out, "rb").read()
    for phase in ("reading", "filtering", "writing"):
        status, drawn, _ = run_on_a_terminal(host, ["apply", host.plugin, big, out, "--shift", "7"], phase)
        problem = "" if status == 130 else f"exit status {status}"
        problem = problem or ("" if "interrupted" in drawn else f"said: {drawn[-200:]!r}")
        problem = problem or ("" if open(out, "rb").read() == kept else "the old output changed")
        problem = problem or ("" if len(os.listdir(tmp)) == len(set(os.listdir(tmp))) and
                              not [f for f in os.listdir(tmp) if f.endswith(".part")] else "a partial file is left")
        host.check(f"Ctrl+C while {phase}", problem)


def main():
    windows_build, plugin = sys.argv[1], sys.argv[2]
    other_plugin = sys.argv[3] if len(sys.argv) > 3 else None
    host = Host(windows_build, plugin)
    with tempfile.TemporaryDirectory() as tmp:
        plots_match_primesieve(host, tmp)
        round_trips_are_exact(host, tmp)
        any_file_name_and_the_same_file(host, tmp)
        a_failed_write_keeps_the_old_file(host, tmp)
        bad_input_is_refused_in_words(host, tmp, other_plugin)
        progress_and_ctrl_c(host, tmp)
    print(f"{host.failures} failed")
    return 1 if host.failures else 0


if __name__ == "__main__":
    sys.exit(main())
