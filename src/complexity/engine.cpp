#include "complexity/engine.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace varnel {

alphabet::alphabet(const std::vector<std::string>& sequences) {
    std::array<bool, 256> seen{};
    for (const std::string& s : sequences)
        for (unsigned char c : s) seen[c] = true;
    for (int c = 0; c < 256; ++c)
        if (seen[std::size_t(c)]) code[std::size_t(c)] = std::uint8_t(sigma++);
    sigma = std::max(sigma, 1);
    // at most 256 symbols, so k is at least 1; suffix_depths has a bit for each of k <= 8
    for (k = 0, keys = 1; k < 8 && keys * std::uint32_t(sigma) <= max_keys; ++k) keys *= std::uint32_t(sigma);
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
    const std::int32_t k = abc.k;
    r.key.resize(std::size_t(std::max(n - k + 1, 0)));
    if (n >= k) {
        std::uint32_t key = 0, top = abc.keys / std::uint32_t(abc.sigma);  // weight of a key's first symbol
        for (std::int32_t i = 0; i < k; ++i) key = key * std::uint32_t(abc.sigma) + r.text[std::size_t(i)];
        for (std::int32_t q = 0;; ++q) {
            r.key[std::size_t(q)] = std::uint16_t(key);
            if (q + k == n) break;
            key = (key - r.text[std::size_t(q)] * top) * std::uint32_t(abc.sigma) + r.text[std::size_t(q + k)];
        }
    }
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

void first_sequence::load(const record_index& a, const alphabet& abc) {
    a_ = &a;
    sigma_ = abc.sigma;
    k_ = abc.k;
    sam_.build(a.text.data(), a.size(), abc.sigma);
    sam_.mark_targets();
    jumps_.resize(abc.keys);
    fill_jumps(automaton::root, 0, 0, 0);
    std::uint32_t v = automaton::root;
    for (std::int32_t i = a.open; i < a.size(); ++i) v = sam_.next(v, a.text[std::size_t(i)]);
    open_state_ = v;
}

namespace {

// Length of the common prefix of x[0 .. n) and y[0 .. m), a word at a time.
std::int32_t common_prefix(const std::uint8_t* x, std::int32_t n, const std::uint8_t* y, std::int32_t m) {
    const std::int32_t limit = std::min(n, m);
    std::int32_t k = 0;
    for (; k + 8 <= limit; k += 8) {
        std::uint64_t wx, wy;
        std::memcpy(&wx, x + k, 8);
        std::memcpy(&wy, y + k, 8);
        if (const std::uint64_t diff = wx ^ wy; diff != 0) {
            const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
            return k + bits / 8;
        }
    }
    while (k < limit && x[k] == y[k]) ++k;
    return k;
}

}  // namespace

[[gnu::always_inline]] inline std::int32_t first_sequence::extend(std::uint32_t v, const record_index& b, std::int32_t from,
                                                                std::int32_t d, std::int32_t& cross) const {
    const std::int32_t nb = b.size(), na = a_->size();
    const std::uint8_t* t = b.text.data() + from;
    const std::int32_t* z = b.z.data() + from;
    const std::int32_t room = nb - from;
    for (;;) {
        if (v & automaton::unique_bit) {
            // One occurrence left in A, ending at first(v): compare the texts directly.
            const std::int32_t at = sam_.first(v) + 1;
            const std::int32_t m = common_prefix(a_->text.data() + at, na - at, t + d, room - d);
            d += m;
            if (at + m == na && d > 0) cross = std::max(cross, d + z[d]);
            return d;
        }
        if (d == room) return d;
        const std::uint32_t e = sam_.next(v, t[d]);
        if (e == 0) return d;
        v = e;
        ++d;
        if (e & automaton::terminal_bit) cross = std::max(cross, d + z[d]);  // runs off A's end into B's start
    }
}

[[gnu::always_inline]] inline std::int32_t first_sequence::match(const record_index& b, std::int32_t q,
                                                               std::int32_t& cross) const {
    cross = 0;
    if (q + k_ > b.size()) return extend(automaton::root, b, q, 0, cross);
    const jump& j = jumps_[b.key[std::size_t(q)]];
    for (std::uint32_t ends = j.suffix_depths; ends != 0; ends &= ends - 1) {
        const std::int32_t d = std::countr_zero(ends) + 1;
        cross = std::max(cross, d + b.z[std::size_t(q + d)]);
    }
    return j.depth < k_ ? j.depth : extend(j.entry, b, q, k_, cross);
}

void first_sequence::fill_jumps(std::uint32_t entry, std::int32_t depth, std::uint32_t code, std::uint32_t ends) {
    if (depth == k_) {
        jumps_[code] = {entry, std::uint8_t(depth), std::uint8_t(ends)};
        return;
    }
    std::uint32_t below = 1;  // k-mers under one prefix of depth + 1 symbols
    for (std::int32_t i = depth + 1; i < k_; ++i) below *= std::uint32_t(sigma_);
    for (std::int32_t c = 0; c < sigma_; ++c) {
        const std::uint32_t e = sam_.next(entry, std::uint8_t(c));
        const std::uint32_t sub = code * std::uint32_t(sigma_) + std::uint32_t(c);
        if (e == 0)
            std::fill_n(jumps_.begin() + std::ptrdiff_t(sub * below), below, jump{entry, std::uint8_t(depth), std::uint8_t(ends)});
        else
            fill_jumps(e, depth + 1, sub, ends | ((e & automaton::terminal_bit) ? 1u << depth : 0u));
    }
}

std::int32_t first_sequence::resume(const record_index& b) const {
    const std::int32_t a = a_->size(), n = a + b.size(), open = a_->open;
    std::int32_t count = a_->count, p = a, cross;
    if (open < a) {
        // The open component A[open ..) already has a copy before open; carry it
        // on into B. A longer copy holds a byte of B, so it too starts before open.
        cross = 0;
        const std::int32_t best = a - open + std::max(extend(open_state_, b, 0, 0, cross), cross);
        if (open + best >= n) return count;
        ++count;
        p = open + best + 1;
    }
    while (p < n) {
        const std::int32_t q = p - a;
        // copies inside B before q, inside A, or off A's end into B
        const std::int32_t best = std::max({b.lpf[std::size_t(q)], match(b, q, cross), cross});
        if (p + best >= n) break;  // a trailing copy is not counted
        ++count;
        p += best + 1;
    }
    return count;
}

}  // namespace varnel
