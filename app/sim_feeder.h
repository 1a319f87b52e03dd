// The simulated reader behind "tagwright --simulate": runs tagwright-sim as a child process on a
// pseudo-terminal and lays a new transponder of the job's type on its antenna every few seconds,
// so the whole job can be tried without hardware.
#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QProcess;
class QTimer;

namespace tw {

class SimFeeder : public QObject {
  Q_OBJECT
 public:
  explicit SimFeeder(QObject* parent = nullptr);
  ~SimFeeder() override;

  // Starts the simulator found in programDir; false when it did not come up within 5 s.
  bool Start(const QString& programDir);
  // Device path of the simulated reader (e.g. /dev/pts/7).
  const std::string& PtyPath() const { return ptyPath_; }
  // One control line; returns the simulator's reply ("ok ..." or "error ...").
  std::string Control(const std::string& line);
  // Replaces the tag in the field by a new one of the transponder type code; false when the
  // simulator refused it.
  bool PlaceNewTag(int typeCode);
  void RemoveTag();
  // Feeds a new tag of the type that typeCode() returns every periodMs.
  void StartFeeding(std::function<int()> typeCode, int periodMs);
  void StopFeeding();

 private:
  QProcess* proc_ = nullptr;
  QTimer* timer_ = nullptr;
  QString dir_;
  std::string ptyPath_;
  std::string controlPath_;
  unsigned serial_ = 0;
};

// The simulator's model name for a transponder type code; empty when none.
std::string SimTagKind(int typeCode);
// A fresh UID for the type: n distinguishes tags.
std::string SimTagUid(int typeCode, unsigned n);

}  // namespace tw
