// The texts that front ends show for an SDK error code (the port's last error), German as the
// application has always shown them and English. Windows-1252 bytes.
#pragma once

namespace tw {

// Never null; codes without a text of their own give the "unknown error" text.
const char* ErrorText(int code, bool english);

}  // namespace tw
