// One argument of a command line, quoted so that the started program's CommandLineToArgvW gives
// it back exactly: blanks stay inside it, and a double quote or trailing backslash in it cannot
// end it early and shift the arguments after it.
#pragma once

#include <string>

void AppendQuotedArgument(std::wstring* line, const wchar_t* argument);
