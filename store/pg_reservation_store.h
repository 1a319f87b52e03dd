// Reservation and completion of a job shared by several stations, kept in PostgreSQL. The store,
// not the station, decides which value a tag gets: Reserve hands out the next value of the job
// (Reservation::taken), whatever the station expected, so no value lands on two tags anywhere on
// the line. A station's own writer role covers its station name only; other stations run beside it.
#pragma once
#include <set>
#include <string>

#include "job/reservation_store.h"
#include "store/pg_job_store.h"

namespace tw::store {

class CPgReservationStore : public CReservationStore {
 public:
  // station names this station in the records and its writer role; reader is recorded with each value.
  CPgReservationStore(std::string conninfo, std::string job, std::string station, std::string reader);

  // Connects and loads the job. False with message (no server, no tables, no such job).
  bool Connect(std::string& message);
  // The job as last loaded: its fields are the station's job.
  const SharedJob& Job() const { return job_; }
  // "database D on HOST:PORT" for captions and status lines.
  std::string Describe() const;
  const std::string& Station() const { return station_; }
  void SetReader(const std::string& reader) { reader_ = reader; }

  StoreResult Open(const std::string& program, std::string& message) override;
  bool Close() override;
  bool IsOpen() const override { return open_; }
  bool ReadProgress(JobProgress& out, std::string& message) override;
  bool SetProgress(const JobProgress& progress) override;
  StoreResult Reserve(const JobProgress& expected, const JobProgress& next, const std::string& uid,
                      Reservation& out) override;
  bool Complete(const Reservation& r, bool logged) override;
  bool GiveBack(const Reservation& r) override;
  bool MarkSpent(const Reservation& r) override;
  bool ListReservations(std::vector<Reservation>& out, std::string& message) override;
  std::string LastMessage() const override { return message_; }
  bool ValuesUsedUp() const override { return usedUp_; }

 private:
  // Connected with the station's lock held (taken again after a reconnect).
  bool Ready(std::string& message);
  bool TakeStationLock(std::string& message, bool& busy);
  bool Done(bool ok, const std::string& error);

  std::string conninfo_, jobName_, station_, reader_;
  CPgJobStore db_;
  SharedJob job_;
  bool connected_ = false;
  bool open_ = false;
  bool usedUp_ = false;  // an import job whose lines were all taken when the progress was read
  std::string message_;
  std::set<long long> spentSeen_;  // other stations' spent reservations reported by Reserve
};

// A record of the store as the job engine sees a reservation.
Reservation ToReservation(const SharedRecord& r);

}  // namespace tw::store
