#include "app/beep_alsa.h"

#include <cmath>
#include <vector>

#ifdef TW_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace tw {
namespace {

constexpr unsigned kRate = 22050;

#ifdef TW_HAVE_ALSA
// Plays one tone; false when there is no usable device. Open is non-blocking so that a device
// held by another program fails at once instead of delaying the job.
bool PlayTone(int freqHz, int ms) {
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
  snd_pcm_nonblock(pcm, 0);
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                         50000) < 0) {
    snd_pcm_close(pcm);
    return false;
  }
  const size_t n = static_cast<size_t>(kRate) * static_cast<size_t>(ms) / 1000;
  std::vector<int16_t> buf(n);
  const size_t ramp = std::min<size_t>(n / 2, kRate / 200);  // 5 ms fade against clicks
  for (size_t i = 0; i < n; ++i) {
    double a = 0.35;
    if (i < ramp) a *= static_cast<double>(i) / static_cast<double>(ramp);
    if (n - i < ramp) a *= static_cast<double>(n - i) / static_cast<double>(ramp);
    buf[i] = static_cast<int16_t>(a * 32767.0 * std::sin(2.0 * M_PI * freqHz * static_cast<double>(i) / kRate));
  }
  size_t done = 0;
  while (done < n) {
    snd_pcm_sframes_t w = snd_pcm_writei(pcm, buf.data() + done, n - done);
    if (w < 0) w = snd_pcm_recover(pcm, static_cast<int>(w), 1);
    if (w < 0) break;
    done += static_cast<size_t>(w);
  }
  snd_pcm_drain(pcm);
  snd_pcm_close(pcm);
  return true;
}
#else
bool PlayTone(int, int) { return false; }
#endif

}  // namespace

BeepPlayer::BeepPlayer() : worker_([this] { Run(); }) {}

BeepPlayer::~BeepPlayer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  worker_.join();
}

void BeepPlayer::Beep(int freqHz, int ms) {
  if (ms <= 0 || freqHz <= 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pendingFreq_ = freqHz;
    pendingMs_ = ms;
  }
  cv_.notify_one();
}

int BeepPlayer::Played() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return played_;
}

void BeepPlayer::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    cv_.wait(lock, [this] { return stop_ || pendingMs_ > 0; });
    if (stop_) return;
    const int f = pendingFreq_, ms = pendingMs_;
    pendingMs_ = 0;
    ++played_;
    lock.unlock();
    PlayTone(f, ms);
    lock.lock();
  }
}

BeepPlayer& GlobalBeepPlayer() {
  static BeepPlayer player;
  return player;
}

}  // namespace tw
