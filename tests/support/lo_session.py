"""A private headless LibreOffice for the test scripts that drive it through python3-uno.

    import lo_session
    lo_session.run(limit_seconds, work)    # work(office, workdir) returns what is printed as JSON

soffice runs headless with a private profile in a temporary folder, listening on a named pipe
only. Every wait is bounded: connecting gives up after CONNECT_SECONDS, a watchdog ends
everything after the limit, and the soffice process group is killed at the end whatever
happened.

What a script prints on stdout is one JSON object: the work's result (with "seconds": {"start",
"work"}, the time soffice took to accept and the time the work took), or {"error": TEXT}, with
"missing": true added when soffice or python3-uno is not installed (exit code 3) so that the
caller can skip rather than fail.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

CONNECT_SECONDS = 45
STARTED = []  # soffice processes, for the watchdog


def fail(text, code=2):
    print(json.dumps({"error": text}))
    sys.stdout.flush()
    sys.exit(code)


def missing(text):
    print(json.dumps({"error": text, "missing": True}))
    sys.stdout.flush()
    sys.exit(3)


try:
    import uno
    from com.sun.star.beans import PropertyValue
except ImportError as e:  # python3-uno is not installed
    missing("python3-uno is missing: %s" % e)


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


class Office:
    """A private headless soffice and a bridge to it."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.pipe = "markwell_lo_%d_%d" % (os.getpid(), int(time.time() * 1000) % 100000)
        profile = os.path.join(workdir, "profile")
        self.proc = subprocess.Popen(
            ["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
             "--headless", "--invisible", "--nologo", "--norestore", "--nodefault", "--nolockcheck",
             "--accept=pipe,name=%s;urp;" % self.pipe],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        STARTED.append(self.proc)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + CONNECT_SECONDS
        while True:
            try:
                self.ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except Exception:
                if self.proc.poll() is not None and self.proc.returncode not in (0, 81):
                    raise RuntimeError("soffice ended with code %d before accepting" % self.proc.returncode)
                if time.time() > deadline:
                    raise RuntimeError("soffice did not accept a connection within %d s" % CONNECT_SECONDS)
                time.sleep(0.25)
        self.smgr = self.ctx.ServiceManager
        self.desktop = self.smgr.createInstanceWithContext("com.sun.star.frame.Desktop", self.ctx)

    def load(self, path):
        """The document at path, opened hidden; raises when LibreOffice cannot load it."""
        url = uno.systemPathToFileUrl(os.path.abspath(path))
        doc = self.desktop.loadComponentFromURL(url, "_blank", 0, (prop("Hidden", True),))
        if doc is None:
            raise RuntimeError("LibreOffice could not load %s" % path)
        return doc

    def kill(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.proc.wait(5)
        except Exception:
            pass
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except Exception:
            pass


def column_name(col):
    """The letters of a 0-based column: A, B, ..., Z, AA, ..."""
    text = ""
    col += 1
    while col > 0:
        col, rest = divmod(col - 1, 26)
        text = chr(ord("A") + rest) + text
    return text


def take_limit(args, default):
    """The seconds of a leading "--limit SECONDS" (or `default`) and the arguments after it."""
    if len(args) >= 2 and args[0] == "--limit":
        return float(args[1]), args[2:]
    return default, args


def _kill_started():
    for proc in STARTED:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except Exception:
            pass


def run(limit, work):
    """Starts a private soffice, calls work(office, workdir) and prints its result as JSON.

    Any failure, and running past `limit` seconds, is printed as {"error": ...} instead; the
    temporary folder and soffice are gone when this returns or exits."""
    if shutil.which("soffice") is None:
        missing("soffice is not installed")
    workdir = tempfile.mkdtemp(prefix="markwell-lo-")
    office = None
    finished = threading.Event()

    def watchdog():
        if finished.wait(limit):
            return
        _kill_started()
        print(json.dumps({"error": "LibreOffice did not finish within %g s" % limit}))
        sys.stdout.flush()
        shutil.rmtree(workdir, ignore_errors=True)
        os._exit(4)

    threading.Thread(target=watchdog, daemon=True).start()
    try:
        started = time.time()
        office = Office(workdir)
        connected = time.time()
        result = work(office, workdir)
        if isinstance(result, dict):
            result["seconds"] = {"start": round(connected - started, 3), "work": round(time.time() - connected, 3)}
    except Exception as e:  # any UNO or script failure is reported, not raised
        finished.set()
        if office is not None:
            office.kill()
        shutil.rmtree(workdir, ignore_errors=True)
        _kill_started()
        fail("%s: %s" % (type(e).__name__, e))
    finished.set()
    office.kill()
    shutil.rmtree(workdir, ignore_errors=True)
    print(json.dumps(result, indent=1, sort_keys=True))
