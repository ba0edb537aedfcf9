"""What the players of a match are doing, for scripts/match.

    matchstatus.py plan --run-dir DIR --game GAME
        Says what a first start of morvane in DIR will make for GAME (lookup
        tables, strategy), how long that takes and how much disk it fills,
        and exits with status 3, before anything is made, when the disk under
        DIR has too little free space for it.

    matchstatus.py watch --hands N --match-log FILE NAME=LOG ...
        Until it is stopped (SIGTERM): while the match has not begun, one
        status line per preparing player, read from the player's own output
        (what it is making, percent done, time left); then the hands played
        out of N, hands per second and the time left. On a terminal the lines
        are replaced in place; otherwise they are printed every few seconds
        (--interval).

The status of a player comes from the progress lines morvane prints while it
makes its evaluator, equity, cluster, utility and bucket tables and while it
trains; PlayerStatus reads them one line at a time.
"""

import argparse
import os
import re
import shutil
import signal
import sys
import time

ROUND_NAMES = {"0": "pre-flop", "1": "flop", "2": "turn", "3": "river"}
TABLE_ROUNDS = ("preflop", "flop", "turn", "river")


def duration(seconds):
    """A duration as "1h 02m", "3m 05s" or "42s"."""
    s = max(0, int(round(seconds)))
    if s >= 3600:
        return f"{s // 3600}h {s % 3600 // 60:02d}m"
    if s >= 60:
        return f"{s // 60}m {s % 60:02d}s"
    return f"{s}s"


def rough_duration(seconds):
    """A duration estimate as "16 min" or "30 s"."""
    if seconds >= 60:
        return f"{round(seconds / 60)} min"
    return f"{round(seconds)} s"


def size(num_bytes):
    """A size as "5.2 GB", "6.9 MB" or "9 KB"."""
    for unit, scale in (("GB", 1e9), ("MB", 1e6)):
        if num_bytes >= scale:
            return f"{num_bytes / scale:.1f} {unit}"
    return f"{max(1, round(num_bytes / 1e3))} KB"


# --- Reading a player's progress --------------------------------------------

NUMBER = r"(-?\d+(?:\.\d*)?(?:e[-+]?\d+)?)"

# (pattern, what the player is making from that line on); a None "what" keeps
# the current one. The groups are formatted into the text.
PHASES = [
    (re.compile(r"Generating the evaluator state table"), "evaluator state table"),
    (re.compile(r"Indexing (\S+) hands"), "equity tables, {0}"),
    (re.compile(r"Saving tables to files"), "saving equity tables"),
    (re.compile(r"generating (\S+) clusters (\d)p"), "cluster tables, {0}, {1} players"),
    (re.compile(r"Computing ne for \d players and round (\d)"), "utility tables, {round0}: solving"),
    (re.compile(r"Computing hsut for (\d) players and round (\d)"), "bucket tables, {round1}, {0} players"),
    (re.compile(r"Loading table lookup/(\S+)!"), "loading lookup tables"),
    (re.compile(r"Making the large (\S+) buckets"), "large bucket tables, {0}"),
    (re.compile(r"Waiting for another player preparing"), "waiting for another player's preparation"),
    (re.compile(r"Training hold'em agent with \d+ iterations$"), "training"),
    (re.compile(r"Training kuhn agent with (\d+) iterations"), "training"),
]
PERCENT_DONE = re.compile(rf"{NUMBER}% done")
CFR_PROGRESS = re.compile(rf"CFR progress: {NUMBER}% \(elapsed time: {NUMBER} mins, "
                          rf"expected time left: {NUMBER} mins\)")
EQUITY_LEFT = re.compile(rf"\S+: {NUMBER} classes per second with \d+ threads, about {NUMBER} s left")
STATE_TABLE_LEVEL = re.compile(r"\s+(\d) cards?: \d+ states")
KUHN_PASS = re.compile(r"Finding equilibrium (\d+)\.\.\.")
KMEANS_PASS = re.compile(rf"k-means pass (\d+) of (\d+): \d+ hands moved, about {NUMBER} s left")


