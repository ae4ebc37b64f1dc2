#include "complexity/engine.h"

#include <algorithm>

namespace varnel {

alphabet::alphabet(const std::vector<std::string>& sequences) {
    std::array<bool, 256> seen{};
    for (const std::string& s : sequences)
        for (unsigned char c : s) seen[c] = true;
    for (int c = 0; c < 256; ++c)
        if (seen[std::size_t(c)]) code[std::size_t(c)] = std::uint8_t(sigma++);
    sigma = std::max(sigma, 1);
}

namespace {

void longest_previous_factors(record_index& r, automaton& sam) {
    const std::int32_t n = r.size();
    const std::uint8_t* t = r.text.data();
    r.lpf.resize(std::size_t(n));
    // Invariant: t[q .. q+d) starts somewhere before q, and v is its state.
    std::int32_t v = automaton::root, d = 0;
    for (std::int32_t q = 0; q < n; ++q) {
        while (q + d < n) {
            const std::int32_t w = std::int32_t(sam.next(v, t[q + d]));
            if (sam.first(w) >= q + d) break;  // its earliest occurrence is the one at q
            v = w;
            ++d;
        }
        r.lpf[std::size_t(q)] = d;
        if (d > 0 && --d == sam.len(sam.link(v))) v = sam.link(v);  // drop t[q]
    }
}

void z_array(record_index& r) {
    const std::int32_t n = r.size();
    const std::uint8_t* t = r.text.data();
    r.z.assign(std::size_t(n) + 1, 0);
    r.z[0] = n;
    // [left, right): the rightmost window found so far that matches the text's start
    for (std::int32_t x = 1, left = 0, right = 0; x < n; ++x) {
        std::int32_t k = x < right ? std::min(right - x, r.z[std::size_t(x - left)]) : 0;
        while (x + k < n && t[k] == t[x + k]) ++k;
        r.z[std::size_t(x)] = k;
        if (x + k > right) left = x, right = x + k;
    }
}

}  // namespace

void index_record(record_index& r, const std::string& seq, const alphabet& abc, automaton& work) {
    const std::int32_t n = std::int32_t(seq.size());
    r.text.resize(seq.size());
    for (std::int32_t i = 0; i < n; ++i) r.text[std::size_t(i)] = abc.code[static_cast<unsigned char>(seq[std::size_t(i)])];
    work.build(r.text.data(), n, abc.sigma);
    longest_previous_factors(r, work);
    z_array(r);
    std::int32_t b = 0, count = 0;
    while (b < n && b + r.lpf[std::size_t(b)] < n) {  // a component that reaches the end stays open
        ++count;
        b += r.lpf[std::size_t(b)] + 1;
    }
    r.count = count;
    r.open = b;
}

void first_sequence::load(const record_index& a, std::int32_t sigma) {
    n_ = a.size();
    count_ = a.count;
    open_ = a.open;
    sam_.build(a.text.data(), n_, sigma);
    sam_.mark_suffixes();
    std::uint32_t v = automaton::root;
    for (std::int32_t i = open_; i < n_; ++i) v = sam_.next(std::int32_t(v & automaton::state_mask), a.text[std::size_t(i)]);
    open_state_ = v & automaton::state_mask;
}

std::int32_t first_sequence::resume(const record_index& b) const {
    const std::int32_t a = n_, nb = b.size(), n = a + nb;
    const std::uint8_t* t = b.text.data();
    const std::int32_t* z = b.z.data();
    std::int32_t count = count_, p = a;
    if (open_ < a) {
        // The open component A[open_ ..) already starts before open_; carry it on
        // into B. Any longer copy starts before open_ as it holds a byte of B.
        const std::int32_t r = a - open_;
        std::int32_t best = r, d = 0;
        for (std::uint32_t v = open_state_; d < nb; ++d) {
            const std::uint32_t e = sam_.next(std::int32_t(v & automaton::state_mask), t[d]);
            if (e == 0) break;
            v = e;
            if (e & automaton::terminal_bit) best = std::max(best, r + d + 1 + z[d + 1]);  // runs out of A into B
        }
        best = std::max(best, r + d);
        if (open_ + best >= n) return count;
        ++count;
        p = open_ + best + 1;
    }
    while (p < n) {
        const std::int32_t q = p - a;
        std::int32_t best = b.lpf[std::size_t(q)], d = 0;  // copies inside B
        for (std::uint32_t v = automaton::root; q + d < nb;) {  // copies inside A, or out of A into B
            const std::uint32_t e = sam_.next(std::int32_t(v & automaton::state_mask), t[q + d]);
            if (e == 0) break;
            v = e;
            ++d;
            if (e & automaton::terminal_bit) best = std::max(best, d + z[q + d]);
        }
        best = std::max(best, d);
        if (p + best >= n) break;  // a trailing copy is not counted
        ++count;
        p += best + 1;
    }
    return count;
}

}  // namespace varnel
