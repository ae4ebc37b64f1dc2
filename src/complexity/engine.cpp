#include "complexity/engine.h"

#include <algorithm>

#include "complexity/automaton_path.h"
#include "complexity/chain_path.h"
#include "complexity/compare.h"

namespace varnel {

alphabet::alphabet(const std::vector<std::string_view>& sequences) {
    std::array<bool, 256> seen{};
    for (std::string_view s : sequences) {
        for (unsigned char c : s) seen[c] = true;
        total += std::int64_t(s.size());
    }
    for (int c = 0; c < 256; ++c)
        if (seen[std::size_t(c)]) code[std::size_t(c)] = std::uint8_t(sigma++);
    sigma = std::max(sigma, 1);
    power[0] = 1;
    for (k = 0; k < 16 && std::uint64_t(power[std::size_t(k)]) * std::uint64_t(sigma) < (std::uint64_t(1) << 32); ++k)
        power[std::size_t(k) + 1] = power[std::size_t(k)] * std::uint32_t(sigma);
    for (std::int32_t d = 0; d <= k; ++d) cut[std::size_t(d)] = divider(power[std::size_t(k - d)]);
}

std::int32_t alphabet::span(std::int32_t n) const {
    using namespace tuning;
    const std::int64_t others = std::min<std::int64_t>(std::max<std::int64_t>(total - n, 0) / others_per_component,
                                                       max_codes_per_symbol * std::int64_t(n));
    const std::int64_t most =
        std::min<std::int64_t>(std::max<std::int64_t>({min_codes, codes_per_symbol * std::int64_t(n), others}), max_codes);
    std::int32_t s = 1;
    while (s < k && std::int64_t(power[std::size_t(s) + 1]) <= most) ++s;
    return s;
}

std::size_t index_bytes(std::int32_t n, const alphabet& abc) {
    const std::size_t m = std::size_t(std::max(n, 0));
    return m + text_pad + 4 * m + 4 * m + 4 * m + chain_path::kept_bytes(n, abc) + 6 * 64;
}

std::size_t starts_bytes(std::int32_t n) { return 4 * (std::size_t(std::max(n, 0)) + 1) + 64; }

void index_record(record_index& r, std::string_view seq, const alphabet& abc, workspace& work, arena& mem,
                  index_path prefer) {
    const std::int32_t n = std::int32_t(seq.size()), k = abc.k;
    r = record_index{};
    r.n = n;
    std::uint8_t* text = mem.take<std::uint8_t>(std::size_t(n) + text_pad);  // zeros past the end
    std::uint32_t* key = mem.take<std::uint32_t>(std::size_t(n));
    auto code = [&](std::int32_t i) { return abc.code[static_cast<unsigned char>(seq[std::size_t(i)])]; };
    // One pass: the key at q rolls on with the symbol at q + k, coded as it is reached.
    const std::uint32_t sigma = std::uint32_t(abc.sigma), top = abc.power[std::size_t(k) - 1];
    std::uint32_t rolling = 0;
    for (std::int32_t i = 0; i < std::min(k, n); ++i) rolling = rolling * sigma + (text[i] = code(i));
    for (std::int32_t i = std::min(k, n); i < k; ++i) rolling *= sigma;  // past the end: symbol 0
    std::int32_t q = 0;
    for (; q + k < n; ++q) {
        key[q] = rolling;
        rolling = (rolling - text[q] * top) * sigma + (text[q + k] = code(q + k));
    }
    for (; q < n; ++q) {
        key[q] = rolling;
        rolling = (rolling - text[q] * top) * sigma;
    }
    r.text = text;
    r.key = key;
    r.span = abc.span(n);
    std::int32_t* lpf = mem.take<std::int32_t>(std::size_t(n));
    r.lpf = lpf;

    // The one place a record's path is chosen: the chains unless comparing
    // along them would cost more than the automaton (tuning::chain_budget),
    // which the chains' own indexing finds out as it goes.
    const bool chains = prefer == index_path::chains && n > 0 && chain_path::index(r, lpf, abc, work, mem);
    r.path = chains ? index_path::chains : index_path::automaton;
    if (!chains) automaton_path::index(r, lpf, abc, work);

    std::int32_t b = 0, count = 0;
    while (b < n && b + lpf[b] < n) {  // a component that reaches the end stays open
        ++count;
        b += lpf[b] + 1;
    }
    r.count = count;
    r.open = b;
}

void index_starts(record_index& r, arena& mem) {
    const std::int32_t n = r.n;
    const std::uint8_t* text = r.text;
    std::int32_t* z = mem.take<std::int32_t>(std::size_t(n) + 1);
    z[0] = n;
    z[n] = 0;
    // [left, right): the rightmost window found so far that matches the text's start
    for (std::int32_t x = 1, left = 0, right = 0; x < n; ++x) {
        std::int32_t m = x < right ? std::min(right - x, z[x - left]) : 0;
        if (x + m >= right) m += common_prefix(text + m, n - m, text + x + m, n - x - m);  // else z[x - left] was exact
        z[x] = m;
        if (x + m > right) left = x, right = x + m;
    }
    r.z = z;
}

struct first_sequence::rows {
    chain_path::row chains;
    automaton_path::row automaton;
    explicit rows(workspace& work) : chains(work), automaton(work) {}
};

first_sequence::first_sequence(workspace& work) : rows_(std::make_unique<rows>(work)) {}

first_sequence::first_sequence(first_sequence&&) noexcept = default;

first_sequence::~first_sequence() = default;

void first_sequence::load(const record_index& a, const alphabet& abc) {
    a_ = &a;
    if (a.path == index_path::chains) rows_->chains.load(a, abc);
    else rows_->automaton.load(a, abc);
}

void first_sequence::resume(std::span<const record_index* const> bs, std::int32_t* counts) const {
    if (bs.empty()) return;  // a lone record is never loaded
    if (a_->path == index_path::chains) rows_->chains.resume(bs, counts);
    else rows_->automaton.resume(bs, counts);
}

}  // namespace varnel
