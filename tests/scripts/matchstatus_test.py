"""The players' status lines, read from output recorded from morvane and
lookupgen runs; the first-start announcement and its free-space check; and
the status lines of a match on a terminal and elsewhere."""

import os
import pty
import re
import select
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("POKER_SOURCE_DIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "../.."))
BUILD = os.environ.get("BUILD_DIR", os.path.join(SOURCE, "build"))
STATUS = os.path.join(SOURCE, "scripts", "matchstatus.py")
MATCH = os.path.join(SOURCE, "scripts", "match")
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE, "scripts"))
import matchstatus  # noqa: E402

RECORDED = {
    "evaluator": "Generating the evaluator state table lookup/tpt...\n  0 cards: 1 states\n  1 card: 52 states\n",
    "equity": "Indexing pre-flop hands...\n0% done\n5.91716% done\n"
              "pre-flop: 122 classes per second with 2 threads, about 16 s left\n11.8343% done\n",
    "utility": "File lookup/utility_preflop_2p_0 is missing!\nComputing ne for 2 players and round 0\n"
               "Number of information sets: 404\n"
               "CFR progress: 0% (elapsed time: 0 mins, expected time left: 0 mins)\n"
               "CFR progress: 3% (elapsed time: 0.6 mins, expected time left: 1.28333 mins)\n",
    "measuring": "0% done\n12.5% done\n",
    "kuhn": "Warning: could not load strategy from disk!\nTraining kuhn agent with 100 iterations\n"
            "Finding equilibrium 0...\nNumber of information sets: 48\nFinding equilibrium 25...\n",
    "holdem": "Loading table lookup/holdem_river_3p_2!\nTraining hold'em agent with 100000 iterations\n"
              "CFR progress: 42% (elapsed time: 0.05 mins, expected time left: 0.0966667 mins)\n",
    "large": "Making the large turn buckets from the river equities\nLoading table lookup/river_2p!\n"
             "Averaging the river equities of every turn hand\n10% done, about 53 s left\n20% done, about 47 s left\n",
    "sorting": "Sorting the river equities of every turn hand\n10% done, about 49 s left\n30% done, about 40 s left\n",
    "kmeans": "k-means pass 1 of 15: 10538432 hands moved, about 467 s left\n"
              "k-means pass 4 of 15: 1415658 hands moved, about 449 s left\n",
    "waiting": "Waiting for another player preparing its tables or strategy in this directory\n",
}


def status_after(*texts):
    """The status line after reading texts, a line a second."""
    status, now = matchstatus.PlayerStatus("morvane"), 0
    for line in "".join(texts).splitlines():
        now += 1
        status.feed(line, now)
    return status.text(now)


class StatusLines(unittest.TestCase):
    def test_each_kind_of_progress(self):
        expected = {
            # The rate since the step began gives the time left; before
            # there is one, the player's own figure.
            ("equity_printed",): "equity tables, pre-flop 6%, about 32s left, 3s so far",
            ("equity",): "equity tables, pre-flop 12%, about 22s left, 4s so far",
            ("evaluator",): "evaluator state table 29%, about 5s left, 2s so far",
            ("utility",): "utility tables, pre-flop: solving 30%, about 2s left, 3s so far",
            ("utility", "measuring"): "utility tables, pre-flop: measuring 12%, about 7s left, 5s so far",
            ("kuhn",): "training 25%, about 6s left, 3s so far",
            ("holdem",): "training 42%, about 6s left, 2s so far",
            ("large",): "large bucket tables, turn 20%, about 8s left, 4s so far",
            # A second pass over the hands starts its rate afresh.
            ("large", "sorting"): "large bucket tables, turn 30%, about 4s left, 7s so far",
            ("large", "sorting", "kmeans"): "large bucket tables, turn: clustering 27%, about 4s left, 9s so far",
            ("waiting",): "waiting for another player's preparation, 0s so far",
        }
        RECORDED["equity_printed"] = RECORDED["equity"].rsplit("11.8343", 1)[0]
        for kinds, line in expected.items():
            self.assertEqual(status_after(*(RECORDED[k] for k in kinds)), "morvane: " + line, kinds)
        self.assertIsNone(status_after("morvane\nholdem.limit.3p.game\n", "Warning: could not load strategy!\n"))

    def test_match_progress(self):
        progress = matchstatus.MatchProgress(1000)
        progress.update(100, 2.0)
        self.assertEqual(progress.text(2.0), "match: hand 100 of 1000")
        progress.update(300, 4.0)
        self.assertEqual(progress.text(4.0), "match: hand 300 of 1000, 100 hands/s, about 7s left")


