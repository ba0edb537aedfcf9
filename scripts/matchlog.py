"""Dealer match logs: reading them, the result statistics and the plot.

The one home of everything that is computed from a match log, used by
scripts/match (the duplicate table and the plot of every match) and by
scripts/plot (the same plot of any logs).

A log has one line per hand,

    STATE:<hand>:<betting>:<cards>:<value>|<value>...:<name>|<name>...

with the final state, the seats' values and the players' names in seat order,
and a closing line SCORE:<total>|...:<name>|... in the order of the dealer's
ports. The values are printed so that they read back as the same doubles.

Statistics. A player's plain result is the total, the mean per hand and the
half-width of the 95% confidence interval of the mean (normal approximation,
1.96 standard errors), as the dealer prints them. A duplicate match plays the
same deals (same dealer seed) once for every order of the players over the
seats. Its result pairs the runs: for every hand number the player's winnings
are summed over the runs of that hand number, so that the luck of the cards,
which every player gets in every seat, cancels in the sum; the half-width
comes from the spread of those sums over the hand numbers. The mean and the
half-width are divided by the number of runs so that they are per hand
played, like the plain table's.

    python3 matchlog.py table [--faults DEALER_OUTPUT]... LOG...
    python3 matchlog.py plot [-o FILE] LOG...

One log gives the plain result, several logs the duplicate result of their
runs. Errors, invalid logs and unusable arguments end with a message on
standard error and exit status 1 (2 for the usage).
"""

import argparse
import math
import os
import sys
import tempfile
from dataclasses import dataclass, field

Z95 = 1.96


class LogError(Exception):
    """A log or a dealer output that cannot be used, with the reason."""


@dataclass
class MatchLog:
    path: str
    names: list                       # players in the order of the dealer's ports
    winnings: dict                    # name -> winnings per hand number
    hole_cards: list = field(default_factory=list)  # per hand, the seats' cards
    finished: bool = True             # False when the SCORE line is missing

    @property
    def hands(self):
        return len(self.hole_cards)


@dataclass
class Result:
    name: str
    total: float
    mean: float
    half_width: float
    errors: int = 0
    timeouts: int = 0


def read_log(path):
    """Reads a dealer log. Raises LogError for anything that is not one."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise LogError(f"{path}: cannot read: {e.strerror}") from None
    log = MatchLog(path=path, names=[], winnings={})
    score = None
    for number, line in enumerate(lines, start=1):
        where = f"{path}:{number}"
        if not line.strip():
            continue
        if score is not None:
            raise LogError(f"{where}: a line after the SCORE line")
        if line.startswith("SCORE:"):
            score = _parse_score(line, where)
            continue
        hand, seat_names, values, cards = _parse_hand(line, where)
        if hand != log.hands:
            raise LogError(f"{where}: hand {hand} where hand {log.hands} was expected")
        if not log.names:
            # In hand 0 the seats are in the order of the ports.
            if len(set(seat_names)) != len(seat_names):
                raise LogError(f"{where}: a player sits in two seats")
            log.names = list(seat_names)
            log.winnings = {name: [] for name in seat_names}
        elif sorted(seat_names) != sorted(log.names):
            raise LogError(f"{where}: the players {'|'.join(seat_names)} are not those of hand 0")
        for name, value in zip(seat_names, values):
            log.winnings[name].append(value)
        log.hole_cards.append(cards)
    if log.hands == 0:
        raise LogError(f"{path}: no hands (not a dealer log?)")
    if score is None:
        log.finished = False
    else:
        totals, names = score
        if sorted(names) != sorted(log.names):
            raise LogError(f"{path}: the SCORE line names other players than the hands")
        log.names = names
        for name, total in zip(names, totals):
            summed = math.fsum(log.winnings[name])
            if abs(summed - total) > 1e-9 * max(1.0, abs(total)):
                raise LogError(f"{path}: the SCORE of {name} is {total:.10g} "
                               f"but its hands add up to {summed:.10g}")
    return log


def _parse_hand(line, where):
    if not line.startswith("STATE:"):
        raise LogError(f"{where}: neither a hand nor a SCORE line: {line[:80]!r}")
    # The names and values are the last two fields; the state itself has
    # exactly three more (hand number, betting, cards).
    fields = line.split(":")
    if len(fields) != 6:
        raise LogError(f"{where}: a hand line has six ':'-separated fields: {line[:80]!r}")
    _, hand_text, _, cards, values_text, names_text = fields
    if not hand_text.isdigit():
        raise LogError(f"{where}: invalid hand number {hand_text!r}")
    names = names_text.split("|")
    values = _parse_numbers(values_text, where)
    if len(values) != len(names) or len(names) < 2 or any(not n for n in names):
        raise LogError(f"{where}: the values {values_text!r} do not match the names {names_text!r}")
    return int(hand_text), names, values, cards.split("/")[0]


def _parse_score(line, where):
    fields = line.split(":")
    if len(fields) != 3:
        raise LogError(f"{where}: invalid SCORE line {line[:80]!r}")
    totals = _parse_numbers(fields[1], where)
    names = fields[2].split("|")
    if len(totals) != len(names):
        raise LogError(f"{where}: the SCORE line has {len(totals)} totals for {len(names)} names")
    return totals, names


def _parse_numbers(text, where):
    try:
        values = [float(v) for v in text.split("|")]
    except ValueError:
        raise LogError(f"{where}: invalid values {text!r}") from None
    if not all(math.isfinite(v) for v in values):
        raise LogError(f"{where}: values that are not finite: {text!r}")
    return values


def read_faults(path):
    """Errors and timeouts per player from the result table the dealer prints
    (its standard output): the rows after the header naming "errors" and
    "timeouts"."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise LogError(f"{path}: cannot read: {e.strerror}") from None
    faults = {}
    in_table = False
    for line in lines:
        words = line.split()
        if words[:1] == ["player"] and words[-2:] == ["errors", "timeouts"]:
            in_table = True
            continue
        if in_table:
            if len(words) < 6 or not (words[4].isdigit() and words[5].isdigit()):
                break
            faults[words[0]] = (int(words[4]), int(words[5]))
    if not faults:
        raise LogError(f"{path}: no result table of the dealer")
    return faults


