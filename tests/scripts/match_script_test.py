"""Tests of the match runner, its duplicate matches and the plots.

scripts/match and scripts/plot run against the dealer and simplebot of the
build tree named by BUILD_DIR, in temporary directories. The duplicate tables
are checked against numbers this file computes from the logs on its own.

    python3 match_script_test.py [TEST_CLASS ...]
"""

import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

SOURCE = os.environ.get("POKER_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BUILD = os.environ.get("BUILD_DIR", os.path.join(SOURCE, "build"))
MATCH = os.path.join(SOURCE, "scripts", "match")
PLOT = os.path.join(SOURCE, "scripts", "plot")
HOLDEM_2P = "holdem.limit.2p.reverse_blinds"

sys.dont_write_bytecode = True  # nothing may be written into the source tree
sys.path.insert(0, os.path.join(SOURCE, "scripts"))
import matchlog  # noqa: E402


def run(command, *args, cwd=None):
    env = dict(os.environ, BUILD_DIR=BUILD)
    return subprocess.run([command, *args], capture_output=True, text=True, env=env, cwd=cwd,
                          timeout=300)


def play(run_dir, *args):
    """Runs scripts/match with the programs already built; fails the test
    when the match fails."""
    result = run(MATCH, "--no-build", "--run-dir", run_dir, *args)
    if result.returncode != 0:
        raise AssertionError(f"scripts/match {' '.join(args)} failed:\n{result.stderr}")
    return result.stdout


def tables(output):
    """The result tables of scripts/match's output: per table, name -> the
    five numbers (total, mean, half-width, errors, timeouts) as text."""
    found = []
    for line in output.splitlines():
        words = line.split()
        if words[:1] == ["player"] and words[-2:] == ["errors", "timeouts"]:
            found.append({})
        elif found and len(words) >= 6 and re.fullmatch(r"-?[\d.e+-]+", words[1]):
            found[-1][words[0]] = words[1:6]
    return found


def hand_lines(path):
    """(hole cards, {name: value}) per hand, and the names of the SCORE line."""
    hands, score_names = [], None
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split(":")
            if fields[0] == "SCORE":
                score_names = fields[2].split("|")
            else:
                values = [float(v) for v in fields[4].split("|")]
                hands.append((fields[3].split("/")[0], dict(zip(fields[5].split("|"), values))))
    return hands, score_names


def expected_duplicate_table(log_paths):
    """Per player: total, mean per hand played and 95% half-width from the
    sums over the runs of every hand number."""
    runs = [hand_lines(p)[0] for p in log_paths]
    names = runs[0][0][1].keys()
    expected = {}
    for name in names:
        sums = [sum(run[h][1][name] for run in runs) for h in range(len(runs[0]))]
        n = len(sums)
        mean = sum(sums) / n
        sd = math.sqrt(sum((s - mean) ** 2 for s in sums) / (n - 1))
        expected[name] = (sum(sums), mean / len(runs), 1.96 * sd / math.sqrt(n) / len(runs))
    return expected


def png_size(path):
    """Width and height of a PNG file; fails on anything that is not a
    complete PNG (signature, IHDR first with a correct checksum, IEND last)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
    length, kind = struct.unpack(">I4s", data[8:16])
    assert kind == b"IHDR" and length == 13, "the first chunk is not IHDR"
    crc, = struct.unpack(">I", data[29:33])
    assert crc == zlib.crc32(data[12:29]), "bad IHDR checksum"
    assert data[-12:-8] == b"\x00\x00\x00\x00" and data[-8:-4] == b"IEND", "no IEND at the end"
    return struct.unpack(">II", data[16:24])


class DuplicateMatch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="match-test-")
        self.run_dir = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def run_logs(self, runs):
        return [os.path.join(self.run_dir, "logs", f"run{r}", "match.log")
                for r in range(1, runs + 1)]

    def test_players_of_one_fixed_policy_break_exactly_even(self):
        output = play(self.run_dir, "--duplicate", "--hands", "300", "--seed", "3",
                      "call", "call", "call")
        found = tables(output)
        self.assertEqual(len(found), 7, "six run tables and the duplicate table")
        for name, row in found[-1].items():
            self.assertEqual(row[:3], ["0", "0.000000", "0.000000"], name)
        # Not only the totals: every hand number cancels over the runs.
        logs = self.run_logs(6)
        runs = [hand_lines(p) for p in logs]
        for h in range(300):
            for name in ("call", "call-2", "call-3"):
                self.assertEqual(sum(hands[h][1][name] for hands, _ in runs), 0.0)
        # Every order of the players over the seats, each once, on the same deals.
        orders = {tuple(score_names) for _, score_names in runs}
        self.assertEqual(len(orders), 6)
        for hands, _ in runs[1:]:
            self.assertEqual([cards for cards, _ in hands], [cards for cards, _ in runs[0][0]])
        self.assertTrue(os.path.getsize(os.path.join(self.run_dir, "logs", "match.png")) > 0)

    def test_kuhn_names_the_three_player_match_game(self):
        # Several games/kuhn.* files exist; the short name means the one played.
        output = play(self.run_dir, "--game", "kuhn", "--hands", "10", "--seed", "1",
                      "call", "call", "call")
        self.assertIn("of kuhn.limit.3p.game", output)

    def check_duplicate_table(self, output, runs):
        found = tables(output)
        self.assertEqual(len(found), runs + 1)
        logs = self.run_logs(runs)
        expected = expected_duplicate_table(logs)
        self.assertEqual(set(found[-1]), set(expected))
        for name, (total, mean, half_width) in expected.items():
            row = found[-1][name]
            self.assertAlmostEqual(float(row[0]), total, places=6, msg=name)
            self.assertAlmostEqual(float(row[1]), mean, places=6, msg=name)
            self.assertAlmostEqual(float(row[2]), half_width, places=6, msg=name)
            for column in (3, 4):  # errors and timeouts: the runs' sum
                self.assertEqual(int(row[column]), sum(int(t[name][column]) for t in found[:-1]))
        # Pairing removes the card luck: the spread of the paired sums is
        # below that of one run's hands.
        for name, (_, _, half_width) in expected.items():
            self.assertLess(half_width, float(found[0][name][2]), name)

    def test_duplicate_table_is_the_paired_statistics_of_the_run_logs(self):
        output = play(self.run_dir, "--duplicate", "--hands", "400", "--seed", "9",
                      "random", "raise", "call")
        self.check_duplicate_table(output, 6)

    @unittest.skipUnless(os.path.exists(os.path.join(SOURCE, "games", HOLDEM_2P + ".game")),
                         "no two-player hold'em game definition")
    def test_two_players_play_two_runs(self):
        output = play(self.run_dir, "--duplicate", "--hands", "300", "--seed", "5",
                      "--game", HOLDEM_2P, "random", "call")
        self.check_duplicate_table(output, 2)

    def test_first_run_is_the_plain_match_of_the_same_seed(self):
        play(self.run_dir, "--duplicate", "--hands", "150", "--seed", "21", "random", "random", "raise")
        with open(self.run_logs(1)[0]) as f:
            duplicate_first = f.read()
        plain = os.path.join(self.run_dir, "plain")
        play(plain, "--hands", "150", "--seed", "21", "random", "random", "raise")
        with open(os.path.join(plain, "logs", "match.log")) as f:
            self.assertEqual(f.read(), duplicate_first)


class Plot(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="plot-test-")
        self.run_dir = self.dir.name
        self.log = os.path.join(self.run_dir, "logs", "match.log")

    def tearDown(self):
        self.dir.cleanup()

    def check_png(self, path):
        width, height = png_size(path)
        self.assertGreaterEqual(min(width, height), 300)
        self.assertGreater(os.path.getsize(path), 10_000)

    def test_every_match_is_plotted_and_the_log_gives_the_dealers_table(self):
        output = play(self.run_dir, "--hands", "500", "--seed", "4", "random", "call", "raise")
        self.check_png(os.path.join(self.run_dir, "logs", "match.png"))
        # The statistics read from the log are those the dealer printed.
        ours = tables(matchlog.format_table(matchlog.plain_results(matchlog.read_log(self.log))))
        self.assertEqual(ours[0], tables(output)[0])

    def test_plot_of_older_logs(self):
        play(self.run_dir, "--hands", "200", "--seed", "8", "random", "random", "random")
        copy = os.path.join(self.run_dir, "old.log")
        os.rename(self.log, copy)
        result = run(PLOT, copy)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_png(os.path.join(self.run_dir, "old.png"))
        picture = os.path.join(self.run_dir, "pictures", "two.png")
        os.mkdir(os.path.dirname(picture))
        # Two copies of one log are two runs with the same seating.
        result = run(PLOT, copy, copy, "-o", picture)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_png(picture)
        self.assertEqual(sorted(os.listdir(os.path.dirname(picture))), ["two.png"],
                         "no temporary file is left behind")


def write(directory, name, text):
    path = os.path.join(directory, name)
    with open(path, "w") as f:
        f.write(text)
    return path


class LogReading(unittest.TestCase):
    """The log and dealer-output reader on small hand-written files."""

    LOG = ("STATE:0:cc/cc:As|Ks|Qs:2|-1|-1:a|b|c\n"
           "STATE:1:rff:Js|As|Ks:-1|2|-1:c|a|b\n"
           "SCORE:4|-2|-2:a|b|c\n")

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="matchlog-test-")

    def tearDown(self):
        self.dir.cleanup()

    def test_reads_values_by_player(self):
        log = matchlog.read_log(write(self.dir.name, "a.log", self.LOG))
        self.assertEqual(log.names, ["a", "b", "c"])
        self.assertEqual(log.winnings, {"a": [2, 2], "b": [-1, -1], "c": [-1, -1]})
        self.assertTrue(log.finished)
        unfinished = matchlog.read_log(write(self.dir.name, "b.log", self.LOG.rsplit("SCORE", 1)[0]))
        self.assertFalse(unfinished.finished)
        self.assertEqual(unfinished.hands, 2)

    def test_rejects_what_is_not_a_complete_consistent_log(self):
        broken = {
            "missing hand": self.LOG.replace("STATE:1:", "STATE:2:"),
            "score differs": self.LOG.replace("SCORE:4|-2|-2", "SCORE:4|-1|-3"),
            "after score": self.LOG + "STATE:2:cc/cc:As|Ks|Qs:2|-1|-1:a|b|c\n",
            "other players": self.LOG.replace(":c|a|b", ":c|a|d"),
            "values and names": self.LOG.replace("2|-1|-1:a", "2|-1:a"),
            "not a number": self.LOG.replace("2|-1|-1:a", "2|x|-1:a"),
            "no hands": "",
            "not a log": "ports 1 2 3\n",
        }
        for what, text in broken.items():
            with self.subTest(what):
                with self.assertRaises(matchlog.LogError):
                    matchlog.read_log(write(self.dir.name, "broken.log", text))

    def test_runs_of_a_duplicate_match_must_share_players_hands_and_deals(self):
        first = matchlog.read_log(write(self.dir.name, "1.log", self.LOG))
        swapped = self.LOG.replace(":a|b|c\nSTATE:1", ":b|a|c\nSTATE:1").replace(
            "SCORE:4|-2|-2", "SCORE:1|1|-2")
        self.assertEqual(len(matchlog.duplicate_results(
            [first, matchlog.read_log(write(self.dir.name, "2.log", swapped))])), 3)
        others = {
            "deals": self.LOG.replace("As|Ks|Qs", "Ks|As|Qs"),
            "hands": self.LOG.split("STATE:1")[0],
            "players": self.LOG.replace("a|", "z|").replace("|a", "|z"),
        }
        for what, text in others.items():
            with self.subTest(what):
                with self.assertRaises(matchlog.LogError):
                    matchlog.check_runs([first, matchlog.read_log(write(self.dir.name, "o.log", text))])

    def test_errors_and_timeouts_are_summed_over_the_runs(self):
        outputs = [
            "ports 1 2\nmatch m: 10 hands\nplayer total mean/hand 95% +/- errors timeouts\n"
            "a 3 0.3 0.5 2 0\nb -3 -0.3 0.5 0 1  (disconnected in hand 4)\n",
            "ports 3 4\nmatch m: 10 hands\nplayer total mean/hand 95% +/- errors timeouts\n"
            "b 1 0.1 0.5 5 7\na -1 -0.1 0.5 1 1\n",
        ]
        faults = [matchlog.read_faults(write(self.dir.name, f"d{i}.out", text))
                  for i, text in enumerate(outputs)]
        results = [matchlog.Result("a", 0, 0, 0), matchlog.Result("b", 0, 0, 0)]
        matchlog.add_faults(results, faults)
        self.assertEqual([(r.errors, r.timeouts) for r in results], [(3, 1), (5, 8)])
        with self.assertRaises(matchlog.LogError):
            matchlog.read_faults(write(self.dir.name, "empty.out", "ports 1 2\n"))


class BadArguments(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="arguments-test-")
        self.run_dir = os.path.join(self.dir.name, "run")

    def tearDown(self):
        self.dir.cleanup()

    def test_match_refuses_bad_arguments_before_playing(self):
        cases = {
            ("--hands", "ten"): "invalid number of hands",
            ("--hands", "0", "--duplicate"): "at least one hand",
            ("--seed", "-1"): "invalid seed",
            ("--duplicate", "call", "call"): "3 seats but 2 players",
            ("--duplicate", "call", "call", "nobody"): "unknown player 'nobody'",
            ("--duplicat",): "unknown option --duplicat",
            ("--game", "nosuchgame"): "no game definition",
            ("--run-dir",): "--run-dir needs a value",
        }
        for args, message in cases.items():
            with self.subTest(args=args):
                result = run(MATCH, "--no-build", "--run-dir", self.run_dir, *args) \
                    if args != ("--run-dir",) else run(MATCH, *args)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.run_dir), "nothing was prepared or played")

    def test_plot_refuses_bad_arguments(self):
        not_a_log = write(self.dir.name, "notes.txt", "hello\n")
        first = write(self.dir.name, "1.log", LogReading.LOG)
        second = write(self.dir.name, "2.log", LogReading.LOG.replace("As|Ks|Qs", "Qs|Ks|As"))
        cases = {
            (): "the following arguments are required: LOG",
            ("-o",): "expected one argument",
            (os.path.join(self.dir.name, "missing.log"),): "cannot read",
            (not_a_log,): "neither a hand nor a SCORE line",
            (first, second): "not runs of one duplicate match",
            (first, "-o", os.path.join(self.dir.name, "no", "such.png")): "directory does not exist",
        }
        for args, message in cases.items():
            with self.subTest(args=args):
                result = run(PLOT, *args)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["1.log", "2.log", "notes.txt"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
