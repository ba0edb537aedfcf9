// The page of the human seat: asks the program for the view of the hand a
// few times a second, draws it, and posts the person's choices. The program
// judges every choice; this page only offers what the view says is legal.
"use strict";

const $ = (id) => document.getElementById(id);
let lastText = "";
let view = null;
let busy = false;

const SUITS = { c: "♣", d: "♦", h: "♥", s: "♠" };

function cardElement(text) {
  const el = document.createElement("div");
  el.className = "card";
  if (!text) {
    el.classList.add("back");
    return el;
  }
  const rank = text[0] === "T" ? "10" : text[0];
  el.textContent = rank + SUITS[text[1]];
  el.dataset.card = text;
  if (text[1] === "d" || text[1] === "h") el.classList.add("red");
  return el;
}

function showMessage(text) {
  $("message").textContent = text;
  $("message").classList.toggle("hidden", !text);
}

async function post(path, body) {
  try {
    const response = await fetch(path, {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(body),
    });
    const result = await response.json();
    showMessage(result.ok ? "" : result.message);
  } catch (e) {
    showMessage("The seat cannot be reached.");
  }
  poll(true);
}

function act(action, size) {
  if (!view || !view.hand) return;
  showMessage("");
  const body = { token: view.hand.token, action: action };
  if (size !== undefined) body.size = size;
  post("/api/action", body);
}

function drawSeats(hand) {
  const seats = $("seats");
  seats.replaceChildren();
  for (const s of hand.seats) {
    const el = document.createElement("div");
    el.className = "seat";
    el.dataset.seat = s.seat;
    if (s.you) el.classList.add("you");
    if (s.toAct) el.classList.add("to-act");
    if (s.folded) el.classList.add("folded");
    const name = document.createElement("div");
    name.className = "name";
    name.textContent = s.name + (s.you ? " (you)" : "");
    const spent = document.createElement("div");
    spent.className = "spent";
    spent.textContent = "In the pot: " + s.spent + (s.folded ? " · folded" : "") +
      (s.allIn ? " · all-in" : "");
    const cards = document.createElement("div");
    cards.className = "cards";
    if (s.cards.length) s.cards.forEach((c) => cards.appendChild(cardElement(c)));
    else if (!s.folded) for (let i = 0; i < hand.holeCards; i++) cards.appendChild(cardElement(""));
    el.append(name, spent, cards);
    if (s.value !== undefined) {
      const value = document.createElement("div");
      value.className = "value " + (s.value > 0 ? "won" : s.value < 0 ? "lost" : "");
      value.textContent = s.value > 0 ? "wins " + s.value : s.value < 0 ? "loses " + -s.value : "even";
      el.appendChild(value);
    }
    seats.appendChild(el);
  }
}

function drawBetting(hand) {
  const box = $("betting");
  box.replaceChildren();
  for (const round of hand.rounds) {
    const el = document.createElement("div");
    el.className = "round";
    const name = document.createElement("span");
    name.className = "round-name";
    name.textContent = round.name + ": ";
    el.appendChild(name);
    const text = round.actions.map((a) => a.name + " " + a.text).join(", ");
    el.appendChild(document.createTextNode(text || "—"));
    box.appendChild(el);
  }
}

function drawActions(hand) {
  const buttons = $("buttons");
  buttons.replaceChildren();
  const legal = hand.legal;
  // The decision the buttons answer, for anyone watching the page's workings.
  buttons.dataset.token = legal ? hand.token : "";
  $("raise-controls").classList.add("hidden");
  if (!legal) return;
  const add = (id, label, handler) => {
    const b = document.createElement("button");
    b.type = "button";
    b.id = id;
    b.textContent = label;
    b.addEventListener("click", handler);
    buttons.appendChild(b);
  };
  if (legal.fold) add("fold", "Fold", () => act("fold"));
  add("call", legal.call.label, () => act("call"));
  const raise = legal.raise;
  if (!raise) return;
  if (!hand.nolimit) {
    add("raise", raise.label + " to " + raise.min, () => act("raise"));
    return;
  }
  add("raise", raise.label, () => {
    const amount = Number($("raise-amount").value);
    if (!Number.isInteger(amount)) {
      showMessage("Enter a whole number of chips.");
      return;
    }
    act("raise", amount);
  });
  const slider = $("raise-slider");
  const amount = $("raise-amount");
  slider.min = amount.min = raise.min;
  slider.max = amount.max = raise.max;
  slider.value = amount.value = raise.min;
  $("raise-bounds").textContent = "Raise to between " + raise.min + " and " + raise.max;
  $("raise-controls").classList.remove("hidden");
  // After calling, a pot-sized raise adds the whole pot on top.
  const potAfterCall = hand.pot + legal.call.amount;
  const set = (to) => {
    const clamped = Math.max(raise.min, Math.min(raise.max, Math.round(to)));
    slider.value = amount.value = clamped;
  };
  $("half-pot").onclick = () => set(raise.maxSpent + potAfterCall / 2);
  $("pot-size").onclick = () => set(raise.maxSpent + potAfterCall);
  $("all-in").onclick = () => set(raise.max);
  slider.oninput = () => { amount.value = slider.value; };
}

