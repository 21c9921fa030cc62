# SPDX-License-Identifier: MIT
"""Runs the real `tallyvue` in a private desktop: a temporary HOME signed in to all three providers,
a loopback server answering with SAMPLES, Xvfb, private session and AT-SPI buses, a tray host. A
scenario `<name>_test.py` ends with `run(scenario, **session_options)`. Use /usr/bin/python3."""
import argparse
import contextlib
import http.server
import importlib.util
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

CLAUDE_PATH = "/api/oauth/usage"
SAMPLES = {
    CLAUDE_PATH: {"five_hour": {"utilization": 42.5, "resets_at": "2099-01-01T00:00:00Z"},
                  "seven_day": {"utilization": 63}},
    "/backend-api/wham/usage": {"rate_limit": {"primary_window": {"used_percent": 12}}},
    "/copilot_internal/user": {"quota_snapshots": {"chat": {"percent_remaining": 80}}},
}
HERE = os.path.dirname(os.path.abspath(__file__))
WATCHER = "org.kde.StatusNotifierWatcher"
ACCESSIBLE_ENV = {"QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1"}


class Failure(AssertionError):
    pass


class Skip(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout=20.0, what="a condition"):
    """Returns `predicate`'s first true value. The time-outs only bound a failing run."""
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
        time.sleep(0.1)


def retry(action, done, what):
    """On a loaded machine an activation can be lost while the panel settles, a click can come
    before dunst has the alert ready: up to three tries."""
    for attempt in range(3):
        action()
        try:
            return wait_for(done, 10, what)
        except Failure:
            if attempt == 2:
                raise


def require(*tools):
    for tool in tools:
        if tool.startswith("py:"):
            found = importlib.util.find_spec(tool[3:])
        else:
            found = shutil.which(tool) or os.path.exists(tool)
        if not found:
            raise Skip(f"{tool} is not installed (scripts/setup [--hosts] installs it)")


class SampleHandler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        path = self.path.split("?")[0]
        self.server.requests.append(path)
        data = json.dumps(SAMPLES.get(path, {"error": "not found"})).encode()
        self.send_response(200 if path in SAMPLES else 404)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


