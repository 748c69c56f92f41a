// One run of a long command (a scan, a processing run). The command that
// starts a run holds its token, and so does every part of the run that lets
// pending events run (the walk, the comparison): after each pump they ask
// the token whether the run may go on. Copies of a token share its state,
// so a stop reaches every holder at once, other threads too: only the
// thread that runs the command changes it, any thread may ask it.
#pragma once

#include <atomic>
#include <memory>

class RunToken {
 public:
  // A token of no run: not running.
  RunToken() = default;
  // A new run, running.
  static RunToken Start() {
    RunToken token;
    token.state_ = std::make_shared<std::atomic<State>>(State::Running);
    return token;
  }

  // Neither stopped, superseded nor finished.
  bool running() const { return is(State::Running); }
  // A newer run has taken over what this one worked on: it must not touch
  // any of it again.
  bool superseded() const { return is(State::Superseded); }

  // Asks the run to stop (Cancel): it ends at its next look at the token.
  void stop() { become(State::Stopped); }
  // A newer run starts: this one, running or stopped, ends at its next look
  // and writes nothing more.
  void supersede() {
    if (state_ && *state_ != State::Finished) *state_ = State::Superseded;
  }
  // The run has ended in order.
  void finish() { become(State::Finished); }

 private:
  enum class State { Running, Stopped, Superseded, Finished };
  bool is(State s) const { return state_ && *state_ == s; }
  // A running run ends one way only.
  void become(State s) {
    if (is(State::Running)) *state_ = s;
  }

  std::shared_ptr<std::atomic<State>> state_;
};
