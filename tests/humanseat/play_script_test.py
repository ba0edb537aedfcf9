"""scripts/match with a human seat, played over the page's HTTP interface
(no browser): it prints the page's address, waits for the person and ends
with the dealer's table.

    python3 play_script_test.py SOURCE_DIR BUILD_DIR
"""

import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

SOURCE, BUILD = sys.argv[1], sys.argv[2]
MATCH = os.path.join(SOURCE, "scripts", "match")


def get(url):
    with urllib.request.urlopen(url + "api/view", timeout=10) as response:
        return json.load(response)


def post(url, path, body):
    request = urllib.request.Request(url + path, data=json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as response:
        return json.load(response)


class HumanInAMatch(unittest.TestCase):
    def test_match_prints_the_address_and_ends_with_the_dealers_table(self):
        with tempfile.TemporaryDirectory() as run_dir:
            match = subprocess.Popen(
                [MATCH, "--no-build", "--build-dir", BUILD, "--run-dir", run_dir, "--hands", "3",
                 "--seed", "5", "--game", "kuhn.limit.3p", "call", "human", "raise"],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            try:
                lines = []
                url = None
                while url is None:
                    line = match.stdout.readline()
                    self.assertTrue(line, "no address printed: %r" % lines)
                    lines.append(line)
                    found = re.search(r"http://127\.0\.0\.1:\d+/", line)
                    url = found.group(0) if found else None
                deadline = time.time() + 60
                while True:
                    self.assertLess(time.time(), deadline, "the match did not end")
                    view = get(url)
                    if view["matchOver"]:
                        break
                    hand = view["hand"]
                    if hand and "legal" in hand:
                        self.assertTrue(post(url, "api/action",
                                             {"token": hand["token"], "action": "call"})["ok"])
                    elif view["canNext"]:
                        self.assertTrue(post(url, "api/next", {})["ok"])
                    time.sleep(0.05)
                self.assertEqual(len(view["history"]), 3)
                out, err = match.communicate(timeout=60)
            finally:
                if match.poll() is None:
                    match.kill()
                    match.wait()
            self.assertEqual(match.returncode, 0, err)
            row = next(line.split() for line in out.splitlines() if line.startswith("human "))
            self.assertEqual(float(row[1]), view["total"])
            self.assertEqual(row[4:6], ["0", "0"])  # no errors, no timeouts


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
