#!/usr/bin/env python3
"""Virtual serial scales for the Wine bench: one Linux pseudo-terminal per port, linked at
<dir>/COMn (the path Wine's port mapping names), each speaking one scale protocol.

    vserial.py DIR [--port N] COM5=nci COM6=sma ...

Protocols: nci, nci-s (status lines prefixed by S, units upper case), sma, 8217, sics,
line (ST,GS,+0001.25lb), toledo (18-byte continuous frames) and silent. Polled ones answer
their poll after the pace (ms, default 0); streaming ones send a frame every pace (default 100)
and at once when the reading changes. Everything a port receives is recorded.

Control: TCP on 127.0.0.1 (N, default 18470, another free one when taken; the port in use is
written to DIR/port). One command line in, one answer line out ("ok", a value, "error ..."):
    ports                         COM5=nci COM6=sma ...
    proto COMn NAME               speak another protocol
    set COMn STATUS WEIGHT UNIT   stable|motion|zero|under|over|uninit|error, "1.25", lb|kg|g|oz
    pace COMn MS
    rx COMn                       the bytes received since the last clear, as hex
    clear COMn
    raw COMn HEX                  send these bytes now
    half COMn WEIGHT              the next answer or frame: the first half of one for WEIGHT
    unplug COMn | plug COMn       close the pty and remove the link | a new pty, the same link
    state COMn                    protocol status weight unit pace frames plugged
"""
import errno
import fcntl
import heapq
import os
import selectors
import socket
import sys
import termios
import time
import tty

STATUSES = ('stable', 'motion', 'zero', 'under', 'over', 'uninit', 'error')
UNITS = ('lb', 'kg', 'g', 'oz')
PROTOCOLS = ('nci', 'nci-s', 'sma', '8217', 'sics', 'line', 'toledo', 'silent')
STREAMING = ('line', 'toledo')
BACKLOG = 512  # bytes nobody reads: dropped, as an unopened port drops them


def split(weight):
    """'-1.25' -> ('-', '1.25', 2)"""
    sign = '-' if weight.startswith('-') else ''
    body = weight.lstrip('+-')
    return sign, body, len(body.partition('.')[2])


def padded(weight, width):
    sign, body, _ = split(weight)
    return sign + body.rjust(width - len(sign), '0')


# ---- frames: what each protocol sends for a reading ---------------------------------------------

def nci(r, s_variant):
    bits = {'motion': '10', 'zero': '20', 'under': '01', 'over': '02', 'uninit': '004', 'error': '40'}
    status = ('S' if s_variant else '') + bits.get(r.status, '00')
    fill = {'over': '^', 'under': '_', 'uninit': '-', 'error': '-'}.get(r.status)
    if s_variant and r.status not in ('stable', 'zero'):
        return '\n%s\r\x03' % status  # the variant sends only the status line then
    unit = r.unit.upper() if s_variant else r.unit
    field = fill * 6 if fill else padded(r.weight, 6)
    return '\n%s%s\r\n%s\r\x03' % (field, unit, status)


def sma(r):
    s = {'zero': 'Z', 'over': 'O', 'under': 'U', 'uninit': 'I', 'error': 'E'}.get(r.status, ' ')
    field = '-' * 10 if s in ('I', 'E') else r.weight.rjust(10)
    return '\n%s1G%s %s%s\r' % (s, 'M' if r.status == 'motion' else ' ', field, r.unit.ljust(3))


def status8217(r):
    bits = {'motion': 1, 'over': 2, 'under': 4, 'uninit': 8, 'error': 8, 'zero': 16}
    return chr(0x40 | bits.get(r.status, 0))


def mt8217(r):
    if r.status in ('stable', 'zero'):
        _, _, decimals = split(r.weight)
        return '\x02%s\r' % padded(r.weight, decimals + 3 if decimals else 3)
    return '\x02?%s\r' % status8217(r)


def sics(r):
    head = {'motion': 'S D', 'over': 'S +', 'under': 'S -', 'uninit': 'S I', 'error': 'S I'}.get(r.status, 'S S')
    return (head if head in ('S +', 'S -', 'S I') else '%s %10s %s' % (head, r.weight, r.unit)) + '\r\n'


def line(r):
    head = {'motion': 'US', 'over': 'OL', 'under': 'OL', 'uninit': 'OL', 'error': 'OL'}.get(r.status, 'ST')
    sign, body, _ = split(r.weight)
    return '%s,GS,%s%s%s\r\n' % (head, sign or '+', body.rjust(7, '0'), r.unit.rjust(2))


def toledo(r):
    sign, body, decimals = split(r.weight)
    swa = 0x20 | 0x08 | min(decimals + 2, 7)  # decimal position code, increment x1
    swb = 0x20 | (0x02 if sign else 0) | (0x08 if r.status == 'motion' else 0) | (0x10 if r.unit in ('kg', 'g') else 0)
    swb |= 0x04 if r.status in ('over', 'under', 'uninit', 'error') else 0
    frame = '\x02%c%c%c%s000000\r' % (swa, swb, 0x20, body.replace('.', '').rjust(6, '0')[-6:])
    return frame + chr(-sum(frame.encode()) & 0x7F)


