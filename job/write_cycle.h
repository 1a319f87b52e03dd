// The write step and the write cycle's handlers (JobEngine::WriteStep, OnWriteSingle,
// OnWriteCyclic, in write_cycle.cpp), and the pieces of the write step that stand on their own.
#pragma once
#include "job/job_engine_state.h"
#include "sdk/my_byte_array.h"

namespace tw {

// EM4450: lifts the tag's protection word before a write that would touch its write-inhibited
// range. False when the word cannot be read or cleared.
bool Em4450ClearWriteProtection(JobContext& ctx);

// SIC7888 with passwordActive and Hitag S with authMode keep their passwords and key in blocks 2
// and 3, which the configuration writes after the data: a job whose data would lie there is refused
// (status kMsgDataInPasswordBlocks) instead of reporting a value that has been overwritten.
bool CheckDataOutsidePasswordBlocks(const JobParams& job, StatusReporter& status);

// Extends data with 00h to the next multiple of 4 (whole blocks).
void PadToBlocks(CMyByteArray& data);

}  // namespace tw
