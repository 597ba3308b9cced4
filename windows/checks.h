// The Windows test host's check list: every check prints one line, "ok" or
// "FAIL" with what was found, and the host's exit status says whether any
// failed.
#pragma once

#include <string>

void Check(bool good, const std::string& what, const std::string& detail = "");
int ChecksPassed();
int ChecksFailed();

// `text` with line ends shown as \n and \r, in quotes, for messages.
std::string Shown(const std::string& text);