class PlayerStatus:
    """The state of one player's preparation, from its output lines.

    feed(line, now) reads one line at time `now` (seconds, any clock);
    text(now) is the status line, or None while nothing is being made. The
    time left comes from the rate of progress seen since the current step
    began, or before there is one, from the player's own estimate.
    """

    def __init__(self, name):
        self.name = name
        self.what = None
        self.percent = None
        self.left = None          # seconds left as printed by the player ...
        self.left_at = None       # ... at this time
        self.step_start = None    # (time, percent) when the step began
        self.kuhn_passes = None
        self.started = None       # time of the first step

    def _begin(self, what, now):
        self.what = what
        self.percent = None
        self.left = self.left_at = None
        self.step_start = None
        if self.started is None:
            self.started = now

    def _progress(self, percent, now):
        # A time left printed before this step of progress is out of date.
        self.left = self.left_at = None
        percent = min(100.0, max(0.0, percent))
        # Progress that falls back is the next pass over the hands: the rate
        # starts again.
        if self.percent is not None and percent < self.percent:
            self.step_start = None
        self.percent = percent
        if self.step_start is None:
            self.step_start = (now, self.percent)

    def feed(self, line, now):
        line = line.rstrip("\r\n")
        for pattern, what in PHASES:
            m = pattern.match(line)
            if m:
                groups = m.groups()
                text = what.format(*groups,
                                   round0=ROUND_NAMES.get(groups[0], "?") if groups else "",
                                   round1=ROUND_NAMES.get(groups[-1], "?") if groups else "")
                # The equity tables the large buckets are made from load
                # within that step.
                if what == "loading lookup tables" and (self.what or "").startswith("large bucket"):
                    return
                if what == "training" and groups:
                    self.kuhn_passes = int(groups[0])
                if text != self.what or what != "loading lookup tables":
                    self._begin(text, now)
                return
        if self.what is None:
            return
        m = CFR_PROGRESS.match(line)
        if m:
            # The solves behind the utility tables count tenths, not percent.
            scale = 10 if self.what.startswith("utility tables") else 1
            self._progress(float(m.group(1)) * scale, now)
            self.left, self.left_at = float(m.group(3)) * 60, now
            return
        m = PERCENT_DONE.match(line)
        if m:
            if self.what.endswith(": solving"):
                # The solved game is then measured over every hand.
                self._begin(self.what.replace(": solving", ": measuring"), now)
            self._progress(float(m.group(1)), now)
            return
        m = EQUITY_LEFT.match(line)
        if m:
            self.left, self.left_at = float(m.group(2)), now
            return
        m = STATE_TABLE_LEVEL.match(line)
        if m and self.what == "evaluator state table":
            self._progress((int(m.group(1)) + 1) * 100.0 / 7, now)
            return
        m = KUHN_PASS.match(line)
        if m and self.kuhn_passes:
            self._progress(int(m.group(1)) * 100.0 / self.kuhn_passes, now)
            return
        # The large limit buckets' k-means passes, which on the turn take
        # most of their tables' time.
        m = KMEANS_PASS.match(line)
        if m and self.what.startswith("large bucket tables"):
            if not self.what.endswith(": clustering"):
                self._begin(self.what + ": clustering", now)
            self._progress(int(m.group(1)) * 100.0 / int(m.group(2)), now)
            self.left, self.left_at = float(m.group(3)), now

    def seconds_left(self, now):
        # The rate seen since the step began is steadier than the player's
        # own figure (its clock counts whole seconds), which serves until
        # there is a rate.
        if self.step_start is not None and self.percent is not None:
            t0, p0 = self.step_start
            if self.percent > p0 and now > t0:
                return (100.0 - self.percent) * (now - t0) / (self.percent - p0)
        if self.left:
            return max(0.0, self.left - (now - self.left_at))
        return None

    def text(self, now):
        if self.what is None:
            return None
        parts = [self.what]
        if self.percent is not None:
            parts[0] += f" {self.percent:.0f}%"
        left = self.seconds_left(now)
        if left is not None:
            parts.append(f"about {duration(left)} left")
        parts.append(f"{duration(now - self.started)} so far")
        return f"{self.name}: " + ", ".join(parts)


class MatchProgress:
    """Hands played out of the total, the rate since the first hand was
    seen, and the time left."""

    def __init__(self, total):
        self.total = total
        self.hands = 0
        self.first = None  # (time, hands) when hands were first seen

    def update(self, hands, now):
        self.hands = hands
        if hands > 0 and self.first is None:
            self.first = (now, hands)

    def text(self, now):
        line = f"match: hand {self.hands} of {self.total}"
        if self.first is not None and now > self.first[0] and self.hands > self.first[1]:
            rate = (self.hands - self.first[1]) / (now - self.first[0])
            line += f", {rate:.0f} hands/s, about {duration((self.total - self.hands) / rate)} left"
        return line


