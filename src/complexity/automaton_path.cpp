#include "complexity/automaton_path.h"

#include <algorithm>
#include <bit>

#include "complexity/compare.h"
#include "complexity/pair_parse.h"

namespace varnel::automaton_path {

void index(const record_index& r, std::int32_t* lpf, const alphabet& abc, workspace& work) {
    automaton& sam = work.sam;
    sam.build(r.text, r.n, abc.sigma);
    const std::int32_t n = r.n;
    const std::uint8_t* t = r.text;
    // Invariant: t[q .. q+d) starts somewhere before q, and v is its state.
    std::int32_t v = automaton::root, d = 0;
    for (std::int32_t q = 0; q < n; ++q) {
        while (q + d < n) {
            const std::int32_t w = std::int32_t(sam.next(v, t[q + d]));
            if (sam.first(w) >= q + d) break;  // its earliest occurrence is the one at q
            v = w;
            ++d;
        }
        lpf[q] = d;
        if (d > 0 && --d == sam.len(sam.link(v))) v = sam.link(v);  // drop t[q]
    }
}

void row::load(const record_index& a, const alphabet& abc) {
    a_ = &a;
    abc_ = &abc;
    // at most tuning::max_jumps jumps; suffix_depths has a bit for each of 8 symbols
    for (jump_k_ = 1; jump_k_ < std::min(abc.k, 8) && abc.power[std::size_t(jump_k_) + 1] <= tuning::max_jumps; ++jump_k_) {
    }
    jump_cut_ = abc.cut[std::size_t(jump_k_)];
    work_.sam.build(a.text, a.n, abc.sigma);
    work_.sam.mark_targets();
    jumps_.resize(abc.power[std::size_t(jump_k_)]);
    fill_jumps(automaton::root, 0, 0, 0);
    std::uint32_t v = automaton::root;
    for (std::int32_t i = a.open; i < a.n; ++i) v = work_.sam.next(v, a.text[i]);
    open_state_ = v;
}

void row::fill_jumps(std::uint32_t entry, std::int32_t depth, std::uint32_t code, std::uint32_t ends) {
    if (depth == jump_k_) {
        jumps_[code] = {entry, std::uint8_t(depth), std::uint8_t(ends)};
        return;
    }
    const std::int32_t sigma = abc_->sigma;
    const std::uint32_t below = abc_->power[std::size_t(jump_k_ - depth - 1)];  // keys under one prefix of depth + 1 symbols
    for (std::int32_t c = 0; c < sigma; ++c) {
        const std::uint32_t e = work_.sam.next(entry, std::uint8_t(c));
        const std::uint32_t sub = code * std::uint32_t(sigma) + std::uint32_t(c);
        if (e == 0)
            std::fill_n(jumps_.begin() + std::ptrdiff_t(sub * below), below, jump{entry, std::uint8_t(depth), std::uint8_t(ends)});
        else
            fill_jumps(e, depth + 1, sub, ends | ((e & automaton::terminal_bit) ? 1u << depth : 0u));
    }
}

[[gnu::always_inline]] inline std::int32_t row::extend(std::uint32_t v, const record_index& b, std::int32_t from,
                                                     std::int32_t d, std::int32_t& cross) const {
    const automaton& sam = work_.sam;
    const std::int32_t nb = b.n, na = a_->n;
    const std::uint8_t* t = b.text + from;
    const std::int32_t* z = b.z + from;
    const std::int32_t room = nb - from;
    for (;;) {
        if (v & automaton::unique_bit) {
            // One occurrence left in A, ending at first(v): compare the texts directly.
            const std::int32_t at = sam.first(v) + 1;
            const std::int32_t m = common_prefix(a_->text + at, na - at, t + d, room - d);
            d += m;
            if (at + m == na && d > 0) cross = std::max(cross, d + z[d]);
            return d;
        }
        if (d == room) return d;
        const std::uint32_t e = sam.next(v, t[d]);
        if (e == 0) return d;
        v = e;
        ++d;
        if (e & automaton::terminal_bit) cross = std::max(cross, d + z[d]);  // runs off A's end into B's start
    }
}

[[gnu::always_inline]] inline std::uint32_t row::aim(const record_index& b, std::int32_t q) const {
    if (q + jump_k_ > b.n) return 0;  // too near B's end for a jump: copy() walks from the root
    const std::uint32_t code = jump_cut_(b.key[q]);
    __builtin_prefetch(&jumps_[code]);
    return code;
}

[[gnu::always_inline]] inline std::int32_t row::copy(const record_index& b, std::int32_t q, std::uint32_t jump_code) const {
    std::int32_t cross = 0, best;
    if (q + jump_k_ > b.n) {
        best = extend(automaton::root, b, q, 0, cross);
    } else {
        const jump& j = jumps_[jump_code];
        for (std::uint32_t ends = j.suffix_depths; ends != 0; ends &= ends - 1) {
            const std::int32_t d = std::countr_zero(ends) + 1;
            cross = std::max(cross, d + b.z[q + d]);
        }
        best = j.depth < jump_k_ ? j.depth : extend(j.entry, b, q, jump_k_, cross);
    }
    return std::max(best, cross);
}

std::int32_t row::open_copy(const record_index& b) const {
    std::int32_t cross = 0;
    return a_->n - a_->open + std::max(extend(open_state_, b, 0, 0, cross), cross);
}

void row::resume(std::span<const record_index* const> bs, std::int32_t* counts) const {
    resume_pairs(*this, *a_, bs, counts);
}

}  // namespace varnel::automaton_path
