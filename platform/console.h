// The console the command line writes to: whether a stream is a terminal that can redraw the
// progress line (on Windows, a console with virtual-terminal mode), text in UTF-8 either way,
// and the arguments as UTF-8 (Windows hands them over as UTF-16).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace veriprog::platform {

// Sets the console up once: UTF-8 output, virtual-terminal sequences where the console has them.
void PrepareConsole();
// True when `stream` is a terminal that understands "\r\x1b[K"; plain lines otherwise.
bool IsTerminal(std::FILE* stream);
// The program's arguments in UTF-8, argv[0] first.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace veriprog::platform
