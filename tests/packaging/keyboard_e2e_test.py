#!/usr/bin/env python3
"""The real program used as a person would, with the keyboard only.

    keyboard_e2e_test.py <Dravenlok> [<grab_window> <dialog.png>]

Runs inside a private network namespace (scripts/in-netns.sh) where the test
target host names 127.0.0.1: a recording web server listens on 127.0.0.1:80,
the program runs on its own virtual X display (Xvfb), and xdotool types:

    Enter           "Connect With WinInet" (the focus starts on it)
    Enter           closes its message box
    Tab, Enter      "Connect With Winsock" (tab order is template order)
    Enter           closes its message box
    Tab, Enter      "Connect WinInet 2"
    Enter           closes its message box
    Escape          ends the program

Each click must bring exactly one request to the server, from the button's
own client (told apart by the User-Agent line), and a message box whose
title is the application title; Escape must end the program normally. The
display has no window manager: the program itself must give the focus back
to the dialog, on the button it was on, when a box closes.
Every wait has a time limit; nothing sleeps a fixed long time.
"""

import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

WAIT_SECONDS = 20
TARGET_HOST = "target.dravenlok.test"
DIALOG_CAPTION = "Dravenlok"
BODY = b"Hello from the loopback server\n"

# (keys before Enter, button, its request line, the User-Agent its client
# sends or None): the internet library's default version is HTTP/1.1, the
# two client objects ask for HTTP/1.0.
BUTTONS = [
    ([], "Connect With WinInet", "GET / HTTP/1.1", None),
    (["Tab"], "Connect With Winsock", "GET / HTTP/1.0", "GetWebFile/1.0"),
    (["Tab"], "Connect WinInet 2", "GET / HTTP/1.0", "TALVIK(0.9/;p)"),
]


class Failure(Exception):
    pass


class RecordingServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 80), RecordingHandler)
        self.requests = []
        self.lock = threading.Lock()

    def recorded(self):
        with self.lock:
            return list(self.requests)


class RecordingHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):  # noqa: N802 (the handler's own naming)
        with self.server.lock:
            self.server.requests.append(
                {"line": self.requestline, "host": self.headers.get("Host"),
                 "agent": self.headers.get("User-Agent")})
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(BODY)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(BODY)

    def log_message(self, *args):
        pass


def wait_for(what, probe, program=None):
    """Polls `probe` until it gives a true value; fails after WAIT_SECONDS,
    or at once when the program has ended meanwhile."""
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        value = probe()
        if value:
            return value
        if program is not None and program.poll() is not None:
            raise Failure(f"the program ended (status {program.returncode}) while waiting for {what}")
        if time.monotonic() > deadline:
            raise Failure(f"no {what} within {WAIT_SECONDS} s")
        time.sleep(0.05)


def xdotool(*args):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=WAIT_SECONDS)
    return result.stdout.split() if result.returncode == 0 else []


def visible_windows(name):
    return xdotool("search", "--onlyvisible", "--name", f"^{name}$")


def focused_window():
    ids = xdotool("getwindowfocus")
    return ids[0] if ids else None


def start_display(workdir, env):
    """Starts Xvfb on display :0 of this network namespace. It listens on the
    abstract socket only, which belongs to the namespace, and takes no lock
    file, so no other X server on the machine can clash with it."""
    log = open(os.path.join(workdir, "xvfb.log"), "w")
    server = subprocess.Popen(
        ["Xvfb", ":0", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-nolisten", "unix", "-nolock"],
        stdout=subprocess.DEVNULL, stderr=log)
    env["DISPLAY"] = ":0"

    def answers():
        if server.poll() is not None:
            raise Failure(f"Xvfb ended with status {server.returncode}")
        return subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode == 0

    wait_for("X display", answers)
    return server


def run(program_path, grab=None, picture=None):
    title = os.path.splitext(os.path.basename(program_path))[0]
    workdir = tempfile.mkdtemp(prefix="dravenlok-e2e-")
    server = RecordingServer()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    display, program = None, None
    try:
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)  # the real X display, not offscreen
        env["XDG_RUNTIME_DIR"] = workdir
        # In the sanitizer build LeakSanitizer judges the program at exit.
        # D-Bus and fontconfig (under Qt) keep allocations for the life of
        # the process; any leak of the program's own still fails the test.
        suppressions = os.path.join(workdir, "lsan.supp")
        with open(suppressions, "w") as out:
            out.write("leak:libdbus-1.so\nleak:libfontconfig.so\n")
        env["LSAN_OPTIONS"] = ":".join(filter(None, [env.get("LSAN_OPTIONS"), f"suppressions={suppressions}"]))
        display = start_display(workdir, env)
        os.environ["DISPLAY"] = env["DISPLAY"]  # for xdotool and the picture
        program = subprocess.Popen([program_path], env=env)

        dialog = wait_for("dialog window", lambda: visible_windows(DIALOG_CAPTION), program)[0]
        wait_for("keyboard focus on the dialog", lambda: focused_window() == dialog, program)
        print(f"dialog window {dialog}")
        if grab and picture:
            subprocess.run([grab, dialog, picture], check=True, timeout=WAIT_SECONDS)

        for count, (keys, button, line, agent) in enumerate(BUTTONS, start=1):
            xdotool("key", *keys, "Return")
            requests = wait_for(f"request from '{button}'", lambda: len(server.recorded()) >= count and server.recorded(),
                                program)
            box = wait_for(f"message box titled '{title}' after '{button}'",
                           lambda: [w for w in visible_windows(title) if w != dialog], program)[0]
            wait_for(f"keyboard focus on the message box of '{button}'", lambda: focused_window() == box, program)
            request = requests[count - 1]
            print(f"{button}: {request['line']!r} User-Agent {request['agent']!r}; box {box}")
            if request["line"] != line or request["host"] != TARGET_HOST:
                raise Failure(f"'{button}' sent {request['line']!r} to Host {request['host']!r}")
            if request["agent"] != agent:
                raise Failure(f"'{button}' came from the wrong client: User-Agent {request['agent']!r}, "
                              f"expected {agent!r} (wrong button clicked?)")

            xdotool("key", "Return")
            wait_for(f"message box of '{button}' to close", lambda: box not in visible_windows(title), program)
            wait_for(f"focus back on the dialog after '{button}'", lambda: focused_window() == dialog, program)

        if len(server.recorded()) != len(BUTTONS):
            raise Failure(f"the server got {len(server.recorded())} requests, expected {len(BUTTONS)}")

        xdotool("key", "Escape")
        try:
            status = program.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {WAIT_SECONDS} s of Escape") from None
        if status != 0:
            raise Failure(f"the program ended with status {status} after Escape")
        print("Escape ended the program")
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        if display is not None:
            display.terminate()
            display.wait()
        server.shutdown()
        server.server_close()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    if len(argv) not in (2, 4):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        run(*argv[1:])
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
