#include "sdk/list_buffer.h"

#include <cstring>

namespace tw {

int CopyListToBuffer(const std::vector<std::string>& entries, char* list, int size) {
  if (!list || size < 1) return 0;
  long pos = 0;
  for (const std::string& e : entries) {
    const long len = static_cast<long>(std::strlen(e.c_str()));
    // Room for the entry, its NUL and the final NUL.
    if (len + pos + 2 > size) break;
    std::memcpy(list + pos, e.c_str(), static_cast<size_t>(len) + 1);
    pos += len + 1;
  }
  list[pos] = '\0';
  return static_cast<int>(pos + 1);
}

}  // namespace tw
