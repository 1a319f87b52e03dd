// The read step and the read cycle's handlers (JobEngine::ReadStep, OnReadSingle, OnReadCyclic, in
// read_cycle.cpp), and the request size of a read.
#pragma once

namespace tw {

// Bytes requested from the tag for byteCount data bytes: whole blocks.
int ReadRequestSize(int byteCount);

}  // namespace tw
