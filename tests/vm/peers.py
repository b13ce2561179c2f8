"""The host's ends of the guest's serial lines. Each is written here, apart from the program
under test, and counts what it receives itself: a reader that takes bytes at a line rate and
holds XOFF at given points, and a model of a cutter with a buffer that it works off."""

import math
import os
import select
import termios
import threading
import time
import tty

XOFF, XON = b"\x13", b"\x11"


class LineReader:
    """Reads at `rate` bytes a second (None: as fast as they come) and, on reaching each
    byte count in `holds`, sends XOFF, holds the line for the given seconds, then sends XON."""

    def __init__(self, rate=None, holds=()):
        self.rate = rate
        self.holds = sorted(holds)
        self.taken = 0
        self.credit = 0.0
        self.last = None
        self.held_until = None
        self.held = []  # (byte count, seconds the line was held)

    def allowance(self, now):
        if self.held_until is not None:
            if now < self.held_until:
                return 0, b""
            self.held_until = None
            self.last = now
            return self._limit(now), XON
        if self.holds and self.taken >= self.holds[0][0]:
            at, seconds = self.holds.pop(0)
            self.held.append((self.taken, seconds))
            self.held_until = now + seconds
            return 0, XOFF
        return self._limit(now), b""

    def _limit(self, now):
        allowed = math.inf
        if self.rate is not None:
            if self.last is not None:
                # A burst of at most a tenth of a second, as a line delivers it.
                self.credit = min(self.credit + (now - self.last) * self.rate, self.rate / 10)
            self.last = now
            allowed = int(self.credit)
        if self.holds:
            allowed = min(allowed, self.holds[0][0] - self.taken)
        return allowed

    def took(self, count, now):
        self.taken += count
        if self.rate is not None:
            self.credit -= count

    def release(self):
        """The line left free when the scenario ends: XON if XOFF is still in force."""
        return XON if self.held_until is not None else b""

    def describe(self):
        return ", ".join(f"held {seconds:g} s at byte {at}" for at, seconds in self.held)


class CutterModel:
    """A cutter with a buffer of `size` bytes that it works off at `work_rate` bytes a second:
    XOFF when the byte that fills it to `xoff_at` arrives, XON when it has come down to
    `xon_at`. What arrives after XOFF, it takes, as a line delivers what is on its way;
    bytes that find the buffer full are counted as overrun. QEMU's UART has no line rate and
    the pty holds some 20 KB, so more runs on after XOFF here than on a real line: the
    overrun is reported, not judged."""

    def __init__(self, size=4096, xoff_at=3072, xon_at=1024, work_rate=1000):
        self.size, self.xoff_at, self.xon_at, self.work_rate = size, xoff_at, xon_at, work_rate
        self.fill = 0.0
        self.last = None
        self.stopped = False
        self.overrun = 0
        self.most = 0
        self.xoffs = 0

    def _work(self, now):
        if self.last is not None:
            self.fill = max(0.0, self.fill - (now - self.last) * self.work_rate)
        self.last = now

    def allowance(self, now):
        self._work(now)
        if self.stopped and self.fill <= self.xon_at:
            self.stopped = False
            return self._to_xoff(), XON
        return (math.inf if self.stopped else self._to_xoff()), b""

    def _to_xoff(self):
        return max(1, math.ceil(self.xoff_at - self.fill))

    def took(self, count, now):
        self._work(now)
        room = self.size - self.fill
        self.overrun += max(0, count - int(room))
        self.fill = min(self.size, self.fill + count)
        self.most = max(self.most, int(self.fill))
        if not self.stopped and self.fill >= self.xoff_at:
            self.stopped = True
            self.xoffs += 1
            os.write(self.fd, XOFF)

    def release(self):
        return XON if self.stopped else b""

    def describe(self):
        return f"XOFF {self.xoffs} times, buffer at most {self.most} bytes, overrun {self.overrun} bytes"


class Aside:
    """Leaves the line to another reader of the pty, such as the virtual cutter."""

    def allowance(self, now):
        return 0, b""

    def release(self):
        return b""

    def describe(self):
        return ""


class Peer(threading.Thread):
    """Holds the host side of a pty open for the whole boot (QEMU drops what it sends to a
    pty that nobody holds) and reads everything; between scenarios it reads freely."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        termios.tcflush(self.fd, termios.TCIOFLUSH)
        self.lock = threading.Lock()
        self.behaviour = None
        self.data = bytearray()
        self.last_byte = time.monotonic()
        self.stopping = threading.Event()
        self.start()

    def begin(self, behaviour):
        with self.lock:
            behaviour.fd = self.fd
            self.behaviour = behaviour
            self.data = bytearray()

    def received(self):
        with self.lock:
            return len(self.data)

    def end(self, quiet=1.0):
        """Takes the rest the pty holds (read freely, until nothing came for `quiet` seconds) and
        returns what the scenario received."""
        with self.lock:
            behaviour, self.behaviour = self.behaviour, None
            if behaviour is not None:
                os.write(self.fd, behaviour.release())
            self.last_byte = time.monotonic()
        while time.monotonic() - self.last_byte < quiet:
            time.sleep(0.05)
        with self.lock:
            data, self.data = bytes(self.data), bytearray()
        return data

    def run(self):
        while not self.stopping.is_set():
            now = time.monotonic()
            with self.lock:
                allowed, control = self.behaviour.allowance(now) if self.behaviour else (math.inf, b"")
                if control:
                    os.write(self.fd, control)
            if allowed <= 0:
                time.sleep(0.01)
                continue
            readable, _, _ = select.select([self.fd], [], [], 0.01)
            if not readable:
                continue
            try:
                chunk = os.read(self.fd, 4096 if allowed == math.inf else min(allowed, 4096))
            except (BlockingIOError, OSError):
                time.sleep(0.01)
                continue
            with self.lock:
                now = time.monotonic()
                self.data += chunk
                self.last_byte = now
                if self.behaviour:
                    self.behaviour.took(len(chunk), now)

    def close(self):
        self.stopping.set()
        self.join()
        os.close(self.fd)
