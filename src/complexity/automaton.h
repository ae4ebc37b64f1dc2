// Suffix automaton of one sequence, with dense transitions over the input's
// alphabet of symbol codes 0 .. sigma-1. Built online in linear time. Each
// state is one record of sigma + 3 words (transitions, length, link, end of
// first occurrence), so a step touches one cache line; the storage keeps its
// capacity, so one automaton per thread serves every record.
#pragma once

#include <cstdint>

#include "base/memory.h"

namespace varnel {

class automaton {
public:
    static constexpr std::int32_t root = 0;
    static constexpr std::uint32_t terminal_bit = 0x80000000u;  // target's strings are suffixes of the text
    static constexpr std::uint32_t unique_bit = 0x40000000u;    // target's strings occur once in the text
    static constexpr std::uint32_t state_mask = 0x3fffffffu;
    static constexpr std::int32_t max_length = 0x1fffffff;  // 2n states must fit in state_mask

    // Builds the automaton of text[0 .. n-1]; every code is below sigma and
    // n is at most max_length.
    void build(const std::uint8_t* text, std::int32_t n, std::int32_t sigma);

    // Sets terminal_bit and unique_bit on the transitions into such states.
    void mark_targets();

    // Target of the transition on code c (with terminal_bit once marked), 0 if none:
    // the root is never a target.
    std::uint32_t next(std::uint32_t state, std::uint8_t c) const { return at(state)[c]; }
    std::int32_t len(std::uint32_t state) const { return std::int32_t(at(state)[sigma_]); }
    std::int32_t link(std::uint32_t state) const { return std::int32_t(at(state)[sigma_ + 1]); }
    // End position of the earliest occurrence of the state's strings.
    std::int32_t first(std::uint32_t state) const { return std::int32_t(at(state)[sigma_ + 2]); }

private:
    const std::uint32_t* at(std::uint32_t state) const { return &data_[std::size_t(state & state_mask) * stride_]; }
    std::uint32_t* at(std::uint32_t state) { return &data_[std::size_t(state) * stride_]; }

    std::int32_t sigma_ = 1, size_ = 0, last_ = 0;
    std::size_t stride_ = 4;                  // words per state
    std::uint32_t* data_ = nullptr;           // each state is written when made
    page_array<std::uint32_t> storage_;
    enum : std::uint8_t { made_at_position = 1, linked_to = 2, suffix = 4 };
    std::uint8_t* kind_ = nullptr;  // per state: which of the above it is
    page_array<std::uint8_t> kinds_;
};

}  // namespace varnel