def mean_and_half_width(values):
    """Mean of the values and the 95% half-width of the mean; 0 with fewer
    than two values. Two passes, which keep the variance exact enough."""
    n = len(values)
    mean = math.fsum(values) / n
    if n < 2:
        return mean, 0.0
    variance = math.fsum((v - mean) ** 2 for v in values) / (n - 1)
    return mean, Z95 * math.sqrt(variance / n)


def plain_results(log):
    results = []
    for name in log.names:
        values = log.winnings[name]
        mean, half_width = mean_and_half_width(values)
        results.append(Result(name, math.fsum(values), mean, half_width))
    return results


def check_runs(logs):
    """Checks that the logs are the runs of one duplicate match: the same
    players, the same number of hands and the same deals."""
    first = logs[0]
    for log in logs[1:]:
        if sorted(log.names) != sorted(first.names):
            raise LogError(f"{log.path} has the players {' '.join(log.names)}, "
                           f"{first.path} has {' '.join(first.names)}")
        if log.hands != first.hands:
            raise LogError(f"{log.path} has {log.hands} hands, {first.path} has {first.hands}")
        for hand, (a, b) in enumerate(zip(first.hole_cards, log.hole_cards)):
            if a != b:
                raise LogError(f"{log.path} deals other cards than {first.path} in hand {hand}: "
                               "the logs are not runs of one duplicate match")


def paired_sums(logs):
    """Per player, the winnings of every hand number summed over the runs."""
    return {name: [math.fsum(hands) for hands in zip(*(log.winnings[name] for log in logs))]
            for name in logs[0].names}


def duplicate_results(logs):
    check_runs(logs)
    runs = len(logs)
    results = []
    for name, sums in paired_sums(logs).items():
        mean, half_width = mean_and_half_width(sums)
        results.append(Result(name, math.fsum(sums), mean / runs, half_width / runs))
    return results


def results_of(logs):
    return plain_results(logs[0]) if len(logs) == 1 else duplicate_results(logs)


def add_faults(results, fault_tables):
    """Sums each player's errors and timeouts over the dealer outputs."""
    for table in fault_tables:
        for r in results:
            if r.name not in table:
                raise LogError(f"no errors and timeouts of {r.name} in a dealer output")
            errors, timeouts = table[r.name]
            r.errors += errors
            r.timeouts += timeouts


def format_table(results):
    """The result table in the dealer's layout."""
    width = max([6] + [len(r.name) for r in results])
    lines = [f"{'player':<{width}} {'total':>12} {'mean/hand':>12} {'95% +/-':>12} "
             f"{'errors':>8} {'timeouts':>8}"]
    for r in results:
        lines.append(f"{r.name:<{width}} {r.total:>12.10g} {r.mean:>12.6f} {r.half_width:>12.6f} "
                     f"{r.errors:>8} {r.timeouts:>8}")
    return "\n".join(lines) + "\n"


