// Exact Lempel-Ziv counts of sequences and of ordered pairs, with a cost per
// parsed position that does not grow with the length of the text.
//
// A component starting at p ends at p + L, where L is the longest prefix of the
// text from p that also starts before p (overlap allowed); it is counted only
// when p + L lies inside the text. For the text A followed by B, a copy of a
// component starting in B comes from one of three places: inside B before it
// (B's own longest-previous-factor array), inside A (a walk in A's suffix
// automaton), or from a suffix of A running on into B's start (B's Z-array).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "complexity/automaton.h"

namespace varnel {

// Symbol codes 0 .. sigma-1 for the bytes that occur in the sequences, and the
// length k of the keys that take the first steps of a match in one lookup.
struct alphabet {
    static constexpr std::uint32_t max_keys = 4096;  // a table that stays in the first-level caches
    std::array<std::uint8_t, 256> code{};
    std::int32_t sigma = 0;
    std::int32_t k = 1;        // largest with sigma^k keys at most max_keys
    std::uint32_t keys = 1;    // sigma^k
    explicit alphabet(const std::vector<std::string>& sequences);
};

// What every pair needs of one record; computed once per record.
struct record_index {
    std::vector<std::uint8_t> text;  // the sequence as symbol codes
    std::vector<std::int32_t> lpf;   // lpf[q]: longest prefix of text[q..] that also starts before q
    std::vector<std::int32_t> z;     // z[x]: longest common prefix of text and text[x..]; z[n] = 0
    std::vector<std::uint16_t> key;  // key[q]: text[q .. q+k) as a number in base sigma
    std::int32_t count = 0;          // complexity of the sequence alone
    std::int32_t open = 0;           // start of the component still under way at its end (n if none)
    std::int32_t size() const { return std::int32_t(text.size()); }
};

// Fills `r` for `seq`; `work` is scratch space, reused between calls.
void index_record(record_index& r, const std::string& seq, const alphabet& abc, automaton& work);

// The parse of one record, saved at its end, resumed over any record behind it.
class first_sequence {
public:
    // `sam` holds the loaded record's automaton; it is the caller's, for reuse.
    explicit first_sequence(automaton& sam) : sam_(sam) {}
    void load(const record_index& a, const alphabet& abc);
    // Complexity of the loaded record followed by `b`.
    std::int32_t resume(const record_index& b) const;

private:
    // Matches b.text[from ..] inside A, going on from state v, which the first d
    // symbols reached: returns how many symbols match in all, and raises `cross`
    // to the longest copy (counted from `from`) that leaves A's end after at
    // least one of them and carries on at B's start.
    std::int32_t extend(std::uint32_t v, const record_index& b, std::int32_t from, std::int32_t d, std::int32_t& cross) const;
    // extend() from the root, with `cross` cleared and the first k symbols taken
    // in one lookup.
    std::int32_t match(const record_index& b, std::int32_t q, std::int32_t& cross) const;
    void fill_jumps(std::uint32_t entry, std::int32_t depth, std::uint32_t code, std::uint32_t ends);

    // Where the walk from the root over one k-mer of codes ends in A's automaton.
    struct jump {
        std::uint32_t entry;          // transition entry reached (root if none)
        std::uint8_t depth;           // symbols matched, k when all
        std::uint8_t suffix_depths;   // bit d-1: the first d symbols are a suffix of A
    };

    automaton& sam_;
    std::vector<jump> jumps_;
    std::int32_t k_ = 1, sigma_ = 1;
    const record_index* a_ = nullptr;
    std::uint32_t open_state_ = automaton::root;  // transition entry of A[a.open ..)
};

}  // namespace varnel
