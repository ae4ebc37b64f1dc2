#include "complexity/pass.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/parallel.h"
#include "complexity/engine.h"

namespace varnel {

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
    each_job(threads, st.num, [&](std::int32_t t, std::int64_t l) {
        index_record(records[std::size_t(l)], st.S[std::size_t(l)], abc, work[std::size_t(t)], mem);
    });
    // A record parsed through its automaton needs where every other carries on like its own start.
    if (std::any_of(records.begin(), records.end(), [](const record_index& r) { return r.path == index_path::automaton; })) {
        bytes = 0;
        for (std::int32_t l = 0; l < st.num; ++l) bytes += starts_bytes(st.length[std::size_t(l)]);
        mem.expect(bytes);
        each_job(threads, st.num, [&](std::int32_t, std::int64_t l) { index_starts(records[std::size_t(l)], mem); });
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
