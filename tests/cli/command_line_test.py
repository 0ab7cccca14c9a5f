#!/usr/bin/env python3
"""The program's command line as a person or a script meets it.

Usage: command_line_test.py KESTOVAN_BINARY

Each case builds demo machines with tools/make-demo-machine and runs the
program as a subprocess: what it refuses and how it says so, what read-only
runs leave behind, what a quiet run writes to its log, and how Ctrl-C stops
a removal half way.
"""

import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BINARY = None
PROGRAM_DIR = "C:\\Program Files\\Tavori Viewer"
QUIET_BAD_ARGUMENTS, QUIET_NOTHING, QUIET_STOPPED = 2, 4, 6


def make_machine(path, *options):
    subprocess.run([os.path.join(ROOT, "tools", "make-demo-machine"), *options, path],
                   check=True, stdout=subprocess.DEVNULL)
    return path


def snapshot(path):
    """Every entry under path: its kind, content hash, mode and modification time."""
    state = {}
    for dirpath, dirs, files in os.walk(path):
        for name in dirs + files:
            full = os.path.join(dirpath, name)
            st = os.lstat(full)
            digest = ""
            if os.path.isfile(full) and not os.path.islink(full):
                with open(full, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            state[os.path.relpath(full, path)] = (st.st_mode, digest, st.st_mtime_ns)
    st = os.stat(path)
    state["."] = (st.st_mode, "", st.st_mtime_ns)
    return state


def run(*arguments, stdin=subprocess.DEVNULL, env=None, timeout=60):
    return subprocess.run([BINARY, *arguments], stdin=stdin, capture_output=True, text=True,
                          errors="replace", env=env, timeout=timeout)


class Case(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="kestovan-cli-")
        self.machine = make_machine(os.path.join(self.work, "machine"))

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def assertRefused(self, result, *fragments, code=2):
        self.assertEqual(result.returncode, code, result.stderr)
        for fragment in fragments:
            self.assertIn(fragment, result.stderr)


class NamedFilesAreCheckedFirst(Case):
    """A bad path is refused with the option and the reason; nothing changes."""

    def refused_unchanged(self, arguments, *fragments, code=QUIET_BAD_ARGUMENTS):
        before = snapshot(self.machine)
        result = run("--machine", self.machine, *arguments)
        self.assertRefused(result, *fragments, code=code)
        self.assertEqual(snapshot(self.machine), before, "the machine changed")
        return result

    def test_log_paths(self):
        self.refused_unchanged(["--quiet", "--log", self.path("missing/dir/x.log")],
                               "--log", "no such directory")
        os.mkdir(self.path("a-directory"))
        self.refused_unchanged(["--quiet", "--log", self.path("a-directory")],
                               "--log", "is a directory, not a file")
        with open(self.path("plain"), "w") as f:
            f.write("x")
        self.refused_unchanged(["--quiet", "--log", self.path("plain/x.log")],
                               "--log", "is not a directory")

    def test_log_in_a_directory_nobody_may_write(self):
        if os.geteuid() == 0:
            self.skipTest("root writes into any directory")
        locked = self.path("locked")
        os.mkdir(locked, 0o500)
        self.refused_unchanged(["--quiet", "--log", os.path.join(locked, "x.log")],
                               "--log", "cannot be created")

    def test_transcript_and_answers_paths(self):
        self.refused_unchanged(["--answers", self.path("none.txt")], "--answers", "no such file",
                               code=2)
        os.mkdir(self.path("answers.d"))
        self.refused_unchanged(["--answers", self.path("answers.d")], "--answers",
                               "is a directory", code=2)
        self.refused_unchanged(["--quiet", "--transcript", self.path("no/t.jsonl")],
                               "--transcript", "no such directory")
        self.assertFalse(os.path.exists(self.path("no")))

    def test_the_log_probe_leaves_no_file(self):
        # A check that succeeds leaves no empty log behind when the run then
        # stops on another option.
        log = self.path("kept.log")
        self.refused_unchanged(["--log", log, "--answers", self.path("none.txt")], "--answers",
                               code=2)
        self.assertFalse(os.path.exists(log))

    def test_machine_paths(self):
        result = run("--machine", self.path("nowhere"), "--list")
        self.assertRefused(result, "--machine", "no such directory")
        with open(self.path("file"), "w") as f:
            f.write("x")
        self.assertRefused(run("--machine", self.path("file"), "--list"),
                           "is a file, not a machine directory")
        os.mkdir(self.path("empty"))
        self.assertRefused(run("--machine", self.path("empty"), "--list"),
                           "not a machine directory", "drive_c")
        self.assertRefused(run("--machine", "", "--list"), "--machine needs a path")
        env = dict(os.environ, WINEPREFIX=self.path("nowhere"))
        self.assertRefused(run("--list", env=env), "$WINEPREFIX", "no such directory")

    def test_exe_dir_that_does_not_exist(self):
        # The registered installation is not taken in its place.
        result = self.refused_unchanged(["--exe-dir", "C:\\Nope", "--quiet"], "--exe-dir C:\\Nope",
                                        "no such directory in the machine",
                                        "registers Tavori Viewer in " + PROGRAM_DIR)
        self.assertEqual(result.stdout, "")


class ReadOnlyRunsWriteNothing(Case):
    def test_every_byte_stays(self):
        for arguments in (["--list"], ["--list", "--json"], ["--quiet", "--preview"],
                          ["--exe-dir", PROGRAM_DIR, "--quiet", "--preview"]):
            with self.subTest(arguments=arguments):
                before = snapshot(self.machine)
                result = run("--machine", self.machine, *arguments)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(snapshot(self.machine), before)
                self.assertFalse(os.path.exists(os.path.join(self.machine, "kestovan.lock")))
        for arguments in (["--help"], ["-h"], ["--version"]):
            before = snapshot(self.machine)
            self.assertEqual(run("--machine", self.machine, *arguments).returncode, 0)
            self.assertEqual(snapshot(self.machine), before)

    def test_an_existing_lock_file_is_only_looked_at(self):
        lock = os.path.join(self.machine, "kestovan.lock")
        with open(lock, "w"):
            pass
        os.utime(lock, ns=(1_000_000_000, 1_000_000_000))
        before = snapshot(self.machine)
        self.assertEqual(run("--machine", self.machine, "--quiet", "--preview").returncode, 0)
        self.assertEqual(snapshot(self.machine), before)

    def test_a_preview_sees_another_copy(self):
        lock = os.path.join(self.machine, "kestovan.lock")
        holder = subprocess.Popen(["flock", lock, "sleep", "30"])
        try:
            while subprocess.run(["flock", "-n", lock, "true"]).returncode == 0:
                time.sleep(0.05)
            result = run("--machine", self.machine, "--quiet", "--preview")
            self.assertEqual(result.returncode, 5, result.stderr)
            self.assertIn("another copy", result.stderr)
        finally:
            holder.kill()
            holder.wait()

    def test_a_removal_still_takes_the_lock(self):
        self.assertEqual(run("--machine", self.machine, "--quiet").returncode, 0)
        self.assertTrue(os.path.exists(os.path.join(self.machine, "kestovan.lock")))


class OptionsFollowGnuConventions(Case):
    def test_attached_values_and_the_end_of_options(self):
        log = self.path("status.log")
        result = run("--machine=" + self.machine, "--exe-dir=" + PROGRAM_DIR, "--quiet",
                     "--log=" + log)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.exists(log))
        self.assertRefused(run("--machine", self.machine, "--list", "--", "extra"),
                           "unexpected argument 'extra'")
        self.assertRefused(run("--machine", self.machine, "--quiet=yes"),
                           "option --quiet takes no value")
        self.assertRefused(run("--machine", self.machine, "--frobnicate"),
                           "unknown option --frobnicate")
        self.assertRefused(run("--machine", self.machine, "--log"), "option --log needs a value")
        self.assertIn("Usage:", run("-h").stdout)

    def test_interactive_run_starts_in_the_registered_directory(self):
        answers = self.path("answers")
        with open(answers, "w") as f:
            f.write("no\nok\n")  # the welcome question, then the cancel notice
        result = run("--machine", self.machine, "--answers", answers)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(result.stderr.startswith("kestovan: starting in " + PROGRAM_DIR + "\\"),
                        result.stderr)
        bare = make_machine(self.path("bare"), "--no-settings")
        result = run("--machine", bare, "--answers", answers)
        self.assertRefused(result, "registers no Tavori Viewer", "--exe-dir")


