// Suffix automaton of one sequence, with dense transitions over the input's
// alphabet of symbol codes 0 .. sigma-1. Built online in linear time; the
// vectors keep their capacity, so one automaton per thread serves every record.
#pragma once

#include <cstdint>
#include <vector>

namespace varnel {

class automaton {
public:
    static constexpr std::int32_t root = 0;
    static constexpr std::uint32_t terminal_bit = 0x80000000u;
    static constexpr std::uint32_t state_mask = 0x7fffffffu;

    // Builds the automaton of text[0 .. n-1]; every code is below sigma.
    void build(const std::uint8_t* text, std::int32_t n, std::int32_t sigma);

    // Sets terminal_bit on every transition into a state whose strings are
    // suffixes of the text. After this, first() and link() are no longer needed.
    void mark_suffixes();

    // Target of the transition on code c (with terminal_bit once marked), 0 if none:
    // the root is never a target.
    std::uint32_t next(std::int32_t state, std::uint8_t c) const { return next_[std::size_t(state) * std::size_t(sigma_) + c]; }
    std::int32_t len(std::int32_t state) const { return len_[std::size_t(state)]; }
    std::int32_t link(std::int32_t state) const { return link_[std::size_t(state)]; }
    // End position of the earliest occurrence of the state's strings.
    std::int32_t first(std::int32_t state) const { return first_[std::size_t(state)]; }

private:
    std::int32_t sigma_ = 1, size_ = 0, last_ = 0;
    std::vector<std::uint32_t> next_;
    std::vector<std::int32_t> len_, link_, first_;
    std::vector<std::uint8_t> suffix_;
};

}  // namespace varnel
