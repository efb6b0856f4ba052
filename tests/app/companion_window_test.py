"""Drives the real companion app under Xvfb as a user does: click, type, press, read the screen."""

import argparse
import configparser
import json
import os
import shutil
import subprocess
import sys
import tempfile

from desktop_session import (Atspi, Display, application, descendants, find, has_state, text_of,
                             wait_for, write_png)

EXTENSION_ID = "abcdefghijklmnopabcdefghijklmnop"
HOSTS = {"org.quelvar.host": "QuelvarHost", "org.quelvar.speech": "QuelvarSpeech"}
READY = ("You’re ready. You can quit this app. Translation works from Chrome, including after "
         "restarting your computer. Open the extension on a video tab to start.")
REMOVED = "Browser registration removed. Stop any current translation in the extension."
INVALID_ID = "Enter the 32-letter extension ID shown in Chrome's extension details."
MODES = "/usr/share/apertium/modes"


def greenish(p):
    return p[1] > 90 and p[1] > p[0] + 40 and p[1] > p[2] + 40


def reddish(p):
    return p[0] > 150 and p[0] > p[1] + 80 and p[0] > p[2] + 80


class Session:
    """One temporary home, one display and the app installed in ~/.local."""

    def __init__(self, app_binary, name="Quelvar"):
        self.name = name
        self.folder = tempfile.mkdtemp(prefix="quelvar-app-test-")
        self.home = os.path.join(self.folder, "home")
        self.prefix = os.path.join(self.home, ".local")
        os.makedirs(os.path.join(self.prefix, "bin"))
        os.makedirs(os.path.join(self.prefix, "libexec", "quelvar"))
        # A copy, not a link: the app finds its prefix from its own resolved path.
        shutil.copy2(app_binary, os.path.join(self.prefix, "bin", "QuelvarApp"))
        for helper in HOSTS.values():
            path = self.helper(helper)
            with open(path, "w") as f:
                f.write("#!/bin/sh\nexit 0\n")
            os.chmod(path, 0o755)
        self.log = os.path.join(self.folder, "app.log")
        try:
            self.display = Display(self.folder)
        except BaseException:
            shutil.rmtree(self.folder, ignore_errors=True)
            raise
        self.process = None

    def helper(self, name):
        return os.path.join(self.prefix, "libexec", "quelvar", name)

    @property
    def manifests(self):
        return os.path.join(self.home, ".config", "google-chrome", "NativeMessagingHosts")

    def settings(self):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(os.path.join(self.home, ".config", "Quelvar", "Quelvar.conf"))
        return dict(parser["General"]) if parser.has_section("General") else {}

    def launch(self):
        # Qt finds the accessibility bus through the session bus.
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home,
               "DISPLAY": self.display.name, "XDG_RUNTIME_DIR": self.display.runtime,
               "DBUS_SESSION_BUS_ADDRESS": self.display.bus_address, "LANG": "C.UTF-8"}
        with open(self.log, "a") as log:
            self.process = subprocess.Popen([os.path.join(self.prefix, "bin", "QuelvarApp")],
                                            env=env, stdout=log, stderr=log)
        app = wait_for("the app on the accessibility bus", lambda: application(self.process.pid))
        # Labels change while we watch; never answer from a stale cache.
        app.set_cache_mask(Atspi.Cache.NONE)
        self.window = wait_for("the window", lambda: find(app, "frame", self.name))
        wait_for("the status line", self.status)

    @property
    def field(self):
        return find(self.window, "text", "Chrome extension ID")

    def status(self):
        for name in ("Connect the Chrome extension", "Chrome connection configured"):
            if find(self.window, "label", name):
                return name
        return None

    def enter_id(self, text):
        field = wait_for("the ID field", lambda: self.field)
        self.display.click(field)
        wait_for("focus in the ID field", lambda: has_state(field, Atspi.StateType.FOCUSED))
        self.display.xdotool("key", "ctrl+a", "BackSpace")
        self.display.xdotool("type", "--delay", "5", text)
        wait_for("the typed ID", lambda: text_of(field) == text)

    def press(self, title):
        button = wait_for(title, lambda: find(self.window, "push button", title))
        self.display.click(button)

    def notice(self, text):
        return wait_for(f"the notice {text!r}", lambda: find(self.window, "label", text))

    def connected_line(self):
        found = [e.get_name() for e in descendants(self.window)
                 if e.get_role_name() == "label" and e.get_name().startswith("Connected in ")
                 and has_state(e, Atspi.StateType.SHOWING)]
        return found[0] if found else None

    def save_picture(self, element, path):
        self.display.xdotool("mousemove", "--sync", "0", "0")  # no pointer in the picture
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write_png(path, self.display.screenshot(element.get_extents(Atspi.CoordType.SCREEN)))

    def colour_in(self, element, test):
        box = element.get_extents(Atspi.CoordType.SCREEN)
        return any(test(p) for row in self.display.screenshot(box) for p in row)

    def quit(self):
        self.display.xdotool("key", "ctrl+q")
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
        self.display.close()
        shutil.rmtree(self.folder, ignore_errors=True)