def cumulative(values):
    total, out = 0.0, []
    for v in values:
        total += v
        out.append(total)
    return out


def plot(logs, out_path):
    """Cumulative winnings of every player against the hand number: of the
    one match, or the paired sums of the runs of a duplicate match. The
    legend gives each player's mean per hand and its 95% half-width. The
    picture is written under a temporary name and then renamed."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    results = results_of(logs)
    series = ({n: logs[0].winnings[n] for n in logs[0].names} if len(logs) == 1
              else paired_sums(logs))
    hands = logs[0].hands
    fig, ax = plt.subplots(figsize=(10, 6), dpi=100)
    x = range(1, hands + 1)
    for r in results:
        ax.plot(x, cumulative(series[r.name]), linewidth=1.2,
                label=f"{r.name}: {r.mean:+.4f} \u00b1 {r.half_width:.4f} per hand")
    ax.axhline(0, color="black", linewidth=0.6)
    ax.set_xlabel("hand")
    if len(logs) == 1:
        ax.set_ylabel("cumulative winnings (chips)")
        ax.set_title(f"{os.path.basename(logs[0].path)}: {hands} hands")
    else:
        ax.set_ylabel(f"cumulative winnings, summed over the {len(logs)} runs (chips)")
        ax.set_title(f"duplicate match: {len(logs)} runs of {hands} hands")
    ax.grid(True, linewidth=0.3)
    ax.legend(title="mean \u00b1 95% half-width", loc="best")
    fig.tight_layout()

    directory = os.path.dirname(os.path.abspath(out_path))
    fd, temporary = tempfile.mkstemp(prefix=".plot-", suffix=".png", dir=directory)
    try:
        with os.fdopen(fd, "wb") as f:
            fig.savefig(f, format="png")
        os.replace(temporary, out_path)
    except BaseException:
        os.unlink(temporary)
        raise
    finally:
        plt.close(fig)


def _read_logs(paths):
    logs = [read_log(path) for path in paths]
    for log in logs:
        if not log.finished:
            print(f"warning: {log.path} has no SCORE line; the match did not finish, "
                  f"using its {log.hands} hands", file=sys.stderr)
    return logs


def table_command(argv):
    parser = argparse.ArgumentParser(
        prog="matchlog.py table", description="Prints the result table of a match log, or the "
        "duplicate table of the logs of the runs of a duplicate match.")
    parser.add_argument("--faults", action="append", default=[], metavar="DEALER_OUTPUT",
                        help="the dealer's standard output of a run, for its errors and "
                        "timeouts (once per log, in the same order)")
    parser.add_argument("logs", nargs="+", metavar="LOG")
    args = parser.parse_args(argv)
    logs = _read_logs(args.logs)
    if args.faults and len(args.faults) != len(logs):
        raise LogError(f"{len(args.faults)} dealer outputs for {len(logs)} logs")
    results = results_of(logs)
    add_faults(results, [read_faults(path) for path in args.faults])
    sys.stdout.write(format_table(results))


def plot_command(argv):
    parser = argparse.ArgumentParser(
        prog="scripts/plot", description="Draws the cumulative winnings of every player "
        "against the hand number from a dealer log, with each player's mean per hand and 95% "
        "half-width in the legend. Several logs are taken as the runs of one duplicate match "
        "(same players, same number of hands, same deals) and drawn as its paired sums.")
    parser.add_argument("-o", "--output", metavar="FILE",
                        help="the PNG file to write (default: the first log's name with "
                        "the extension .png)")
    parser.add_argument("logs", nargs="+", metavar="LOG")
    args = parser.parse_args(argv)
    output = args.output or os.path.splitext(args.logs[0])[0] + ".png"
    if not os.path.isdir(os.path.dirname(os.path.abspath(output))):
        raise LogError(f"{output}: its directory does not exist")
    plot(_read_logs(args.logs), output)
    print(f"plot: wrote {output}")


def main(argv):
    commands = {"table": table_command, "plot": plot_command}
    if not argv or argv[0] not in commands:
        print("usage: matchlog.py {table|plot} ... (see matchlog.py COMMAND --help)",
              file=sys.stderr)
        return 2
    try:
        commands[argv[0]](argv[1:])
    except LogError as e:
        print(f"ERROR: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"ERROR: {e.filename or ''}: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
