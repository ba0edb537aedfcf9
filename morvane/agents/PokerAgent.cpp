#include "agents/PokerAgent.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>

#include "common/game_file.h"
#include "net.h"

namespace {

constexpr size_t LINE_BYTES = 4096;  // at most 4,095 characters of a line
// The answer needs ':' and the action text after the match state, and the
// two line-end characters.
constexpr int MAX_STATE_LENGTH = 4090;
// Stands in the card fields before a line is read: the reader writes only
// the cards the line shows, so a field still holding it was not shown.
constexpr uint8_t NO_CARD = 0xFF;

// Reads one line into `line` without its line feed: at most size - 1
// characters, then a zero byte. A longer line is consumed whole and reported
// by `tooLong`. False at the end of the stream before any character.
bool readLine(FILE* in, char* line, size_t size, bool& tooLong) {
  size_t n = 0;
  bool any = false;
  tooLong = false;
  int c;
  while ((c = getc_unlocked(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (n + 1 < size)
      line[n++] = static_cast<char>(c);
    else
      tooLong = true;
  }
  line[n] = '\0';
  return any;
}

void clearCards(State& state) {
  std::memset(state.holeCards, NO_CARD, sizeof(state.holeCards));
  std::memset(state.boardCards, NO_CARD, sizeof(state.boardCards));
}

bool holeCardsShown(const Game* game, const State& state, int seat) {
  return game->numHoleCards == 0 || state.holeCards[seat][0] != NO_CARD;
}

// A smaller deck holds the highest ranks and suits.
bool inDeck(const Game* game, uint8_t card) {
  return rankOfCard(card) >= MAX_RANKS - game->numRanks &&
         suitOfCard(card) >= MAX_SUITS - game->numSuits && rankOfCard(card) < MAX_RANKS;
}

// Whether every card the state shows is a card of the game's deck, shown
// once: the cards could have been dealt.
bool cardsAreADeal(const Game* game, const State& state) {
  bool seen[MAX_RANKS * MAX_SUITS] = {};
  auto take = [&](uint8_t card) {
    if (card == NO_CARD) return true;
    if (!inDeck(game, card) || seen[card]) return false;
    seen[card] = true;
    return true;
  };
  for (int p = 0; p < game->numPlayers; ++p)
    for (int c = 0; c < game->numHoleCards; ++c)
      if (!take(state.holeCards[p][c])) return false;
  for (int c = 0; c < sumBoardCards(game, state.round); ++c)
    if (!take(state.boardCards[c])) return false;
  return true;
}

// A seat still in a showdown whose cards the finished state does not show;
// -1 when the viewer's result needs no unseen cards.
int unseenShowdownSeat(const Game* game, const State& state, int viewer) {
  if (state.playerFolded[viewer] || numFolded(game, &state) + 1 >= game->numPlayers) return -1;
  for (int p = 0; p < game->numPlayers; ++p)
    if (!state.playerFolded[p] && state.spent[p] > 0 && !holeCardsShown(game, state, p)) return p;
  return -1;
}

// The line up to its first carriage return, for messages. A copy: the line
// itself becomes the answer, and a match state may hold a carriage return
// (the number scanner skips white space).
std::string shown(const char* line) { return std::string(line, std::strcspn(line, "\r\n")); }

}  // namespace

PokerAgent::PokerAgent(const char* gameFile) {
  std::string problem;
  GamePtr read = readGameFile(gameFile, &problem);
  if (!read) {
    std::fprintf(stderr, "ERROR: %s\n", problem.c_str());
    std::exit(1);
  }
  game = read.release();
  toServer = nullptr;
  fromServer = nullptr;
  sock = 0;
}

PokerAgent::~PokerAgent() { std::free(game); }

bool PokerAgent::connect(const char* host, uint16_t port) {
  if (isConnected()) return false;
  const int socket = connectTo(host, port);
  if (socket < 0) std::exit(1);
  return attach(socket);
}

bool PokerAgent::attach(int socket) {
  if (isConnected()) return false;
  sock = socket;
  toServer = fdopen(sock, "w");
  fromServer = fdopen(sock, "r");
  if (!toServer || !fromServer) {
    std::fprintf(stderr, "ERROR: could not get socket streams\n");
    return false;
  }
  if (std::fprintf(toServer, "VERSION:2.0.0\n") != 14) {
    std::fprintf(stderr, "ERROR: could not get send version to server\n");
    return false;
  }
  std::fflush(toServer);
  return true;
}

void PokerAgent::disconnect() {
  close(sock);
  sock = 0;
}

bool PokerAgent::play() {
  char line[LINE_BYTES];
  bool newHand = true;
  uint8_t nextStage = 0;
  uint8_t lastActor = 0;
  uint32_t handId = 0;            // of the hand the agent was told of
  bool warnedOfStrategy = false;  // one missing-strategy warning per hand
  bool tooLong;
  while (readLine(fromServer, line, sizeof(line), tooLong)) {
    if (tooLong) {
      // Its tail may itself look like a match state: none of it is used.
      std::fprintf(stderr, "WARNING: dropped a line longer than %zu characters\n",
                   sizeof(line) - 1);
      continue;
    }
    if (line[0] == '#' || line[0] == ';') continue;
    clearCards(matchState.state);
    int len = readMatchState(line, game, &matchState);
    if (len < 0 || len > MAX_STATE_LENGTH) {
      // Not a match state (or one leaving no room for the answer): nothing
      // to act on, and the hand's events stay as they were.
      std::fprintf(stderr, "WARNING: could not read state %s\n", shown(line).c_str());
      continue;
    }
    State& state = matchState.state;
    const uint8_t viewer = matchState.viewingPlayer;
    if (!holeCardsShown(game, state, viewer)) {
      std::cout << "Warning: skipped a state without the cards of seat " << int(viewer) << ": "
                << shown(line) << std::endl;
      continue;
    }
    // A new hand number is a new hand even if the line that ended the last
    // one was lost.
    if (!newHand && state.handId != handId) {
      newHand = true;
      nextStage = 0;
    }
    if (newHand) warnedOfStrategy = false;
    const bool toAct = !state.finished && numActingPlayers(game, &state) > 0 &&
                       currentPlayer(game, &state) == viewer;

    Action action{a_call, 0};
    if (!cardsAreADeal(game, state)) {
      // Nothing about such a state is told to the agent.
      std::cout << "Warning: the cards of this state cannot be dealt in the game"
                << (toAct ? ", calling: " : ": ") << shown(line) << std::endl;
      if (state.finished) {
        newHand = true;
        nextStage = 0;
      }
      if (!toAct) continue;
    } else {
      if (newHand) {
        holeCards(state.holeCards[viewer], viewer);
        newHand = false;
        handId = state.handId;
      } else {
        // The latest action of the hand: the current round's last, or the
        // one that closed the previous round.
        int round = state.round;
        while (round > 0 && state.numActions[round] == 0) --round;
        if (state.numActions[round] > 0)
          actionEvent(lastActor, state.action[round][state.numActions[round] - 1]);
      }
      lastActor = currentPlayer(game, &state);
      if (state.round == nextStage) {
        stageEvent(nextStage);
        ++nextStage;
      }
      if (state.finished) {
        newHand = true;
        nextStage = 0;
        const int unseen = unseenShowdownSeat(game, state, viewer);
        if (unseen >= 0) {
          std::cout << "Warning: the result of hand " << state.handId
                    << " is unknown, the showdown shows no cards for seat " << unseen << ": "
                    << shown(line) << std::endl;
          continue;
        }
        gameOverEvent(valueOfState(game, &state, viewer));
        continue;
      }
      if (!toAct) continue;
      try {
        getAction(action);
      } catch (const std::out_of_range&) {
        // The strategy has no information set for this state.
        if (!warnedOfStrategy)
          std::cout << "Warning: no strategy for the state " << shown(line) << ", calling"
                    << std::endl;
        warnedOfStrategy = true;
        action = Action{a_call, 0};
      }
    }

    line[len++] = ':';
    if (!isValidAction(game, &state, 1, &action)) action = Action{a_call, 0};
    // Never fold when checking is free.
    if (action.type == a_fold && state.spent[viewer] == state.maxSpent) action = Action{a_call, 0};
    int written = printAction(game, &action, 4094 - len, line + len);
    if (written < 0) {
      // No room for a raise's size: call instead.
      action = Action{a_call, 0};
      written = printAction(game, &action, 4094 - len, line + len);
    }
    len += written;
    line[len++] = '\r';
    line[len++] = '\n';
    // The stream buffers the answer, so a dealer that has gone shows up in
    // the flush; either failure means the answer was not sent.
    if (std::fwrite(line, 1, len, toServer) != static_cast<size_t>(len) ||
        std::fflush(toServer) != 0) {
      std::fprintf(stderr, "ERROR: could not get send response to server\n");
      return false;
    }
  }
  return true;
}
