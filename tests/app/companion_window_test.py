"""Drives the real companion app under Xvfb as a user does: click, type, press, read the screen.
What each action decides, ConnectionFlowTest checks; here only that the window shows it."""

import argparse
import ctypes
import json
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

HOSTS = {"org.quelvar.host": "QuelvarHost", "org.quelvar.speech": "QuelvarSpeech"}
READY = ("You’re ready. You can quit this app. Translation works from Chrome, including after "
         "restarting your computer. Open the extension on a video tab to start.")
REMOVED = "Browser registration removed. Stop any current translation in the extension."
UNCONNECTED, CONNECTED = "Connect the Chrome extension", "Chrome connection configured"
EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
TIMEOUT = 30.0


def wait_for(what, probe):
    deadline = time.monotonic() + TIMEOUT
    while not (result := probe()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)
    return result


def start_server(command, what, env=None):
    """Starts a server that writes its address to the descriptor given on its command line, and
    that dies with this test even when the test itself is killed."""
    ready, tell = os.pipe()
    server = subprocess.Popen(
        [part.replace("{fd}", str(tell)) for part in command], pass_fds=[tell], env=env,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))  # PR_SET_PDEATHSIG
    os.close(tell)
    line = b""
    while not line.endswith(b"\n"):
        chunk = os.read(ready, 256) if select.select([ready], [], [], TIMEOUT)[0] else b""
        if not chunk:
            server.kill()
            server.wait()
            raise AssertionError(f"{what} did not start")
        line += chunk
    os.close(ready)
    return server, line.decode().strip()


def descendants(element):
    for i in range(element.get_child_count()):
        if (child := element.get_child_at_index(i)) is not None:
            yield child
            yield from descendants(child)


def find(root, role, name=None, contains=None):
    return next((e for e in descendants(root) if e.get_role_name() == role
                 and (name is None or e.get_name() == name)
                 and (contains is None or contains in e.get_name())), None)


def showing(element):
    return element.get_state_set().contains(Atspi.StateType.SHOWING)


def text_of(element):
    return element.get_text(0, -1)


def greenish(p):
    return p[1] > 90 and p[1] > p[0] + 40 and p[1] > p[2] + 40


