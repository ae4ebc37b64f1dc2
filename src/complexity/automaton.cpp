#include "complexity/automaton.h"

#include <algorithm>

namespace varnel {

void automaton::build(const std::uint8_t* text, std::int32_t n, std::int32_t sigma) {
    const std::size_t states = 2 * std::size_t(n) + 1;  // never more than 2n - 1 besides the root
    sigma_ = sigma;
    stride_ = std::size_t(sigma) + 3;
    data_ = storage_.reserve(states * stride_);
    kind_ = kinds_.reserve(states);
    const std::size_t len = std::size_t(sigma), link = len + 1, first = len + 2;
    auto make = [&](std::int32_t length, std::int32_t end) {
        const std::int32_t v = size_++;
        std::uint32_t* s = at(std::uint32_t(v));
        std::fill_n(s, sigma, 0u);
        s[len] = std::uint32_t(length);
        s[first] = std::uint32_t(end);
        return v;
    };
    size_ = 0;
    make(0, -1);
    at(root)[link] = std::uint32_t(-1);
    kind_[0] = 0;
    last_ = root;
    for (std::int32_t pos = 0; pos < n; ++pos) {
        const std::uint8_t c = text[pos];
        const std::int32_t cur = make(std::int32_t(at(std::uint32_t(last_))[len]) + 1, pos);
        kind_[cur] = made_at_position;
        std::int32_t p = last_;
        for (; p != -1 && at(std::uint32_t(p))[c] == 0; p = std::int32_t(at(std::uint32_t(p))[link]))
            at(std::uint32_t(p))[c] = std::uint32_t(cur);
        if (p == -1) {
            at(std::uint32_t(cur))[link] = root;
        } else {
            const std::uint32_t q = at(std::uint32_t(p))[c];
            if (at(std::uint32_t(p))[len] + 1 == at(q)[len]) {
                at(std::uint32_t(cur))[link] = q;
            } else {
                // q also holds longer strings that did not end here: split off the shorter ones
                const std::int32_t clone = size_++;
                std::uint32_t* s = at(std::uint32_t(clone));
                std::copy_n(at(q), stride_, s);
                s[len] = at(std::uint32_t(p))[len] + 1;
                kind_[clone] = 0;
                for (; p != -1 && at(std::uint32_t(p))[c] == q; p = std::int32_t(at(std::uint32_t(p))[link]))
                    at(std::uint32_t(p))[c] = std::uint32_t(clone);
                at(q)[link] = at(std::uint32_t(cur))[link] = std::uint32_t(clone);
            }
        }
        last_ = cur;
    }
}

void automaton::mark_targets() {
    // A state's strings end at its own position (unless it is a clone) and at
    // those of every state linking to it; a clone always has two of those. So a
    // state occurs once exactly when it was made at a position and no state
    // links to it.
    const std::size_t states = std::size_t(size_);
    for (std::size_t v = 1; v < states; ++v) kind_[std::size_t(link(std::uint32_t(v)))] |= linked_to;
    // The suffixes of the text are the strings of the states on the link path from the last.
    for (std::int32_t p = last_; p > root; p = link(std::uint32_t(p))) kind_[std::size_t(p)] |= suffix;
    for (std::size_t v = 0; v < states; ++v) {
        std::uint32_t* s = at(std::uint32_t(v));
        for (std::int32_t c = 0; c < sigma_; ++c) {
            if (s[c] == 0) continue;
            const std::uint8_t kind = kind_[s[c]];
            if (kind & suffix) s[c] |= terminal_bit;
            if ((kind & (made_at_position | linked_to)) == made_at_position) s[c] |= unique_bit;
        }
    }
}

}  // namespace varnel
