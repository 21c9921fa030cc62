# SPDX-License-Identifier: MIT
"""Runs the real `tallyvue` in a private desktop session for end-to-end tests.

A session is: a temporary HOME signed in to all three providers, a loopback HTTP server that
answers the three usage services with fixed samples, Xvfb, a private session bus, the AT-SPI
bus, a tray host (a fake StatusNotifierWatcher, or xfce4-panel's Status Tray or the sntray
plugin under openbox), optionally dunst, and finally `tallyvue` itself with accessibility on.

A scenario is a script `tests/e2e/<name>_test.py` (ctest runs each one as `e2e.<name>`):

    from tallyvue_session import run

    def scenario(session):
        session.activate_item()
        popover = session.find(name="Tallyvue", role="frame", showing=True)
        ...

    if __name__ == "__main__":
        run(scenario)                 # or run(scenario, host="xfce-systray", ...)

`run` parses `--tallyvue PATH` (ctest passes the built program), skips with exit code 77 when
a needed tool is missing, and on failure prints the program's output and keeps a screenshot.
Use /usr/bin/python3: it has python3-dbus, python3-gi and python3-pyatspi.
"""
import argparse
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback

SKIP = 77

# The samples every session serves unless a scenario replaces them.
CLAUDE_USAGE = {
    "five_hour": {"utilization": 42.5, "resets_at": "2099-01-01T00:00:00Z"},
    "seven_day": {"utilization": 63},
}
CHATGPT_USAGE = {"rate_limit": {"primary_window": {"used_percent": 12}}}
COPILOT_USAGE = {"quota_snapshots": {"chat": {"percent_remaining": 80}}}

CLAUDE_PATH = "/api/oauth/usage"
CHATGPT_PATH = "/backend-api/wham/usage"
COPILOT_PATH = "/copilot_internal/user"

HERE = os.path.dirname(os.path.abspath(__file__))

class Failure(AssertionError):
    pass


class Skip(Exception):
    pass


def check(condition, message):
    """Fails the scenario with `message` unless `condition` holds."""
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout=20.0, what="a condition", interval=0.1):
    """Polls `predicate` until it returns a true value, which is returned; fails after `timeout`.

    Time-outs are generous on purpose: they only bound a failing run, never a passing one.
    """
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as error:  # the tree or the bus may be half-built; try again
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


