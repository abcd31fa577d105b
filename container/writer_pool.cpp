// The worker pool of the writers: chunks are encoded on worker threads while
// the caller's thread writes the finished ones out in disc order.
#include <memory>
#include <mutex>
#include <thread>

#include "container/writer_internal.h"

namespace {

void encode_job(ContainerWriter* w, unsigned worker, WriterJob* job) {
  job->error = CONTAINER_OK;
  job->why.clear();
  try {
    if (!w->format->encode(w, worker, job) && job->error == CONTAINER_OK) job->error = CONTAINER_ERR_NO_MEMORY;
  } catch (...) {
    job->error = CONTAINER_ERR_NO_MEMORY;
    job->why = "cannot allocate memory to encode a chunk";
  }
}

// Writes out a finished job, or reports its encoding's failure.
bool emit_job(ContainerWriter* w, WriterJob* job) {
  if (job->error != CONTAINER_OK) {
    return writer_fail(w, job->error, "the chunk at byte %llu: %s",
                       static_cast<unsigned long long>(job->disc_offset), job->why.c_str());
  }
  try {
    return w->format->emit(w, job);
  } catch (...) {
    return writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate memory for its tables");
  }
}

void worker_main(ContainerWriter* w, unsigned index) {
  WriterPool& pool = w->pool;
  std::unique_lock<std::mutex> hold(pool.lock);
  for (;;) {
    pool.work_ready.wait(hold, [&] { return pool.stopping || !pool.queue.empty(); });
    if (pool.stopping) return;
    WriterJob* job = pool.queue.front();
    pool.queue.pop_front();
    job->state = WriterJob::WORKING;
    hold.unlock();
    encode_job(w, index, job);
    hold.lock();
    job->state = WriterJob::DONE;
    pool.job_done.notify_all();
  }
}

// The finished job whose turn it is to be written out, or null; called with
// the pool's lock held.
WriterJob* next_done(WriterPool& pool) {
  for (auto& job : pool.jobs) {
    if (job->state == WriterJob::DONE && job->sequence == pool.next_emit) return job.get();
  }
  return nullptr;
}

// Writes out, in order, every job whose turn has come and that is done.
bool emit_ready(ContainerWriter* w) {
  WriterPool& pool = w->pool;
  for (;;) {
    WriterJob* next = nullptr;
    {
      std::lock_guard<std::mutex> hold(pool.lock);
      next = next_done(pool);
    }
    if (!next) return true;
    const bool ok = emit_job(w, next);
    {
      std::lock_guard<std::mutex> hold(pool.lock);
      next->state = WriterJob::FREE;
      ++pool.next_emit;
    }
    if (!ok) return false;
  }
}

}  // namespace

// Starts the workers and their jobs: one job per worker and two more, one
// being filled and one finished or waiting. Without any worker thread the
// chunks are encoded on the caller's thread.
bool start_pool(ContainerWriter* w) {
  if (w->threads == 0) return true;
  WriterPool& pool = w->pool;
  try {
    for (unsigned i = 0; i < w->threads + 2; ++i) pool.jobs.push_back(std::make_unique<WriterJob>());
  } catch (...) {
    return writer_fail(w, CONTAINER_ERR_NO_MEMORY, "cannot allocate its chunks");
  }
  for (unsigned i = 0; i < w->threads; ++i) {
    try {
      pool.threads.emplace_back(worker_main, w, i);
    } catch (...) {
      break;  // as many as the host gives
    }
  }
  if (pool.threads.empty()) {
    pool.jobs.clear();
    w->threads = 0;
  }
  return true;
}

void stop_pool(ContainerWriter* w) {
  WriterPool& pool = w->pool;
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.stopping = true;
  }
  pool.work_ready.notify_all();
  for (std::thread& t : pool.threads) t.join();
  pool.threads.clear();
}

// A free job to fill, writing out finished ones while waiting for it.
WriterJob* acquire_job(ContainerWriter* w) {
  if (w->threads == 0) return &w->inline_job;
  WriterPool& pool = w->pool;
  for (;;) {
    if (!emit_ready(w)) return nullptr;
    std::unique_lock<std::mutex> hold(pool.lock);
    for (auto& job : pool.jobs) {
      if (job->state == WriterJob::FREE) {
        job->state = WriterJob::FILLING;
        return job.get();
      }
    }
    pool.job_done.wait(hold, [&] { return next_done(pool) != nullptr; });
  }
}

bool submit_job(ContainerWriter* w, WriterJob* job) {
  if (w->threads == 0) {
    encode_job(w, 0, job);
    return emit_job(w, job);
  }
  WriterPool& pool = w->pool;
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    job->sequence = pool.next_sequence++;
    job->state = WriterJob::QUEUED;
    pool.queue.push_back(job);
  }
  pool.work_ready.notify_one();
  return true;
}

// Waits for every submitted job and writes it out.
bool drain_pool(ContainerWriter* w) {
  if (w->threads == 0) return true;
  WriterPool& pool = w->pool;
  for (;;) {
    if (!emit_ready(w)) return false;
    std::unique_lock<std::mutex> hold(pool.lock);
    if (pool.next_emit == pool.next_sequence) return true;
    pool.job_done.wait(hold, [&] { return next_done(pool) != nullptr; });
  }
}