class Follower:
    """Reads the lines a growing file gains; a partial last line waits."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = b""

    def new_lines(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except OSError:
            return []
        self.offset += len(data)
        *lines, self.partial = (self.partial + data).split(b"\n")
        return [line.decode("utf-8", "replace") for line in lines]


# --- Watching a match ---------------------------------------------------------

class Screen:
    """Status lines on standard output: redrawn in place on a terminal,
    printed at every interval otherwise."""

    def __init__(self, out, terminal):
        self.out = out
        self.terminal = terminal
        self.drawn = 0

    def show(self, lines):
        if self.terminal:
            width = max(20, shutil.get_terminal_size().columns - 1)
            self.clear()
            for line in lines:
                self.out.write(line[:width] + "\n")
            self.drawn = len(lines)
        else:
            for line in lines:
                self.out.write(line + "\n")
        self.out.flush()

    def print(self, line):
        """A line that stays, above the live ones."""
        self.clear()
        self.out.write(line + "\n")
        self.drawn = 0
        self.out.flush()

    def clear(self):
        if self.terminal and self.drawn:
            self.out.write(f"\x1b[{self.drawn}F\x1b[J")
        self.drawn = 0


def watch(args):
    players = []
    for player in args.players:
        name, _, path = player.partition("=")
        players.append((PlayerStatus(name), Follower(path)))
    match_log = Follower(args.match_log)
    progress = MatchProgress(args.hands)
    screen = Screen(sys.stdout, sys.stdout.isatty())
    # Redrawn often on a terminal; a line every interval elsewhere.
    tick = min(1.0, args.interval) if screen.terminal else args.interval

    # Stopping is only noted here; the loop erases the lines between two
    # drawings, never in the middle of one.
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(True))

    def pause(seconds):
        end = time.monotonic() + seconds
        while not stopping and time.monotonic() < end:
            time.sleep(min(0.05, max(0.0, end - time.monotonic())))

    hands = 0
    playing = False
    while not stopping:
        if not screen.terminal:
            pause(tick)  # a short match prints nothing
            if stopping:
                break
        now = time.monotonic()
        for status, follower in players:
            for line in follower.new_lines():
                status.feed(line, now)
        hands += sum(1 for line in match_log.new_lines() if line.startswith("STATE:"))
        progress.update(hands, now)
        if hands > 0 and not playing:
            playing = True
            for status, _ in players:
                if status.what is not None:
                    screen.print(f"{status.name}: ready after {duration(now - status.started)}")
        if playing:
            screen.show([progress.text(now)])
        else:
            screen.show([line for line in (s.text(now) for s, _ in players) if line])
        if screen.terminal:
            pause(tick)
    screen.clear()
    sys.stdout.flush()
    return 0


# --- What a first start costs -----------------------------------------------

# What morvane makes on its first start for each game it plays, with the
# time and disk it takes on two idle cores (README.md gives the same figures;
# sizes in bytes, shown in units of 10^9 and 10^6).
TABLES_BYTES = 5.53e9
TABLES_SECONDS = 16 * 60
GAMES = {
    # game file: (strategy files, training seconds, strategy bytes, needs the tables)
    "kuhn.limit.3p": ([f"strategies/kuhn.limit.3p/strategy{i}" for i in range(3)], 30, 2e4, False),
    "holdem.limit.2p.reverse_blinds": (["strategies/holdem.limit.2p/strategy"], 3, 6.9e6, True),
    "holdem.limit.3p": (["strategies/holdem.limit.3p/strategy"], 18 * 60, 10.5e9, True),
    "holdem.nolimit.2p.reverse_blinds": (["strategies/holdem.nolimit.2p/strategy"], 1, 8.7e3, True),
}
# The tables a start reads in play; with all of them on disk nothing is made.
BUCKET_TABLES = [f"lookup/holdem_{r}_{p}p_{pos}" for r in TABLE_ROUNDS for p in (2, 3) for pos in range(p)]
# The large abstraction (two-player hold'em): its strategy, and its bucket
# tables, made from the two-player equity tables (all lookup tables when
# those are missing too).
LARGE_GAMES = {
    # The limit strategy's note names the bucket tables it was trained on; a
    # strategy without one is trained again.
    "holdem.limit.2p.reverse_blinds": (["strategies/holdem.limit.2p.large/strategy",
                                        "strategies/holdem.limit.2p.large/strategy.buckets"],
                                       21 * 60, 1653.2e6, True),
    "holdem.nolimit.2p.reverse_blinds": (["strategies/holdem.nolimit.2p.large/strategy"], 30 * 60, 373.2e6, True),
}
# The no-limit player reads the three shared tables; the limit player its own
# clustered flop and turn tables and the shared river one.
LARGE_TABLES = {
    "holdem.limit.2p.reverse_blinds": ["lookup/large_buckets_flop_k2400", "lookup/large_buckets_turn_k2400",
                                       "lookup/large_buckets_river"],
    "holdem.nolimit.2p.reverse_blinds": [f"lookup/large_buckets_{r}" for r in TABLE_ROUNDS[1:]],
}
LARGE_TABLES_BYTES = 276.8e6
# The limit player's k-means of the turn takes most of its tables' time.
LARGE_TABLES_SECONDS = {"holdem.limit.2p.reverse_blinds": 14 * 60, "holdem.nolimit.2p.reverse_blinds": 60}
EQUITY_TABLES = [f"lookup/{r}_2p" for r in TABLE_ROUNDS[1:]]


def free_bytes(path):
    """Free space for an unprivileged user on the filesystem of path (or of
    its nearest existing parent)."""
    # Test hook: the tests set MATCH_TEST_FREE_BYTES to stand for the free
    # space of a small disk; nothing else sets it.
    stub = os.environ.get("MATCH_TEST_FREE_BYTES")
    if stub is not None:
        return int(stub)
    path = os.path.abspath(path)
    while not os.path.exists(path):
        path = os.path.dirname(path)
    stats = os.statvfs(path)
    return stats.f_bavail * stats.f_frsize


def tree_bytes(directory):
    total = 0
    for root, _, files in os.walk(directory):
        for name in files:
            try:
                total += os.path.getsize(os.path.join(root, name))
            except OSError:
                pass
    return total


def first_start(run_dir, game, abstraction="standard"):
    """(announcement, bytes needed) for morvane's start at game in run_dir,
    or None when it has everything already or the game is not one it plays."""
    games = LARGE_GAMES if abstraction == "large" else GAMES
    if game not in games:
        return None
    strategies, seconds, strategy_bytes, needs_tables = games[game]
    steps, needed = [], 0
    have = lambda tables: all(os.path.isfile(os.path.join(run_dir, t)) for t in tables)
    large_tables = LARGE_TABLES.get(game, [])
    if abstraction == "large" and not have(large_tables) and have(EQUITY_TABLES):
        needed += LARGE_TABLES_BYTES
        steps.append(f"large bucket tables about {rough_duration(LARGE_TABLES_SECONDS[game])} "
                     f"and {size(LARGE_TABLES_BYTES)}")
    elif abstraction == "large" and not have(large_tables):
        needed += TABLES_BYTES + LARGE_TABLES_BYTES
        steps.append(f"lookup tables about {rough_duration(TABLES_SECONDS)} and "
                     f"{size(TABLES_BYTES + LARGE_TABLES_BYTES)}")
    elif abstraction != "large" and needs_tables and not have(BUCKET_TABLES):
        # Tables already made count against the total.
        made = tree_bytes(os.path.join(run_dir, "lookup"))
        needed += max(0, TABLES_BYTES - made)
        about = "about" if made == 0 else "up to about"
        steps.append(f"lookup tables {about} {rough_duration(TABLES_SECONDS)} and {size(needed)}")
    if not all(os.path.isfile(os.path.join(run_dir, s)) for s in strategies):
        needed += strategy_bytes
        when = "under a second" if seconds <= 1 else f"about {rough_duration(seconds)}"
        steps.append(f"training {when} and {size(strategy_bytes)}")
    if not steps:
        return None
    later = "later starts load them" if len(steps) > 1 else "later starts load it"
    what = f"{game} (large abstraction)" if abstraction == "large" else game
    return f"first start for {what}: {', then '.join(steps)}; {later}", needed


def plan(args):
    found = first_start(args.run_dir, args.game, args.abstraction)
    if found is None:
        return 0
    announcement, needed = found
    print(f"morvane: {announcement}", flush=True)
    free = free_bytes(args.run_dir)
    if free < needed:
        print(f"match: not enough free space under {args.run_dir} for morvane's first start: "
              f"it needs about {size(needed)}, {size(free)} are free", file=sys.stderr)
        return 3
    return 0


def main(argv):
    parser = argparse.ArgumentParser(description="Status of a match's players, for scripts/match.")
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("plan", help="announce a first start and check the free space")
    p.add_argument("--run-dir", required=True)
    p.add_argument("--game", required=True, help="game file name without .game")
    p.add_argument("--abstraction", default="standard", choices=("standard", "large"))
    w = commands.add_parser("watch", help="print status lines until stopped")
    w.add_argument("--hands", type=int, required=True)
    w.add_argument("--match-log", required=True)
    w.add_argument("--interval", type=float, default=5.0,
                   help="seconds between status lines when not on a terminal")
    w.add_argument("players", nargs="*", metavar="NAME=LOG")
    args = parser.parse_args(argv)
    try:
        return plan(args) if args.command == "plan" else watch(args)
    except BrokenPipeError:  # the reader of the output went away
        return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
