#include "job/type_layout.h"

#include "job/job_view.h"

namespace tw {
namespace {

constexpr Visibility H = Visibility::Hidden;
constexpr Visibility S = Visibility::Shown;
constexpr Visibility P = Visibility::IfPasswordActive;
constexpr Visibility A = Visibility::IfAuthMode;

// code, Passwort aktiv, Lesen mit Passwort, Passwort, Tag Passwort, Modulation, Authentication
// Mode, Key, EM4450 ranges and "Read after Write".
const TypeLayoutRow kRows[] = {
    {kTypeHitag1, H, H, H, H, H, H, H, H},  {kTypeHitag2, H, H, S, S, H, H, H, H},
    {kTypeHitagS, H, H, H, A, H, S, A, H},  {kTypeHitagMu, S, H, P, H, H, H, H, H},
    {kTypeAta5555, S, H, P, H, S, H, H, H}, {kTypeAta5577, S, H, P, H, S, H, H, H},
    {kTypeEm4305, S, S, P, H, S, H, H, H},  {kTypeEm4450, S, H, P, H, H, H, H, S},
    {kTypeSic7888, S, S, P, P, H, H, H, H},
};

bool Resolve(Visibility v, const JobParams& job) {
  switch (v) {
    case Visibility::Shown:
      return true;
    case Visibility::IfPasswordActive:
      return job.passwordActive != 0;
    case Visibility::IfAuthMode:
      return job.authMode != 0;
    case Visibility::Hidden:
      break;
  }
  return false;
}

}  // namespace

const TypeLayoutRow* FindTypeLayoutRow(int code) {
  for (const auto& r : kRows)
    if (r.code == code) return &r;
  return nullptr;
}

TypeLayout ComputeTypeLayout(const JobParams& job) {
  TypeLayout l;
  l.valueCharLimit = ValueCharLimit(job);
  l.clearAllowExtraText = job.display != kDisplayAscii;
  if (job.transponderType == kTypeSic7888) {
    l.passwordLabelId = 247;
    l.tagPasswordLabelId = 246;
  }
  if (const TypeLayoutRow* r = FindTypeLayoutRow(job.transponderType)) {
    l.passwordActive = Resolve(r->passwordActive, job);
    l.readWithPassword = Resolve(r->readWithPassword, job);
    l.password = Resolve(r->password, job);
    l.tagPassword = Resolve(r->tagPassword, job);
    l.modulation = Resolve(r->modulation, job);
    l.authMode = Resolve(r->authMode, job);
    l.authKey = Resolve(r->authKey, job);
    l.em4450Ranges = Resolve(r->em4450Ranges, job);
  }
  return l;
}

void ApplyTypeLayout(JobParams& job, IJobView& view) {
  const TypeLayout layout = ComputeTypeLayout(job);
  view.EnableJobControls(true);
  if (layout.clearAllowExtraText) job.allowExtraText = 0;
  view.ShowTypeLayout(layout);
}

}  // namespace tw