class Session:
    """host: "fake" (a StatusNotifierWatcher without a panel) or a desktop from desktops.py."""

    def __init__(self, tallyvue, artifacts, host="fake", settings=None, notifications=False, start=True):
        self.tallyvue_path = tallyvue
        self.artifacts = artifacts
        self.host = host
        self.settings = dict(settings or {})
        self.notifications = notifications
        self.start_program = start
        self.extra_env = {}
        self.processes = {}
        self.logs = {}
        self.home = None
        self._bus = None
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), SampleHandler)
        self.server.requests = []
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def start(self):
        self.home = tempfile.mkdtemp(prefix="tallyvue-e2e-")
        self._prepare_home()
        self.env["DISPLAY"] = ":" + self._first_line("xvfb", [
            "Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.private_bus("dbus")
        # pyatspi and dbus-python in this process talk to the same bus and display.
        os.environ.update(DBUS_SESSION_BUS_ADDRESS=self.env["DBUS_SESSION_BUS_ADDRESS"], DISPLAY=self.env["DISPLAY"])
        self._spawn("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for(lambda: self.bus.name_has_owner("org.a11y.Bus"), 10, "the AT-SPI bus")
        if self.host == "fake":
            self._spawn("watcher", ["/usr/bin/python3", os.path.join(HERE, "fake_watcher.py")])
            wait_for(lambda: "ready" in self.output("watcher"), 10, "the fake watcher")
        else:
            self.host(self)
        if self.notifications:
            # Alerts stay until clicked: dunst's own 10 s timeout can pass before a slow scenario clicks.
            self._write("dunstrc", "".join(f"[urgency_{u}]\n    timeout = 0\n" for u in ("low", "normal", "critical")))
            self._spawn("dunst", ["dunst", "-config", os.path.join(self.home, "dunstrc")])
        if self.start_program:
            self.start_tallyvue()

    def start_tallyvue(self):
        origin = f"http://127.0.0.1:{self.server.server_address[1]}"
        env = dict(self.env, **ACCESSIBLE_ENV, CLAUDE_CODE_OAUTH_TOKEN="e2e-token", **{
            f"TALLYVUE_{name}_API": origin for name in ("CLAUDE", "CHATGPT", "COPILOT")})
        env.update(self.extra_env)
        return self._spawn("tallyvue", [self.tallyvue_path], env=env)

    def stop(self):
        # Bus-activated services are reparented to init and would outlive the test.
        orphans = set()
        with contextlib.suppress(Exception):
            orphans = self.bus_pids() - {process.pid for process in self.processes.values()}
        for process in reversed(list(self.processes.values())):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        for pid in orphans:
            with contextlib.suppress(OSError):
                os.kill(pid, signal.SIGKILL)
        for log in self.logs.values():
            log.close()
        self.server.shutdown()
        self.server.server_close()
        if self.home and not os.environ.get("TALLYVUE_E2E_KEEP"):
            shutil.rmtree(self.home, ignore_errors=True)

    def _prepare_home(self):
        for folder in (".config", ".local/share", ".cache", "runtime", "tmp", "logs"):
            os.makedirs(os.path.join(self.home, folder), exist_ok=True)
        os.chmod(os.path.join(self.home, "runtime"), 0o700)
        self._write(".codex/auth.json", json.dumps({"tokens": {"access_token": "e2e-token"}}))
        self._write(".config/github-copilot/apps.json", json.dumps({"a": {"oauth_token": "e2e-token"}}))
        if self.settings:
            lines = ["[General]"] + [f"{key}={value}" for key, value in self.settings.items()]
            self._write(".config/Tallyvue/Tallyvue.conf", "\n".join(lines) + "\n")
        keep = ("PATH", "LANG", "LC_ALL", "FONTCONFIG_FILE", "LLVM_PROFILE_FILE")
        self.env = {key: os.environ[key] for key in keep if key in os.environ}
        self.env.update({key: os.path.join(self.home, folder) for key, folder in (
            ("XDG_CONFIG_HOME", ".config"), ("XDG_DATA_HOME", ".local/share"), ("XDG_CACHE_HOME", ".cache"),
            ("XDG_RUNTIME_DIR", "runtime"), ("TMPDIR", "tmp"))}, HOME=self.home, NO_AT_BRIDGE="0")

    def stored_settings(self):
        path = os.path.join(self.home, ".config/Tallyvue/Tallyvue.conf")
        with contextlib.suppress(FileNotFoundError), open(path) as file:
            return file.read()
        return ""

    def cli(self, *args):
        program = os.path.join(os.path.dirname(self.tallyvue_path), "tallyvue-cli")
        result = subprocess.run([program, *args], env=self.env, capture_output=True, text=True, timeout=60)
        check(result.returncode == 0, f"tallyvue-cli {' '.join(args)} failed: {result.stderr}")
        return result.stdout

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
        log = self.logs.get(name)
        if not log:
            return ""
        log.flush()
        with open(log.name, errors="replace") as file:
            return file.read()

    def _first_line(self, name, argv):
        """Starts a server that prints where to reach it (a display number, a bus address) on one line."""
        process = subprocess.Popen(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        self.processes[name] = process
        line = process.stdout.readline().decode().strip()
        check(line, f"{argv[0]} did not start")
        return line

    def private_bus(self, name):
        return self._first_line(name, ["dbus-daemon", "--session", "--nofork", "--print-address=1"])

    @property
    def bus(self):
        if self._bus is None:
            import dbus
            self._bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"])
        return self._bus

    def call(self, service, path, interface, method, *args, signature=None, timeout=10):
        proxy = self.bus.get_object(service, path, introspect=False)
        return proxy.get_dbus_method(method, interface)(*args, signature=signature, timeout=timeout)

    def pid_of(self, name):
        return int(self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                             "GetConnectionUnixProcessID", name))

    def bus_pids(self):
        return {self.pid_of(name) for name in self.bus.list_names() if name.startswith(":")} - {os.getpid()}

    def watcher_command_line(self):
        try:
            with open(f"/proc/{self.pid_of(self.bus.get_name_owner(WATCHER))}/cmdline", "rb") as file:
                return file.read().replace(b"\0", b" ").decode(errors="replace")
        except Exception:
            return ""

    def item(self, timeout=20):
        def find():
            for entry in self.call(WATCHER, "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get",
                                   WATCHER, "RegisteredStatusNotifierItems"):
                service, _, path = str(entry).partition("/")
                if "StatusNotifierItem" in service or path:
                    return service, "/" + (path or "StatusNotifierItem")
            return None
        return wait_for(find, timeout, "tallyvue's tray item to register")

    def activate_item(self):
        service, path = self.item()
        self.call(service, path, "org.kde.StatusNotifierItem", "Activate", 0, 0, signature="ii")

    def menu_path(self):
        service, path = self.item()
        return str(self.call(service, path, "org.freedesktop.DBus.Properties", "Get",
                             "org.kde.StatusNotifierItem", "Menu"))

    def menu_layout(self):
        """The dbusmenu's visible top-level entries as {label: id}, "-" for a separator."""
        _, layout = self.call(self.item()[0], self.menu_path(), "com.canonical.dbusmenu", "GetLayout", 0, -1, [],
                              signature="iias")
        return {"-" if props.get("type") == "separator" else str(props.get("label", "")): int(ident)
                for ident, props, _ in layout[2] if props.get("visible", True)}

    def refresh_now(self):
        import dbus
        before = self.server.requests.count(CLAUDE_PATH)
        layout = self.menu_layout()
        ident = layout.get("Refresh Now")
        check(ident is not None, f"no Refresh Now in {list(layout)}")
        self.call(self.item()[0], self.menu_path(), "com.canonical.dbusmenu", "Event", ident, "clicked",
                  dbus.Int32(0, variant_level=1), dbus.UInt32(0), signature="isvu")
        wait_for(lambda: self.server.requests.count(CLAUDE_PATH) > before, 20, "a refresh after Refresh Now")

    def application(self, name="tallyvue", timeout=20):
        import pyatspi

        def find():
            desktop = pyatspi.Registry.getDesktop(0)
            apps = (desktop.getChildAtIndex(index) for index in range(desktop.childCount))
            return next((app for app in apps if app is not None and (app.name or "").lower() == name), None)
        return wait_for(find, timeout, f"{name} on the accessibility bus")

    def find_all(self, root=None, name=None, role=None, predicate=None, showing=None):
        """name: exact, or a callable taking the name; root: the application unless given."""
        def matches(node):
            node_name = node.name or ""
            return (name is None or (name(node_name) if callable(name) else node_name == name)) and \
                (role is None or node.getRoleName() == role) and (predicate is None or predicate(node)) and \
                (showing is None or self.is_showing(node) == showing)
        return [node for node, _ in self._walk(root or self.application(), matches)]

    @staticmethod
    def _walk(node, wanted=lambda _: True, depth=0):
        """(node, depth) for every wanted node; a node that goes away while we walk ends its branch."""
        if node is None or depth > 60:
            return
        try:
            found = wanted(node)
            children = [node.getChildAtIndex(index) for index in range(node.childCount)]
        except Exception:
            return
        if found:
            yield node, depth
        for child in children:
            yield from Session._walk(child, wanted, depth + 1)

    def find(self, root=None, name=None, role=None, predicate=None, showing=None, timeout=20):
        what = f"a node with name {name!r} and role {role!r}" if not callable(name) else f"a {role!r} node"
        return wait_for(lambda: next(iter(self.find_all(root, name, role, predicate, showing)), None),
                        timeout, what)

    def popovers(self):
        """A frame, or a filler or window before it has a role of its own."""
        return self.find_all(name="Tallyvue", predicate=lambda n: n.getRoleName() in ("frame", "filler", "window"),
                             showing=True)

    def popover(self, timeout=20):
        return wait_for(lambda: next(iter(self.popovers()), None), timeout, "the popover")

    @staticmethod
    def actions(node):
        action = node.queryAction()
        return [action.getName(index) for index in range(action.nActions)]

    def do_action(self, node, name=None):
        names = self.actions(node)
        index = 0 if name is None else names.index(name) if name in names else -1
        check(index >= 0, f"{node.name!r} has no action {name!r}, only {names}")
        check(node.queryAction().doAction(index), f"action {names[index]!r} on {node.name!r} failed")

    @staticmethod
    def has_state(node, *names):
        import pyatspi
        state = node.getState()
        return any(state.contains(getattr(pyatspi, name)) for name in names)

    def is_checked(self, node):
        """Checked, or for a page tab selected."""
        return self.has_state(node, "STATE_CHECKED", "STATE_SELECTED")

    def is_showing(self, node):
        return self.has_state(node, "STATE_SHOWING")

    @staticmethod
    def text_of(node):
        try:
            text = node.queryText()
            return text.getText(0, text.characterCount)
        except Exception:
            return node.name

    def dump(self):
        lines = []
        for node, depth in self._walk(self.application(timeout=5)):
            with contextlib.suppress(Exception):  # a node that went away while we walked
                lines.append("  " * depth + f"{node.getRoleName()}: {node.name!r}")
        return "\n".join(lines)

    def wait_for_refresh(self):
        wait_for(lambda: "Usage refreshed at" in self.output(), 30, "a refresh")

    def cpu_share(self, pids, seconds):
        def total():
            used = 0
            for pid in pids:
                try:
                    with open(f"/proc/{pid}/stat") as stat:
                        fields = stat.read().rsplit(")", 1)[1].split()
                    used += int(fields[11]) + int(fields[12])
                except OSError:
                    pass  # it ended
            return used / os.sysconf("SC_CLK_TCK")
        start = total()
        time.sleep(seconds)
        return (total() - start) / seconds

    def xdotool(self, *args, check=True):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=check, capture_output=True,
                              text=True).stdout



def run(scenario, tools=(), **session_options):
    """tools: programs the scenario needs beyond the session's own (xdotool, ...)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--tallyvue", required=True, help="the built tallyvue program")
    parser.add_argument("--artifacts", default=tempfile.gettempdir(), help="folder for screenshots")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        require("Xvfb", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher", "py:dbus", "py:pyatspi", *tools,
                *(("dunst",) if session_options.get("notifications") else ()))
        session = Session(args.tallyvue, args.artifacts, **session_options)
        try:
            session.start()
            try:
                scenario(session)
            except BaseException:
                _report_failure(session)
                raise
        finally:
            session.stop()
        status = session.processes["tallyvue"].returncode if "tallyvue" in session.processes else 0
        check(status == 0, f"tallyvue did not end cleanly on SIGTERM (exit status {status})")
    except Skip as reason:
        print(f"SKIP: {reason}")
        sys.exit(77)
    except Failure as failure:
        print(f"FAIL: {failure}")
        traceback.print_exc()
        sys.exit(1)
    print("PASS")
    sys.exit(0)


def _report_failure(session):
    print("---- tallyvue output ----")
    print(session.output())
    try:
        print("---- accessibility tree ----")
        print(session.dump())
    except Exception as error:
        print(f"(no tree: {error})")
    os.makedirs(session.artifacts, exist_ok=True)
    path = os.path.join(session.artifacts, f"e2e-{os.path.basename(sys.argv[0])}-{os.getpid()}.png")
    subprocess.run(["import", "-window", "root", path], env=session.env, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    print(f"screenshot: {path}")