function drawChart(history) {
  const svg = $("chart");
  svg.replaceChildren();
  const ns = "http://www.w3.org/2000/svg";
  const values = [0].concat(history);
  const low = Math.min(0, ...values), high = Math.max(0, ...values);
  const span = high - low || 1;
  const x = (i) => (values.length > 1 ? (i / (values.length - 1)) * 296 + 2 : 2);
  const y = (v) => 116 - ((v - low) / span) * 112;
  const zero = document.createElementNS(ns, "line");
  zero.setAttribute("class", "zero");
  zero.setAttribute("x1", 0); zero.setAttribute("x2", 300);
  zero.setAttribute("y1", y(0)); zero.setAttribute("y2", y(0));
  svg.appendChild(zero);
  const line = document.createElementNS(ns, "polyline");
  line.setAttribute("class", "line");
  line.setAttribute("points", values.map((v, i) => x(i) + "," + y(v)).join(" "));
  svg.appendChild(line);
}

function statusText(v) {
  const hand = v.hand;
  if (!hand) return v.matchOver ? "" : "Waiting for the dealer to deal the next hand…";
  if (hand.abandoned) return "The match ended before this hand did.";
  if (hand.finished) return hand.showdown ? "Showdown." : "The hand is over.";
  if (hand.legal) return "Your turn.";
  if (hand.toAct === hand.you) return "Your action was sent; waiting for the dealer…";
  const seat = hand.seats.find((s) => s.seat === hand.toAct);
  return seat ? "Waiting for " + seat.name + "…" : "Waiting for the dealer…";
}

function draw(v) {
  const hand = v.hand;
  $("hand-number").textContent = hand ? "Hand " + v.shown : "";
  $("status").textContent = statusText(v);
  $("total").textContent = v.total;
  $("hands-counted").textContent = v.history.length;
  drawChart(v.history);
  if (hand) {
    drawSeats(hand);
    drawBetting(hand);
    $("board").replaceChildren(...hand.board.map(cardElement));
    $("pot").textContent = hand.pot;
    drawActions(hand);
    const result = $("result");
    if (hand.finished) {
      const lines = hand.seats.filter((s) => !s.you && s.value > 0).map((s) => s.name + " wins " + s.value);
      const you = hand.value > 0 ? "You win " + hand.value : hand.value < 0 ? "You lose " + -hand.value : "You break even";
      result.textContent = you + ". " + lines.join(", ") + (lines.length ? "." : "");
      result.classList.remove("hidden");
    } else {
      result.classList.add("hidden");
    }
  } else {
    $("buttons").replaceChildren();
    $("raise-controls").classList.add("hidden");
    $("result").classList.add("hidden");
  }
  $("next").classList.toggle("hidden", !v.canNext);
  const over = $("over");
  if (v.matchOver) {
    over.textContent = "The match is over. Your total: " + v.total + " over " + v.history.length + " hands.";
    over.classList.remove("hidden");
  } else if (v.dealerClosed) {
    over.textContent = "The dealer has ended the match; the remaining hands are shown one by one.";
    over.classList.remove("hidden");
  } else {
    over.classList.add("hidden");
  }
}

let timer = null;
async function poll(now) {
  if (timer) clearTimeout(timer);
  timer = null;
  if (busy && !now) return;
  busy = true;
  try {
    const response = await fetch("/api/view", { cache: "no-store" });
    const text = await response.text();
    $("connection").classList.add("hidden");
    if (text !== lastText) {
      lastText = text;
      view = JSON.parse(text);
      draw(view);
    }
  } catch (e) {
    const conn = $("connection");
    conn.textContent = view && view.matchOver
      ? "The match is over and the seat has closed."
      : "The seat's program cannot be reached: the match has ended or the program has stopped.";
    conn.classList.remove("hidden");
    $("buttons").replaceChildren();
    $("raise-controls").classList.add("hidden");
    $("next").classList.add("hidden");
  } finally {
    busy = false;
  }
  timer = setTimeout(() => poll(false), 300);
}

$("next").addEventListener("click", () => {
  showMessage("");
  post("/api/next", {});
});
poll(true);
