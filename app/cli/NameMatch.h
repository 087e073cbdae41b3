// --match: whether a file's name fits a shell pattern (* ? [...] and \ as
// an escape; '/' and a leading '.' match like any character).
#pragma once
#include <string>

namespace undelete {

// The system's matcher where there is one (fnmatch), else globMatches.
bool nameMatches(const std::string& glob, const std::string& name);

// The same patterns matched by UTF-8 characters (a byte that starts none
// is a character of its own), for systems without fnmatch.
bool globMatches(const std::string& glob, const std::string& name);

}  // namespace undelete
