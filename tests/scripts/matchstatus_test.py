"""Tests of the players' status lines, the first-start announcement and its
free-space check (scripts/matchstatus.py), and of the status lines that
scripts/match prints during a match.

The player output below is recorded from morvane and lookupgen runs.

    python3 matchstatus_test.py [TEST_CLASS ...]
"""

import os
import pty
import re
import select
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.environ.get("POKER_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD = os.environ.get("BUILD_DIR", os.path.join(SOURCE, "build"))
STATUS = os.path.join(SOURCE, "scripts", "matchstatus.py")
MATCH = os.path.join(SOURCE, "scripts", "match")

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE, "scripts"))
import matchstatus  # noqa: E402

EVALUATOR_TABLE = """\
Generating the evaluator state table lookup/tpt...
Generating the evaluator state table...
  0 cards: 1 states
  1 card: 52 states
  2 cards: 1326 states
"""
EQUITY_TABLES = """\
Creating indexers... done!
Indexing pre-flop hands...
0% done
5.91716% done
pre-flop: 122 classes per second with 2 threads, about 16 s left
11.8343% done
17.7515% done
"""
UTILITY_TABLES = """\
File lookup/utility_preflop_2p_0 is missing!
Computing ne for 2 players and round 0
Loading game kuhn.preflop.2p.game!
Estou aqui: 0.591716%
Eliminating useless actions...
0 actions were eliminated!
Number of information sets: 404
CFR progress: 0% (elapsed time: 0 mins, expected time left: 0 mins)
CFR progress: 1% (elapsed time: 0.2 mins, expected time left: 1.8 mins)
CFR progress: 2% (elapsed time: 0.416667 mins, expected time left: 1.73333 mins)
CFR progress: 3% (elapsed time: 0.6 mins, expected time left: 1.28333 mins)
"""
UTILITY_MEASURING = """\
CFR progress: 9% (elapsed time: 1.75 mins, expected time left: 0.166667 mins)
0% done
12.5% done
"""
KUHN_TRAINING = """\
morvane
kuhn.limit.3p.game
Warning: could not load strategy from disk!
Training kuhn agent with 100 iterations
Finding equilibrium 0...
Number of starting nodes: 24
Eliminating useless actions...
21 actions were eliminated!
Number of information sets: 48
NashConv of the average strategy: 0.00590514 chips per hand
Finding equilibrium 1...
Number of information sets: 48
NashConv of the average strategy: 0.00380783 chips per hand
Finding equilibrium 25...
"""
HOLDEM_TRAINING = """\
Loading table lookup/holdem_river_3p_2!
Training hold'em agent with 100000 iterations
Number of information sets: 63780
CFR progress: 0% (elapsed time: 0 mins, expected time left: 0 mins)
CFR progress: 42% (elapsed time: 0.05 mins, expected time left: 0.0966667 mins)
"""


def status_after(text, name="morvane", seconds_per_line=1.0):
    """The PlayerStatus after reading text, one line per second, and the
    time of the last line."""
    status = matchstatus.PlayerStatus(name)
    now = 0.0
    for line in text.splitlines():
        now += seconds_per_line
        status.feed(line, now)
    return status, now


class StatusLines(unittest.TestCase):
    def test_equity_tables_show_the_round_percent_and_time_left(self):
        status, now = status_after(EQUITY_TABLES)
        self.assertEqual(status.text(now), "morvane: equity tables, pre-flop 18%, about 19s left, 5s so far")
        # Right after the player's own estimate, that is the time left.
        status, now = status_after(EQUITY_TABLES.rsplit("11.8343", 1)[0])
        self.assertEqual(status.text(now + 4), "morvane: equity tables, pre-flop 6%, about 12s left, 7s so far")

    def test_utility_tables_count_tenths_then_measure(self):
        status, now = status_after(UTILITY_TABLES)
        self.assertEqual(status.text(now),
                         "morvane: utility tables, pre-flop: solving 30%, about 1m 17s left, 9s so far")
        for line in UTILITY_MEASURING.splitlines():
            now += 1
            status.feed(line, now)
        self.assertEqual(status.text(now), "morvane: utility tables, pre-flop: measuring 12%, about 7s left, 12s so far")

    def test_evaluator_table_counts_its_seven_levels(self):
        status, now = status_after(EVALUATOR_TABLE)
        self.assertEqual(status.text(now), "morvane: evaluator state table 43%, about 4s left, 4s so far")

    def test_training_kuhn_and_holdem(self):
        status, now = status_after(KUHN_TRAINING)
        self.assertEqual(status.text(now), "morvane: training 25%, about 27s left, 10s so far")
        status, now = status_after(HOLDEM_TRAINING, name="morvane-2")
        self.assertEqual(status.text(now), "morvane-2: training 42%, about 6s left, 4s so far")

    def test_no_line_before_the_player_makes_anything(self):
        status, now = status_after("morvane\nholdem.limit.3p.game\nlocalhost\n1234\n"
                                   "Warning: could not load strategy from disk!\n")
        self.assertIsNone(status.text(now))

    def test_match_progress(self):
        progress = matchstatus.MatchProgress(1000)
        progress.update(0, 0.0)
        self.assertEqual(progress.text(1.0), "match: hand 0 of 1000")
        progress.update(100, 2.0)
        progress.update(300, 4.0)
        self.assertEqual(progress.text(4.0), "match: hand 300 of 1000, 100 hands/s, about 7s left")


