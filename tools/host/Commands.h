// The host's command line: parses the arguments of one run and carries out the command
// (info, render, state, bench, generate). Writes results to `out`, messages and the
// progress bar to `err`; returns the process exit status. Never lets an error escape: a
// missing file, an unreadable format, a plug-in that does not load or an unknown parameter
// is a message and a non-zero status.
#pragma once

#include <ostream>

namespace qd::host {

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace qd::host