class SampleServer:
    """Loopback HTTP server with one scripted answer per path; it records every request."""

    def __init__(self, responses):
        self.responses = dict(responses)
        self.requests = []
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                path = self.path.split("?")[0]
                with outer.lock:
                    outer.requests.append((time.monotonic(), path))
                    status, body = outer.responses.get(path, (404, {"error": "not found"}))
                data = body if isinstance(body, bytes) else json.dumps(body).encode()
                self.send_response(status)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    @property
    def origin(self):
        return f"http://127.0.0.1:{self.server.server_address[1]}"

    def count(self, path=None):
        with self.lock:
            return sum(1 for _, p in self.requests if path is None or p == path)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Session:
    """One private desktop with `tallyvue` running in it; use as a context manager.

    host: "fake" (a StatusNotifierWatcher without a panel), "xfce-systray" (xfce4-panel's
    Status Tray), "xfce-sntray" (the vala sntray host) or None (no tray at all).
    settings: stored preferences written before the start ({"selectedPage": "Claude"}).
    responses: {path: (status, body)} replacing the samples.
    env: extra environment for tallyvue (QT_SCALE_FACTOR, ...).
    """

    def __init__(self, tallyvue, host="fake", settings=None, responses=None, env=None,
                 screen="1280x800x24", notifications=False, start=True):
        self.tallyvue_path = tallyvue
        self.host = host
        self.settings = dict(settings or {})
        self.extra_env = dict(env or {})
        self.screen = screen
        self.notifications = notifications
        self.start_program = start
        self.processes = {}
        self.logs = {}
        self.home = None
        self.env = None
        self.server = SampleServer({
            CLAUDE_PATH: (200, CLAUDE_USAGE),
            CHATGPT_PATH: (200, CHATGPT_USAGE),
            COPILOT_PATH: (200, COPILOT_USAGE),
            **(responses or {}),
        })
        self._bus = None
        self._desktop = None

    # --- lifecycle -----------------------------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, kind, *_):
        ended = self.stop()
        if kind is None and ended.get("tallyvue", 0) != 0:
            raise Failure(f"tallyvue did not end cleanly on SIGTERM (exit status {ended['tallyvue']})")
        return False

    def start(self):
        self.home = tempfile.mkdtemp(prefix="tallyvue-e2e-")
        self._prepare_home()
        self._start_xvfb()
        self._start_bus()
        self._start_accessibility()
        if self.host == "fake":
            self._spawn("watcher", ["/usr/bin/python3", os.path.join(HERE, "fake_watcher.py")])
            wait_for(lambda: "ready" in self.output("watcher"), 10, "the fake watcher")
        elif self.host in ("xfce-systray", "xfce-sntray"):
            self._start_xfce()
        elif self.host is not None:
            self.host(self)  # a real desktop from desktop_hosts.py
        if self.notifications:
            # Alerts stay until clicked: dunst's own 10 s timeout can pass before a slow scenario clicks.
            config = os.path.join(self.home, "dunstrc")
            with open(config, "w") as file:
                file.write("".join(f"[urgency_{u}]\n    timeout = 0\n" for u in ("low", "normal", "critical")))
            self._spawn("dunst", ["dunst", "-config", config])
        if self.start_program:
            self.start_tallyvue()

    def start_tallyvue(self, args=()):
        env = dict(self.env)
        env.update({
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "CLAUDE_CODE_OAUTH_TOKEN": "e2e-token",
            "TALLYVUE_CLAUDE_API": self.server.origin,
            "TALLYVUE_CHATGPT_API": self.server.origin,
            "TALLYVUE_COPILOT_API": self.server.origin,
        })
        env.update(self.extra_env)
        self.started_at = time.monotonic()
        return self._spawn("tallyvue", [self.tallyvue_path, *args], env=env)

    def stop(self):
        """Ends every process, newest first; returns each one's exit status (None: it had to be killed)."""
        ended = {}
        for name in reversed(list(self.processes)):
            process = self.processes[name]
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
                    ended[name] = None
                    continue
            ended[name] = process.returncode
        for log in self.logs.values():
            log.close()
        self.server.stop()
        if self.home and not os.environ.get("TALLYVUE_E2E_KEEP"):
            shutil.rmtree(self.home, ignore_errors=True)
        return ended

    def _prepare_home(self):
        for folder in (".config", ".local/share", ".cache", "runtime", "tmp", "logs"):
            os.makedirs(os.path.join(self.home, folder), exist_ok=True)
        os.chmod(os.path.join(self.home, "runtime"), 0o700)
        self._write(".codex/auth.json", json.dumps({"tokens": {"access_token": "e2e-token"}}))
        self._write(".config/github-copilot/apps.json", json.dumps({"a": {"oauth_token": "e2e-token"}}))
        if self.settings:
            lines = ["[General]"] + [f"{key}={value}" for key, value in self.settings.items()]
            self._write(".config/Tallyvue/Tallyvue.conf", "\n".join(lines) + "\n")
        keep = {key: os.environ[key] for key in ("PATH", "LANG", "LC_ALL", "FONTCONFIG_FILE", "LLVM_PROFILE_FILE") if key in os.environ}
        self.env = {
            **keep,
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.home, "runtime"),
            "TMPDIR": os.path.join(self.home, "tmp"),
            "NO_AT_BRIDGE": "0",
        }

    def _write(self, relative, text):
        path = os.path.join(self.home, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as file:
            file.write(text)

    def _spawn(self, name, argv, env=None):
        log = open(os.path.join(self.home, "logs", name + ".log"), "w+")
        self.logs[name] = log
        process = subprocess.Popen(argv, env=env or self.env, stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        self.processes[name] = process
        return process

    def output(self, name="tallyvue"):
        """Everything process `name` has written so far."""
        log = self.logs.get(name)
        if not log:
            return ""
        log.flush()
        with open(log.name, errors="replace") as file:
            return file.read()

    def _start_xvfb(self):
        read, write = os.pipe()
        self.processes["xvfb"] = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", self.screen, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        check(number, "Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def _start_bus(self):
        process = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                   env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        self.processes["dbus"] = process
        address = process.stdout.readline().decode().strip()
        check(address, "dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # pyatspi and dbus-python in this process talk to the same bus and display.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ["DISPLAY"] = self.env["DISPLAY"]

    def _start_accessibility(self):
        self._spawn("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for(lambda: self.bus.name_has_owner("org.a11y.Bus"), 10, "the AT-SPI bus")

    def _start_xfce(self):
        # The panel starts with its default layout, which has the Status Tray; for the sntray
        # host that plugin is swapped in place through xfconf and the panel restarted.
        self._spawn("openbox", ["openbox", "--sm-disable"])
        self._spawn("panel", ["xfce4-panel", "--disable-wm-check"])
        wait_for(lambda: self.bus.name_has_owner("org.kde.StatusNotifierWatcher"), 30, "the panel's tray watcher")
        if self.host == "xfce-sntray":
            def systray_plugin():
                listing = subprocess.run(["xfconf-query", "-c", "xfce4-panel", "-p", "/plugins", "-l", "-v"],
                                         env=self.env, capture_output=True, text=True).stdout
                return next((line.split()[0] for line in listing.splitlines()
                             if line.split()[1:] == ["systray"]), None)
            plugin = wait_for(systray_plugin, 20, "the Status Tray in the panel's settings")
            subprocess.run(["xfconf-query", "-c", "xfce4-panel", "-p", plugin, "-s", "sntray"], env=self.env,
                           check=True)
            # Now and then, right after another panel session, the restarted panel keeps its
            # Status Tray: that is the test desktop failing to start, not Tallyvue, so it skips.
            for attempt in range(2):
                try:
                    subprocess.run(["xfce4-panel", "-r"], env=self.env, check=False, timeout=30)
                except subprocess.TimeoutExpired:
                    pass  # on a loaded machine the asking client can outlast its wait; the restart goes on
                try:
                    wait_for(lambda: "sntray" in self.watcher_command_line(), 15, "the sntray host")
                    return
                except Failure:
                    pass
            raise Skip("the panel did not switch its tray to the sntray host; the host was not tested")

    def watcher_command_line(self):
        """The command line of the process that owns the StatusNotifierWatcher name."""
        try:
            owner = self.bus.get_name_owner("org.kde.StatusNotifierWatcher")
            pid = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                            "GetConnectionUnixProcessID", owner)
            with open(f"/proc/{pid}/cmdline", "rb") as file:
                return file.read().replace(b"\0", b" ").decode(errors="replace")
        except Exception:
            return ""

    # --- D-Bus ---------------------------------------------------------------------------

    @property
    def bus(self):
        if self._bus is None:
            import dbus
            self._bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        return self._bus

    def call(self, service, path, interface, method, *args, signature=None, timeout=10):
        """A plain method call on the session bus; returns the reply's values."""
        proxy = self.bus.get_object(service, path, introspect=False)
        return proxy.get_dbus_method(method, interface)(*args, signature=signature, timeout=timeout)

    def registered_items(self):
        return [str(item) for item in self.call(
            "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties",
            "Get", "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")]

    def item(self, timeout=20):
        """(service, path) of tallyvue's StatusNotifierItem, once the watcher has it."""
        def find():
            for entry in self.registered_items():
                service, _, path = entry.partition("/")
                if "StatusNotifierItem" in service or path:
                    return service, "/" + (path or "StatusNotifierItem")
            return None
        return wait_for(find, timeout, "tallyvue's tray item to register")

    def item_property(self, name):
        service, path = self.item()
        return self.call(service, path, "org.freedesktop.DBus.Properties", "Get", "org.kde.StatusNotifierItem", name)

    def activate_item(self, x=0, y=0):
        """What a host does on a left click: Activate(x, y) on the item."""
        service, path = self.item()
        self.call(service, path, "org.kde.StatusNotifierItem", "Activate", x, y, signature="ii")

    def menu_path(self):
        return str(self.item_property("Menu"))

    def menu_layout(self):
        """The item's dbusmenu as nested dicts: {"id", "label", "type", "enabled", "children"}."""
        service, _ = self.item()
        _, layout = self.call(service, self.menu_path(), "com.canonical.dbusmenu", "GetLayout", 0, -1, [],
                              signature="iias")

        def convert(node):
            ident, props, children = node
            return {
                "id": int(ident),
                "label": str(props.get("label", "")),
                "type": str(props.get("type", "standard")),
                "enabled": bool(props.get("enabled", True)),
                "visible": bool(props.get("visible", True)),
                "children": [convert(child) for child in children],
            }
        return convert(layout)

    def menu_entries(self):
        """The top-level entries' labels, "-" for a separator."""
        return ["-" if entry["type"] == "separator" else entry["label"]
                for entry in self.menu_layout()["children"] if entry["visible"]]

    def menu_click(self, label):
        """Sends the "clicked" event to the top-level entry with `label`."""
        import dbus
        service, _ = self.item()
        entry = next((e for e in self.menu_layout()["children"] if e["label"] == label), None)
        check(entry is not None, f"no menu entry {label!r} in {self.menu_entries()}")
        self.call(service, self.menu_path(), "com.canonical.dbusmenu", "Event", entry["id"], "clicked",
                  dbus.Int32(0, variant_level=1), dbus.UInt32(0), signature="isvu")

    # --- accessibility -------------------------------------------------------------------

    def application(self, timeout=20):
        """The AT-SPI node of the running tallyvue."""
        import pyatspi

        def find():
            desktop = pyatspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                app = desktop.getChildAtIndex(index)
                if app is not None and app.name.lower() == "tallyvue":
                    return app
            return None
        return wait_for(find, timeout, "tallyvue on the accessibility bus")

    def find_all(self, root=None, name=None, role=None, predicate=None, showing=None):
        """Every node under `root` (default: the application) matching name, role and predicate.

        name: exact accessible name, or a callable taking the name. role: AT-SPI role name
        ("push button", "check box", "label", "page tab", ...). showing: only nodes on screen.
        """
        import pyatspi
        root = root or self.application()
        found = []

        def walk(node, depth):
            if node is None or depth > 60:
                return
            try:
                node_name = node.name or ""
                node_role = node.getRoleName()
                ok = (name is None or (name(node_name) if callable(name) else node_name == name)) and \
                     (role is None or node_role == role) and (predicate is None or predicate(node))
                if ok and showing is not None:
                    ok = node.getState().contains(pyatspi.STATE_SHOWING) == showing
                if ok:
                    found.append(node)
                for index in range(node.childCount):
                    walk(node.getChildAtIndex(index), depth + 1)
            except Exception:
                pass  # a node that went away while we walked
        walk(root, 0)
        return found

    def find(self, root=None, name=None, role=None, predicate=None, showing=None, timeout=20):
        """The first matching node, waiting for it to appear."""
        what = f"a node with name {name!r} and role {role!r}" if not callable(name) else f"a {role!r} node"
        return wait_for(lambda: next(iter(self.find_all(root, name, role, predicate, showing)), None),
                        timeout, what)

    @staticmethod
    def actions(node):
        action = node.queryAction()
        return [action.getName(index) for index in range(action.nActions)]

    def do_action(self, node, name=None):
        """Runs `node`'s action called `name` (default: its first) through AT-SPI."""
        action = node.queryAction()
        names = self.actions(node)
        index = 0 if name is None else names.index(name) if name in names else -1
        check(index >= 0, f"{node.name!r} has no action {name!r}, only {names}")
        check(action.doAction(index), f"action {names[index]!r} on {node.name!r} failed")

    @staticmethod
    def is_checked(node):
        """Checked, or for a page tab selected."""
        import pyatspi
        state = node.getState()
        return state.contains(pyatspi.STATE_CHECKED) or state.contains(pyatspi.STATE_SELECTED)

    @staticmethod
    def is_showing(node):
        import pyatspi
        return node.getState().contains(pyatspi.STATE_SHOWING)

    @staticmethod
    def text_of(node):
        """A node's name, or its text when it is a text node."""
        try:
            text = node.queryText()
            return text.getText(0, text.characterCount)
        except Exception:
            return node.name

    def dump(self, root=None):
        """The accessible tree as indented "role: name" lines, for failure reports."""
        lines = []

        def walk(node, depth):
            if node is None or depth > 40:
                return
            try:
                lines.append("  " * depth + f"{node.getRoleName()}: {node.name!r}")
                for index in range(node.childCount):
                    walk(node.getChildAtIndex(index), depth + 1)
            except Exception:
                pass
        walk(root or self.application(5), 0)
        return "\n".join(lines)

    # --- processes and pictures ----------------------------------------------------------

    def wait_for_refresh(self, count=1, timeout=30):
        """Waits until tallyvue has logged `count` finished refreshes."""
        wait_for(lambda: self.output().count("Usage refreshed at") >= count, timeout, f"{count} refresh(es)")

    def cpu_seconds(self, pid):
        """User plus system CPU time of `pid` so far, in seconds."""
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def screenshot(self, path):
        """The whole screen as PNG (ImageMagick's `import`)."""
        subprocess.run(["import", "-window", "root", path], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return path


def require(*tools):
    """Skips the scenario when a program or Python module it needs is missing."""
    for tool in tools:
        if tool.startswith("py:"):
            try:
                __import__(tool[3:])
            except ImportError:
                raise Skip(f"Python module {tool[3:]} is not installed (scripts/setup installs it)")
        elif not shutil.which(tool) and not os.path.exists(tool):
            raise Skip(f"{tool} is not installed (scripts/setup installs it)")


BASE_TOOLS = ("Xvfb", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher", "py:dbus", "py:pyatspi")
HOST_TOOLS = {"xfce-systray": ("xfce4-panel", "openbox"), "xfce-sntray": ("xfce4-panel", "openbox")}


def run(scenario, **session_options):
    """Entry point of a scenario script: parses arguments, runs `scenario(session)`, exits."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--tallyvue", required=True, help="the built tallyvue program")
    parser.add_argument("--artifacts", default=None, help="folder for screenshots of failed runs")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    session = None
    try:
        require(*BASE_TOOLS, *HOST_TOOLS.get(session_options.get("host", "fake"), ()))
        if session_options.get("notifications"):
            require("dunst")
        with Session(args.tallyvue, **session_options) as session:
            session.artifacts = args.artifacts
            try:
                scenario(session)
            except BaseException:
                _report_failure(session, args.artifacts)
                raise
    except Skip as reason:
        print(f"SKIP: {reason}")
        sys.exit(SKIP)
    except Failure as failure:
        print(f"FAIL: {failure}")
        traceback.print_exc()
        sys.exit(1)
    print("PASS")
    sys.exit(0)


def _report_failure(session, artifacts):
    print("---- tallyvue output ----")
    print(session.output())
    try:
        print("---- accessibility tree ----")
        print(session.dump())
    except Exception as error:
        print(f"(no tree: {error})")
    folder = artifacts or tempfile.gettempdir()
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"e2e-{os.path.basename(sys.argv[0])}-{os.getpid()}.png")
    session.screenshot(path)
    print(f"screenshot: {path}")
