// Copying a list of strings into a caller's list buffer: NUL-terminated entries one after another,
// ended by one more NUL. Entries that do not fit end the copying.
#pragma once
#include <string>
#include <vector>

namespace tw {

// Returns the bytes used including the final NUL. A null buffer or one of size < 1 cannot take
// even the final NUL: nothing is written and the result is 0.
int CopyListToBuffer(const std::vector<std::string>& entries, char* list, int size);

}  // namespace tw
