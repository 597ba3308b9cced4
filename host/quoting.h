// File names as pavonize shows them on standard error: quoted the way the
// shell reads them back, as GNU tools do, so a name cannot drive the
// terminal and a printed command can be pasted as it is.
#pragma once

#include <string>

// The name unchanged when it holds only characters the shell takes as they
// are; otherwise in single quotes, with control characters (C0, DEL and
// C1) written as $'\033'-style escapes outside them.
std::string QuotedName(const std::string& name);
