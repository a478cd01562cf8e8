#include "files/interruption.hpp"

#include <unistd.h>

#include <atomic>

namespace swnt {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The scratch files to remove, read by the signal handler.  A program has at
// most a few open at once (a trajectory, a converted output, a copy across
// file systems).
constexpr int kSlots = 16;
std::atomic<const char*> scratch_files[kSlots];
std::atomic<bool> cleaning_up{false};

sigset_t interruption_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kSignals) sigaddset(&set, signal_number);
  return set;
}

// Ends the process by `signal_number` with its default action.
[[noreturn]] void end_by(int signal_number) {
  struct sigaction default_action = {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);  // only if the signal could not end the process
}

// Async-signal-safe: atomic loads, unlink, sigaction, sigprocmask, raise, _exit.
extern "C" void on_interruption(int signal_number) {
  if (cleaning_up.exchange(true)) end_by(signal_number);  // a second signal: at once
  for (std::atomic<const char*>& slot : scratch_files) {
    const char* path = slot.load();
    if (path != nullptr) unlink(path);
  }
  end_by(signal_number);
}


}  // namespace

// The handler runs with no signal held back (and is entered again by a
// second signal, which then ends the program at once).
void install_interruption_handlers() {
  struct sigaction action = {};
  action.sa_handler = on_interruption;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_NODEFER;
  for (const int signal_number : kSignals) {
    struct sigaction previous = {};
    if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signal_number, &action, nullptr);
  }
}

int enlist_scratch(const char* path) {
  for (int slot = 0; slot < kSlots; ++slot) {
    const char* expected = nullptr;
    if (scratch_files[slot].compare_exchange_strong(expected, path)) return slot;
  }
  return -1;
}

void withdraw_scratch(int slot) {
  if (slot >= 0 && slot < kSlots) scratch_files[slot].store(nullptr);
}

InterruptionHold::InterruptionHold() {
  const sigset_t set = interruption_signals();
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

InterruptionHold::~InterruptionHold() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace swnt
