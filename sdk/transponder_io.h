// Shared helpers of the transponder command layer: sending a command on either reader generation,
// the generation and byte-order rules of a port, and the remembered-password block commands.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "sdk/my_byte_array.h"
#include "sdk/transponder_modulation_tables.h"

namespace tw {

class CQZ_RW_Port;

namespace xponder {

bool IsUnified(const CQZ_RW_Port& port);
ReaderFeatures Features(const CQZ_RW_Port& port);
// Capability bits 0Fh all clear: ATA5555 block commands go as packed downlink streams.
bool SendsPackedStreams(const CQZ_RW_Port& port);
// Capability word 0 and type 2, 3 or 6: legacy block and UID answers arrive reversed.
bool ReversesAnswers(const CQZ_RW_Port& port, int type);
void ReverseIf(bool reverse, CMyByteArray& bytes);

// A legacy command: BeginCommand + SendCommand + ReadAnswer.
bool Legacy(CQZ_RW_Port& port, uint8_t cmd, const CMyByteArray& params, CMyByteArray& answer);
// A unified command (and the reader commands FCh, F5h): one Transact, timeout raised to at least
// minTimeoutMs when given.
bool Unified(CQZ_RW_Port& port, uint8_t cmd, const CMyByteArray& params, CMyByteArray& answer,
             uint32_t minTimeoutMs = 0);

// head followed by tail: the parameter bytes of most commands.
CMyByteArray Join(std::initializer_list<uint8_t> head, const CMyByteArray& tail = {});
CMyByteArray Join(std::initializer_list<uint8_t> head, const CMyByteArray& tail1,
                  const CMyByteArray& tail2);

// Sets the last error and returns false.
bool Fail(CQZ_RW_Port& port, int code);

void ClearRememberedPassword(CQZ_RW_Port& port);

// One block of types 3, 9, 13 with the remembered password. The read answer is reversed by the
// byte-order rule; ReadBlocks takes care that this happens once.
bool ReadBlockWithPassword(CQZ_RW_Port& port, int type, int block, CMyByteArray& out);
bool WriteBlockWithPassword(CQZ_RW_Port& port, int type, int block, const uint8_t chunk[4],
                            int lock);

}  // namespace xponder
}  // namespace tw
