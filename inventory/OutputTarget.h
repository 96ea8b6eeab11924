#pragma once
// Writing a report's file without harming what is already there. A regular file is replaced
// whole through a temporary file beside it, so a failure (a full disk) leaves the earlier
// file as it was; a device node or a pipe (/dev/null, /dev/stdout, a FIFO) is written
// through, never replaced; a symbolic link is followed; a file with other hard links (or
// another owner, or no write permission that only root passes by) is rewritten in place, so
// it stays the same file; a file the user may not write is refused, never replaced.

#include <string>

// The two paths name the same existing file, through any path or link.
bool SameFile(const std::string& a, const std::string& b);

// Writes `bytes` to `path`. Empty on success, else why not ("cannot write "x": ...").
std::string WriteOutputFile(const std::string& path, const std::string& bytes);
