// The tag step that comes before every write and read and after every configured write: find the
// transponder in the field, keep its UID, tell whether it is the tag just handled, and log in with
// the job's password or key in the way the transponder family needs.
#pragma once
#include <cstdint>

#include "job/job_engine_state.h"

namespace tw {

// Factory default passwords that the step tries (hex text, converted like the job's password).
inline constexpr char kHitag2DefaultPassword[] = "5A3C9E17";
inline constexpr char kEm4xDefaultPassword[] = "7C1E5A93";  // EM4305 and EM4450
inline constexpr char kHitagMuDefaultPassword[] = "B4F0263D";
inline constexpr char kSic7888DefaultPassword[] = "58D2E14F";

// Status message ids of the step.
inline constexpr int kMsgLoginFailed = 242;

// Length of the UID the step keeps for a type (4, 5 for ATA5555, 8 for ATA5577, 6 for Hitag µ);
// 0 for a type the step does not handle.
int UidLength(int type);

// One tag step. first: before data are written (default passwords may be tried, fresh tags are
// tolerated); skipSame: a tag whose UID equals lastUid is not handled again. True when a tag is
// present, identified and logged in where needed; state.currentUid then holds its UID.
// The UID buffer is cleared before each request, so bytes a reader does not fill are always 00h.
bool TagStep(JobContext& ctx, bool first, bool skipSame);

}  // namespace tw
