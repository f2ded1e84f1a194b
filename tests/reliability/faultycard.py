#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A memory card that fails on command, for the player's reliability tests.

Mirrors SOURCE at MOUNTPOINT through FUSE (run it with Debian's /usr/bin/python3, which has
the fusepy module) and reads commands on standard input, one a line, answering "ok" on
standard output once a command is in force ("ready" first, once the card is mounted):

  pull ERRNO [ms N | ops N]  every operation fails with ERRNO (EIO, ENODEV) - now, N ms
                             from now, or once N more operations have been served
  back                       the card works again (no throttle, no limits)
  throttle BPS MS [SUFFIX]   each read or write of the card takes MS plus its size at BPS
                             bytes a second (0 0: full speed); listing a folder takes MS;
                             with a SUFFIX, only files whose names end with it are slow
  full N                     writes fail with ENOSPC once N more bytes have been written
  readonly on|off            changes fail with EROFS, as on a write-protected card

The kernel is told to cache nothing, so a card pulled out fails even a read it served
before. Instead the card reads ahead as the kernel does for a block device: a read that
continues the last one fetches twice as much as that one did (16 KiB at first, at most
128 KiB), and what was fetched serves the reads that follow, so a slow card costs the player
what it costs on a real reader (FAULTYCARD_TRACE=1 lists those reads on standard error).
When standard input closes (the test ended, however) the card unmounts itself.
"""

import errno
import os
import signal
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations


TRACE = bool(os.environ.get('FAULTYCARD_TRACE'))  # every read of the card on stderr
MIN_AHEAD = 16 * 1024
MAX_AHEAD = 128 * 1024


class FaultyCard(Operations):
    use_ns = True

    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.mutex = threading.Lock()
        self.reader = threading.Lock()  # a card reader serves one read at a time
        self.pulled = 0           # errno every operation fails with; 0 while in place
        self.pull_at = None       # monotonic time of a pull to come
        self.pull_ops = None      # operations left before a pull to come
        self.pull_errno = 0
        self.bps = 0
        self.delay = 0.0
        self.slow_suffix = ''     # only files whose names end so are slow
        self.room = None          # bytes that may still be written; None: no limit
        self.readonly = False
        self.ahead = {}           # per open file: (offset, bytes, window) of the last fetch

    # The state every operation looks at first.
    def check(self):
        with self.mutex:
            if not self.pulled and self.pull_at is not None and time.monotonic() >= self.pull_at:
                self.pulled, self.pull_at = self.pull_errno, None
            if not self.pulled and self.pull_ops is not None:
                if self.pull_ops <= 0:
                    self.pulled, self.pull_ops = self.pull_errno, None
                else:
                    self.pull_ops -= 1
            if self.pulled:
                raise FuseOSError(self.pulled)

    def change(self):
        self.check()
        if self.readonly:
            raise FuseOSError(errno.EROFS)

    def command(self, words):
        name, args = words[0], words[1:]
        with self.mutex:
            if name == 'pull':
                code = getattr(errno, args[0])
                if len(args) == 1:
                    self.pulled = code
                elif args[1] == 'ms':
                    self.pull_errno, self.pull_at = code, time.monotonic() + int(args[2]) / 1000
                elif args[1] == 'ops':
                    self.pull_errno, self.pull_ops = code, int(args[2])
                else:
                    raise ValueError(words)
            elif name == 'back':
                self.pulled, self.pull_at, self.pull_ops = 0, None, None
                self.bps, self.delay, self.room, self.readonly = 0, 0.0, None, False
                self.slow_suffix = ''
            elif name == 'throttle':
                self.bps, self.delay = int(args[0]), int(args[1]) / 1000
                self.slow_suffix = args[2] if len(args) > 2 else ''
            elif name == 'full':
                self.room = int(args[0])
            elif name == 'readonly':
                self.readonly = args[0] == 'on'
            else:
                raise ValueError(words)

    def wait(self, path, size):
        with self.mutex:
            if not path.endswith(self.slow_suffix):
                return
            seconds = self.delay + (size / self.bps if self.bps else 0)
        if seconds > 0:
            time.sleep(seconds)

    def real(self, path):
        return os.path.join(self.root, path.lstrip('/'))

    # What the card holds.
    def getattr(self, path, fh=None):
        self.check()
        st = os.lstat(self.real(path)) if fh is None else os.fstat(fh)
        found = {key: getattr(st, key) for key in (
            'st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size', 'st_blocks')}
        for key in ('st_atime', 'st_mtime', 'st_ctime'):
            found[key] = getattr(st, key + '_ns')
        return found

    def access(self, path, mode):
        self.check()
        if mode & os.W_OK and self.readonly:
            raise FuseOSError(errno.EROFS)
        if not os.access(self.real(path), mode):
            raise FuseOSError(errno.EACCES)

    def readdir(self, path, fh):
        self.check()
        with self.reader:
            self.wait(path + '/', 0)
        self.check()
        return ['.', '..'] + os.listdir(self.real(path))

    def statfs(self, path):
        self.check()
        st = os.statvfs(self.real(path))
        found = {key: getattr(st, key) for key in (
            'f_bsize', 'f_frsize', 'f_blocks', 'f_bfree', 'f_bavail', 'f_files', 'f_ffree',
            'f_favail', 'f_flag', 'f_namemax')}
        if self.room is not None:
            found['f_bfree'] = found['f_bavail'] = self.room // max(1, st.f_frsize)
        return found

    # Reading.
    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR | os.O_TRUNC):
            self.change()
        else:
            self.check()
        return os.open(self.real(path), flags)

    def read(self, path, size, offset, fh):
        self.check()
        with self.reader:
            start, data, window = self.ahead.get(fh, (0, b'', 0))
            if not (start <= offset and offset + size <= start + len(data)):
                onward = start <= offset <= start + len(data)
                window = min(2 * window, MAX_AHEAD) if onward else MIN_AHEAD
                fetch = max(size, window)
                self.wait(path, fetch)
                if TRACE:
                    sys.stderr.write('faultycard: read %s at %d, %d bytes\n' % (path, offset, fetch))
                self.check()  # pulled while the read was under way
                start, data = offset, os.pread(fh, fetch, offset)
                self.ahead[fh] = (start, data, window)
            return data[offset - start:offset - start + size]

    def flush(self, path, fh):
        self.check()

    def release(self, path, fh):
        with self.reader:
            self.ahead.pop(fh, None)
        os.close(fh)  # the handle goes whatever the card does

    def fsync(self, path, datasync, fh):
        self.check()
        (os.fdatasync if datasync else os.fsync)(fh)

    # Writing.
    def create(self, path, mode, fi=None):
        self.change()
        return os.open(self.real(path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)

    def write(self, path, data, offset, fh):
        self.change()
        with self.mutex:
            if self.room is not None:
                if self.room <= 0:
                    raise FuseOSError(errno.ENOSPC)
                data = data[:self.room]
                self.room -= len(data)
        self.wait(path, len(data))
        self.ahead.clear()  # nothing fetched before may be served after a change
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        self.change()
        self.ahead.clear()
        if fh is None:
            os.truncate(self.real(path), length)
        else:
            os.ftruncate(fh, length)

    def unlink(self, path):
        self.change()
        os.unlink(self.real(path))

    def rename(self, old, new):
        self.change()
        self.ahead.clear()
        os.rename(self.real(old), self.real(new))

    def mkdir(self, path, mode):
        self.change()
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        self.change()
        os.rmdir(self.real(path))

    def chmod(self, path, mode):
        self.change()
        os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        self.change()
        os.chown(self.real(path), uid, gid)

    def utimens(self, path, times=None):
        self.change()
        os.utime(self.real(path), ns=times)

    def init(self, path):
        print('ready', flush=True)


def serve_commands(card):
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        try:
            card.command(words)
            print('ok', flush=True)
        except (ValueError, IndexError, AttributeError) as error:
            print('error', error, flush=True)
    # The test is gone: unmount (libfuse does on this signal) and end.
    os.kill(os.getpid(), signal.SIGTERM)


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: faultycard.py SOURCE MOUNTPOINT')
    card = FaultyCard(sys.argv[1])
    threading.Thread(target=serve_commands, args=(card,), daemon=True).start()
    FUSE(card, sys.argv[2], foreground=True, nothreads=False, fsname='faultycard',
         direct_io=True, attr_timeout=0, entry_timeout=0, negative_timeout=0)


if __name__ == '__main__':
    main()
