"""Whole matches played through the human seat's page in headless Chromium.

The test starts our dealer (the human seat without an answer timeout), the
human seat and simplebots on ports the kernel picks, and clicks through
every hand. At each decision the buttons on the page must be exactly the
legal ones, judged here from the amounts the page shows; in no-limit, raises
outside the bounds must be refused. At the end the dealer's log must hold
each clicked action at the place the page said it answered, and the page's
running total must equal the dealer's result for the seat.

    python3 browser_test.py GAME DEALER HUMANSEAT SIMPLEBOT GAMES_DIR SHOT_DIR

GAME is limit2p, nolimit2p or kuhn3p. Exits with 77 (skipped) when Chromium,
its driver or selenium is missing, unless CI=true.
"""

import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77

GAMES = {
    # file, players in the dealer's order, hands, raise caps and sizes
    "limit2p": ("holdem.limit.2p.reverse_blinds.game", ["human", "bot"], 6,
                [3, 4, 4, 4], [10, 10, 20, 20]),
    "nolimit2p": ("holdem.nolimit.2p.reverse_blinds.game", ["human", "bot"], 8, None, None),
    "kuhn3p": ("kuhn.limit.3p.game", ["bot1", "human", "bot2"], 6, [1], [1]),
}
NOLIMIT_STACK = 20000


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def browser_or_skip():
    chromium = shutil.which("chromium")
    driver = shutil.which("chromedriver")
    try:
        import selenium  # noqa: F401
        have_selenium = True
    except ImportError:
        have_selenium = False
    missing = [name for name, there in (("chromium", chromium), ("chromedriver", driver),
                                        ("python3-selenium", have_selenium)) if not there]
    if missing:
        if os.environ.get("CI") == "true":
            fail("missing in CI: " + ", ".join(missing))
        print("SKIPPED: no " + ", ".join(missing))
        sys.exit(SKIPPED)
    return chromium, driver


class Page:
    """The page as a person sees it, read in one go."""

    SCRIPT = r"""
      const text = (id) => document.getElementById(id).textContent;
      const visible = (id) => !document.getElementById(id).classList.contains('hidden');
      const seats = [...document.querySelectorAll('#seats .seat')].map((el) => ({
        you: el.classList.contains('you'),
        spent: Number(el.querySelector('.spent').textContent.match(/In the pot: (\d+)/)[1]),
        folded: el.classList.contains('folded'),
      }));
      return {
        buttons: [...document.querySelectorAll('#buttons button')].map((b) => b.id),
        labels: [...document.querySelectorAll('#buttons button')].map((b) => b.textContent),
        token: document.getElementById('buttons').dataset.token || '',
        seats: seats,
        rounds: [...document.querySelectorAll('#betting .round')].map((el) => el.textContent),
        board: document.querySelectorAll('#board .card').length,
        next: visible('next'),
        over: visible('over') ? text('over') : '',
        message: visible('message') ? text('message') : '',
        bounds: visible('raise-controls') ? text('raise-bounds') : '',
        status: text('status'),
        total: text('total'),
        result: visible('result') ? text('result') : '',
      };
    """

    def __init__(self, driver):
        self.driver = driver

    def read(self):
        return self.driver.execute_script(self.SCRIPT)

    def wait(self, condition, what, timeout=30):
        deadline = time.time() + timeout
        while True:
            state = self.read()
            if condition(state):
                return state
            if time.time() > deadline:
                fail("timed out waiting for " + what + "; page: " + repr(state))
            time.sleep(0.05)


