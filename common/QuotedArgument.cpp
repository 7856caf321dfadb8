// Quoting by the rules CommandLineToArgvW reads: backslashes are literal unless a double quote
// follows them, where 2n backslashes give n and 2n+1 give n and a literal quote.
#include "common/QuotedArgument.h"

void AppendQuotedArgument(std::wstring* line, const wchar_t* argument) {
  line->push_back(L'"');
  size_t backslashes = 0;
  for (const wchar_t* c = argument; *c != L'\0'; ++c) {
    if (*c == L'\\') {
      ++backslashes;
      continue;
    }
    if (*c == L'"') {
      line->append(2 * backslashes + 1, L'\\');
    } else {
      line->append(backslashes, L'\\');
    }
    backslashes = 0;
    line->push_back(*c);
  }
  // Doubled before the closing quote, so that they stay backslashes.
  line->append(2 * backslashes, L'\\');
  line->push_back(L'"');
}