class QuietRunsKeepTheirLog(Case):
    def test_log_of_a_removal_then_of_the_second_run(self):
        first, second = self.path("first.log"), self.path("second.log")
        self.assertEqual(run("--machine", self.machine, "--quiet", "--log", first).returncode, 0)
        with open(first, "rb") as f:
            self.assertIn(b">>  Finished removing Tavori Viewer files...", f.read())
        result = run("--machine", self.machine, "--quiet", "--log", second)
        self.assertEqual(result.returncode, QUIET_NOTHING, result.stderr)
        self.assertNotIn("give --exe-dir", result.stderr)
        with open(second, "rb") as f:
            text = f.read()
        self.assertTrue(text.startswith(b"KESTOVAN: nothing to remove"), text)
        self.assertTrue(text.endswith(b"\r\n"))

    def test_a_refused_run_says_why_in_its_log(self):
        log = self.path("refused.log")
        result = run("--machine", self.machine, "--quiet", "--log", log, "--exe-dir", "C:\\Nope")
        self.assertEqual(result.returncode, QUIET_BAD_ARGUMENTS)
        with open(log, "rb") as f:
            self.assertIn(b"KESTOVAN: refused: --exe-dir C:\\Nope", f.read())

    def test_a_preview_log_and_transcript_say_so(self):
        log, transcript = self.path("preview.log"), self.path("t.jsonl")
        result = run("--machine", self.machine, "--quiet", "--preview", "--log", log,
                     "--transcript", transcript)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(log, "rb") as f:
            self.assertTrue(f.read().startswith(b"PREVIEW - nothing was removed"))
        with open(transcript) as f:
            first = json.loads(f.readline())
        self.assertEqual(first["event"], "preview")