class FirstStart(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="first-start-test-")
        self.run_dir = os.path.join(self.dir.name, "run")

    def tearDown(self):
        self.dir.cleanup()

    def plan(self, game, free="10000000000000", abstraction="standard"):
        # MATCH_TEST_FREE_BYTES stands for the free space of the run directory's disk.
        return subprocess.run([sys.executable, STATUS, "plan", "--run-dir", self.run_dir, "--game", game,
                               "--abstraction", abstraction],
                              capture_output=True, text=True, timeout=60,
                              env=dict(os.environ, MATCH_TEST_FREE_BYTES=free))

    def test_says_what_is_made_and_refuses_a_small_disk(self):
        self.assertEqual(self.plan("holdem.limit.3p").stdout, "morvane: first start for holdem.limit.3p: lookup "
                         "tables about 16 min and 5.5 GB, then training about 18 min and 10.5 GB; later starts load them\n")
        # Tables already made count: 1.53 GB of them (sparse) leave 4 GB to make.
        os.makedirs(os.path.join(self.run_dir, "lookup"))
        with open(os.path.join(self.run_dir, "lookup", "flop_2p"), "wb") as f:
            f.truncate(1_530_000_000)
        result = self.plan("holdem.nolimit.2p.reverse_blinds", free="4000000000")
        self.assertEqual(result.returncode, 3)
        self.assertIn("lookup tables up to about 16 min and 4.0 GB, then training under a second", result.stdout)
        self.assertEqual(result.stderr, f"match: not enough free space under {self.run_dir} for morvane's first "
                         "start: it needs about 4.0 GB, 4.0 GB are free\n")
        # Once all is there, nothing is said.
        for path in matchstatus.BUCKET_TABLES + ["strategies/holdem.nolimit.2p/strategy"]:
            os.makedirs(os.path.dirname(os.path.join(self.run_dir, path)), exist_ok=True)
            open(os.path.join(self.run_dir, path), "w").close()
        self.assertEqual(self.plan("holdem.nolimit.2p.reverse_blinds", free="0").stdout, "")

    def test_the_large_abstraction_has_its_own_tables_and_strategy(self):
        game = "holdem.limit.2p.reverse_blinds"
        self.assertEqual(self.plan(game, abstraction="large").stdout,
                         f"morvane: first start for {game} (large abstraction): lookup tables about 16 min "
                         "and 5.8 GB, then training about 21 min and 1.7 GB; later starts load them\n")
        # With the equity tables there, only its own bucket tables are made.
        for path in ["lookup/flop_2p", "lookup/turn_2p", "lookup/river_2p"] + matchstatus.BUCKET_TABLES:
            os.makedirs(os.path.dirname(os.path.join(self.run_dir, path)), exist_ok=True)
            open(os.path.join(self.run_dir, path), "w").close()
        self.assertIn("large bucket tables about 14 min and 276.8 MB, then training",
                      self.plan(game, abstraction="large").stdout)
        # The no-limit player's bucket tables are not all the limit player's.
        for path in matchstatus.LARGE_TABLES["holdem.nolimit.2p.reverse_blinds"]:
            open(os.path.join(self.run_dir, path), "w").close()
        self.assertNotIn("bucket tables", self.plan("holdem.nolimit.2p.reverse_blinds", abstraction="large").stdout)
        self.assertIn("large bucket tables", self.plan(game, abstraction="large").stdout)
        # A limit strategy without the note of its bucket tables (an earlier
        # version's) is trained again.
        for path in matchstatus.LARGE_TABLES[game] + ["strategies/holdem.limit.2p.large/strategy"]:
            os.makedirs(os.path.dirname(os.path.join(self.run_dir, path)), exist_ok=True)
            open(os.path.join(self.run_dir, path), "w").close()
        self.assertIn("training about 21 min", self.plan(game, abstraction="large").stdout)
        open(os.path.join(self.run_dir, "strategies/holdem.limit.2p.large/strategy.buckets"), "w").close()
        self.assertEqual(self.plan(game, abstraction="large").stdout, "")
        # The standard player's needs are another matter.
        self.assertIn("training about 3 s", self.plan(game).stdout)
        self.assertEqual(self.plan("holdem.limit.3p", abstraction="large").stdout, "")

    @unittest.skipUnless(os.path.exists(os.path.join(BUILD, "morvane", "morvane")), "no morvane built")
    def test_match_refuses_before_anything_is_made(self):
        result = subprocess.run([MATCH, "--no-build", "--run-dir", self.run_dir, "--game", "holdem.limit.3p",
                                 "morvane", "call", "call"], capture_output=True, text=True, timeout=120,
                                env=dict(os.environ, BUILD_DIR=BUILD, MATCH_TEST_FREE_BYTES="1000000"))
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("not enough free space", result.stderr)
        self.assertFalse(os.path.exists(self.run_dir))


