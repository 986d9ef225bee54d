#include "staging_pool.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

namespace uz32 {
namespace {

constexpr unsigned kMostWorkers = 32;
// A flush waits for the disk, not for a processor, and the waits of files flushed at
// the same time share one commit of the file system: more closers than processors.
constexpr size_t kClosers = 16;
// Files written and waiting for a closer: a worker waits beyond that, so the open
// handles stay few.
constexpr size_t kMostWaitingFiles = 32;

// Writes into a staged file until the job is given up.
class JobSink final : public ByteSink {
 public:
  JobSink(OutputFile& file, const std::function<bool()>& givenUp)
      : file_(file), givenUp_(givenUp) {}
  Status Write(std::span<const uint8_t> data) override {
    if (givenUp_()) return Status::Fail(UNZIP_ERR_STOPPED, "given up");
    return file_.Write(data);
  }

 private:
  OutputFile& file_;
  const std::function<bool()>& givenUp_;
};

// What an exception escaping a job becomes: that job's failure.
Status Caught(const std::exception_ptr& thrown) {
  try {
    std::rethrow_exception(thrown);
  } catch (const std::bad_alloc&) {
    return Status::Fail(UNZIP_ERR_MEMORY, "out of memory");
  } catch (...) {
    return Status::Fail(UNZIP_ERR_SEVERE, "an unexpected failure");
  }
}

}  // namespace

unsigned WorkerCount() {
  if (const char* forced = std::getenv("UZ32_WORKERS")) {
    const std::string_view text(forced);
    unsigned long n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error == std::errc::result_out_of_range) return kMostWorkers;
    if (error == std::errc() && end == text.data() + text.size() && n >= 1) {
      return static_cast<unsigned>(std::min<unsigned long>(n, kMostWorkers));
    }
  }
  return std::clamp(std::thread::hardware_concurrency(), 2u, 8u);
}

StagingPool::StagingPool(FileSystem& fs, Transaction& tx, const NativeString& archive,
                         ByteSource& source, DecodeBuffers& buffers, unsigned workers,
                         size_t members)
    : fs_(fs), tx_(tx), archive_(archive), source_(source), buffers_(buffers),
      workerCount_(static_cast<unsigned>(std::min<size_t>(workers, members))),
      closerCount_(std::min(kClosers, members)) {}

StagingPool::~StagingPool() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    limit_ = 0;
    stopping_ = true;
  }
  jobWaiting_.notify_all();
  for (std::thread& t : workerThreads_) t.join();
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    closersStopping_ = true;
  }
  fileWaiting_.notify_all();
  for (std::thread& t : closerThreads_) t.join();
}

// Each worker gets its own handle on the archive: one that cannot be opened again, or
// is no longer the same size, gets no worker.
void StagingPool::Start() {
  started_ = true;
  if (workerCount_ <= 1) return;
  workers_.reserve(workerCount_);
  workerThreads_.reserve(workerCount_);
  closerThreads_.reserve(closerCount_);
  for (unsigned i = 0; i < workerCount_; ++i) {
    auto worker = std::make_unique<Worker>();
    if (!fs_.OpenArchive(archive_, worker->source).ok() ||
        worker->source->Size() != source_.Size()) {
      break;
    }
    workers_.push_back(std::move(worker));
    try {
      workerThreads_.emplace_back([this, w = workers_.back().get()] { Work(*w); });
    } catch (const std::system_error&) {
      workers_.pop_back();
      break;
    }
  }
  for (size_t i = 0; !workerThreads_.empty() && i < closerCount_; ++i) {
    try {
      closerThreads_.emplace_back([this] { Close(); });
    } catch (const std::system_error&) {
      break;
    }
  }
}

