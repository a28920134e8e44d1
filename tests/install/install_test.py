#!/usr/bin/env python3
"""Tests of the installed program, outside the machine's own /usr.

  install_test.py package BUILD_DIR   the Debian package: contents, dependencies,
                                      and its desktop entry and metainfo checked
                                      by the desktop's validators
  install_test.py tree BUILD_DIR      `cmake --install` into a scratch prefix,
                                      started under Xvfb as an unprivileged user:
                                      the window shows, the page lands in the
                                      user's cache, the demo stream is asked for

As root, `tree` runs in a private network namespace (the home station's port
127.0.0.1:8000 is its own) and starts the program as `nobody`.
"""
import glob
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

APP_ID = "com.example.kelvara.Orvex"
NOBODY = 65534
DEADLINE = 90  # seconds for the program to show, write and ask: generous for busy machines


def run(args, **kw):
    return subprocess.run(args, check=True, text=True, capture_output=True, **kw).stdout


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def wait_for(what, done, timeout=DEADLINE):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if done():
            return
        time.sleep(0.2)
    fail("timed out waiting for " + what)


# ---- the package

def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        fail(path + " is no PNG")
    return struct.unpack(">II", head[16:24])


def test_package(build):
    work = tempfile.mkdtemp(prefix="orvex-package-")
    try:
        run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", work])
        debs = glob.glob(os.path.join(work, "*.deb"))
        if len(debs) != 1:
            fail("expected one package, found %s" % debs)
        deb = debs[0]
        print("package %s: %d bytes" % (os.path.basename(deb), os.path.getsize(deb)))

        # Contents: the program, its data folder and the desktop's files; no
        # build-folder leftovers, nothing outside /usr.
        files = {line.split()[-1].lstrip(".") for line in run(["dpkg-deb", "-c", deb]).splitlines()
                 if not line.startswith("d")}
        icons = ["/usr/share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, APP_ID) for s in (48, 64, 128, 256)]
        wanted = ["/usr/bin/orvex", "/usr/share/orvex/indexIIc.htm", "/usr/share/orvex/auto_falantes1.gif",
                  "/usr/share/applications/%s.desktop" % APP_ID, "/usr/share/metainfo/%s.metainfo.xml" % APP_ID,
                  "/usr/share/icons/hicolor/scalable/apps/%s.svg" % APP_ID] + icons
        missing = [f for f in wanted if f not in files]
        if missing:
            fail("missing from the package: %s" % missing)
        if not any(f.startswith("/usr/share/orvex/") and f.endswith(".mp3") for f in files):
            fail("no sample track in the package")
        stray = [f for f in files if not f.startswith("/usr/")
                 or f.endswith(("indexII.htm", ".bmp", ".jpg", "orvex-stream", "orvex-gif", "_tests"))]
        if stray:
            fail("files that do not belong in the package: %s" % stray)

        # Dependencies: the linked libraries (found by dpkg-shlibdeps) and what
        # the program loads at run time.
        depends = run(["dpkg-deb", "--field", deb, "Depends"]).strip()
        print("Depends: " + depends)
        names = {alt.strip().split(" ")[0] for part in depends.split(",") for alt in part.split("|")}
        needed = ["libqt6core6", "libqt6webenginewidgets6", "libgstreamer1.0-0", "libjpeg62-turbo",
                  "gstreamer1.0-plugins-base", "gstreamer1.0-plugins-good", "gstreamer1.0-plugins-bad",
                  "libqt6webenginecore6-bin",
                  "qt6-qpa-plugins", "fonts-liberation2", "fonts-dseg", "xdg-utils", "gstreamer1.0-libav"]
        absent = [n for n in needed if n not in names]
        if absent:
            fail("dependencies not named: %s" % absent)

        # What the package installs passes the desktop's validators, and the
        # entry's icon and program are in the package.
        root = os.path.join(work, "root")
        run(["dpkg-deb", "-x", deb, root])
        desktop = os.path.join(root, "usr/share/applications/%s.desktop" % APP_ID)
        metainfo = os.path.join(root, "usr/share/metainfo/%s.metainfo.xml" % APP_ID)
        for args in (["desktop-file-validate", desktop], ["appstreamcli", "validate", "--no-net", metainfo]):
            result = subprocess.run(args, text=True, capture_output=True)
            print("$ %s\n%s" % (" ".join(args[:-1] + [os.path.basename(args[-1])]), (result.stdout + result.stderr).strip()))
            if result.returncode != 0:
                fail("%s rejects the file" % args[0])
        entry = dict(line.rstrip("\n").split("=", 1) for line in open(desktop, encoding="utf-8") if "=" in line)
        if entry.get("Icon") != APP_ID or entry.get("Exec", "").split()[0] != "orvex":
            fail("the entry names icon %r and program %r" % (entry.get("Icon"), entry.get("Exec")))
        for icon in icons:
            size = int(icon.split("/")[5].split("x")[0])
            if png_size(os.path.join(root, icon.lstrip("/"))) != (size, size):
                fail("%s is not %d pixels square" % (icon, size))
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ---- the installed tree

def in_namespace():
    """Re-runs this test in a private network namespace when root can make one."""
    if os.geteuid() != 0 or os.environ.get("ORVEX_INSTALL_NETNS") or not shutil.which("unshare"):
        return
    # A container may refuse new namespaces: then the machine's loopback it is.
    if subprocess.call(["unshare", "-n", "true"], stderr=subprocess.DEVNULL) != 0:
        return
    env = dict(os.environ, ORVEX_INSTALL_NETNS="1")
    code = subprocess.call(["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$0" "$@"',
                            sys.executable, os.path.abspath(__file__)] + sys.argv[1:], env=env)
    sys.exit(code)


class Lines:
    """Collects a process's output lines on a thread of their own."""

    def __init__(self, stream):
        self.lines = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            self.lines.append(line.rstrip("\n"))

    def find(self, prefix):
        return next((l for l in list(self.lines) if l.startswith(prefix)), None)


def visible_windows(display, pattern, field="--name"):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", field, pattern], text=True,
                            capture_output=True, env=dict(os.environ, DISPLAY=display))
    return result.stdout.split()