class LiveStatus(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="live-status-test-")

    def tearDown(self):
        self.dir.cleanup()

    def test_a_match_elsewhere_than_on_a_terminal_prints_lines_before_the_table(self):
        result = subprocess.run([MATCH, "--no-build", "--run-dir", os.path.join(self.dir.name, "run"),
                                 "--hands", "20000", "--seed", "2", "call", "raise", "random"],
                                capture_output=True, text=True, timeout=300,
                                env=dict(os.environ, BUILD_DIR=BUILD, MATCH_PROGRESS_SECONDS="0.1"))
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        header = next(i for i, line in enumerate(lines) if line.startswith("player "))
        progress = [i for i, line in enumerate(lines) if re.fullmatch(r"match: hand \d+ of 20000.*", line)]
        self.assertTrue(progress, result.stdout)
        self.assertEqual((progress[-1] < header, len(lines)), (True, header + 5), "the table stays whole")
        self.assertNotIn("\x1b", result.stdout)

    def test_on_a_terminal_lines_are_replaced_in_place_and_erased_at_the_end(self):
        log = os.path.join(self.dir.name, "morvane.log")
        with open(log, "w") as f:
            f.write(RECORDED["equity"])
        leader, follower = pty.openpty()
        watcher = subprocess.Popen([sys.executable, STATUS, "watch", "--hands", "9", "--match-log", "none",
                                    f"morvane={log}", "call=none"], stdout=follower)
        os.close(follower)
        output = b""
        while output.count(b"equity tables") < 2 and select.select([leader], [], [], 30)[0]:
            output += os.read(leader, 4096)
        watcher.terminate()
        watcher.wait(timeout=30)
        while select.select([leader], [], [], 1)[0]:
            try:
                chunk = os.read(leader, 4096)
            except OSError:  # the terminal's other end is closed
                break
            output += chunk
            if not chunk:
                break
        os.close(leader)
        text = output.decode()
        self.assertIn("\x1b[1F\x1b[Jmorvane: equity tables, pre-flop 12%", text)
        self.assertNotIn("call:", text, "a player that makes nothing has no line")
        self.assertTrue(text.endswith("\x1b[1F\x1b[J"), repr(text[-40:]))


if __name__ == "__main__":
    unittest.main(verbosity=2)
