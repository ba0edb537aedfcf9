"""Tests of the install step every script runs (scripts/install.sh with the
list scripts/packages) and of scripts/match's choice to configure a build
directory, with dpkg-query, id, apt-get and cmake replaced by stubs.

    python3 install_test.py [TEST_CLASS ...]
"""

import os
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("POKER_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SCRIPTS = os.path.join(SOURCE, "scripts")
sys.dont_write_bytecode = True

# Installed packages: the stub answers for those named in $INSTALLED.
DPKG_QUERY = """#!/bin/sh
for p in "$@"; do
  case " $INSTALLED " in *" $p "*) echo "$p ii " ;; esac
done
"""
LOGGING_STUB = """#!/bin/sh
echo "$(basename "$0") $*" >> "$STUB_LOG"
exit ${STUB_STATUS:-0}
"""


def packages_for(script):
    """The packages scripts/packages lists for SCRIPT, read here on its own."""
    wanted = []
    with open(os.path.join(SCRIPTS, "packages")) as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words and (len(words) == 1 or script in words[1:]):
                wanted.append(words[0])
    return wanted


class Stubs:
    def __init__(self, directory, uid, installed=()):
        self.bin = os.path.join(directory, "bin")
        self.log = os.path.join(directory, "calls.log")
        os.mkdir(self.bin)
        stubs = {"dpkg-query": DPKG_QUERY, "id": f"#!/bin/sh\necho {uid}\n",
                 "apt-get": LOGGING_STUB, "cmake": LOGGING_STUB}
        for name, text in stubs.items():
            path = os.path.join(self.bin, name)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o755)
        # cmake fails so that nothing is ever built by these tests.
        self.env = dict(os.environ, PATH=self.bin + os.pathsep + os.environ["PATH"],
                        INSTALLED=" ".join(installed), STUB_LOG=self.log, STUB_STATUS="1")

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [line.split() for line in f]

    def run(self, script, *args):
        return subprocess.run([os.path.join(SCRIPTS, script), *args], capture_output=True,
                              text=True, env=self.env, timeout=120)


class Install(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="install-test-")
        self.tmp = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def script_args(self, script):
        return {"test": [os.path.join(self.tmp, "build")],
                "match": ["--build-dir", os.path.join(self.tmp, "build"),
                          "--run-dir", os.path.join(self.tmp, "run")],
                "plot": [os.path.join(self.tmp, "match.log")],
                "fuzz": []}[script]

    def test_every_script_names_what_is_missing_from_the_one_list(self):
        stubs = Stubs(self.tmp, uid=1000, installed=["cmake"])
        for script in ("test", "match", "plot", "fuzz"):
            with self.subTest(script):
                result = stubs.run(script, *self.script_args(script))
                self.assertNotEqual(result.returncode, 0)
                expected = [p for p in packages_for(script) if p != "cmake"]
                self.assertIn(f"{script}: missing Debian packages: {' '.join(expected)}\n",
                              result.stderr)
                self.assertIn(f"apt-get install {' '.join(expected)}", result.stderr)
        self.assertIn("clang", packages_for("fuzz"))
        self.assertNotIn("clang", packages_for("match"))
        self.assertEqual(stubs.calls(), [], "nothing installed, configured or built")

    def test_root_installs_what_is_missing_then_goes_on(self):
        everything = packages_for("match")
        stubs = Stubs(self.tmp, uid=0, installed=everything[1:])
        stubs.env["STUB_STATUS"] = "0"
        result = stubs.run("match", *self.script_args("match"))
        calls = stubs.calls()
        self.assertEqual(calls[0][:3], ["apt-get", "update", "-qq"])
        self.assertEqual(calls[1][:4], ["apt-get", "install", "-y", "-qq"])
        self.assertEqual(calls[1][-1:], [everything[0]])
        self.assertEqual(calls[2][:2], ["cmake", "-S"], "the build follows the install")
        self.assertIn(f"match: installing {everything[0]}", result.stderr)

    def test_a_failed_install_stops_the_script(self):
        stubs = Stubs(self.tmp, uid=0)
        result = stubs.run("plot", os.path.join(self.tmp, "match.log"))
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("plot: could not install", result.stderr)
        self.assertEqual([call[:2] for call in stubs.calls()], [["apt-get", "update"]])


class BuildDirectory(unittest.TestCase):
    """scripts/match configures a build directory unless a configure
    completed there: one a failed configure left is configured again."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="configure-test-")
        self.build = os.path.join(self.dir.name, "build")
        os.mkdir(self.build)
        self.stubs = Stubs(self.dir.name, uid=1000, installed=packages_for("match"))

    def tearDown(self):
        self.dir.cleanup()

    def cmake_calls(self, *files):
        for name in files:
            open(os.path.join(self.build, name), "w").close()
        self.stubs.run("match", "--build-dir", self.build,
                       "--run-dir", os.path.join(self.dir.name, "run"), "call", "call", "call")
        return [call[1] for call in self.stubs.calls()]

    def test_a_half_configured_directory_is_configured_again(self):
        self.assertEqual(self.cmake_calls("CMakeCache.txt"), ["-S"])

    def test_a_configured_directory_is_only_built(self):
        self.assertEqual(self.cmake_calls("CMakeCache.txt", "Makefile"), ["--build"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
