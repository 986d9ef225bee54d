// Members staged on threads of their own. Each worker reads the archive through a
// handle of its own and decodes members into the transaction's staged files with
// buffers of its own. Flushing and closing a file mostly waits (for the disk; on
// Windows also for a virus scanner, which reads a new file as it is closed), so closer
// threads do that while the workers decode the next members. The caller's thread
// submits the members in the archive's order and collects their outcomes; nothing
// here calls the caller's procedures.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "byte_source.h"
#include "local_header.h"
#include "member_decoder.h"
#include "os/file_system.h"
#include "status.h"
#include "transaction.h"
#include "zip_records.h"

namespace uz32 {

// How many threads decode members: the number the environment variable UZ32_WORKERS
// gives (a test or a benchmark forcing one; never more than 32), else one per
// processor, at least two (a worker waiting for the disk leaves the processor to the
// other) and at most eight.
unsigned WorkerCount();

class StagingPool {
 public:
  // A member to stage: its place in the transaction, where its data lies (it is not
  // encrypted), and the stamp for its file.
  struct Job {
    Transaction::Place place = 0;
    const ZipEntry* entry = nullptr;
    MemberSpan span;
    FileStamp stamp;
  };
  using Ticket = size_t;  // jobs are numbered from 0 in the order they are submitted

  // workers 1: each job runs on the caller's thread as it is submitted, reading source
  // with buffers. More: as many workers, each opening archive through fs, and 16
  // closers, started with the first job; never more threads of either kind than
  // members (the most jobs that will come), fewer when the system gives fewer (no
  // worker: as for 1; no closer: the workers finish their files).
  StagingPool(FileSystem& fs, Transaction& tx, const NativeString& archive, ByteSource& source,
              DecodeBuffers& buffers, unsigned workers, size_t members);
  // Gives up the jobs that have not ended and waits for every thread to end. A job
  // given up leaves no staged file.
  ~StagingPool();
  StagingPool(const StagingPool&) = delete;
  StagingPool& operator=(const StagingPool&) = delete;

  // Decodes job.entry into a staged file for job.place, finished through to the disk;
  // a failure gives the place up (Transaction::Drop). Once a job has failed, the jobs
  // submitted after it are given up: the run fails with the first failure in the
  // archive's order, and only the jobs before it still need an outcome.
  Ticket Submit(const Job& job);
  // The job's outcome once it has ended; nothing while it runs or waits.
  std::optional<Status> Outcome(Ticket ticket);
  // Waits for the job to end; its outcome.
  Status Wait(Ticket ticket);
  // True once any job has failed.
  bool Failing();

 private:
  struct Worker {
    std::unique_ptr<ByteSource> source;
    DecodeBuffers buffers;
  };
  struct Closing {
    Ticket ticket;
    Job job;
    std::unique_ptr<OutputFile> file;
  };

  void Start();
  void Work(Worker& worker);
  void Close();
  // Creates the staged file and decodes into it; on failure the place is given up.
  Status Write(Ticket ticket, const Job& job, ByteSource& source, DecodeBuffers& buffers,
               std::unique_ptr<OutputFile>& file);
  // Finishes the file, or gives its place up when the job was given up meanwhile.
  Status Finish(Ticket ticket, const Job& job, std::unique_ptr<OutputFile> file);
  bool GivenUp(Ticket ticket) const { return ticket >= limit_.load(); }
  void End(Ticket ticket, Status outcome);

  FileSystem& fs_;
  Transaction& tx_;
  NativeString archive_;
  ByteSource& source_;
  DecodeBuffers& buffers_;
  unsigned workerCount_;
  size_t closerCount_;
  bool started_ = false;

  std::mutex mutex_;
  std::condition_variable jobWaiting_;   // for the workers
  std::condition_variable fileWaiting_;  // for the closers
  std::condition_variable roomToClose_;  // for a worker with a file to hand over
  std::condition_variable ended_;        // for the caller
  std::vector<Job> jobs_;
  Ticket nextJob_ = 0;
  std::vector<std::optional<Status>> outcomes_;
  std::deque<Closing> closing_;
  // Jobs from this ticket on are given up (not started, or stopped at their next write).
  std::atomic<Ticket> limit_{~Ticket{0}};
  bool stopping_ = false;        // no job will come
  bool closersStopping_ = false;  // no file will come

  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> workerThreads_;
  std::vector<std::thread> closerThreads_;
};

}  // namespace uz32