StagingPool::Ticket StagingPool::Submit(const Job& asked) {
  if (!started_) Start();
  // A DOS stamp is local time: it is read here, once, rather than beside other reads of
  // the time zone on the closers.
  Job job = asked;
  if (!job.stamp.unixTime) {
    job.stamp.unixTime = fs_.StampTime(job.stamp);
    if (!job.stamp.unixTime) job.stamp = FileStamp{};  // no real time: none is set
  }
  Ticket ticket = 0;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    ticket = jobs_.size();
    jobs_.push_back(job);
    outcomes_.emplace_back();
  }
  if (!workerThreads_.empty()) {
    jobWaiting_.notify_one();
    return ticket;
  }
  std::unique_ptr<OutputFile> file;
  Status s = Write(ticket, job, source_, buffers_, file);
  if (s.ok()) s = Finish(ticket, job, std::move(file));
  End(ticket, std::move(s));
  return ticket;
}

std::optional<Status> StagingPool::Outcome(Ticket ticket) {
  const std::lock_guard<std::mutex> hold(mutex_);
  return outcomes_.at(ticket);
}

Status StagingPool::Wait(Ticket ticket) {
  std::unique_lock<std::mutex> hold(mutex_);
  ended_.wait(hold, [&] { return outcomes_.at(ticket).has_value(); });
  return *outcomes_[ticket];
}

bool StagingPool::Failing() {
  const std::lock_guard<std::mutex> hold(mutex_);
  return limit_ != ~Ticket{0};
}

void StagingPool::Work(Worker& worker) {
  for (;;) {
    Ticket ticket = 0;
    Job job;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      jobWaiting_.wait(hold, [&] { return stopping_ || nextJob_ < jobs_.size(); });
      if (nextJob_ == jobs_.size()) return;
      ticket = nextJob_++;
      job = jobs_[ticket];
    }
    std::unique_ptr<OutputFile> file;
    Status s;
    try {
      s = Write(ticket, job, *worker.source, worker.buffers, file);
      if (s.ok() && closerThreads_.empty()) s = Finish(ticket, job, std::move(file));
    } catch (...) {
      s = Caught(std::current_exception());
    }
    if (!s.ok() || !file) {
      End(ticket, std::move(s));
      continue;
    }
    {
      std::unique_lock<std::mutex> hold(mutex_);
      roomToClose_.wait(hold, [&] { return closing_.size() < kMostWaitingFiles; });
      closing_.push_back(Closing{ticket, job, std::move(file)});
    }
    fileWaiting_.notify_one();
  }
}

void StagingPool::Close() {
  for (;;) {
    Closing next;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      fileWaiting_.wait(hold, [&] { return closersStopping_ || !closing_.empty(); });
      if (closing_.empty()) return;
      next = std::move(closing_.front());
      closing_.pop_front();
    }
    roomToClose_.notify_one();
    Status s;
    try {
      s = Finish(next.ticket, next.job, std::move(next.file));
    } catch (...) {
      s = Caught(std::current_exception());
    }
    End(next.ticket, std::move(s));
  }
}

Status StagingPool::Write(Ticket ticket, const Job& job, ByteSource& source,
                          DecodeBuffers& buffers, std::unique_ptr<OutputFile>& file) {
  if (GivenUp(ticket)) {
    tx_.Drop(job.place);
    return Status::Fail(UNZIP_ERR_STOPPED, "given up");
  }
  if (Status s = tx_.Create(job.place, file); !s.ok()) return s;
  const std::function<bool()> givenUp = [this, ticket] { return GivenUp(ticket); };
  JobSink sink(*file, givenUp);
  Status s = DecodeMember(source, *job.entry, job.span, {}, sink, buffers);
  if (!s.ok()) tx_.Drop(job.place, std::move(file));
  return s;
}

Status StagingPool::Finish(Ticket ticket, const Job& job, std::unique_ptr<OutputFile> file) {
  if (GivenUp(ticket)) {
    tx_.Drop(job.place, std::move(file));
    return Status::Fail(UNZIP_ERR_STOPPED, "given up");
  }
  return tx_.Finish(job.place, std::move(file), job.stamp);
}

void StagingPool::End(Ticket ticket, Status outcome) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!outcome.ok() && ticket < limit_) limit_ = ticket + 1;
    outcomes_[ticket] = std::move(outcome);
  }
  ended_.notify_all();
}

}  // namespace uz32