def renames_into(directory, action):
    """Runs action() and returns the names files were renamed to in directory meanwhile, in
    order (inotify's IN_MOVED_TO); None where inotify is not available.  IN_MOVED_FROM is
    watched too: inotify merges an event into an identical one just before it, so renames onto
    one name would count once without the events between them."""
    import ctypes
    import ctypes.util
    import struct
    libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
    in_nonblock, in_moved_from, in_moved_to = os.O_NONBLOCK, 0x40, 0x80
    fd = libc.inotify_init1(in_nonblock)
    if fd < 0:
        return None
    try:
        if libc.inotify_add_watch(fd, os.fsencode(directory), in_moved_from | in_moved_to) < 0:
            return None
        action()
        names, data = [], b""
        while True:
            try:
                data += os.read(fd, 65536)
            except BlockingIOError:
                break
        while data:
            _, mask, _, length = struct.unpack_from("iIII", data)
            if mask & in_moved_to:
                names.append(data[16:16 + length].rstrip(b"\0").decode())
            data = data[16 + length:]
        return names
    finally:
        os.close(fd)


class HiveWrites(Case):
    def test_a_complete_quiet_removal_writes_each_hive_once_a_registry_change(self):
        """Each hive write costs as much as the whole hive: the removal of the demo machine makes
        user.reg's one change (the settings) and system.reg's six (TavoriViewer, .tvs, the .jpg
        and .bmp restored, TavoriViewer.Image, the eight associations left leading to it, emptied
        together)."""
        results = []
        names = renames_into(self.machine, lambda: results.append(
            run("--machine", self.machine, "--quiet", "--exe-dir", PROGRAM_DIR)))
        if names is None:
            self.skipTest("inotify is not available here")
        self.assertEqual(results[0].returncode, 0, results[0].stderr)
        self.assertEqual(names.count("user.reg"), 1, names)
        self.assertEqual(names.count("system.reg"), 6, names)
        listing = run("--machine", self.machine, "--list")
        self.assertNotIn("HKEY_CLASSES_ROOT", listing.stdout)


class PreviewNamesWhereChangesLand(Case):
    def test_system_files_in_the_32_bit_directory(self):
        system = os.path.join(self.machine, "drive_c", "windows")
        os.mkdir(os.path.join(system, "syswow64"))
        for name in ("Tavori Viewer Screen Saver.SCR", "TVIEWSCR.DAT"):
            shutil.move(os.path.join(system, "system32", name), os.path.join(system, "syswow64"))
        log = self.path("preview.log")
        result = run("--machine", self.machine, "--quiet", "--preview", "--log", log)
        self.assertEqual(result.returncode, 0, result.stderr)
        changes = result.stdout.splitlines()
        self.assertIn("delete file C:\\windows\\syswow64\\TVIEWSCR.DAT", changes)
        self.assertNotIn("delete file C:\\windows\\system32\\TVIEWSCR.DAT", changes)
        # The status log keeps the name the program uses.
        with open(log, "rb") as f:
            self.assertNotIn(b"syswow64", f.read().lower())


