#!/usr/bin/env python3
"""tools/apt-install against a stand-in apt-get and sudo on PATH.

The stand-in records every call and fails `update` and `install` as many
times as the case asks, so that a mirror in the middle of a sync (lists that
cannot be fetched) and an installation that fails can be shown without a
network or root.
"""
import os
import pathlib
import subprocess
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = ROOT / "tools" / "apt-install"
ABSENT = "kestovan-test-package-that-is-not-installed"

FAKE_APT_GET = """#!/bin/sh
echo "apt-get $*" >> "$FAKE_LOG"
case "$1" in
update) counter="$FAKE_DIR/updates"; fails=$FAKE_UPDATE_FAILS ;;
install) counter="$FAKE_DIR/installs"; fails=$FAKE_INSTALL_FAILS ;;
*) exit 0 ;;
esac
n=$(cat "$counter" 2>/dev/null || echo 0)
n=$((n + 1))
echo "$n" > "$counter"
[ "$n" -gt "$fails" ] || exit 100
"""

FAKE_SUDO = """#!/bin/sh
exec "$@"
"""


class AptInstallTest(unittest.TestCase):
    def run_tool(self, *packages, update_fails=0, install_fails=0):
        with tempfile.TemporaryDirectory() as d:
            d = pathlib.Path(d)
            for name, text in (("apt-get", FAKE_APT_GET), ("sudo", FAKE_SUDO)):
                (d / name).write_text(text)
                (d / name).chmod(0o755)
            log = d / "calls"
            env = dict(os.environ, PATH=f"{d}:{os.environ['PATH']}", FAKE_LOG=str(log),
                       FAKE_DIR=str(d), FAKE_UPDATE_FAILS=str(update_fails),
                       FAKE_INSTALL_FAILS=str(install_fails), KESTOVAN_APT_RETRY_PAUSE="0")
            result = subprocess.run([str(TOOL), *packages], env=env, capture_output=True,
                                    text=True, timeout=60)
            calls = log.read_text().splitlines() if log.exists() else []
        return result, calls

    def test_installed_packages_are_left_alone(self):
        result, calls = self.run_tool("dpkg")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(calls, [])

    def test_only_the_missing_packages_are_installed(self):
        result, calls = self.run_tool("--no-install-recommends", "dpkg", ABSENT)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(calls, ["apt-get update -q",
                                 f"apt-get install -y -q --no-install-recommends {ABSENT}"])

    def test_lists_that_cannot_be_fetched_do_not_stop_the_installation(self):
        result, calls = self.run_tool(ABSENT, update_fails=1)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(calls, ["apt-get update -q"] * 2 + [f"apt-get install -y -q {ABSENT}"])

        result, calls = self.run_tool(ABSENT, update_fails=99)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(calls, ["apt-get update -q"] * 3 + [f"apt-get install -y -q {ABSENT}"])
        self.assertIn("installing from the lists apt has", result.stderr)

    def test_a_failed_installation_is_tried_once_more_then_reported(self):
        result, calls = self.run_tool(ABSENT, install_fails=1)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(calls, ["apt-get update -q", f"apt-get install -y -q {ABSENT}"] * 2)

        result, calls = self.run_tool(ABSENT, install_fails=2)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(calls), 4)
        self.assertIn(f"{ABSENT} could not be installed", result.stderr)


if __name__ == "__main__":
    unittest.main()
