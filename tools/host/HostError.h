// The one error type of the command-line host: a message for the user and an exit status.
// Thrown by the host's own code only; never through a plug-in's callback.
#pragma once

#include <stdexcept>
#include <string>

namespace qd::host {

enum ExitStatus : int {
  kExitOk = 0,
  kExitUsage = 1,         // the command line is wrong
  kExitFailure = 2,       // a file, a plug-in or a parameter could not be used
  kExitTargetMissed = 3,  // `master` wrote its closest result, which misses the target
};

class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message, int status = kExitFailure)
      : std::runtime_error(message), status_(status) {}
  int Status() const { return status_; }

 private:
  int status_;
};

}  // namespace qd::host
