// Run-time state of the job engine that the tag step, the configuration and the write and read
// steps share, and the bundle of references they all work with.
#pragma once
#include <cstdint>
#include <map>

#include "job/job_params.h"
#include "job/job_view.h"
#include "sdk/my_byte_array.h"

namespace tw {

class ITagSdk;

struct JobEngineState {
  int portHandle = 0;         // SDK handle of the connected reader; 0 = none
  CMyByteArray currentUid;    // UID found by the latest tag step, at the type's full length
  CMyByteArray lastUid;       // UID of the last tag written or read successfully
  uint8_t sameTag = 0;        // the latest step found lastUid's tag and was asked to skip it
  uint8_t loginFailed = 0;    // the latest step could not log in with the job's credentials
  uint32_t lastSeenTick = 0;  // when the handled tag was last seen (TickCount); 0 = not set
  uint8_t hitag2ConfigByte = 0x06;  // from the Hitag 2 authentication answer
  // Blocks of the tag in the field whose content the latest tag step (and the write step) learnt
  // without reading them: a configuration block from the selection answer, a password block from a
  // login it opened, the EM4450 protection word from the write guard. The configuration uses them
  // instead of asking the tag again, and does not rewrite a block that already holds its value.
  // Every tag step starts it afresh.
  std::map<int, CMyByteArray> knownBlocks;
  // Set by the configuration after writing when it changed what the tag step depends on (a
  // password, key, protection or authentication mode, the modulation); only then is the tag checked
  // again with the new settings.
  bool accessChanged = true;
  int writeTimerId = 0;       // running write-cycle timer, 0 = none
  int readTimerId = 0;        // running read-cycle timer, 0 = none
};

// What a step works with: the job fields, the shared state, the status box with its repeat
// suppression, the view, and the reader.
struct JobContext {
  JobParams& job;
  JobEngineState& state;
  StatusReporter& status;
  IJobView& view;
  ITagSdk& sdk;
};

// Shows the application message for the port's last error (repeat-suppressed like every message
// by id inside the timer handler).
void AddSdkErrorMessage(JobContext& ctx);
// The string id of the application message for an SDK error code.
int SdkErrorMessageId(int code);

}  // namespace tw
