// What a program does when it is interrupted (SIGINT, SIGTERM, SIGHUP, or
// SIGPIPE when its standard output is a pipe closed early, as by `| head`): it
// removes the scratch files it has enlisted (OutputFile enlists every one it
// creates) and then ends by the same signal, so that the shell reports
// status 128 + the signal number and a shell loop around the program stops
// too.  Nothing else is removed: files already put in place stay whole.  A
// second signal during the clean-up ends the program at once.
//
// Every program installs the handlers first thing in its main.  A signal
// that was ignored when the program started (nohup, a background job of a
// script) stays ignored.
#pragma once

#include <signal.h>

namespace swnt {

// Installs the handlers of the four signals.
void install_interruption_handlers();

// Marks `path` as a scratch file of this process that an interruption
// removes.  The text must stay unchanged until it is withdrawn.  Returns the
// slot to withdraw, or -1 when every slot is taken (the file is then not
// removed on an interruption).
int enlist_scratch(const char* path);

// Forgets the slot (nothing happens for -1).  Withdraw a file only once it
// has been removed or renamed, so that an interruption never misses it.
void withdraw_scratch(int slot);

// Holds the four signals back while it lives, so that a file created and
// enlisted in that time is never left behind by an interruption between the
// two steps.  A signal that comes meanwhile is handled when it ends.
class InterruptionHold {
 public:
  InterruptionHold();
  ~InterruptionHold();
  InterruptionHold(const InterruptionHold&) = delete;
  InterruptionHold& operator=(const InterruptionHold&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace swnt
