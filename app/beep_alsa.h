// The success beep: a sine tone played on the default ALSA device by a worker thread, so the job
// never waits for the sound. Without a sound device the beep is silent and costs nothing.
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tw {

class BeepPlayer {
 public:
  BeepPlayer();
  ~BeepPlayer();
  BeepPlayer(const BeepPlayer&) = delete;
  BeepPlayer& operator=(const BeepPlayer&) = delete;

  // Queues a tone; a tone asked for while one plays replaces any still waiting. ms <= 0: nothing.
  void Beep(int freqHz, int ms);
  // Tones handed to the device so far (tests: the request reached the worker).
  int Played() const;

 private:
  void Run();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  int pendingFreq_ = 0;
  int pendingMs_ = 0;
  int played_ = 0;
  bool stop_ = false;
  std::thread worker_;
};

BeepPlayer& GlobalBeepPlayer();

}  // namespace tw
