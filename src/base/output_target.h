// Where vantrelle-cli writes an output. "-" is standard output. An existing character device or
// FIFO (/dev/null, a pipe another program reads) is written directly: it has no contents that a
// failed write could destroy, and a temporary file cannot be renamed over it. Anything else goes
// through the safe writer (safe_file.h), which also refuses what must not be written: the file
// being read, a folder, a block device (a disc or a memory card) or a socket. The viewer's save
// commands use the safe writer alone.
#pragma once

#include <functional>
#include <string>

#include "base/stream.h"

namespace vt {

constexpr const char* kStandardOutput = "-";

// Whether target is written directly: standard output, or an existing character device or FIFO.
bool IsDirectOutput(const std::string& target);

// Writes target through write(stream), as described above. protectedFile (optional): the file
// the data is read from, which is never the target (ESaveRefused). A FIFO that no program reads
// is not waited for: it fails at once. Standard output that is a terminal is refused. System
// failures raise EOSError with a message that names the target.
void WriteOutput(const std::string& target, const std::function<void(TStream&)>& write,
                 const std::string& protectedFile = std::string());

}  // namespace vt
