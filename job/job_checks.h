// The checks a job must pass before a write or a read starts. Each failure becomes one status line
// (by string id, through the repeat-suppressed path or always shown as the message requires) and puts
// the focus on the control to correct. The fields are never changed.
#pragma once
#include "job/job_params.h"

namespace tw {

class StatusReporter;

// String ids of the check messages.
enum JobCheckMessage : int {
  kMsgMaxChars = 181,         // "Im Transponder haben maximal %d Zeichen Platz! ..." (always shown)
  kMsgStartBlockRange = 187,  // "Startblock muss zwischen %d und %d sein!" (always shown)
  kMsgBadPassword = 243,
  kMsgNoHex = 32851,
  kMsgNoDecimal = 32852,
  kMsgDecimalOver8 = 32853,
  kMsgNoData = 32857,
  kMsgRangeOver255 = 32858,       // a range field above 255 (EM4450 writes)
  kMsgByteCountTooSmall = 32859,  // byte count below 1
  kMsgValueDoesNotFit = 32883,    // "Der Wert <%s> passt nicht in %d Bytes!" (always shown)
};

bool ValidateWriteJob(const JobParams& job, StatusReporter& status);
bool ValidateReadJob(const JobParams& job, StatusReporter& status);

}  // namespace tw
