#include "job/job_checks.h"

#include "job/job_view.h"
#include "job/value_encoding.h"

namespace tw {
namespace {

// One running check: the first failure reports and ends it.
class Check {
 public:
  Check(const JobParams& job, StatusReporter& status)
      : job_(job), status_(status), n_(tw::BlocksUsed(job.byteCount)) {}

  bool Fail(int id, JobControl focus) {
    status_.AddStatusMessage(id);
    status_.View().SetFocus(focus);
    return false;
  }
  bool FailLine(StatusMessage msg, JobControl focus) {
    status_.AddStatusLine(msg);
    status_.View().SetFocus(focus);
    return false;
  }

  // The data blocks first..end-1 must hold the job's blocks: a start block in first..end-n, bounds
  // reported with 187. A byte count that fits no start block is reported with the capacity (181)
  // instead, so the bounds shown are never impossible.
  bool Start(int64_t first, int64_t end) {
    if (end - first < n_) return FailLine({kMsgMaxChars, {(end - first) * 4}}, JobControl::ByteCount);
    const int64_t last = end - n_;
    if (job_.startBlock >= first && job_.startBlock <= last) return true;
    return FailLine({kMsgStartBlockRange, {first, last}}, JobControl::StartBlock);
  }

  bool Credential(const std::string& text, size_t length, JobControl focus) {
    if (text.size() == length && IsHexText(text)) return true;
    return Fail(kMsgBadPassword, focus);
  }
  bool Password() { return Credential(job_.password, 8, JobControl::Password); }
  bool TagPassword(size_t length) { return Credential(job_.tagPassword, length, JobControl::TagPassword); }
  bool AuthKey() { return Credential(job_.authKey, 12, JobControl::AuthKey); }

  bool ByteCountPositive() {
    if (job_.byteCount >= 1) return true;
    return Fail(kMsgByteCountTooSmall, JobControl::ByteCount);
  }

  bool DecimalBytes() {
    if (job_.display == kDisplayAscii || job_.numberFormat != kFormatDecimal || job_.byteCount <= 8)
      return true;
    return Fail(kMsgDecimalOver8, JobControl::ByteCount);
  }

  bool Value() {
    const std::string& v = job_.valueText;
    if (v.empty()) return Fail(kMsgNoData, JobControl::Value);
    if (job_.display == kDisplayAscii) return true;
    if (job_.numberFormat == kFormatHex) return IsHexText(v) ? true : Fail(kMsgNoHex, JobControl::Value);
    if (job_.numberFormat != kFormatDecimal) return true;
    if (job_.byteCount > 8) return Fail(kMsgDecimalOver8, JobControl::ByteCount);
    for (char c : v)
      if (c < '0' || c > '9') return Fail(kMsgNoDecimal, JobControl::Value);
    return true;
  }

  // The value is written only when its bytes read back as the value the protocol will name.
  bool Fits() {
    if (ValueFits(job_.valueText, job_)) return true;
    return FailLine({kMsgValueDoesNotFit, {AdvanceValueText(job_.valueText, job_, 0), int64_t{job_.byteCount}}},
                    JobControl::Value);
  }

  // The EM4450 range fields each fill one byte of a tag word; larger values would be cut silently.
  bool Ranges() {
    const struct {
      uint32_t value;
      JobControl control;
    } fields[] = {
        {job_.readProtectFirst, JobControl::ReadProtectFirst},
        {job_.readProtectLast, JobControl::ReadProtectLast},
        {job_.writeProtectFirst, JobControl::WriteProtectFirst},
        {job_.writeProtectLast, JobControl::WriteProtectLast},
        {job_.autoreadFirst, JobControl::AutoreadFirst},
        {job_.autoreadLast, JobControl::AutoreadLast},
    };
    for (const auto& f : fields)
      if (f.value > kRangeFieldMax) return Fail(kMsgRangeOver255, f.control);
    return true;
  }

 private:
  const JobParams& job_;
  StatusReporter& status_;
  int n_;
};

}  // namespace

bool ValidateWriteJob(const JobParams& job, StatusReporter& status) {
  Check c(job, status);
  if (!c.ByteCountPositive()) return false;
  const bool pa = job.passwordActive != 0;
  switch (job.transponderType) {
    case kTypeHitag2:
      return c.Start(4, 8) && c.Password() && c.TagPassword(6) && c.Value() && c.Fits();
    case kTypeAta5555:
    case kTypeAta5577:
      return c.Start(1, pa ? 7 : 8) && (!pa || c.Password()) && c.Value() && c.Fits();
    case kTypeHitagS:
      return c.Start(2, 64) && (!job.authMode || (c.AuthKey() && c.TagPassword(6))) && c.Value() && c.Fits();
    case kTypeHitag1:
      return c.Start(16, 64) && c.Value() && c.Fits();
    case kTypeEm4450:
      return c.Start(3, 32) && (!pa || c.Password()) && c.Ranges() && c.Value() && c.Fits();
    case kTypeEm4305:
      return c.Start(5, 14) && (!pa || c.Password()) && c.Value() && c.Fits();
    case kTypeHitagMu:
      return c.Start(0, 54) && c.Password() && c.Value() && c.Fits();
    case kTypeSic7888:
      return (!pa || (c.Password() && c.TagPassword(8))) && c.Start(2, 41) && c.Value() && c.Fits();
    default:
      return c.Value() && c.Fits();
  }
}

bool ValidateReadJob(const JobParams& job, StatusReporter& status) {
  Check c(job, status);
  if (!c.ByteCountPositive()) return false;
  const bool pa = job.passwordActive != 0;
  bool credentials = true;
  switch (job.transponderType) {
    case kTypeHitag2:
      credentials = c.Password() && c.TagPassword(6);
      break;
    case kTypeAta5555:
    case kTypeAta5577:
    case kTypeEm4450:
    case kTypeEm4305:
    case kTypeHitagMu:
      credentials = !pa || c.Password();
      break;
    case kTypeHitagS:
      credentials = !job.authMode || (c.AuthKey() && c.TagPassword(6));
      break;
    case kTypeSic7888:
      credentials = !pa || (c.Password() && c.TagPassword(8));
      break;
    default:
      break;
  }
  if (!credentials) return false;

  if (!c.Start(FirstBlock(job.transponderType), int64_t{LastBlock(job.transponderType, pa)} + 1))
    return false;
  return c.DecimalBytes();
}

}  // namespace tw