class Session:
    """A temporary home with the app installed in ~/.local, an Xvfb display mirrored to a file,
    and a session bus of its own: tests side by side never share an accessibility bus."""

    def __init__(self, app_binary, name):
        self.name, self.process, self.servers = name, None, []
        self.folder = tempfile.mkdtemp(prefix="quelvar-app-test-")
        self.home = os.path.join(self.folder, "home")
        self.libexec = os.path.join(self.home, ".local", "libexec", "quelvar")
        os.makedirs(self.libexec)
        os.makedirs(os.path.join(self.home, ".local", "bin"))
        # A copy, not a link: the app finds its prefix from its own resolved path.
        self.app = shutil.copy2(app_binary, os.path.join(self.home, ".local", "bin", "QuelvarApp"))
        for helper in HOSTS.values():
            with open(os.path.join(self.libexec, helper), "w") as f:
                f.write("#!/bin/sh\nexit 0\n")
            os.chmod(os.path.join(self.libexec, helper), 0o755)
        self.manifests = os.path.join(self.home, ".config", "google-chrome", "NativeMessagingHosts")
        self.log = os.path.join(self.folder, "app.log")
        runtime = os.path.join(self.folder, "runtime")
        os.mkdir(runtime, 0o700)
        try:
            xvfb, number = start_server(
                ["Xvfb", "-displayfd", "{fd}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 "-noreset", "-fbdir", self.folder], "Xvfb")
            self.servers.append(xvfb)
            self.env = dict(os.environ, DISPLAY=":" + number, XDG_RUNTIME_DIR=runtime)
            bus, address = start_server(
                ["dbus-daemon", "--session", "--nofork", "--print-address={fd}",
                 "--address=unix:path=" + os.path.join(self.folder, "session-bus")],
                "the session bus", env=self.env)
            self.servers.append(bus)
            # Qt, and this process's own accessibility client, find the accessibility bus
            # through the session bus; accessibility is turned on as a screen reader would.
            self.env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
            connection = Gio.DBusConnection.new_for_address_sync(
                address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
            connection.call_sync(
                "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                None, Gio.DBusCallFlags.NONE, int(TIMEOUT * 1000), None)
            connection.close_sync(None)
        except BaseException:
            self.__exit__(None)
            raise

    def launch(self):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home,
               "LANG": "C.UTF-8", **{k: self.env[k] for k in
                                    ("DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS")}}
        with open(self.log, "a") as log:
            self.process = subprocess.Popen([self.app], env=env, stdout=log, stderr=log)
        self.app_element = wait_for("the app on the accessibility bus", self.application)
        # Labels change while we watch; never answer from a stale cache.
        self.app_element.set_cache_mask(Atspi.Cache.NONE)
        self.window = wait_for("the window", lambda: find(self.app_element, "frame", self.name))
        wait_for("the status line", self.status)

    def application(self):
        desktop = Atspi.get_desktop(0)
        return next((c for c in map(desktop.get_child_at_index, range(desktop.get_child_count()))
                     if c is not None and c.get_process_id() == self.process.pid), None)

    def status(self):
        return next((s for s in (UNCONNECTED, CONNECTED) if find(self.window, "label", s)), None)

    def field(self):
        return find(self.window, "text", "Chrome extension ID")

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=self.env)

    def click(self, element):
        box = element.get_extents(Atspi.CoordType.SCREEN)
        self.xdotool("mousemove", "--sync", str(box.x + box.width // 2),
                     str(box.y + box.height // 2), "click", "1")

    def press(self, title, root=None):
        self.click(wait_for(title, lambda: find(root or self.window, "push button", title)))

    def notice(self, text):
        return wait_for(f"the notice {text!r}", lambda: find(self.window, "label", text))

    def check_manifests(self, extension_id):
        """The app found its helpers from its own path and wrote both manifests for the ID."""
        assert sorted(os.listdir(self.manifests)) == sorted(f"{h}.json" for h in HOSTS)
        for name, helper in HOSTS.items():
            with open(os.path.join(self.manifests, f"{name}.json"), encoding="utf-8") as f:
                manifest = json.load(f)
            assert manifest["path"] == os.path.join(self.libexec, helper), manifest
            assert manifest["allowed_origins"] == [f"chrome-extension://{extension_id}/"]

    def screenshot(self, element):
        """The element's pixels as rows of (r, g, b), from Xvfb's framebuffer (an XWD image)."""
        box = element.get_extents(Atspi.CoordType.SCREEN)
        with open(os.path.join(self.folder, "Xvfb_screen0"), "rb") as f:
            data = f.read()
        order = ">" if struct.unpack(">I", data[4:8])[0] == 7 else "<"
        fields = struct.unpack(order + "25I", data[:100])
        header, width, per_line, colours, masks = (fields[0], fields[4], fields[12], fields[19],
                                                   fields[14:17])
        assert fields[11] == 32, "expected a 32-bit framebuffer"
        pixels = data[header + 12 * colours:]
        row = f"{'<' if fields[7] == 0 else '>'}{min(box.width, width - box.x)}I"  # its byte order
        shifts = [(m & -m).bit_length() - 1 for m in masks]
        return [[tuple((value & m) >> s for m, s in zip(masks, shifts))
                 for value in struct.unpack_from(row, pixels, y * per_line + 4 * box.x)]
                for y in range(box.y, box.y + box.height)]

    def save_picture(self, element, folder, name):
        if not folder:
            return
        # No pointer in the picture (a move to where it already is would never end: --sync).
        self.xdotool("mousemove", "--sync", "0", "0")
        rows = self.screenshot(element)
        raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            size = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", size)
                    + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

    def quit(self):
        self.xdotool("key", "ctrl+q")
        wait_for("the app to quit", lambda: self.process.poll() is not None)
        assert self.process.returncode == 0, self.process.returncode

    def __enter__(self):
        return self

    def __exit__(self, failure, *_):
        if failure and self.process:
            state = self.process.poll()
            print(f"app {'running' if state is None else f'ended with {state}'}; its output:",
                  file=sys.stderr)
            with open(self.log, errors="replace") as f:
                sys.stderr.write(f.read())
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for server in reversed(self.servers):
            server.terminate()
            server.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def connect(args):
    with Session(args.app, "Quelvar") as session:
        # Chromium has been used here: the window names it once connected.
        os.makedirs(os.path.join(session.home, ".config", "chromium"))
        session.launch()
        assert session.status() == UNCONNECTED
        field = wait_for("the ID field", session.field)
        session.click(field)
        wait_for("focus in the ID field",
                 lambda: field.get_state_set().contains(Atspi.StateType.FOCUSED))
        session.xdotool("type", "--delay", "5", EXTENSION_ID)
        wait_for("the typed ID", lambda: text_of(field) == EXTENSION_ID)
        session.xdotool("key", "Return")  # the same as "Connect extension"
        session.notice(READY)
        wait_for("the green status", lambda: session.status() == CONNECTED)
        session.check_manifests(EXTENSION_ID)
        assert find(session.window, "push button", "Reconnect extension")
        assert find(session.window, "label", "Connected in Chromium, Google Chrome")
        status = find(session.window, "label", CONNECTED)
        wait_for("green pixels in the status line",
                 lambda: any(greenish(p) for row in session.screenshot(status) for p in row))
        session.save_picture(session.window, args.screenshots, "companion-window.png")

        # The languages window lists this machine's languages (the project's dependencies install
        # the English-Spanish pair and the US English model) and copies a package's command.
        session.press("Open Language & Region")
        languages = wait_for("the languages window",
                             lambda: find(session.app_element, "dialog", "Languages"))
        wait_for("the installed directions",
                 lambda: find(languages, "label", contains="English → Spanish"))
        assert find(languages, "label", contains="English (United States)")
        session.press("Copy", languages)
        wait_for("the copied command", lambda: find(languages, "push button", "Copied"))
        session.save_picture(languages, args.screenshots, "languages-window.png")
        session.xdotool("key", "Escape")
        wait_for("the languages window to close", lambda: not showing(languages))

        session.press("Disconnect")
        session.notice(REMOVED)
        wait_for("the status to reset", lambda: session.status() == UNCONNECTED)
        assert os.listdir(session.manifests) == []
        connected_line = find(session.window, "label", contains="Connected in ")
        assert connected_line is None or not showing(connected_line)
        session.quit()

        # The stored ID fills the field on the next launch.
        session.launch()
        wait_for("the stored ID",
                 lambda: session.field() and text_of(session.field()) == EXTENSION_ID)
        session.quit()


def automatic(args):
    with Session(args.app, args.name) as session:
        session.launch()
        session.notice(READY)
        assert session.status() == CONNECTED and session.field() is None
        session.check_manifests(args.built_in_id)
        session.press("Disconnect")
        session.notice(REMOVED)
        session.quit()

        # Disconnected by hand: no automatic connection until the user connects again.
        session.launch()
        assert session.status() == UNCONNECTED and os.listdir(session.manifests) == []
        session.press("Connect extension")
        session.notice(READY)
        session.check_manifests(args.built_in_id)
        session.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=["connect", "automatic"])
    parser.add_argument("--app", required=True)
    parser.add_argument("--screenshots", help="a folder for pictures of the windows")
    parser.add_argument("--name", help="the build's display name")
    parser.add_argument("--built-in-id", help="the build's extension ID")
    args = parser.parse_args()
    {"connect": connect, "automatic": automatic}[args.scenario](args)
    print(f"{args.scenario}: passed")


if __name__ == "__main__":
    sys.exit(main())