def expected_buttons(game, state):
    """The legal actions, judged from what the page shows: the amounts in
    front of every seat and the raises of the current round."""
    _, _, _, caps, sizes = game
    mine = next(s["spent"] for s in state["seats"] if s["you"])
    most = max(s["spent"] for s in state["seats"])
    expected = {"call": "Check" if mine == most else "Call %d" % (most - mine)}
    if mine < most:
        expected["fold"] = "Fold"
    round_index = len(state["rounds"]) - 1
    if caps is None:
        if most < NOLIMIT_STACK:
            expected["raise"] = None  # label checked with the bounds
    else:
        current = state["rounds"][-1]
        raises = len(re.findall(r" (bets|raises to) \d+", current))
        if raises < caps[round_index]:
            expected["raise"] = " to %d" % (most + sizes[round_index])
    return expected


def check_buttons(game, state):
    expected = expected_buttons(game, state)
    check(sorted(state["buttons"]) == sorted(expected),
          "buttons %s, legal %s; page: %r" % (state["buttons"], sorted(expected), state))
    for button, label in zip(state["buttons"], state["labels"]):
        want = expected[button]
        if button == "raise" and want is not None:
            check(label.endswith(want), "limit raise label %r, expected ...%r" % (label, want))
        elif button != "raise":
            check(label == want, "%s labelled %r, expected %r" % (button, label, want))


def raise_bounds(state):
    match = re.search(r"between (\d+) and (\d+)", state["bounds"])
    check(match is not None, "no raise bounds shown: %r" % state)
    return int(match.group(1)), int(match.group(2))


