// The automaton path: a record's copies found by walks in its suffix
// automaton, for records whose windows repeat too much for the chains;
// internal to the engine.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "complexity/engine.h"

namespace varnel::automaton_path {

// The record's longest previous factors into lpf, through its automaton
// (built in work.sam). r.n and r.text are set.
void index(const record_index& r, std::int32_t* lpf, const alphabet& abc, workspace& work);

// The loaded record A's automaton, and a table of the walks from its root
// over every key prefix of jump_k symbols.
class row {
public:
    explicit row(workspace& work) : work_(work) {}
    void load(const record_index& a, const alphabet& abc);
    void resume(std::span<const record_index* const> bs, std::int32_t* counts) const;

    // What pair_parse.h asks of a row; the token is B's jump code at q.
    std::uint32_t aim(const record_index& b, std::int32_t q) const;
    std::int32_t copy(const record_index& b, std::int32_t q, std::uint32_t jump_code) const;
    std::int32_t open_copy(const record_index& b) const;

private:
    // The walk goes on from transition entry v along b.text[from + d ..]: its
    // length, and in `cross` the longest copy found running off A's end into
    // B's start (B's Z-array).
    std::int32_t extend(std::uint32_t v, const record_index& b, std::int32_t from, std::int32_t d, std::int32_t& cross) const;
    void fill_jumps(std::uint32_t entry, std::int32_t depth, std::uint32_t code, std::uint32_t ends);

    // Where the walk from the root over one jump_k-symbol key prefix ends in A's automaton.
    struct jump {
        std::uint32_t entry;          // transition entry reached (root if none)
        std::uint8_t depth;           // symbols matched, jump_k when all
        std::uint8_t suffix_depths;   // bit d-1: the first d symbols are a suffix of A
    };

    workspace& work_;
    const record_index* a_ = nullptr;
    const alphabet* abc_ = nullptr;
    std::vector<jump> jumps_;
    std::int32_t jump_k_ = 1;
    divider jump_cut_;  // a key's first jump_k_ symbols
    std::uint32_t open_state_ = automaton::root;  // transition entry of A[a.open ..)
};

}  // namespace varnel::automaton_path
