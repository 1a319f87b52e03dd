#include "store/pg_reservation_store.h"

namespace tw::store {

Reservation ToReservation(const SharedRecord& r) {
  Reservation out;
  out.id = r.id;
  out.taken.value = r.value;
  out.uid = r.uid;
  out.time = r.reservedAt;
  out.owner = r.station;
  out.state = r.outcome == kSpent ? ReservationState::Spent : ReservationState::Open;
  return out;
}

CPgReservationStore::CPgReservationStore(std::string conninfo, std::string job, std::string station,
                                         std::string reader)
    : conninfo_(std::move(conninfo)), jobName_(std::move(job)), station_(std::move(station)),
      reader_(std::move(reader)) {}

bool CPgReservationStore::Done(bool ok, const std::string& error) {
  message_ = ok ? std::string() : error;
  return ok;
}

bool CPgReservationStore::Connect(std::string& message) {
  connected_ = db_.Connect(conninfo_, message) && db_.LoadJob(jobName_, job_, message);
  if (!connected_) db_.Db().Close();
  return Done(connected_, message);
}

std::string CPgReservationStore::Describe() const { return connected_ ? db_.Describe() : conninfo_; }

bool CPgReservationStore::TakeStationLock(std::string& message, bool& busy) {
  busy = false;
  // Held by the session: the server drops it when the station's connection ends, however it ends.
  CPgResult r = db_.Db().Exec("SELECT pg_try_advisory_lock($1::integer, hashtext($2))",
                              {std::to_string(job_.id), station_});
  if (!r.Ok()) {
    message = r.Error();
    return false;
  }
  if (r.Get(0, 0) != "t") {
    busy = true;
    message = "station " + station_ + " on job " + jobName_ + " (another program with this station name)";
    return false;
  }
  return true;
}

bool CPgReservationStore::Ready(std::string& message) {
  if (connected_ && db_.Db().Healthy()) return true;
  // The server went away: connect again, and when this station held the job, take its role again.
  if (!Connect(message)) return false;
  if (open_) {
    bool busy = false;
    if (!TakeStationLock(message, busy)) {
      open_ = false;
      return false;
    }
  }
  return true;
}

StoreResult CPgReservationStore::Open(const std::string&, std::string& message) {
  if (open_ && Ready(message)) return StoreResult::Ok;
  open_ = false;
  if (!Ready(message) || !db_.LoadJob(jobName_, job_, message)) {
    Done(false, message);
    return StoreResult::Failed;
  }
  bool busy = false;
  if (!TakeStationLock(message, busy)) {
    Done(false, message);
    return busy ? StoreResult::Busy : StoreResult::Failed;
  }
  open_ = true;
  return StoreResult::Ok;
}

bool CPgReservationStore::Close() {
  if (!open_) return true;
  open_ = false;
  if (!connected_ || !db_.Db().Healthy()) return true;  // the lock went with the connection
  CPgResult r = db_.Db().Exec("SELECT pg_advisory_unlock($1::integer, hashtext($2))",
                              {std::to_string(job_.id), station_});
  return Done(r.Ok(), r.Error());
}

bool CPgReservationStore::ReadProgress(JobProgress& out, std::string& message) {
  if (!Ready(message) || !db_.LoadJob(jobName_, job_, message)) return Done(false, message);
  out = JobProgress{};
  usedUp_ = false;
  if (!job_.import) {
    out.value = job_.nextValue;
    return Done(true, "");
  }
  // The line the next tag will most likely get; the queue decides at each reservation.
  CPgResult r = db_.Db().Exec("SELECT value FROM tw_queue WHERE job_id = $1 ORDER BY pos LIMIT 1",
                              {std::to_string(job_.id)});
  if (!r.Ok()) return Done(false, message = r.Error());
  out.value = r.Rows() ? r.Get(0, 0) : std::string();
  usedUp_ = r.Rows() == 0;
  return Done(true, "");
}

bool CPgReservationStore::SetProgress(const JobProgress& progress) {
  std::string message;
  JobProgress now;
  if (!ReadProgress(now, message)) return false;
  if (progress == now) return true;
  // The stations read values from the store, never from a file of their own; an import job's
  // lines are the store's.
  if (progress.importData || job_.import)
    return Done(false, "the values of shared job " + jobName_ + " come from the store");
  CPgResult r = db_.Db().Exec("UPDATE tw_job SET next_value = $2, changed = now() WHERE id = $1 RETURNING id",
                              {std::to_string(job_.id), progress.value});
  return Done(r.Ok() && r.Rows() == 1, r.Ok() ? "job " + jobName_ + " is gone" : r.Error());
}

StoreResult CPgReservationStore::Reserve(const JobProgress&, const JobProgress&, const std::string& uid,
                                         Reservation& out) {
  std::string message;
  if (!Ready(message)) {
    Done(false, message);
    return StoreResult::Failed;
  }
  SharedRecord rec;
  switch (db_.Reserve(job_, uid, station_, reader_, rec, message, spentSeen_)) {
    case ReserveResult::Ok:
      out = ToReservation(rec);
      Done(true, "");
      return StoreResult::Ok;
    case ReserveResult::Spent:
      // Reported once: the caller reads the tag and settles it or asks again.
      spentSeen_.insert(rec.id);
      out = ToReservation(rec);
      Done(true, "");
      return StoreResult::Spent;
    case ReserveResult::TagOnce:
      // The earlier record: its value, its station and when the tag got it.
      out = ToReservation(rec);
      out.time = rec.doneAt;
      Done(false, "tag " + uid + " has value " + rec.value + " in job " + jobName_);
      return StoreResult::Refused;
    case ReserveResult::Exhausted:
      Done(false, "the import lines of job " + jobName_ + " are all taken");
      return StoreResult::UsedUp;
    case ReserveResult::ValueUsed:
      Done(false, "value " + rec.value + " already has a record in job " + jobName_ +
                      ": set the job's next value past the values used");
      return StoreResult::Failed;
    case ReserveResult::Failed:
      break;
  }
  Done(false, message);
  return StoreResult::Failed;
}

bool CPgReservationStore::Complete(const Reservation& r, bool logged) {
  std::string message;
  if (!Ready(message)) return Done(false, message);
  // Without a synced protocol line the store's record is the only one: it must be on disk.
  const bool ok = db_.Complete(r.id, r.uid, r.state == ReservationState::Spent ? kSettled : kWritten,
                               !logged, message);
  return Done(ok, message);
}

bool CPgReservationStore::GiveBack(const Reservation& r) {
  std::string message;
  if (!Ready(message)) return Done(false, message);
  return Done(db_.GiveBack(r.id, message), message);
}

bool CPgReservationStore::MarkSpent(const Reservation& r) {
  std::string message;
  if (!Ready(message)) return Done(false, message);
  return Done(db_.MarkSpent(r.id, message), message);
}

bool CPgReservationStore::ListReservations(std::vector<Reservation>& out, std::string& message) {
  out.clear();
  if (!Ready(message)) return Done(false, message);
  message.clear();
  for (const SharedRecord& r : db_.Unsettled(job_.id, station_, message)) out.push_back(ToReservation(r));
  return Done(message.empty(), message);
}

}  // namespace tw::store
