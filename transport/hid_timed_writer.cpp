#include "transport/hid_timed_writer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tw {

namespace {
std::mutex gAbandonedLock;
std::condition_variable gAbandonedDone;
int gAbandoned = 0;
}  // namespace

struct CHidTimedWriter::State {
  hidapi::hid_write_fn write;
  hidapi::hid_close_fn close;
  hidapi::hid_device* dev;
  std::mutex mu;
  std::condition_variable cv;
  std::vector<uint8_t> job;
  bool hasJob = false;
  bool busy = false;
  bool stop = false;
  bool abandoned = false;  // the owner left; the worker closes the device and ends
  uint64_t started = 0;
  uint64_t finished = 0;
  int result = -1;
  std::thread thread;
};

CHidTimedWriter::CHidTimedWriter(hidapi::hid_write_fn write, hidapi::hid_close_fn close,
                                 hidapi::hid_device* dev)
    : state_(std::make_shared<State>()) {
  state_->write = write;
  state_->close = close;
  state_->dev = dev;
  state_->thread = std::thread(&CHidTimedWriter::Run, state_);
}

CHidTimedWriter::~CHidTimedWriter() { CloseDevice(); }

void CHidTimedWriter::Run(std::shared_ptr<State> s) {
  std::unique_lock<std::mutex> lock(s->mu);
  for (;;) {
    s->cv.wait(lock, [&] { return s->hasJob || s->stop; });
    if (!s->hasJob) break;
    std::vector<uint8_t> job;
    job.swap(s->job);
    s->hasJob = false;
    s->busy = true;
    lock.unlock();
    const int r = s->write(s->dev, job.data(), job.size());
    lock.lock();
    s->busy = false;
    s->result = r;
    ++s->finished;
    s->cv.notify_all();
    if (s->stop) break;
  }
  if (!s->abandoned) return;
  lock.unlock();
  s->close(s->dev);
  std::lock_guard<std::mutex> g(gAbandonedLock);
  --gAbandoned;
  gAbandonedDone.notify_all();
}

CHidTimedWriter::Result CHidTimedWriter::Write(const uint8_t* data, size_t len, uint32_t timeoutMs) {
  if (!state_) return Result::kFailed;
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mu);
  if (s.busy || s.hasJob) return Result::kBusy;
  s.job.assign(data, data + len);
  s.hasJob = true;
  const uint64_t ticket = ++s.started;
  s.cv.notify_all();
  if (!s.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.finished >= ticket; }))
    return Result::kTimedOut;
  return s.result < 0 ? Result::kFailed : Result::kWritten;
}

void CHidTimedWriter::CloseDevice() {
  if (!state_) return;
  std::shared_ptr<State> s = std::move(state_);
  std::unique_lock<std::mutex> lock(s->mu);
  s->stop = true;
  if (s->busy || s->hasJob) {
    s->abandoned = true;
    {
      std::lock_guard<std::mutex> g(gAbandonedLock);
      ++gAbandoned;
    }
    s->cv.notify_all();
    lock.unlock();
    s->thread.detach();
    return;
  }
  s->cv.notify_all();
  lock.unlock();
  s->thread.join();
  s->close(s->dev);
}

bool CHidTimedWriter::WaitForAbandonedWrites(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(gAbandonedLock);
  return gAbandonedDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return gAbandoned == 0; });
}

}  // namespace tw