class CtrlCIsCancel(Case):
    """SIGINT or SIGTERM inside a sweep stops the removal as Cancel does."""

    PICTURES = 400

    def setUp(self):
        super().setUp()
        program = os.path.join(self.machine, "drive_c", "Program Files", "Tavori Viewer")
        for i in range(self.PICTURES):
            with open(os.path.join(program, "pic%04d.jpg" % i), "w") as f:
                f.write("x")
        # A read-only picture halfway: the sweep stops there to ask whether
        # to go on, which is where the signal is sent.
        os.chmod(os.path.join(program, "pic0200.jpg"), 0o444)
        self.program = program

    def interrupted_run(self, signal_number, answers_before, quiet=False):
        log, transcript = self.path("status.log"), self.path("t.jsonl")
        arguments = ["--machine", self.machine, "--exe-dir", PROGRAM_DIR, "--answers", "-",
                     "--log", log, "--transcript", transcript]
        child = subprocess.Popen([BINARY, *arguments], stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        child.stdin.write("".join(line + "\n" for line in answers_before))
        child.stdin.flush()
        # Wait until the sweep has deleted the pictures before the read-only
        # one and waits for the answer to its question.
        deadline = time.time() + 30
        while time.time() < deadline:
            left = [n for n in os.listdir(self.program) if n.startswith("pic")]
            if len(left) == self.PICTURES - 200:
                break
            time.sleep(0.02)
        time.sleep(0.2)
        child.send_signal(signal_number)
        child.send_signal(signal_number)  # ignored while the run stops
        time.sleep(0.2)
        # Yes, go on: the next poll then takes the Cancel.  Then the cancel
        # notice, the report's OK and the closing notice.
        child.stdin.write("yes\nok\nRemoveDoneFrm.CmdOK click\nok\n")
        child.stdin.close()
        stderr = child.stderr.read()
        child.stderr.close()
        code = child.wait(timeout=60)
        with open(log, "rb") as f:
            status_log = f.read()
        with open(transcript) as f:
            events = [json.loads(line) for line in f]
        return code, stderr, status_log, events

    ANSWERS = ["yes", "RemoveFrm.CmdRemove click", "yes", "yes", "yes", "yes", "yes", "yes"]

    def check(self, signal_number):
        code, stderr, status_log, events = self.interrupted_run(signal_number, self.ANSWERS)
        self.assertEqual(code, 128 + signal_number, stderr)
        self.assertIn("stopping", stderr)
        self.assertEqual(stderr.count("stopping"), 1)
        self.assertTrue(status_log.endswith(
            b">>  The KESTOVAN of Tavori Viewer was canceled.  <<\r\n"), status_log[-300:])
        self.assertNotIn(b"Finished removing", status_log)
        # The pictures after the read-only one were not reached: the run
        # stopped at the next file.
        left = sorted(n for n in os.listdir(self.program) if n.startswith("pic"))
        self.assertEqual(left[0], "pic0200.jpg")
        self.assertGreaterEqual(len(left), self.PICTURES - 202)
        # The records are whole: the hives still read, the settings are there.
        for hive in ("system.reg", "user.reg"):
            with open(os.path.join(self.machine, hive), "rb") as f:
                self.assertTrue(f.read().startswith(b"WINE REGISTRY Version 2"))
        prompts = [e["prompt"] for e in events if e["event"] == "msgbox"]
        self.assertIn("KESTOVAN has been canceled...", prompts)
        self.assertEqual(events[-1], {"event": "end", "code": 128 + signal_number})

    def test_sigint(self):
        self.check(signal.SIGINT)

    def test_sigterm(self):
        self.check(signal.SIGTERM)

    def test_a_signal_before_the_removal_ends_the_program_at_once(self):
        before = snapshot(self.machine)
        child = subprocess.Popen([BINARY, "--machine", self.machine, "--exe-dir", PROGRAM_DIR,
                                  "--answers", "-"], stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)  # at the welcome question
        child.send_signal(signal.SIGINT)
        self.assertEqual(child.wait(timeout=10), -signal.SIGINT)
        child.stdin.close()
        after = snapshot(self.machine)
        after.pop("kestovan.lock", None)
        after.pop(".", None)
        before.pop(".", None)
        self.assertEqual(after, before)

    def test_quiet_run_stopped_by_a_signal(self):
        # A quiet run has no question to wait at: the signal is sent as soon
        # as the sweep has begun, and the run stops with "stopped".
        program = self.program
        for i in range(self.PICTURES, 20000):
            with open(os.path.join(program, "pic%05d.jpg" % i), "w"):
                pass
        os.chmod(os.path.join(program, "pic0200.jpg"), 0o644)
        total = len(os.listdir(program))
        log = self.path("quiet.log")
        child = subprocess.Popen([BINARY, "--machine", self.machine, "--exe-dir", PROGRAM_DIR,
                                  "--quiet", "--remove-user-files", "--log", log],
                                 stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        deadline = time.time() + 30
        while time.time() < deadline and len(os.listdir(program)) > total - 50:
            time.sleep(0.001)
        child.send_signal(signal.SIGINT)
        stderr = child.stderr.read()
        child.stderr.close()
        code = child.wait(timeout=60)
        if code == 0:
            self.skipTest("the removal finished before the signal arrived: " + stderr)
        self.assertEqual(code, QUIET_STOPPED, stderr)
        with open(log, "rb") as f:
            self.assertTrue(f.read().endswith(
                b">>  The KESTOVAN of Tavori Viewer was canceled.  <<\r\n"))
        self.assertGreater(len([n for n in os.listdir(program) if n.startswith("pic")]), 0)


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