def write(path, text=""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


class FirstStart(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="first-start-test-")
        self.run_dir = os.path.join(self.dir.name, "run")

    def tearDown(self):
        self.dir.cleanup()

    def plan(self, game, free=None):
        env = dict(os.environ)
        if free is not None:
            env["MATCH_TEST_FREE_BYTES"] = str(free)
        return subprocess.run([sys.executable, STATUS, "plan", "--run-dir", self.run_dir, "--game", game],
                              capture_output=True, text=True, env=env, timeout=60)

    def test_announces_what_is_made_and_what_it_costs(self):
        result = self.plan("holdem.limit.3p")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "morvane: first start for holdem.limit.3p: lookup tables about 16 min "
                         "and 5.2 GB, then training about 18 min and 10.5 GB; later starts load them\n")
        # With the tables in place only the training is left; with the
        # strategy as well, nothing is said.
        for table in matchstatus.BUCKET_TABLES:
            write(os.path.join(self.run_dir, table))
        result = self.plan("holdem.limit.2p.reverse_blinds")
        self.assertEqual(result.stdout, "morvane: first start for holdem.limit.2p.reverse_blinds: "
                         "training about 3 s and 6.9 MB; later starts load it\n")
        write(os.path.join(self.run_dir, "strategies", "holdem.limit.2p", "strategy"))
        self.assertEqual(self.plan("holdem.limit.2p.reverse_blinds").stdout, "")

    def test_refuses_when_the_disk_is_too_small(self):
        # Tables made before count: 1.2 GB of them leave 4 GB to make.
        with open(os.path.join(self.dir.name, "flop_2p"), "wb") as f:
            f.truncate(1_200_000_000)  # sparse: no real disk used
        os.makedirs(os.path.join(self.run_dir, "lookup"))
        os.rename(f.name, os.path.join(self.run_dir, "lookup", "flop_2p"))
        result = self.plan("holdem.limit.2p.reverse_blinds", free=4_000_000_000)
        self.assertEqual(result.returncode, 3)
        self.assertIn("up to about 16 min and 4.0 GB", result.stdout)
        self.assertIn(f"not enough free space under {self.run_dir} for morvane's first start: "
                      "it needs about 4.0 GB, 4.0 GB are free", result.stderr)
        self.assertEqual(self.plan("holdem.limit.2p.reverse_blinds", free=4_100_000_000).returncode, 0)

    @unittest.skipUnless(os.path.exists(os.path.join(BUILD, "morvane", "morvane")), "no morvane built")
    def test_match_refuses_before_anything_is_made(self):
        env = dict(os.environ, BUILD_DIR=BUILD, MATCH_TEST_FREE_BYTES="1000000")
        result = subprocess.run([MATCH, "--no-build", "--run-dir", self.run_dir, "--game", "holdem.limit.3p",
                                 "morvane", "call", "call"], capture_output=True, text=True, env=env, timeout=120)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("morvane: first start for holdem.limit.3p", result.stdout)
        self.assertIn("not enough free space", result.stderr)
        self.assertFalse(os.path.exists(self.run_dir))


class LiveStatus(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="live-status-test-")

    def tearDown(self):
        self.dir.cleanup()

    def test_a_match_on_a_non_terminal_prints_progress_lines_before_the_table(self):
        env = dict(os.environ, BUILD_DIR=BUILD, MATCH_PROGRESS_SECONDS="0.1")
        result = subprocess.run([MATCH, "--no-build", "--run-dir", os.path.join(self.dir.name, "run"),
                                 "--hands", "20000", "--seed", "2", "call", "raise", "random"],
                                capture_output=True, text=True, env=env, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        header = next(i for i, line in enumerate(lines) if line.startswith("player "))
        progress = [i for i, line in enumerate(lines) if re.fullmatch(r"match: hand \d+ of 20000.*", line)]
        self.assertTrue(progress, result.stdout)
        self.assertLess(progress[-1], header, "nothing of the status goes into the table")
        self.assertEqual(len(lines), header + 5, "the table and the closing line follow")
        self.assertNotIn("\x1b", result.stdout)

    def test_on_a_terminal_the_lines_are_replaced_in_place_and_cleared(self):
        log = os.path.join(self.dir.name, "morvane.log")
        write(log, EQUITY_TABLES)
        leader, follower = pty.openpty()
        watcher = subprocess.Popen([sys.executable, STATUS, "watch", "--hands", "100",
                                    "--match-log", os.path.join(self.dir.name, "match.log"),
                                    f"morvane={log}", f"call={os.path.join(self.dir.name, 'call.log')}"],
                                   stdout=follower, stderr=subprocess.DEVNULL)
        os.close(follower)
        output = b""
        deadline = time.monotonic() + 30
        while output.count(b"equity tables") < 2 and time.monotonic() < deadline:
            if select.select([leader], [], [], 1)[0]:
                output += os.read(leader, 4096)
        watcher.send_signal(signal.SIGTERM)
        watcher.wait(timeout=30)
        while select.select([leader], [], [], 0.5)[0]:
            try:
                chunk = os.read(leader, 4096)
            except OSError:
                break
            if not chunk:
                break
            output += chunk
        os.close(leader)
        text = output.decode()
        self.assertIn("morvane: equity tables, pre-flop 18%", text)
        self.assertNotIn("call:", text, "a player that makes nothing has no line")
        # Redrawn over the line before, and erased when stopped.
        self.assertIn("\x1b[1F\x1b[J", text)
        self.assertTrue(text.endswith("\x1b[1F\x1b[J"), repr(text[-40:]))


if __name__ == "__main__":
    unittest.main(verbosity=2)
