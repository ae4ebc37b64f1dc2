// The parse of A followed by B, resumed where A's parse stopped, written once
// for both paths; internal to the engine. `Row` is a path's view of the loaded
// record A, giving for a position q of B:
//   token aim(b, q)         what copy() will need at q, asked for early;
//   int32 copy(b, q, token) the longest copy of b.text[q ..] that starts in
//                           A, inside it or running off its end into B;
//   int32 open_copy(b)      the longest copy of A[open ..) followed by B that
//                           starts before open.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "complexity/engine.h"

namespace varnel {

// A's count, and where in b the parse goes on once A's open component has
// been carried into b (b.n if that is the end).
struct pair_start {
    std::int32_t q, count;
};

template <class Row>
pair_start begin_pair(const Row& row, const record_index& a, const record_index& b) {
    const std::int32_t open = a.open;
    if (open == a.n) return {0, a.count};
    if (b.n == 0) return {0, a.count};  // the open component ends with the text, uncounted
    // The open component A[open ..) already has a copy before open; carried on
    // into B. A longer copy holds a byte of B, so it too starts before open.
    const std::int32_t best = row.open_copy(b);
    if (open + best >= a.n + b.n) return {b.n, a.count};
    return {open + best + 1 - a.n, a.count + 1};
}

// Complexity of A followed by each of `bs`, into `counts`. Several parses run
// at once, one component each in turn: the entry a parse needs next is
// fetched while the others take their turns.
template <class Row>
void resume_pairs(const Row& row, const record_index& a, std::span<const record_index* const> bs, std::int32_t* counts) {
    using token = decltype(row.aim(a, 0));
    struct lane {
        const record_index* b;
        std::int32_t q, count;  // next component's start in b; components so far
        token aimed;            // what the row needs at q
        std::size_t slot;       // where its count goes
    };
    std::array<lane, tuning::lanes> run;
    std::size_t active = 0, next = 0;
    auto aim = [&](lane& l) {
        const record_index& b = *l.b;
        l.aimed = row.aim(b, l.q);
        // each parse walks its record forwards, a line of it every few turns:
        // fetched ahead, as there are too many walks to be guessed
        const std::int32_t ahead = std::min(l.q + tuning::fetch_ahead, b.n - 1);
        __builtin_prefetch(b.key + ahead);
        __builtin_prefetch(b.lpf + ahead);
        __builtin_prefetch(b.text + ahead);
    };
    auto start = [&](lane& l) {  // the next parse still to run, into l; false if none
        for (; next < bs.size(); ++next) {
            const record_index& b = *bs[next];
            const auto [q, count] = begin_pair(row, a, b);
            if (q < b.n) {
                l = {&b, q, count, {}, next++};
                aim(l);
                return true;
            }
            counts[next] = count;
        }
        return false;
    };
    while (active < tuning::lanes && start(run[active])) ++active;
    while (active > 0) {
        for (std::size_t g = 0; g < active;) {
            lane& l = run[g];
            const record_index& b = *l.b;
            // copies inside B before q, or from A (inside it or off its end into B)
            const std::int32_t best = std::max(b.lpf[l.q], row.copy(b, l.q, l.aimed));
            if (l.q + best < b.n) {  // a trailing copy is not counted
                ++l.count;
                l.q += best + 1;
                if (l.q < b.n) {
                    aim(l);
                    ++g;
                    continue;
                }
            }
            counts[l.slot] = l.count;
            if (!start(l)) {
                l = run[--active];  // the last lane takes this place and its turn
                continue;
            }
            ++g;
        }
    }
}

}  // namespace varnel
