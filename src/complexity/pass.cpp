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

    // Rows go in tiles: a thread loads a few first records at once and
    // resumes each over a block of the others in turn, so a block's arrays
    // are read from memory once for the tile rather than once for each row.
    std::vector<std::int32_t> tile_starts;  // the first row of each tile, then num
    const std::int32_t most_rows =
        std::clamp<std::int32_t>(st.num / (tuning::records_per_tile_row * threads), 1, tuning::tile_rows);
    for (std::int64_t l = 0, rows = 0, table = 0; l < st.num; ++l) {
        // a row's table: a head per window code, and about as much again in prefixes and depths
        const std::int64_t row_table = 5 * std::int64_t(abc.power[std::size_t(records[std::size_t(l)].span)]);
        if (rows == 0 || rows == most_rows || table + row_table > tuning::tile_table_bytes) {
            tile_starts.push_back(std::int32_t(l));
            rows = table = 0;
        }
        ++rows;
        table += row_table;
    }
    tile_starts.push_back(st.num);
    // Blocks of others: records until their arrays (key, lpf and text: 9
    // bytes a symbol) fill tuning::block_bytes, and at least as many as the lanes.
    std::vector<std::int32_t> block_starts;  // the first record of each block of others, then num
    for (std::int64_t e = 0, in_block = 0; e < st.num; ++e) {
        if (e == 0 || (e - block_starts.back() >= std::int64_t(tuning::lanes) && in_block >= tuning::block_bytes)) {
            block_starts.push_back(std::int32_t(e));
            in_block = 0;
        }
        in_block += 9 * std::int64_t(st.length[std::size_t(e)]) + 64;
    }
    block_starts.push_back(st.num);

    const std::int64_t tiles = std::int64_t(tile_starts.size()) - 1;
    std::atomic<std::int64_t> next_tile{0};
    on_threads(threads, [&](std::int32_t t, const std::atomic<bool>& failed) {
        // the loaded records' tables, one workspace each: the thread's own from
        // the indexing for the first (a long record's automaton is not built twice)
        std::vector<workspace> more_work(static_cast<std::size_t>(most_rows - 1));
        std::vector<first_sequence> firsts;
        firsts.emplace_back(work[std::size_t(t)]);
        for (workspace& w : more_work) firsts.emplace_back(w);
        std::vector<const record_index*> others;
        std::vector<std::int32_t> counts(std::size_t(st.num));
        for (std::int64_t tile; !failed && (tile = next_tile++) < tiles;) {
            const std::int32_t l0 = tile_starts[std::size_t(tile)], l1 = tile_starts[std::size_t(tile) + 1];
            for (std::int32_t l = l0; l < l1; ++l) {
                st.ex_com[std::size_t(l)] = records[std::size_t(l)].count;
                if (st.num > 1) firsts[std::size_t(l - l0)].load(records[std::size_t(l)], abc);  // a lone record has no pair
            }
            for (std::size_t b = 0; b + 1 < block_starts.size(); ++b) {
                const std::int32_t e0 = block_starts[b], e1 = block_starts[b + 1];
                for (std::int32_t l = l0; l < l1; ++l) {
                    others.clear();
                    for (std::int32_t e = e0; e < e1; ++e)
                        if (e != l) others.push_back(&records[std::size_t(e)]);
                    firsts[std::size_t(l - l0)].resume(others, counts.data());
                    for (std::int32_t e = e0, x = 0; e < e1; ++e)
                        if (e != l) st.cr(l, e) = counts[std::size_t(x++)];
                }
            }
            for (std::int32_t l = l0; l < l1; ++l) row_done(l);
        }
    });
}

}  // namespace varnel
