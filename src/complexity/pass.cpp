#include "complexity/pass.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

#include "complexity/engine.h"
#include "base/failure.h"

namespace varnel {
namespace {

// Processors this process may run on.
std::int32_t usable_processors() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#endif
    return std::int32_t(std::thread::hardware_concurrency());
}

std::int32_t thread_count(std::int32_t jobs) { return std::clamp<std::int32_t>(usable_processors(), 1, std::max(jobs, 1)); }

// Runs worker(t, failed) on up to `threads` threads, this one included, each
// with its own t below `threads`, and rethrows the first failure once all have
// stopped.
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

// Runs job(t, l) once for each record l below num, on up to `threads` threads.
template <class Job>
void each_record(std::int32_t threads, std::int32_t num, Job job) {
    std::atomic<std::int32_t> next{0};
    on_threads(threads, [&](std::int32_t t, const std::atomic<bool>& failed) {
        for (std::int32_t l; !failed && (l = next++) < num;) job(t, l);
    });
}

}  // namespace

void complexity_pass(analysis& st, const row_sink& row_done) {
    for (std::int32_t l = 0; l < st.num; ++l)
        if (st.length[std::size_t(l)] > automaton::max_length)
            throw run_error("Sequence of record " + std::to_string(l + 1) + " is too long to index: " +
                            std::to_string(st.length[std::size_t(l)]) + " bytes, at most " +
                            std::to_string(automaton::max_length));
    const alphabet abc(st.S);
    const std::int32_t threads = thread_count(st.num);
    std::vector<workspace> work(static_cast<std::size_t>(threads));  // one per thread, for both phases
    std::vector<record_index> records(std::size_t(st.num));
    arena mem;
    std::size_t bytes = 0;
    for (std::int32_t l = 0; l < st.num; ++l) bytes += index_bytes(st.length[std::size_t(l)], abc);
    mem.expect(bytes);
    each_record(threads, st.num, [&](std::int32_t t, std::int32_t l) {
        index_record(records[std::size_t(l)], st.S[std::size_t(l)], abc, work[std::size_t(t)], mem);
    });
    // A record parsed through its automaton needs where every other carries on like its own start.
    if (std::any_of(records.begin(), records.end(), [](const record_index& r) { return r.path == index_path::automaton; })) {
        bytes = 0;
        for (std::int32_t l = 0; l < st.num; ++l) bytes += starts_bytes(st.length[std::size_t(l)]);
        mem.expect(bytes);
        each_record(threads, st.num, [&](std::int32_t, std::int32_t l) { index_starts(records[std::size_t(l)], mem); });
    }

    std::atomic<std::int32_t> next_row{0};
    on_threads(threads, [&](std::int32_t t, const std::atomic<bool>& failed) {
        first_sequence first(work[std::size_t(t)]);
        std::vector<const record_index*> others;
        std::vector<std::int32_t> counts(std::size_t(st.num));
        for (std::int32_t l; !failed && (l = next_row++) < st.num;) {
            if (st.num > 1) first.load(records[std::size_t(l)], abc);  // a lone record has no pair to resume
            st.ex_com[std::size_t(l)] = records[std::size_t(l)].count;
            others.clear();
            for (std::int32_t e = 0; e < st.num; ++e)
                if (e != l) others.push_back(&records[std::size_t(e)]);
            first.resume(others, counts.data());
            for (std::int32_t e = 0, x = 0; e < st.num; ++e)
                if (e != l) st.cr(l, e) = counts[std::size_t(x++)];
            row_done(l);
        }
    });
}

}  // namespace varnel
