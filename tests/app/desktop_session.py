"""A throw-away X display with accessibility, and the means to act on it as a user does."""

import ctypes
import os
import select
import signal
import struct
import subprocess
import time
import zlib

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

TIMEOUT = 30.0
PR_SET_PDEATHSIG = 1


def wait_for(what, probe, timeout=TIMEOUT):
    """Polls `probe` until it returns something truthy; fails after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


def read_line(pipe, what):
    """One line from a pipe that a starting server writes to when it is ready."""
    line = b""
    deadline = time.monotonic() + TIMEOUT
    while not line.endswith(b"\n"):
        if not select.select([pipe], [], [], max(0.0, deadline - time.monotonic()))[0]:
            raise AssertionError(f"{what} did not start")
        chunk = os.read(pipe, 256)
        if not chunk:
            raise AssertionError(f"{what} ended before it was ready")
        line += chunk
    os.close(pipe)
    return line.decode().strip()


def end_with_parent():
    """Makes a server die with the test, even when the test itself is killed."""
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def start_server(command, what, env=None):
    """Starts a server that writes its address to a descriptor given on its command line."""
    ready, tell = os.pipe()
    server = subprocess.Popen([part.replace("{fd}", str(tell)) for part in command],
                              pass_fds=[tell], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, preexec_fn=end_with_parent)
    os.close(tell)
    try:
        return server, read_line(ready, what)
    except AssertionError:
        server.kill()
        server.wait()
        raise


class Display:
    """An Xvfb server whose screen is mirrored to a file, with a session bus of its own.

    The desktop's accessibility launcher, started through that bus, keeps its socket in the
    session's runtime folder, so tests running side by side never share an accessibility bus."""

    def __init__(self, folder):
        self.framebuffer = os.path.join(folder, "Xvfb_screen0")
        self.runtime = os.path.join(folder, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.servers = []
        try:
            xvfb, number = start_server(
                ["Xvfb", "-displayfd", "{fd}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 "-noreset", "-fbdir", folder], "Xvfb")
            self.servers.append(xvfb)
            self.name = ":" + number
            self.env = dict(os.environ, DISPLAY=self.name, XDG_RUNTIME_DIR=self.runtime)
            bus, self.bus_address = start_server(
                ["dbus-daemon", "--session", "--nofork", "--print-address={fd}",
                 "--address=unix:path=" + os.path.join(folder, "session-bus")],
                "the session bus", env=self.env)
            self.servers.append(bus)
            self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
            # This process's own accessibility client finds the bus through the same session.
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
            enable_accessibility(self.bus_address)
        except BaseException:
            self.close()
            raise

    def close(self):
        for server in reversed(self.servers):
            server.terminate()
            server.wait()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=self.env)

    def click(self, element):
        box = element.get_extents(Atspi.CoordType.SCREEN)
        self.xdotool("mousemove", "--sync", str(box.x + box.width // 2),
                     str(box.y + box.height // 2), "click", "1")

    def screenshot(self, box):
        """The pixels of `box` (screen coordinates) as rows of (r, g, b) tuples."""
        with open(self.framebuffer, "rb") as f:
            data = f.read()
        order = ">" if struct.unpack(">I", data[4:8])[0] == 7 else "<"
        fields = struct.unpack(order + "25I", data[:100])
        header_size, width, bytes_per_line, colours = fields[0], fields[4], fields[12], fields[19]
        if fields[11] != 32:
            raise AssertionError("expected a 32-bit framebuffer")
        pixels = data[header_size + 12 * colours:]
        pixel = "<I" if fields[7] == 0 else ">I"  # the image's own byte order
        masks = fields[14:17]
        shifts = [(m & -m).bit_length() - 1 for m in masks]
        rows = []
        for y in range(box.y, box.y + box.height):
            row = []
            for x in range(box.x, min(box.x + box.width, width)):
                value = struct.unpack_from(pixel, pixels, y * bytes_per_line + 4 * x)[0]
                row.append(tuple((value & m) >> s for m, s in zip(masks, shifts)))
            rows.append(row)
        return rows


def write_png(path, rows):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def enable_accessibility(bus_address):
    """Turns accessibility on for the session, as a desktop does when a screen reader runs."""
    bus = Gio.DBusConnection.new_for_address_sync(
        bus_address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled",
                                         GLib.Variant("b", True))),
                  None, Gio.DBusCallFlags.NONE, int(TIMEOUT * 1000), None)
    bus.close_sync(None)


def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        child = desktop.get_child_at_index(i)
        if child is not None and child.get_process_id() == pid:
            return child
    return None


def descendants(element):
    for i in range(element.get_child_count()):
        child = element.get_child_at_index(i)
        if child is not None:
            yield child
            yield from descendants(child)


def find(root, role, name=None):
    """The first element below `root` with this role (and name, when given), or None."""
    for element in descendants(root):
        if element.get_role_name() == role and (name is None or element.get_name() == name):
            return element
    return None


def has_state(element, state):
    return element.get_state_set().contains(state)


def text_of(element):
    return element.get_text(0, -1)
