// The transponder command layer: for each transponder operation of the SDK interface, the reader
// commands to send on either reader generation (unified C0h-C5h or legacy per-type codes), the
// post-processing of their answers and the per-port transponder state.
// Every operation returns true on success; on failure the port's last error says why (some failures
// deliberately leave it untouched, as noted).
#pragma once
#include <cstdint>

#include "sdk/my_byte_array.h"

namespace tw {

class CQZ_RW_Port;

// Blocks from firstBlock until byteCount bytes are read. typeWord: type in the low byte, 400h inverts
// the result (not on the remembered-password path).
bool ReadBlocks(CQZ_RW_Port& port, int typeWord, int firstBlock, int byteCount, CMyByteArray& out);

// Writes data from firstBlock in 4-byte blocks (the last one padded with zeros); lock = 1 locks.
// Stops at the first failing block; blocks written before stay written.
bool WriteBlocks(CQZ_RW_Port& port, int typeWord, int firstBlock, const CMyByteArray& data,
                 int lock);

// After a write: reads the written blocks back (inverted for type 3 with option 200h) and compares.
// Any difference or failure is last error 20.
bool VerifyWrittenBlocks(CQZ_RW_Port& port, int typeWord, int firstBlock,
                         const CMyByteArray& data);

bool ReadUid(CQZ_RW_Port& port, int type, CMyByteArray& out, uint8_t selector = 0);
// The ATA5555 identity frame (also clears the remembered password).
bool ReadIdentityFrame(CQZ_RW_Port& port, CMyByteArray& out);

bool Authenticate(CQZ_RW_Port& port, int type, const CMyByteArray& params, CMyByteArray& out);
// Sends six key bytes (missing ones 00h, extra ones ignored).
bool KeyAuthenticate(CQZ_RW_Port& port, int type, const CMyByteArray& key, CMyByteArray& out);
// Sends four password bytes (missing ones 00h, extra ones ignored).
bool ReadUidWithPassword(CQZ_RW_Port& port, int type, const CMyByteArray& password,
                         CMyByteArray& out);

// Types 3, 9, 13 remember the password instead of sending it; a tag that reads without it makes the
// login fail without an error code of its own.
bool PasswordLogin(CQZ_RW_Port& port, int typeWord, const CMyByteArray& password);
bool ChangePassword(CQZ_RW_Port& port, const CMyByteArray& oldPassword,
                    const CMyByteArray& newPassword);
bool ResetTransponder(CQZ_RW_Port& port, int type);
bool LockBlock(CQZ_RW_Port& port, int type, int block);

// The cached modulation (queried first on a unified reader); -1 when unknown.
int GetModulation(CQZ_RW_Port& port);
bool SetModulation(CQZ_RW_Port& port, int m);
// The modulation at which the tag's block 0 reads (and matches it), or -1.
int DetectModulation(CQZ_RW_Port& port, int type, int m);

}  // namespace tw
