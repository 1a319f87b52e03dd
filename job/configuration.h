// The configuration applied after the data of a job have been written: passwords and keys, password
// or authentication mode, locking of the written blocks, the EM4450 protection and autoread ranges,
// and the modulation of the ATA5555, ATA5577 and EM4305 — one variant per transponder family.
#pragma once
#include <cstdint>

#include "job/job_engine_state.h"
#include "sdk/my_byte_array.h"

namespace tw {

// Configuration values by modulation index (OR-ed in after the mask has cleared the field).
uint32_t Ata5555ModulationValue(int index);
uint32_t Ata5577ModulationValue(int index);
uint32_t Em4305ModulationValue(int index);
inline constexpr uint32_t kAta5555ModulationMask = 0xFFFC030Fu;
inline constexpr uint32_t kAta5577ModulationMask = 0xFF000DEFu;
inline constexpr uint32_t kEm4305ModulationMask = 0xFFEBFC00u;

// Lock bits in byte 2 of the Hitag S / SIC7888 configuration block for the groups that overlap
// the blocks first..last.
uint8_t HitagSLockBits(int first, int last);
uint8_t Sic7888LockBits(int first, int last);

// The password an EM4450 carries from the factory, built when it is needed.
CMyByteArray Em4450FactoryPassword();

// Brings the tag's configuration in line with the job after a successful data write. False when a
// configuration block could not be written (the SDK's message has been shown), or for the EM4450
// control word and EM4305 protection word when they cannot be read.
bool ApplyConfiguration(JobContext& ctx);

}  // namespace tw
