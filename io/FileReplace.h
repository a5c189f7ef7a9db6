// Writing a whole file where other people's files may lie: the report goes
// into the scanned folder, which the user may not own. The bytes go to a new
// temporary file in the same folder, which is then renamed over the name, so
// a symbolic link planted under that name is replaced rather than written
// through, a FIFO cannot block the program, and nobody sees half a file.
#pragma once

#include <string>
#include <string_view>

// Replaces path with bytes. Raises EFCreateError ("Cannot create file "%s".
// %s") when path exists and is not a regular file (a link, FIFO, folder or
// device), or when the temporary file cannot be created, written or renamed;
// no temporary file is left behind then.
void ReplaceFileContents(const std::string& path, std::string_view bytes);
