#!/usr/bin/env python3
"""Writes a folder into a zip file that depends only on the files' names and contents.

Usage: write-zip.py FOLDER ZIPFILE

Entries are in sorted path order (folders before their files), each with the time of SOURCE_DATE_EPOCH
(UTC; zip times start in 1980), Unix permissions 644 for files and 755 for folders and .exe/.dll files,
and deflate at level 9.
"""
import os
import sys
import time
import zipfile


def main():
    folder, target = sys.argv[1], sys.argv[2]
    epoch = max(int(os.environ.get("SOURCE_DATE_EPOCH", "315532800")), 315532800)
    stamp = time.gmtime(epoch)[:6]
    paths = []
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            full = os.path.join(root, name)
            paths.append((os.path.relpath(full, folder).replace(os.sep, "/"), full))
    paths.sort()
    with zipfile.ZipFile(target, "w") as archive:
        for name, full in paths:
            is_dir = os.path.isdir(full)
            info = zipfile.ZipInfo(name + "/" if is_dir else name, date_time=stamp)
            info.create_system = 3  # Unix, so that the permissions below are read
            executable = is_dir or name.lower().endswith((".exe", ".dll"))
            mode = 0o755 if executable else 0o644
            info.external_attr = ((0o040000 if is_dir else 0o100000) | mode) << 16
            if is_dir:
                info.external_attr |= 0x10  # the MS-DOS directory flag
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(full, "rb") as f:
                    archive.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    main()
