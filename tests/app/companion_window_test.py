"""Drives the real companion app under Xvfb as a user does: click, type, press, read the screen.
What each action decides, ConnectionFlowTest checks; here only that the window carries it out:
an ID entered by hand is remembered, and after a Disconnect the app connects no more by itself."""

import argparse
import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

READY, REMOVED = "You’re ready.", "Browser registration removed."
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


def find(root, role, words=""):
    return next((e for e in descendants(root)
                 if e.get_role_name() == role and words in e.get_name()), None)


class Session:
    """A temporary home with the app installed in ~/.local, an Xvfb display and a session bus of
    its own: tests side by side never share an accessibility bus."""

    def __init__(self):
        self.process, self.servers = None, []
        self.folder = tempfile.mkdtemp(prefix="quelvar-app-test-")
        self.home = os.path.join(self.folder, "home")
        self.libexec = os.path.join(self.home, ".local", "libexec", "quelvar")
        os.makedirs(self.libexec)
        os.makedirs(os.path.join(self.home, ".local", "bin"))
        for helper in ("QuelvarHost", "QuelvarSpeech"):
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
                 "-noreset"], "Xvfb")
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

    def launch(self, app_binary):
        # A copy, not a link: the app finds its prefix from its own resolved path.
        app = shutil.copy2(app_binary, os.path.join(self.home, ".local", "bin", "QuelvarApp"))
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home,
               "LANG": "C.UTF-8", **{k: self.env[k] for k in
                                    ("DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS")}}
        with open(self.log, "a") as log:
            self.process = subprocess.Popen([app], env=env, stdout=log, stderr=log)
        app_element = wait_for("the app on the accessibility bus", self.application)
        # Labels change while we watch; never answer from a stale cache.
        app_element.set_cache_mask(Atspi.Cache.NONE)
        self.window = wait_for("the window", lambda: find(app_element, "frame"))
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

    def notice(self, text):
        wait_for(f"the notice {text!r}", lambda: find(self.window, "label", text))

    def quit(self):
        self.xdotool("key", "ctrl+q")
        wait_for("the app to quit", lambda: self.process.poll() is not None)
        assert self.process.returncode == 0, self.process.returncode

    def __enter__(self):
        return self

    def __exit__(self, failure, *_):
        if failure and self.process:
            with open(self.log, errors="replace") as f:
                sys.stderr.write(f"the app's output:\n{f.read()}")
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for server in reversed(self.servers):
            server.terminate()
            server.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--preview", required=True, help="a build without an extension ID")
    parser.add_argument("--built-in", required=True, help="a build with an extension ID")
    args = parser.parse_args()
    with Session() as session:
        # The preview build asks for the ID: typed and entered, it connects and is remembered.
        session.launch(args.preview)
        field = wait_for("the ID field", session.field)
        session.click(field)
        wait_for("focus in the ID field",
                 lambda: field.get_state_set().contains(Atspi.StateType.FOCUSED))
        session.xdotool("type", "--delay", "5", EXTENSION_ID)
        wait_for("the typed ID", lambda: field.get_text(0, -1) == EXTENSION_ID)
        session.xdotool("key", "Return")  # the same as "Connect extension"
        session.notice(READY)
        wait_for("the connected status", lambda: session.status() == CONNECTED)
        session.quit()
        session.launch(args.preview)  # the ID entered is remembered
        wait_for("the stored ID",
                 lambda: session.field() and session.field().get_text(0, -1) == EXTENSION_ID)
        session.quit()

        # A build with its own ID connects by itself, and after a Disconnect no more.
        session.launch(args.built_in)
        session.notice(READY)
        session.click(wait_for("Disconnect", lambda: find(session.window, "push button",
                                                          "Disconnect")))
        session.notice(REMOVED)
        session.quit()
        session.launch(args.built_in)
        assert session.status() == UNCONNECTED and os.listdir(session.manifests) == []
        session.quit()
    print("passed")


if __name__ == "__main__":
    sys.exit(main())
