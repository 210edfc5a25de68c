// A plug-in's state as a small text file the user can read: the plug-in's id and name,
// every parameter's normalised value (with its name and display as a comment) and, when the
// plug-in gives one, its program chunk in hex. Loading applies the chunk to plug-ins that
// declare program chunks and the parameter values to all others.
#pragma once

#include <string>

namespace qd::host {

class HostedPlugin;

void SaveStateFile(HostedPlugin& plugin, const std::string& path);
// Throws HostError for a missing or malformed file or one saved from another plug-in.
void LoadStateFile(HostedPlugin& plugin, const std::string& path);

}  // namespace qd::host