def check_manifests(session, extension_id):
    """The app found its helpers from its own path and wrote both manifests for the extension;
    what else a manifest holds, and which browsers get one, the unit tests check."""
    assert sorted(os.listdir(session.manifests)) == sorted(f"{h}.json" for h in HOSTS)
    for name, helper in HOSTS.items():
        with open(os.path.join(session.manifests, f"{name}.json"), encoding="utf-8") as f:
            manifest = json.load(f)
        assert manifest["path"] == session.helper(helper), manifest
        assert manifest["allowed_origins"] == [f"chrome-extension://{extension_id}/"], manifest


def label_containing(root, text):
    return next((e for e in descendants(root)
                 if e.get_role_name() == "label" and text in e.get_name()), None)


def check_languages_window(session, screenshots):
    """The app's own languages window lists this machine's languages and the packages to add."""
    session.press("Open Language & Region")
    app = application(session.process.pid)
    window = wait_for("the languages window", lambda: find(app, "dialog", "Languages"))
    # The project's dependencies install the English-Spanish pair and the US English model.
    wait_for("the installed directions", lambda: label_containing(window, "English → Spanish"))
    assert label_containing(window, "English (United States)")
    if not os.path.exists(os.path.join(MODES, "afr-nld.mode")):
        field = find(window, "text", "Command that adds Afrikaans → Dutch")
        assert field and text_of(field) == "sudo apt install apertium-afr-nld", field
    copy = find(window, "push button", "Copy")
    session.display.click(copy)
    wait_for("the copied command", lambda: find(window, "push button", "Copied"))
    if screenshots:
        session.save_picture(window, os.path.join(screenshots, "languages-window.png"))
    session.display.xdotool("key", "Escape")
    wait_for("the languages window to close",
             lambda: not has_state(window, Atspi.StateType.SHOWING))


def connect_disconnect_and_relaunch(app_binary, screenshots):
    with Session(app_binary) as session:
        # Chromium has been used here: the window names it once connected.
        os.makedirs(os.path.join(session.home, ".config", "chromium"))
        session.launch()
        assert session.status() == "Connect the Chrome extension"
        assert session.connected_line() is None
        assert not has_state(find(session.window, "push button", "Disconnect"),
                             Atspi.StateType.ENABLED)
        # A refusal is a red notice and writes nothing.
        session.enter_id(EXTENSION_ID + " ")
        session.press("Connect extension")
        notice = session.notice(INVALID_ID)
        wait_for("a red notice", lambda: session.colour_in(notice, reddish))
        assert not os.path.exists(session.manifests) and session.settings() == {}

        session.enter_id(EXTENSION_ID)
        session.display.xdotool("key", "Return")  # the same as "Connect extension"
        session.notice(READY)
        wait_for("the green status", lambda: session.status() == "Chrome connection configured")
        check_manifests(session, EXTENSION_ID)
        assert session.connected_line() == "Connected in Chromium, Google Chrome"
        assert session.settings() == {"chromeExtensionID": EXTENSION_ID,
                                      "automaticConnectionDisabled": "false"}
        assert find(session.window, "push button", "Reconnect extension")
        status = find(session.window, "label", "Chrome connection configured")
        session.display.xdotool("mousemove", "--sync", "0", "0")
        wait_for("green pixels in the status line",
                 lambda: session.colour_in(status, greenish))
        if screenshots:
            session.save_picture(session.window,
                                 os.path.join(screenshots, "companion-window.png"))
        check_languages_window(session, screenshots)

        session.press("Disconnect")
        session.notice(REMOVED)
        wait_for("the status to reset", lambda: session.status() == "Connect the Chrome extension")
        assert os.listdir(session.manifests) == []
        assert session.connected_line() is None
        assert session.settings()["automaticConnectionDisabled"] == "true"
        session.quit()

        # The stored ID fills the field on the next launch.
        session.launch()
        wait_for("the stored ID", lambda: session.field and text_of(session.field) == EXTENSION_ID)
        session.quit()


def automatic_connection(app_binary, name, extension_id):
    with Session(app_binary, name=name) as session:
        session.launch()
        session.notice(READY)
        assert session.status() == "Chrome connection configured"
        assert session.field is None
        check_manifests(session, extension_id)
        assert session.settings() == {}
        session.press("Disconnect")
        session.notice(REMOVED)
        assert os.listdir(session.manifests) == []
        assert session.settings() == {"automaticConnectionDisabled": "true"}
        session.quit()

        # Disconnected by hand: no automatic connection until the user connects again.
        session.launch()
        assert session.status() == "Connect the Chrome extension"
        assert not find(session.window, "label", READY) and os.listdir(session.manifests) == []
        session.press("Connect extension")
        session.notice(READY)
        check_manifests(session, extension_id)
        assert session.settings() == {"chromeExtensionID": extension_id,
                                      "automaticConnectionDisabled": "false"}
        session.quit()


SCENARIOS = {
    "connect": lambda args: connect_disconnect_and_relaunch(args.app, args.screenshots),
    "automatic": lambda args: automatic_connection(args.app, args.name, args.built_in_id),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--app", required=True)
    parser.add_argument("--screenshots", help="a folder for pictures of the windows")
    parser.add_argument("--name", default="Quelvar", help="the build's display name")
    parser.add_argument("--built-in-id", help="the build's extension ID")
    args = parser.parse_args()
    SCENARIOS[args.scenario](args)
    print(f"{args.scenario}: passed")


if __name__ == "__main__":
    sys.exit(main())
