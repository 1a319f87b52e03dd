// The one byte sink through which every link hands received bytes to the reader port object.
// Links move bytes only; framing is done above them, once.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tw {

class IByteSink {
 public:
  virtual ~IByteSink() = default;
  // Called on the link's own thread for every received byte, in order.
  virtual void OnByteReceived(uint8_t byte) = 0;
  // Bulk form; the default hands each byte to OnByteReceived. Overridden to take the lock once.
  virtual void OnBytesReceived(const uint8_t* data, size_t len) {
    for (size_t i = 0; i < len; ++i) OnByteReceived(data[i]);
  }
};

}  // namespace tw
