#include "complexity/automaton.h"

#include <algorithm>

namespace varnel {

void automaton::build(const std::uint8_t* text, std::int32_t n, std::int32_t sigma) {
    const std::size_t states = 2 * std::size_t(n) + 1;  // never more than 2n - 1 besides the root
    sigma_ = sigma;
    next_.assign(states * std::size_t(sigma), 0);
    len_.resize(states);
    link_.resize(states);
    first_.resize(states);
    len_[0] = 0;
    link_[0] = -1;
    first_[0] = -1;
    size_ = 1;
    last_ = root;
    for (std::int32_t pos = 0; pos < n; ++pos) {
        const std::uint8_t c = text[pos];
        const std::int32_t cur = size_++;
        len_[cur] = len_[last_] + 1;
        first_[cur] = pos;
        std::int32_t p = last_;
        for (; p != -1 && next(p, c) == 0; p = link_[p]) next_[std::size_t(p) * sigma + c] = std::uint32_t(cur);
        if (p == -1) {
            link_[cur] = root;
        } else {
            const std::int32_t q = std::int32_t(next(p, c));
            if (len_[p] + 1 == len_[q]) {
                link_[cur] = q;
            } else {
                // q also holds longer strings that did not end here: split off the shorter ones
                const std::int32_t clone = size_++;
                std::copy_n(&next_[std::size_t(q) * sigma], sigma, &next_[std::size_t(clone) * sigma]);
                len_[clone] = len_[p] + 1;
                link_[clone] = link_[q];
                first_[clone] = first_[q];
                for (; p != -1 && next(p, c) == std::uint32_t(q); p = link_[p])
                    next_[std::size_t(p) * sigma + c] = std::uint32_t(clone);
                link_[q] = link_[cur] = clone;
            }
        }
        last_ = cur;
    }
}

void automaton::mark_suffixes() {
    // The suffixes of the text are the strings of the states on the link path from the last.
    suffix_.assign(std::size_t(size_), 0);
    for (std::int32_t p = last_; p > root; p = link_[p]) suffix_[std::size_t(p)] = 1;
    const auto used = next_.begin() + std::ptrdiff_t(size_) * sigma_;
    for (auto e = next_.begin(); e != used; ++e)
        if (*e != 0 && suffix_[*e]) *e |= terminal_bit;
}

}  // namespace varnel
