// Work spread over the processors this process may use: each phase hands
// out its jobs (records, rows, pieces of a file) to as many threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace varnel {

// Processors this process may run on (taskset and cgroups limit them).
std::int32_t usable_processors();

// Threads for `jobs` jobs: one per usable processor, never more than jobs.
inline std::int32_t thread_count(std::int64_t jobs) {
    return std::int32_t(std::clamp<std::int64_t>(usable_processors(), 1, std::max<std::int64_t>(jobs, 1)));
}

// Runs worker(t, failed) on up to `threads` threads, this one included, each
// with its own t below `threads`, and rethrows the first failure once all have
// stopped; `failed` tells the others to stop early.
template <class Worker>
void on_threads(std::int32_t threads, Worker worker) {
    std::exception_ptr failure;
    std::mutex failure_lock;
    std::atomic<bool> failed{false};
    auto guarded = [&](std::int32_t t) {
        try {
            worker(t, failed);
        } catch (...) {
            std::lock_guard<std::mutex> hold(failure_lock);
            if (!failure) failure = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(std::size_t(threads));
    for (std::int32_t t = 1; t < threads; ++t) {
        try {
            pool.emplace_back(guarded, t);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones running do the work
        }
    }
    guarded(0);
    for (std::thread& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);
}

// Runs job(t, j) once for each j below `jobs`, in increasing order of
// starting, on up to `threads` threads.
template <class Job>
void each_job(std::int32_t threads, std::int64_t jobs, Job job) {
    std::atomic<std::int64_t> next{0};
    on_threads(threads, [&](std::int32_t t, const std::atomic<bool>& failed) {
        for (std::int64_t j; !failed && (j = next++) < jobs;) job(t, j);
    });
}

}  // namespace varnel
