// Reservation and completion of job values: the one place that decides which value (and import
// line) a tag may get. A value is reserved durably before the tag is written and given back only
// when the tag certainly did not take it, so that no value ever lands on two tags, whatever moment
// the program dies. CLocalReservationStore keeps a job in the per-user settings store with a small
// progress journal beside it; other stores (a database shared by several stations) implement the
// same interface.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tw {

class ISettingsStore;

// What the job hands out next: the value (settings key Wert) and, while importing, the data file
// (DatenImport, DatenFile) and the 1-based number of the line that value came from (DatenLinesUsed).
// The three import fields always travel together.
struct JobProgress {
  std::string value;
  int importData = 0;
  std::string importFile;
  int importLinesUsed = 0;
  bool operator==(const JobProgress&) const = default;
};

enum class ReservationState {
  Open,   // taken for a tag; the write is under way (or its writer died before settling it)
  Spent,  // the tag may hold the value, but it could not be checked: never handed out again
};

struct Reservation {
  int64_t id = 0;           // unique within the job, ascending in the order of reserving
  JobProgress taken;        // the value and import position the tag is to get
  std::string uid;          // the tag it is meant for, as the protocol prints UIDs; may be empty
  int64_t time = 0;         // seconds since the epoch when it was reserved
  std::string owner;        // the program (and station) that reserved it, for reports
  ReservationState state = ReservationState::Open;
};

enum class StoreResult {
  Ok,
  Busy,      // Open: another process is the job's writer; the message names it
  Conflict,  // Reserve: the stored progress is not the one expected (someone else moved it)
  Failed,    // the store could not be read or written; the message says why
  // Stores shared by several stations:
  Refused,  // Reserve: the job takes each tag once and this tag has its value: out is that earlier
            // record (its value, the station in owner, the time the tag got it)
  UsedUp,   // Reserve: the job has no value left (its import lines are all taken)
  Spent,    // Reserve: another station's spent reservation may be on this tag: out is that
            // reservation and nothing was reserved; the next Reserve for the tag goes through
};

// One job's progress and reservations. All calls but ReadProgress and ListReservations need the
// writer role (Open). A call that fails has changed nothing the caller could rely on: a write step
// that cannot reserve does not write the tag; one that cannot complete stops the cycle.
class CReservationStore {
 public:
  virtual ~CReservationStore() = default;

  // Takes the job as its only writer, for program (a short name such as "tagwright-cli"), before
  // any reader traffic. Busy when another process holds it, with message naming that process.
  // Progress left by a writer that died is taken over as it stands. Opening twice is harmless.
  virtual StoreResult Open(const std::string& program, std::string& message) = 0;
  // Keeps the progress in its long-term form and gives up the writer role (end of a cycle or of a
  // single write). False when the progress could not be kept there; nothing is lost then (the
  // journal still holds it) and the role is given up all the same.
  virtual bool Close() = 0;
  virtual bool IsOpen() const = 0;

  // The progress as stored at this moment, never a copy kept from earlier. False with message when
  // the store cannot be read (a missing store is no error: it reads as empty progress).
  virtual bool ReadProgress(JobProgress& out, std::string& message) = 0;

  // Sets the progress outright (the operator typed a value, chose another data file, imported a
  // settings file). Durable on return.
  virtual bool SetProgress(const JobProgress& progress) = 0;

  // Reserves expected.value (with expected's import position) for the tag uid and moves the
  // progress on to next. Durable before it returns Ok: after a crash the value is never handed out
  // again. Conflict (nothing changed) when the stored progress is not expected.
  virtual StoreResult Reserve(const JobProgress& expected, const JobProgress& next,
                              const std::string& uid, Reservation& out) = 0;

  // The tag holds r's value and carries its record. logged: the record is already durable
  // elsewhere (a synced protocol line that names the UID and the value), so the store may make the
  // completion durable later; without it the completion is durable on return. Also settles a
  // spent reservation whose tag came back with the value.
  virtual bool Complete(const Reservation& r, bool logged) = 0;

  // The tag certainly did not take r's value (the reader refused the write, no tag answered before
  // the write was sent, or the tag was read back holding something else). When the progress still
  // stands where r moved it, it returns to r.taken, so the value goes to the next tag; otherwise the
  // value is dropped and never handed out. Durable on return.
  virtual bool GiveBack(const Reservation& r) = 0;

  // The tag may hold r's value, but it could not be checked (the answer was lost and the tag left
  // the field): r stays listed as spent, is reported at the next start and is never handed out.
  virtual bool MarkSpent(const Reservation& r) = 0;

  // Open and spent reservations, oldest first. Right after Open every open reservation was left by
  // a run that died: the caller settles it (Complete when its record exists, else MarkSpent).
  virtual bool ListReservations(std::vector<Reservation>& out, std::string& message) = 0;

  // Why the last call failed or was refused, when the store can say more than its result.
  virtual std::string LastMessage() const { return {}; }

  // A store that decides each tag's value at Reserve (shared by several stations): the last
  // ReadProgress found no value left to hand out.
  virtual bool ValuesUsedUp() const { return false; }
};

// The job of the per-user settings store. Progress keys stay in the settings store (read by
// other programs); between two settles they are kept in a journal file: one appended, synced line
// per reservation, so a tag costs one sync here instead of a rewrite of the settings file. The
// settings file is rewritten on Close (and when a writer finds a journal left by a dead one).
// Spent reservations stay in the journal until settled. The writer role is an exclusive lock on a
// lock file that names the holder; the kernel drops it when the holder dies.
class CLocalReservationStore : public CReservationStore {
 public:
  // journalPath: the journal; the lock file is journalPath + ".lock".
  CLocalReservationStore(ISettingsStore& settings, std::string journalPath);
  ~CLocalReservationStore() override;
  CLocalReservationStore(const CLocalReservationStore&) = delete;
  CLocalReservationStore& operator=(const CLocalReservationStore&) = delete;

  StoreResult Open(const std::string& program, std::string& message) override;
  bool Close() override;
  bool IsOpen() const override;
  bool ReadProgress(JobProgress& out, std::string& message) override;
  bool SetProgress(const JobProgress& progress) override;
  StoreResult Reserve(const JobProgress& expected, const JobProgress& next, const std::string& uid,
                      Reservation& out) override;
  bool Complete(const Reservation& r, bool logged) override;
  bool GiveBack(const Reservation& r) override;
  bool MarkSpent(const Reservation& r) override;
  bool ListReservations(std::vector<Reservation>& out, std::string& message) override;

  const std::string& JournalPath() const { return journalPath_; }

 private:
  struct Impl;
  std::string journalPath_;
  std::unique_ptr<Impl> impl_;
};

// The journal beside a settings file: "Tagwright.progress" next to "Tagwright.conf".
std::string JournalPathFor(const std::string& settingsPath);
// The journal beside the per-user settings file.
std::string DefaultJournalPath();

// The program's store for the per-user job (UserSettings() with DefaultJournalPath()), made once.
CReservationStore& UserReservations();

// The progress fields as a settings store keeps them (DatenFile and DatenLinesUsed count only
// while DatenImport is set).
JobProgress ReadStoredProgress(ISettingsStore& settings);

}  // namespace tw
