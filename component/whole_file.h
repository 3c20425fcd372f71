// A file written whole or not at all: beside its name first, on the disk, then renamed over it.
// The run report and the plan files are written so.
#pragma once

#include <string>

namespace veriprog {

// Writes `text` to PATH.<process>.part, flushes it to the disk and renames it to PATH: a reader
// never sees half a file, a machine that stops leaves the old file or the new one, and two
// processes given one name do not write into each other's. False with `error` ("cannot write
// the run report X: why") naming the file as `what` ("the run report").
bool WriteWholeFile(const std::string& path, const std::string& text, const std::string& what,
                    std::string* error);

}  // namespace veriprog
