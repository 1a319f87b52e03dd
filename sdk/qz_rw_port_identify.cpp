// The version command and what the port keeps from its answer.
#include "sdk/device_types.h"
#include "sdk/qz_rw_port.h"

namespace tw {

bool CQZ_RW_Port::Identify(bool wellFormedOnly) {
  CMyByteArray answer;
  if (!Transact(0xF0, {}, answer)) return false;
  if (wellFormedOnly && !IsWellFormedVersionAnswer(answer)) {
    lastError_ = kErrNoReader;
    return false;
  }
  EvaluateVersionAnswer(answer);
  return true;
}

void CQZ_RW_Port::EvaluateVersionAnswer(const CMyByteArray& data) {
  const ReaderIdentity id = EvaluateVersion(data);
  deviceTypeCode_ = id.typeCode;
  firmwareByte_ = id.revision;
  capabilityWord_ = id.capabilityWord;
}

}  // namespace tw
