"""The install step every script runs (scripts/install.sh, scripts/packages)
and scripts/match's choice to configure a build directory, with dpkg-query,
id, apt-get and cmake replaced by stubs; cmake fails, so nothing is built.
"""

import os
import subprocess
import tempfile
import unittest

SCRIPTS = os.path.join(os.environ.get("POKER_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../..")),
                       "scripts")
STUBS = {
    # Installed are the packages named in $INSTALLED; like dpkg-query, it exits
    # with status 1 when it knows nothing of some package it was asked about.
    "dpkg-query": 'status=0; for p in "$@"; do case " $INSTALLED " in *" $p "*) echo "$p ii ";; '
                  '-*) ;; *) status=1;; esac; done; exit $status',
    "id": 'echo "$STUB_UID"',
    "apt-get": 'echo "apt-get $*" >> "$STUB_LOG"; exit "$APT_STATUS"',
    "cmake": 'echo "cmake $*" >> "$STUB_LOG"; exit 1',
}


def packages_for(script):
    """The packages scripts/packages lists for a script, read here on its own."""
    with open(os.path.join(SCRIPTS, "packages")) as f:
        lines = [line.split("#", 1)[0].split() for line in f]
    return [w[0] for w in lines if w and (len(w) == 1 or script in w[1:])]


class Install(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="install-test-")
        self.tmp = self.dir.name
        os.mkdir(os.path.join(self.tmp, "bin"))
        for name, body in STUBS.items():
            path = os.path.join(self.tmp, "bin", name)
            with open(path, "w") as f:
                f.write("#!/bin/sh\n" + body + "\n")
            os.chmod(path, 0o755)
        self.log = os.path.join(self.tmp, "calls")

    def tearDown(self):
        self.dir.cleanup()

    def run_script(self, script, *args, uid=1000, installed=(), apt_status=0):
        env = dict(os.environ, PATH=os.path.join(self.tmp, "bin") + os.pathsep + os.environ["PATH"],
                   INSTALLED=" ".join(installed), STUB_UID=str(uid), STUB_LOG=self.log,
                   APT_STATUS=str(apt_status))
        return subprocess.run([os.path.join(SCRIPTS, script), *args], capture_output=True, text=True,
                              env=env, timeout=120)

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [line.split() for line in f]

    def test_every_script_names_what_is_missing_from_the_one_list(self):
        build, run = os.path.join(self.tmp, "build"), os.path.join(self.tmp, "run")
        for script, args in {"test": [build], "match": ["--build-dir", build, "--run-dir", run],
                             "plot": ["match.log"], "fuzz": []}.items():
            with self.subTest(script):
                result = self.run_script(script, *args, installed=["cmake"])
                self.assertNotEqual(result.returncode, 0)
                missing = " ".join(p for p in packages_for(script) if p != "cmake")
                self.assertIn(f"{script}: missing Debian packages: {missing}\n", result.stderr)
                self.assertIn(f"apt-get install {missing}\n", result.stderr)
        self.assertIn("clang", packages_for("fuzz"))
        self.assertNotIn("clang", packages_for("match"))
        self.assertEqual(self.calls(), [], "nothing installed, configured or built")

    def test_root_installs_what_is_missing_and_stops_when_that_fails(self):
        wanted = packages_for("match")
        result = self.run_script("match", "--build-dir", os.path.join(self.tmp, "build"),
                                 installed=wanted[1:], uid=0)
        self.assertIn(f"match: installing {wanted[0]}", result.stderr)
        calls = self.calls()
        self.assertEqual(calls[0][:3], ["apt-get", "update", "-qq"])
        self.assertEqual(calls[1][:2] + calls[1][-1:], ["apt-get", "install", wanted[0]])
        self.assertEqual(calls[2][:2], ["cmake", "-S"], "the build follows")
        os.remove(self.log)
        result = self.run_script("plot", "match.log", uid=0, apt_status=100)
        self.assertIn("plot: could not install", result.stderr)
        self.assertEqual([call[:2] for call in self.calls()], [["apt-get", "update"]])

    def test_match_configures_again_a_build_directory_a_failed_configure_left(self):
        build = os.path.join(self.tmp, "build")
        os.mkdir(build)
        for made, expected in ((["CMakeCache.txt"], "-S"), (["Makefile"], "--build")):
            for name in made:
                open(os.path.join(build, name), "w").close()
            self.run_script("match", "--build-dir", build, "--run-dir", os.path.join(self.tmp, "run"),
                            "call", "call", "call", installed=packages_for("match"))
            self.assertEqual(self.calls()[-1][1], expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
