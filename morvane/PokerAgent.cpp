#include "PokerAgent.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "net.h"

PokerAgent::PokerAgent(const char* gameFile) {
  FILE* file = std::fopen(gameFile, "r");
  if (!file) {
    std::fprintf(stderr, "ERROR: could not open game %s\n", gameFile);
    std::exit(1);
  }
  game = readGame(file);
  if (!game) {
    std::fprintf(stderr, "ERROR: could not read game %s\n", gameFile);
    std::exit(1);
  }
  std::fclose(file);
  toServer = nullptr;
  fromServer = nullptr;
  sock = 0;
}

PokerAgent::~PokerAgent() { std::free(game); }

bool PokerAgent::connect(const char* host, uint16_t port) {
  if (isConnected()) return false;
  sock = connectTo(host, port);
  if (sock < 0) std::exit(1);
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
  char line[4096];
  bool newHand = true;
  uint8_t nextStage = 0;
  uint8_t lastActor = 0;
  while (std::fgets(line, sizeof(line), fromServer)) {
    if (line[0] == '#' || line[0] == ';') continue;
    int len = readMatchState(line, game, &matchState);
    if (len < 0 || len > 4090) {
      // Not a match state (or one leaving no room for the answer): nothing
      // to act on, and the hand's events stay as they were.
      line[std::strcspn(line, "\r\n")] = '\0';
      std::fprintf(stderr, "WARNING: could not read state %s\n", line);
      continue;
    }
    State& state = matchState.state;

    if (newHand) {
      holeCards(state.holeCards[matchState.viewingPlayer], matchState.viewingPlayer);
      newHand = false;
    } else {
      // The latest action of the hand: the current round's last, or the one
      // that closed the previous round.
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
      gameOverEvent(valueOfState(game, &state, matchState.viewingPlayer));
      continue;
    }
    if (matchState.viewingPlayer != lastActor) continue;

    Action action;
    getAction(action);
    line[len++] = ':';
    if (!isValidAction(game, &state, 1, &action)) action = Action{a_call, 0};
    // Never fold when checking is free.
    if (action.type == a_fold && state.spent[matchState.viewingPlayer] == state.maxSpent)
      action = Action{a_call, 0};
    const int written = printAction(game, &action, 4094 - len, line + len);
    if (written > 0) len += written;
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