def test_tree(build):
    in_namespace()
    root = os.geteuid() == 0
    work = tempfile.mkdtemp(prefix="orvex-installed-", dir="/tmp")
    os.chmod(work, 0o755)
    processes = []
    try:
        prefix = os.path.join(work, "usr")
        run(["cmake", "--install", build, "--prefix", prefix])
        home = os.path.join(work, "home")
        runtime = os.path.join(work, "run")
        for folder in (home, runtime):
            os.mkdir(folder, 0o700)
            if root:
                os.chown(folder, NOBODY, NOBODY)
        cache = os.path.join(home, "xdg-cache")

        tracks = sorted(glob.glob(os.path.join(prefix, "share/orvex/*.mp3")))
        stream = subprocess.Popen([os.path.join(build, "bin/orvex-stream"), "--host", "127.0.0.1", "--port", "8000"]
                                  + tracks, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        processes.append(stream)
        said = Lines(stream.stdout)
        wait_for("the demo stream", lambda: said.find("listening on") or stream.poll() is not None, 30)
        if not said.find("listening on"):
            if not os.environ.get("ORVEX_INSTALL_NETNS"):
                print("SKIP: 127.0.0.1:8000 is taken and no private network namespace could be made")
                sys.exit(77)
            fail("the demo stream did not start: %s" % said.lines)

        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(xvfb)
        os.close(write)
        with os.fdopen(read) as f:
            display = ":" + f.readline().strip()
        if display == ":":
            fail("Xvfb did not start")

        env = {"PATH": "/usr/bin:/bin", "HOME": home, "XDG_CACHE_HOME": cache, "XDG_RUNTIME_DIR": runtime,
               "DISPLAY": display, "QTWEBENGINE_DISABLE_SANDBOX": "1", "ORVEX_AUDIO_SINK": "fakesink"}
        user = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"] if root else []
        orvex = subprocess.Popen(user + [os.path.join(prefix, "bin/orvex")], env=env, cwd=home,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        processes.append(orvex)

        page = os.path.join(cache, "orvex/indexII.htm")
        wait_for("the window", lambda: visible_windows(display, "^Orvex v\\.") or orvex.poll() is not None)
        if orvex.poll() is not None:
            fail("the program ended with status %d" % orvex.returncode)
        wait_for("the player page in the user's cache", lambda: os.path.exists(page))
        wait_for("the page's request to the demo stream", lambda: said.find("request: GET "))
        if visible_windows(display, "^Orvex$"):
            fail("start-up showed a message box")
        # On X11 the desktop matches the window to its entry by the window's class.
        desktop = os.path.join(prefix, "share/applications/%s.desktop" % APP_ID)
        wm_class = next(l.split("=", 1)[1].strip() for l in open(desktop) if l.startswith("StartupWMClass="))
        shown = set(visible_windows(display, "^Orvex v\\."))
        if not shown & set(visible_windows(display, "^%s$" % wm_class, "--class")):
            fail("the window's class is not the entry's %r" % wm_class)
        with open(page, "rb") as f:
            line28 = f.read().split(b"\r\n")[27]
        if b'VALUE="http://127.0.0.1:8000' not in line28:
            fail("line 28 of the page is %r" % line28)
        if root and os.stat(page).st_uid != NOBODY:
            fail("the page does not belong to the user who ran the program")
        written = [p for p in glob.glob(os.path.join(prefix, "**/indexII.htm"), recursive=True)]
        if written:
            fail("the program wrote into its installed tree: %s" % written)
        print("window shown, page at %s, stream asked: %s" % (page, said.find("request: ")))
    finally:
        # The program runs in a process group of its own with its browser's
        # helpers: the whole group goes.
        for p in reversed(processes):
            group = p is processes[-1] and len(processes) == 3
            try:
                os.killpg(p.pid, signal.SIGTERM) if group else p.terminate()
            except ProcessLookupError:
                pass
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
            if group:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("package", "tree"):
        sys.exit(__doc__)
    {"package": test_package, "tree": test_tree}[sys.argv[1]](os.path.abspath(sys.argv[2]))
    print("PASS")