def frame(proto, r):
    return {'nci': lambda: nci(r, False), 'nci-s': lambda: nci(r, True), 'sma': lambda: sma(r),
            '8217': lambda: mt8217(r), 'sics': lambda: sics(r), 'line': lambda: line(r),
            'toledo': lambda: toledo(r)}.get(proto, lambda: '')()


class Reading:
    def __init__(self, status='stable', weight='0.00', unit='lb'):
        self.status, self.weight, self.unit = status, weight, unit

    def zeroed(self):
        _, _, decimals = split(self.weight)
        return Reading('zero', '0.' + '0' * decimals if decimals else '0', self.unit)


# ---- a port ----------------------------------------------------------------------------------------

class Port:
    def __init__(self, daemon, name, proto):
        self.daemon, self.name, self.proto = daemon, name, proto
        self.link = os.path.join(daemon.dir, name)
        self.reading = Reading()
        self.pace = 100 if proto in STREAMING else 0
        self.rx = bytearray()
        self.inbuf = ''
        self.half = None
        self.frames = 0
        self.master = self.slave = None
        self.generation = 0  # timers of an unplugged pty die with it

    def plug(self):
        if self.master is not None:
            return
        self.master, self.slave = os.openpty()
        # Raw from the start: a cooked slave would echo our frames back to us as received bytes.
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        tmp = self.link + '.new'
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(os.ttyname(self.slave), tmp)
        os.replace(tmp, self.link)
        self.generation += 1
        self.daemon.sel.register(self.master, selectors.EVENT_READ, self)
        if self.proto in STREAMING:
            self.daemon.at(0, self, self.stream)

    def unplug(self):
        if self.master is None:
            return
        self.daemon.sel.unregister(self.master)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.close(self.master)
        os.close(self.slave)
        self.master = self.slave = None
        self.generation += 1

    def send(self, data):
        if self.master is None:
            return
        try:
            queued = fcntl.ioctl(self.slave, termios.FIONREAD, b'\0\0\0\0')
            if int.from_bytes(queued, sys.byteorder) > BACKLOG:
                termios.tcflush(self.slave, termios.TCIFLUSH)
            os.write(self.master, data)
        except OSError as e:
            if e.errno not in (errno.EAGAIN, errno.EIO):
                raise

    def answer(self, text=None, delay=None):
        """Sends the current frame (or `text`) after the pace."""
        if text is None:
            r = self.reading
            text = frame(self.proto, r if self.half is None else Reading(r.status, self.half, r.unit))
            text = text if self.half is None else text[:len(text) // 2]
            self.half = None
            self.frames += 1
        self.daemon.at(self.pace / 1000.0 if delay is None else delay, self, lambda: self.send(text.encode('ascii')))

    def stream(self):
        if self.proto in STREAMING:
            self.answer(delay=0)
            self.daemon.at(max(self.pace, 5) / 1000.0, self, self.stream)

    def restream(self):
        self.generation += 1  # the old stream timer is dropped: a new reading goes out at once
        if self.master is not None and self.proto in STREAMING:
            self.stream()

    def zero(self):
        self.reading = self.reading.zeroed()

    def received(self, data):
        self.rx += data
        handler = {'nci': self.polled_nci, 'nci-s': self.polled_nci, 'sma': self.polled_sma,
                   '8217': self.polled_8217, 'sics': self.polled_sics}.get(self.proto)
        for byte in data:
            if handler:
                handler(chr(byte & 0x7F))

    # One letter and CR; unknown commands draw "LF ? CR ETX".
    def polled_nci(self, c):
        if c != '\r':
            self.inbuf = (self.inbuf + c)[-16:]
            return
        command, self.inbuf = self.inbuf.strip('\n '), ''
        if command == 'W':
            self.answer()
        elif command == 'Z':
            self.zero()
        elif command == 'S':
            self.answer('\n' + frame(self.proto, self.reading).rpartition('\n')[2])
        else:
            self.answer('\n?\r\x03')

    # LF, a letter, CR; what comes before an LF is not a command.
    def polled_sma(self, c):
        if c == '\n':
            self.inbuf = '\n'
        elif c == '\r' and self.inbuf.startswith('\n'):
            command, self.inbuf = self.inbuf[1:], ''
            if command == 'Z':
                self.zero()
            self.answer() if command in ('W', 'Z') else self.answer('\n?\r')
        elif self.inbuf:
            self.inbuf = (self.inbuf + c)[-16:]

    # Single letters without CR; a stray CR draws a status answer.
    def polled_8217(self, c):
        if c == 'W':
            self.answer()
        elif c == 'Z':
            self.zero()
        elif c in '\rS':
            self.answer('\x02?%s\r' % status8217(self.reading))

    # Commands end in CR LF; either ends one here, so that a stray CR before a command is harmless.
    def polled_sics(self, c):
        if c not in '\r\n':
            self.inbuf = (self.inbuf + c)[-32:]
            return
        command, self.inbuf = self.inbuf.strip(), ''
        if command == 'SI' or (command == 'S' and self.reading.status != 'motion'):
            self.answer()
        elif command == 'S':
            self.answer('S I\r\n')
        elif command == 'Z':
            self.zero()
            self.answer('Z A\r\n')
        elif command == '@':
            self.answer('I4 A "0123456789"\r\n')
        elif command:
            self.answer('ES\r\n')


# ---- the daemon -----------------------------------------------------------------------------------

class Daemon:
    def __init__(self, folder, ports):
        self.dir = folder
        self.sel = selectors.DefaultSelector()
        self.timers = []
        self.seq = 0
        self.ports = {name: Port(self, name, proto) for name, proto in ports}

    def at(self, delay, port, fn):
        self.seq += 1
        heapq.heappush(self.timers, (time.monotonic() + delay, self.seq, port, port.generation, fn))

    def listen(self, port):
        server = socket.socket()
        server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            server.bind(('127.0.0.1', port))
        except OSError:
            server.bind(('127.0.0.1', 0))  # another bench holds it
        server.listen(8)
        self.sel.register(server, selectors.EVENT_READ, 'accept')
        with open(os.path.join(self.dir, 'port.new'), 'w') as f:
            f.write('%d\n' % server.getsockname()[1])
        os.replace(os.path.join(self.dir, 'port.new'), os.path.join(self.dir, 'port'))
        return server

    def command(self, text):
        words = text.split()
        if not words:
            return 'error empty command'
        if words[0] == 'ports':
            return ' '.join('%s=%s' % (p.name, p.proto) for p in self.ports.values())
        port = self.ports.get(words[1].upper()) if len(words) > 1 else None
        if port is None:
            return 'error no such port'
        verb, args = words[0], words[2:]
        try:
            if verb == 'proto' and len(args) == 1 and args[0] in PROTOCOLS:
                port.proto, port.inbuf = args[0], ''
                port.restream()
            elif verb == 'set' and len(args) == 3 and args[0] in STATUSES and args[2] in UNITS:
                float(args[1])
                port.reading = Reading(*args)
                port.restream()
            elif verb == 'pace' and len(args) == 1:
                port.pace = max(0, int(args[0]))
            elif verb == 'rx' and not args:
                return port.rx.hex() or '-'
            elif verb == 'clear' and not args:
                port.rx.clear()
            elif verb == 'raw' and len(args) == 1:
                port.send(bytes.fromhex(args[0]))
            elif verb == 'half' and len(args) == 1:
                float(args[0])
                port.half = args[0]
            elif verb == 'unplug' and not args:
                port.unplug()
            elif verb == 'plug' and not args:
                port.plug()
            elif verb == 'state' and not args:
                r = port.reading
                return '%s %s %s %s %d %d %d' % (port.proto, r.status, r.weight, r.unit, port.pace, port.frames,
                                                 port.master is not None)
            else:
                return 'error bad command'
        except ValueError:
            return 'error bad number'
        return 'ok'

    def run(self, control_port):
        for port in self.ports.values():
            port.plug()
        self.listen(control_port)
        clients = {}
        while True:
            wait = max(0.0, self.timers[0][0] - time.monotonic()) if self.timers else None
            for key, _ in self.sel.select(wait):
                if key.data == 'accept':
                    conn, _ = key.fileobj.accept()
                    clients[conn] = b''
                    self.sel.register(conn, selectors.EVENT_READ, 'client')
                elif key.data == 'client':
                    conn = key.fileobj
                    data = conn.recv(4096)
                    if not data:
                        self.sel.unregister(conn)
                        conn.close()
                        del clients[conn]
                        continue
                    clients[conn] += data
                    while b'\n' in clients[conn]:
                        text, clients[conn] = clients[conn].split(b'\n', 1)
                        conn.sendall((self.command(text.decode('ascii', 'replace')) + '\n').encode())
                else:
                    try:
                        data = os.read(key.fd, 4096)
                    except OSError:
                        data = b''
                    if data:
                        key.data.received(data)
            now = time.monotonic()
            while self.timers and self.timers[0][0] <= now:
                _, _, port, generation, fn = heapq.heappop(self.timers)
                if generation == port.generation and port.master is not None:
                    fn()


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder, control_port, ports = argv[1], 18470, []
    args = iter(argv[2:])
    for arg in args:
        if arg == '--port':
            control_port = int(next(args))
        else:
            name, _, proto = arg.partition('=')
            if proto not in PROTOCOLS:
                print('vserial: unknown protocol in %s' % arg, file=sys.stderr)
                return 2
            ports.append((name.upper(), proto))
    os.makedirs(folder, exist_ok=True)
    Daemon(folder, ports).run(control_port)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