def play(name, dealer, humanseat, simplebot, games_dir, shot_dir):
    game = GAMES[name]
    game_file, names, hands, caps, _ = game
    nolimit = caps is None
    me = names.index("human")
    chromium, chromedriver = browser_or_skip()
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By

    tmp = tempfile.mkdtemp(prefix="humanseat-browser-")
    processes = []
    driver = None
    try:
        game_path = os.path.join(games_dir, game_file)
        log = os.path.join(tmp, "match.log")
        seed = 11
        dealer_proc = subprocess.Popen(
            [dealer, "--untimed-players", str(me + 1), "--log", log, "browser", game_path,
             str(hands), str(seed)] + names,
            stdout=subprocess.PIPE, stderr=open(os.path.join(tmp, "dealer.err"), "w"), text=True)
        processes.append(dealer_proc)
        ports = dealer_proc.stdout.readline().split()[1:]
        check(len(ports) == len(names), "dealer printed no ports")
        seat = subprocess.Popen(
            [humanseat, "--names", ",".join(names), "--you", str(me + 1), game_path,
             "127.0.0.1", ports[me]],
            stdout=subprocess.PIPE, stderr=open(os.path.join(tmp, "humanseat.err"), "w"),
            text=True)
        processes.append(seat)
        first = seat.stdout.readline()
        match = re.search(r"(http://127\.0\.0\.1:\d+/)", first)
        check(match is not None, "humanseat printed no address: %r" % first)
        url = match.group(1)
        for i, port in enumerate(ports):
            if i != me:
                processes.append(subprocess.Popen(
                    [simplebot, "--policy", "random", "--seed", str(seed + i), game_path,
                     "127.0.0.1", port], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                         "--disable-gpu", "--window-size=1280,900",
                         "--user-data-dir=" + os.path.join(tmp, "profile")):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service(chromedriver), options=options)
        driver.get(url)
        page = Page(driver)

        rng = random.Random(seed)
        clicks = []  # (hand, index of the action in the hand, action text)
        refused_checked = False
        reopened = False
        shot_hand = shot_showdown = False
        while True:
            state = page.wait(lambda s: s["buttons"] or s["next"] or "match is over" in s["over"],
                              "a decision, the end of a hand or of the match")
            if "match is over" in state["over"]:
                break
            if state["next"]:
                if (nolimit and not shot_showdown and state["status"] == "Showdown." and
                        "break even" not in state["result"]):
                    driver.save_screenshot(os.path.join(shot_dir, "nolimit-showdown.png"))
                    shot_showdown = True
                if not reopened and len(clicks) >= 2:
                    # Closing the page does not end the match: it resumes.
                    driver.get("about:blank")
                    time.sleep(0.5)
                    driver.get(url)
                    reopened = True
                    continue
                driver.find_element(By.ID, "next").click()
                page.wait(lambda s, before=state["rounds"]: not s["next"] or s["rounds"] != before,
                          "the next hand")
                continue

            check_buttons(game, state)
            token = state["token"]
            hand, index = (int(x) for x in token.split(":"))
            if nolimit and state["board"] >= 3 and not shot_hand:
                driver.save_screenshot(os.path.join(shot_dir, "nolimit-hand.png"))
                shot_hand = True
            if nolimit and "raise" in state["buttons"]:
                low, high = raise_bounds(state)
                check(high == NOLIMIT_STACK and low <= high, "raise bounds %d..%d" % (low, high))
                if not refused_checked:
                    for size in (high + 1, low - 1):
                        amount = driver.find_element(By.ID, "raise-amount")
                        amount.clear()
                        amount.send_keys(str(size))
                        driver.find_element(By.ID, "raise").click()
                        refused = page.wait(lambda s: "between" in s["message"], "a refusal")
                        check(refused["token"] == token, "a refused raise moved the table on")
                    refused_checked = True

            weights = {"fold": 1, "call": 8, "raise": 2} if nolimit else {"fold": 1, "call": 5, "raise": 3}
            choice = rng.choices(state["buttons"], [weights[b] for b in state["buttons"]])[0]
            text = {"fold": "f", "call": "c", "raise": "r"}[choice]
            if choice == "raise" and nolimit:
                way = rng.choice(["half-pot", "pot-size", "type", "type", "all-in"])
                if way == "type":
                    low, high = raise_bounds(state)
                    amount = driver.find_element(By.ID, "raise-amount")
                    amount.clear()
                    amount.send_keys(str(rng.randint(low, min(high, low * 3))))
                else:
                    driver.find_element(By.ID, way).click()
                text += driver.find_element(By.ID, "raise-amount").get_attribute("value")
            driver.find_element(By.ID, choice).click()
            clicks.append((hand, index, text))
            after = page.wait(lambda s: s["token"] != token or s["message"], "the action's effect")
            check(not after["message"], "a legal action was refused: %r" % after)

        check(refused_checked or not nolimit, "no raise was ever offered")
        check(reopened, "the page was never reopened")
        page_total = float(state["total"])
        check(seat.wait(timeout=30) == 0, "humanseat did not exit cleanly")
        out, _ = dealer_proc.communicate(timeout=30)
        check(dealer_proc.returncode == 0, "dealer failed: " + out)

        row = next((line.split() for line in out.splitlines() if line.startswith("human ")), None)
        check(row is not None, "no result for the human seat: " + out)
        total, errors, timeouts = float(row[1]), int(row[4]), int(row[5])
        check(errors == 0 and timeouts == 0, "the human seat has faults: " + out)
        check(page_total == total, "page total %s, dealer %s" % (page_total, total))

        betting = {}
        with open(log) as f:
            for line in f:
                if line.startswith("STATE:"):
                    fields = line.split(":")
                    betting[int(fields[1])] = re.findall(r"[fcr]\d*", fields[2])
        check(len(betting) == hands, "the log has %d hands" % len(betting))
        for hand, index, text in clicks:
            actions = betting[hand]
            check(index < len(actions) and actions[index] == text,
                  "hand %d action %d: clicked %s, log %s" % (hand, index, text, actions))
        check(len(clicks) > 0, "nothing was clicked")
        if nolimit:
            check(shot_hand, "no decision after the flop to show")
            check(shot_showdown, "no showdown to show")
        print("%s: %d hands, %d actions clicked, human total %s" % (name, hands, len(clicks), total))
    finally:
        if driver is not None:
            driver.quit()
        for process in processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 7 or sys.argv[1] not in GAMES:
        print(__doc__)
        sys.exit(2)
    os.makedirs(sys.argv[6], exist_ok=True)
    play(*sys.argv[1:])
