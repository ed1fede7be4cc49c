// The panel's workers. httplib gives each connection a worker for as long
// as it lasts, and an event stream lasts as long as its page: its own pool
// of 8 would let 8 pages freeze the panel. This pool starts a worker
// whenever a connection finds none idle, up to `most`, so the panel can
// hold its event streams (limited apart) and still serve everything else.
// Nothing a connection throws ends a worker.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <httplib.h>

namespace qxserver {

class GrowingPool : public httplib::TaskQueue {
 public:
  using Log = std::function<void(const std::string&)>;
  GrowingPool(size_t most, Log log) : most_(most), log_(std::move(log)) { Start(); }
  ~GrowingPool() override { shutdown(); }

  void enqueue(std::function<void()> job) override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      jobs_.push_back(std::move(job));
      if (jobs_.size() > idle_ && workers_.size() < most_) Start();
    }
    wake_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (stopping_) return;
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

 private:
  // Under the lock. A worker the system refuses leaves the job to the
  // others.
  void Start() {
    try {
      workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error& e) {
      log_(std::string("panel: no new worker: ") + e.what());
    }
  }

  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        ++idle_;
        wake_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) return;  // stopping, and nothing left
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      try {
        job();
      } catch (const std::exception& e) {
        log_(std::string("panel: a connection failed: ") + e.what());
      } catch (...) {
        log_("panel: a connection failed");
      }
    }
  }

  const size_t most_;
  Log log_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> workers_;
  size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace qxserver
