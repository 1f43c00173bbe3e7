#!/usr/bin/env python3
# What replacing every frame of a folder durably costs by itself, with no
# reading, decoding or arithmetic: each .fit file's own bytes are written to
# a temporary file in the same folder, flushed to the disk, renamed over the
# frame, and the folder is flushed, one frame after the other, as Lumavist's
# dark and flat replace them: what the disk alone asks of a job that keeps
# those guarantees (one that writes the next frame while it flushes one can
# come in somewhat under it).
#   durable_floor.py FOLDER
import os
import sys

folder = sys.argv[1]
folder_fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
for name in sorted(os.listdir(folder)):
    if not name.endswith(".fit"):
        continue
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = f.read()
    temporary = os.path.join(folder, ".floor.tmp")
    fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    view = memoryview(data)
    while view:
        view = view[os.write(fd, view):]
    os.fsync(fd)
    os.close(fd)
    os.replace(temporary, path)
    os.fsync(folder_fd)
os.close(folder_fd)
