// Points in the write step where a test can end the process at once, as a crash or a power loss
// would: TAGWRIGHT_FAULT_POINT=<name> ends it the first time the step passes <name>,
// <name>:<n> the n-th time. Only in builds with TAGWRIGHT_FAULT_POINTS; elsewhere a no-op.
#pragma once

namespace tw {

// The points of one tag, in order: "reserved" (value reserved, tag not yet written), "written"
// (write command sent, its answer not yet looked at), "answered" (write confirmed, configuration
// not yet applied), "configured", "logged" (protocol line written, reservation not yet completed),
// "completed" (reservation completed, next value not yet taken).
void FaultPoint(const char* name);

}  // namespace tw
