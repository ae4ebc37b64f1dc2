#include "complexity/automaton.h"

#include <algorithm>

namespace varnel {

void automaton::build(const std::uint8_t* text, std::int32_t n, std::int32_t sigma) {
    const std::size_t states = 2 * std::size_t(n) + 1;  // never more than 2n - 1 besides the root
    sigma_ = sigma;
    next_.assign(states * std::size_t(sigma), 0);
    len_.resize(states);
    occurrences_.resize(states);
    link_.resize(states);
    first_.resize(states);
    len_[0] = 0;
    link_[0] = -1;
    first_[0] = -1;
    occurrences_[0] = 0;
    size_ = 1;
    last_ = root;
    for (std::int32_t pos = 0; pos < n; ++pos) {
        const std::uint8_t c = text[pos];
        const std::int32_t cur = size_++;
        len_[cur] = len_[last_] + 1;
        first_[cur] = pos;
        occurrences_[std::size_t(cur)] = 1;
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
                occurrences_[std::size_t(clone)] = 0;
                for (; p != -1 && next(p, c) == std::uint32_t(q); p = link_[p])
                    next_[std::size_t(p) * sigma + c] = std::uint32_t(clone);
                link_[q] = link_[cur] = clone;
            }
        }
        last_ = cur;
    }
}

void automaton::mark_targets() {
    // occurrences_ holds 1 for a state created at a text position and 0 for a
    // clone; each state occurs also wherever a state linking to it does, so add
    // them up from the longest states down (a counting sort by length).
    const std::size_t states = std::size_t(size_);
    by_length_.assign(std::size_t(len_[std::size_t(last_)]) + 2, 0);
    for (std::size_t v = 0; v < states; ++v) ++by_length_[std::size_t(len_[v]) + 1];
    for (std::size_t l = 1; l < by_length_.size(); ++l) by_length_[l] += by_length_[l - 1];
    order_.resize(states);
    for (std::size_t v = 0; v < states; ++v) order_[std::size_t(by_length_[std::size_t(len_[v])]++)] = std::int32_t(v);
    for (std::size_t k = states; k-- > 1;) {
        const std::int32_t v = order_[k];
        occurrences_[std::size_t(link_[std::size_t(v)])] += occurrences_[std::size_t(v)];
    }
    // The suffixes of the text are the strings of the states on the link path from the last.
    for (std::int32_t p = last_; p > root; p = link_[std::size_t(p)]) occurrences_[std::size_t(p)] |= suffix_flag;
    const auto used = next_.begin() + std::ptrdiff_t(size_) * sigma_;
    for (auto e = next_.begin(); e != used; ++e) {
        if (*e == 0) continue;
        const std::uint32_t o = occurrences_[*e];
        if (o & suffix_flag) *e |= terminal_bit;
        if ((o & ~suffix_flag) == 1) *e |= unique_bit;
    }
}

}  // namespace varnel
