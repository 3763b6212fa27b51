#!/usr/bin/env python3
"""The status line through the accessibility bus, as a screen reader sees it.

Runs WinVarno on an Xvfb display against a pseudo-terminal that never answers,
and reads the status bar over AT-SPI: its name is the message without the
severity digit, the clock is a child of its own, and the time-out message that
follows the unanswered read is announced as a name change.

    status_line.py WINVARNO

Run it inside its own session bus (dbus-run-session). Exits 77 (skipped) when
python3-gi, gir1.2-atspi-2.0, at-spi2-core or Xvfb are missing.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(why):
    print(f"SKIP: {why}")
    sys.exit(SKIP)


try:
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as e:
    skip(f"no AT-SPI client ({e}); install python3-gi and gir1.2-atspi-2.0")
if not shutil.which("Xvfb"):
    skip("no Xvfb; install xvfb")
if not os.path.exists("/usr/share/dbus-1/services/org.a11y.Bus.service"):
    skip("no accessibility bus; install at-spi2-core")
if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
    skip("no session bus; run under dbus-run-session")

# Bounds for waiting; generous, since the machine may be busy. Nothing is timed.
START_S = 30
READ_TIMEOUT_S = 10  # the program's own transfer time-out
ANSWER_S = READ_TIMEOUT_S + 30


def pump_until(done, seconds):
    """Runs the GLib loop (which delivers AT-SPI events) until done() holds."""
    ctx = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while ctx.pending():
            ctx.iteration(False)
        value = done()
        if value:
            return value
        time.sleep(0.05)
    return None


def find(node, role, depth=0):
    if node is None or depth > 30:
        return None
    try:
        if node.get_role() == role:
            return node
        for i in range(node.get_child_count()):
            hit = find(node.get_child_at_index(i), role, depth + 1)
            if hit:
                return hit
    except GLib.Error:
        return None  # a node that went away while we looked
    return None


def application(name):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_name() == name:
                return app
        except GLib.Error:
            pass
    return None


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    program = sys.argv[1]
    scratch = tempfile.mkdtemp(prefix="winvarno-a11y.")
    procs = []
    try:
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        display = ":" + xvfb.stdout.readline().decode().strip()

        # A line that takes the request and never answers.
        master, slave = os.openpty()
        device = os.ttyname(slave)
        for d in ("config", "data", "runtime"):
            os.makedirs(os.path.join(scratch, d), mode=0o700)
        with open(os.path.join(scratch, "config", "WinVarno.INI"), "w", encoding="utf-8") as f:
            f.write(f"[Allgemein]\nAnschluß=COM1\n\n[Schnittstellen]\nCOM1={device}\n")

        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                   XDG_CONFIG_HOME=os.path.join(scratch, "config"),
                   XDG_DATA_HOME=os.path.join(scratch, "data"),
                   XDG_RUNTIME_DIR=os.path.join(scratch, "runtime"))
        env.pop("WAYLAND_DISPLAY", None)
        winvarno = subprocess.Popen([program], env=env, cwd=scratch)
        procs.append(winvarno)

        app = pump_until(lambda: application("WinVarno"), START_S)
        assert app, "WinVarno did not appear on the accessibility bus"
        bar = pump_until(lambda: find(app, Atspi.Role.STATUS_BAR), START_S)
        assert bar, "no status bar among WinVarno's accessible objects"

        # Listen before the read times out.
        names = []

        def on_name(event):
            # The new name, as the client's cache took it from the event.
            names.append((event.source, event.source.get_name()))

        listener = Atspi.EventListener.new(on_name)
        listener.register("object:property-change:accessible-name")

        reading = "Grundkonfiguration wird gelesen"
        seen = pump_until(lambda: bar.get_name() == reading, START_S)
        assert seen, f"status bar reads {bar.get_name()!r}, not {reading!r}"
        assert bar.get_child_count() == 2, f"{bar.get_child_count()} panels"
        message, clock = bar.get_child_at_index(0), bar.get_child_at_index(1)
        assert message.get_name() == reading, message.get_name()
        assert re.fullmatch(r"\d\d:\d\d:\d\d", clock.get_name()), clock.get_name()

        failure = "Kommunikationsfehler"
        announced = pump_until(
            lambda: any(src == bar and text == failure for src, text in names), ANSWER_S)
        assert announced, f"no announcement of {failure!r}; got {[t for _, t in names]}"
        assert bar.get_name() == failure, bar.get_name()
        ticks = pump_until(
            lambda: any(src == clock and re.fullmatch(r"\d\d:\d\d:\d\d", str(text))
                        for src, text in names), START_S)
        assert ticks, "the clock's changes are not announced"
        listener.deregister("object:property-change:accessible-name")
        os.close(master)
        os.close(slave)
        print("PASS: status line read and announced over AT-SPI")
        return 0
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
