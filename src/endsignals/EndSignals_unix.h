#pragma once

#include <chrono>
#include <csignal>
#include <vector>

// The requests to end a program on Unix, for every program of the project and
// the serial device's sleeping wait: SIGINT (Ctrl+C), SIGTERM (kill, a service
// manager) and SIGHUP (the terminal or session gone).
std::vector<int> endSignals();

struct TakenSignal {
    int signal;
    struct sigaction previous;
};

// Gives each of `signals` the action, except one ignored when the program
// started (nohup, a background job's SIGINT): that stays ignored. Returns the
// signals taken, each with the action it had.
std::vector<TakenSignal> takeSignalsNotIgnored(const std::vector<int> &signals,
                                               const struct sigaction &action);

// The calling thread's signal mask with `signals` let through: for a sleep that
// a request to end must cut short.
sigset_t maskLettingThrough(const std::vector<int> &signals);

// Sleeps until `fd` has one of `events` or the time is up, the end signals let
// through; a look (no time) lets none through. The events it has, 0 for none.
short pollLettingEndSignalsThrough(int fd, short events, std::chrono::microseconds limit);
