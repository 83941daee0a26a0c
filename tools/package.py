#!/usr/bin/env python3
"""Writes the release zip: both plug-ins, the user guides and SHA256SUMS.

The same inputs give the same bytes: the entries come in a fixed order with
fixed times and attributes, and nothing of the machine or the moment goes in.
"""
import argparse
import hashlib
import os
import re
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDES = ("README-en.txt", "README-ja.txt")


def read_version(root):
    numbers = {}
    with open(os.path.join(root, "resources", "version.h"), encoding="ascii") as header:
        for line in header:
            found = re.match(r"#define VARDELKIST_VERSION_(MAJOR|MINOR|PATCH) (\d+)$", line.strip())
            if found:
                numbers[found.group(1)] = found.group(2)
    if len(numbers) != 3:
        sys.exit("package: resources/version.h names no complete version")
    return "{MAJOR}.{MINOR}.{PATCH}".format(**numbers)


def entry_time():
    # SOURCE_DATE_EPOCH, where a release process sets one; else the earliest
    # time a zip can hold.
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch is None:
        return (1980, 1, 1, 0, 0, 0)
    return max((1980, 1, 1, 0, 0, 0), time.gmtime(int(epoch))[:6])


def guide_bytes(path, version):
    with open(path, encoding="utf-8") as source:
        text = source.read().replace("@VERSION@", version)
    # Notepad on older Windows wants CRLF, and a BOM to take the text as UTF-8.
    data = text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")
    if not text.isascii():
        data = b"\xef\xbb\xbf" + data
    return data


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--plugins", required=True, help="folder holding the .8bf files")
    parser.add_argument("--guides", default=os.path.join(ROOT, "docs", "guide"))
    parser.add_argument("--dist", default=os.path.join(ROOT, "dist"))
    args = parser.parse_args()

    version = read_version(ROOT)
    plugins = sorted(name for name in os.listdir(args.plugins) if name.endswith(".8bf"))
    if not plugins:
        sys.exit("package: no .8bf file in " + args.plugins)

    files = []
    for name in plugins:
        with open(os.path.join(args.plugins, name), "rb") as plugin:
            files.append((name, plugin.read()))
    for name in GUIDES:
        files.append((name, guide_bytes(os.path.join(args.guides, name), version)))
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
    files.append(("SHA256SUMS", sums.encode("ascii")))

    os.makedirs(args.dist, exist_ok=True)
    target = os.path.join(args.dist, "Vardelkist-%s.zip" % version)
    partial = target + ".part"
    stamp = entry_time()
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the permissions below hold
            info.external_attr = 0o644 << 16
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, target)
    print(target)
    for name, data in files:
        print("  %9d  %s" % (len(data), name))


if __name__ == "__main__":
    main()
