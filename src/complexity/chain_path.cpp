#include "complexity/chain_path.h"

#include <algorithm>
#include <bit>

#include "complexity/compare.h"
#include "complexity/pair_parse.h"

namespace varnel::chain_path {
namespace {

// A head is 0 for none, else 1 + the window, with more_windows set if there
// are others like it before: zeroed memory is a table of no windows.
constexpr std::int32_t more_windows = 1 << 30;
constexpr std::int32_t window_bits = more_windows - 1;

// Makes window i the head of its code; gives the window before it, -1 if none.
std::int32_t push_window(std::int32_t& head, std::int32_t i) {
    const std::int32_t before = (head & window_bits) - 1;
    head = (i + 1) | (head != 0 ? more_windows : 0);
    return before;
}

// The longest previous factors through the windows of `span` symbols chained
// by code into prev and heads (zeroed). A position without an earlier window
// like its own has a factor shorter than a window: the longest prefix of its
// key that started before it. The prefixes that did are the shortest ones, so
// they are counted, and marked in `seen` (bit off[d] + c, d < span, where the
// d symbols of code c occur); those of a window like an earlier one were
// marked with that one. At a window like an earlier one, the factor is its
// longest copy, compared past the window. Gives up (false) once the copies
// compared cost more than tuning::chain_budget.
bool record_lpf(std::int32_t* lpf, std::int32_t* prev, std::int32_t* heads, std::uint64_t* seen, const record_index& r,
                const alphabet& abc) {
    const std::int32_t n = r.n, span = r.span, windows = std::max(n - span + 1, 0);
    const std::uint8_t* t = r.text;
    const divider window = abc.cut[std::size_t(span)];
    for (std::int32_t q = 0; q < windows; ++q) {
        // the heads are touched at random (and fresh memory when kept): asked for
        // early (anywhere from 8 to 128 windows ahead measured the same)
        if (q + 32 < windows) __builtin_prefetch(&heads[window(r.key[q + 32])], 1);
        prev[q] = push_window(heads[window(r.key[q])], q);
    }
    std::fill(prev + windows, prev + n, -1);

    const auto off = level_offsets(abc, span);
    std::fill_n(seen, off[std::size_t(span)] / 64 + 1, 0);
    std::int32_t full = 0;  // levels 1 .. full have all their codes started: no need to look
    auto filled = [&](std::int32_t e) {
        const std::size_t to = off[std::size_t(e) + 1];
        for (std::size_t x = off[std::size_t(e)]; x < to;) {
            const std::size_t bits = std::min<std::size_t>(64 - x % 64, to - x);
            const std::uint64_t mask = (bits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bits) - 1) << (x % 64);
            if ((seen[x / 64] & mask) != mask) return false;
            x += bits;
        }
        return true;
    };
    std::int64_t budget = tuning::chain_budget(n);
    // lpf[q] >= lpf[q-1] - 1: when q-1 is chained too, the copy of its factor,
    // from `from`, goes on from from + 1
    std::int32_t from = -2, before = -1;
    for (std::int32_t block = 0; block < n; block += 256) {
        // The block's positions split by whether a window before is like theirs,
        // which is a coin toss on short records: a test for each would often be
        // mispredicted. Each list stays in order, the lone ones first done.
        // (Blocks of 64 to 1024 positions measured the same.)
        std::array<std::int32_t, 256> lone, chained;
        std::int32_t lones = 0, chains = 0;
        for (std::int32_t q = block, end = std::min(block + 256, n); q < end; ++q) {
            const bool like = prev[q] >= 0;
            lone[std::size_t(lones)] = q;
            chained[std::size_t(chains)] = q;
            lones += !like;
            chains += like;
        }
        for (std::int32_t c = 0; c < lones; ++c) {
            const std::int32_t q = lone[std::size_t(c)], limit = std::min(span - 1, n - q);
            const std::uint32_t key = r.key[q];
            std::int32_t d = std::min(full, limit);
            for (std::int32_t e = d + 1; e <= limit; ++e) {  // no branch on the bits: they are coin tosses
                const std::size_t x = off[std::size_t(e)] + abc.cut[std::size_t(e)](key);
                const std::uint64_t word = seen[x / 64], bit = std::uint64_t(1) << (x % 64);
                d += (word & bit) != 0;
                seen[x / 64] = word | bit;
            }
            lpf[q] = d;
        }
        // a level small enough to look at whole may have filled up
        while (full < span - 1 && abc.power[std::size_t(full) + 1] <= 64 * 64 && filled(full + 1)) ++full;
        for (std::int32_t c = 0; c < chains; ++c) {
            const std::int32_t q = chained[std::size_t(c)], room = n - q;
            const std::int32_t last = q > 0 ? lpf[q - 1] : 0, on = before == q - 1 ? from + 1 : -1;
            std::int32_t best = 0, source = -2;
            for (std::int32_t i = prev[q]; i >= 0; i = prev[i]) {
                const std::int32_t known = i == on && last - 1 > span ? last - 1 : span;
                const std::int32_t l = known + common_prefix(t + i + known, room - known, t + q + known, room - known);
                budget -= (l - known) / 8 + 1;
                if (l > best) best = l, source = i;
            }
            if (budget < 0) return false;
            lpf[q] = best;
            from = source;
            before = q;
        }
    }
    return true;
}

// Sets bit 7 + d of prefixes[c] where the record ends with the first d symbols of c.
void add_ends(std::uint32_t* prefixes, const record_index& r, const alphabet& abc) {
    const std::int32_t span = r.span, n = r.n;
    for (std::int32_t d = 1; d < span && d <= n; ++d) {
        const std::uint32_t below = abc.power[std::size_t(span - 1 - d)];
        const std::uint32_t lo = abc.cut[std::size_t(d)](r.key[n - d]) * below;
        for (std::uint32_t c = lo; c < lo + below; ++c) prefixes[c] |= 1u << (7 + d);
    }
}

// Fills prefixes (see workspace::prefixes) from has(off[d] + c), d < span:
// whether the record holds the d symbols of code c. The depths of every level
// go to `depth` (off[span] bytes), which may be what `has` reads: each is
// read before its place is written.
template <class Has>
void fill_prefixes(std::uint32_t* prefixes, std::uint8_t* depth, Has has, const record_index& r, const alphabet& abc) {
    const std::int32_t span = r.span, sigma = abc.sigma;  // locals: the byte stores below may alias abc
    const auto off = level_offsets(abc, span);
    depth[0] = 0;
    for (std::int32_t d = 1; d < span; ++d) {  // d where the record holds the code, else as its first d - 1 symbols
        std::size_t x = off[std::size_t(d)];
        const std::uint8_t* above = depth + off[std::size_t(d) - 1];
        const std::uint32_t parents = abc.power[std::size_t(d) - 1];
        for (std::uint32_t c = 0; c < parents; ++c)
            for (std::int32_t s = 0; s < sigma; ++s, ++x) {
                const int h = has(x);  // 0 or 1: chosen without a branch, as it is a coin toss
                depth[x] = std::uint8_t((d & -h) | (above[c] & (h - 1)));
            }
    }
    const std::uint32_t shorter = abc.power[std::size_t(span) - 1];
    const std::uint8_t* top = depth + off[std::size_t(span) - 1];
    for (std::uint32_t c = 0; c < shorter; ++c) prefixes[c] = top[c];
    add_ends(prefixes, r, abc);
}

bool keeps_heads(std::int32_t n, std::uint32_t codes) {
    return std::int64_t(codes) <= tuning::kept_codes_per_symbol * std::int64_t(n);
}

}  // namespace

std::size_t kept_bytes(std::int32_t n, const alphabet& abc) {
    const std::uint32_t codes = abc.power[std::size_t(abc.span(n))];
    return keeps_heads(n, codes) ? 4 * std::size_t(codes) + std::size_t(codes) / 8 + 8 : 0;
}

bool index(record_index& r, std::int32_t* lpf, const alphabet& abc, workspace& work, arena& mem) {
    const std::int32_t n = r.n;
    const std::uint32_t codes = abc.power[std::size_t(r.span)];
    const std::size_t words = level_offsets(abc, r.span)[std::size_t(r.span)] / 64 + 1;
    // A record that keeps its tables builds them in place (arena memory is
    // zeroed); the others in the thread's, cleared after.
    const bool keep = keeps_heads(n, codes);
    std::uint64_t* seen = keep ? mem.take<std::uint64_t>(words) : work.seen.reserve(words);
    std::int32_t* heads = keep ? mem.take<std::int32_t>(codes) : work.last.reserve(codes);
    std::int32_t* prev = mem.take<std::int32_t>(std::size_t(n));
    const bool held = record_lpf(lpf, prev, heads, seen, r, abc);
    if (held) {
        r.prev = prev;
        if (keep) {
            r.heads = heads;
            r.held = seen;  // every prefix the record holds
        }
    }
    if (!keep) {
        const divider window = abc.cut[std::size_t(r.span)];
        for (std::int32_t q = 0; q + r.span <= n; ++q) heads[window(r.key[q])] = 0;
    }
    return held;
}

void row::load(const record_index& a, const alphabet& abc) {
    a_ = &a;
    abc_ = &abc;
    window_ = abc.cut[std::size_t(a.span)];
    shorter_ = divider(std::uint32_t(abc.sigma));
    const std::int32_t span = a.span, n = a.n, sigma = abc.sigma;
    const std::uint32_t codes = abc.power[std::size_t(span)], shorter = abc.power[std::size_t(span) - 1];
    const auto off = level_offsets(abc, span);
    std::uint8_t* held = work_.depth.reserve(off[std::size_t(span)]);
    prefixes_ = work_.prefixes.reserve(shorter);
    if (a.heads) {  // its own heads, and the prefixes it holds as bits
        heads_ = a.heads;
        const std::uint64_t* bits = a.held;
        fill_prefixes(work_.prefixes.data(), held, [bits](std::size_t x) { return int(bits[x / 64] >> (x % 64) & 1); }, a, abc);
    } else {
        std::int32_t* heads = work_.heads.reserve(codes);
        std::fill(heads, heads + codes, 0);
        for (std::int32_t i = 0; i <= n - span; ++i) push_window(heads[window_(a.key[i])], i);  // the last of each code stays
        heads_ = heads;
        // held[off[d] + c], d < span: whether A holds the d symbols of code c
        std::fill(held, held + off[std::size_t(span)], 0);
        for (std::int32_t i = std::max(0, n - span + 1); i < n; ++i)  // the last symbols, too few for a window
            held[off[std::size_t(n - i)] + abc.cut[std::size_t(n - i)](a.key[i])] = 1;
        if (span > 1) {
            std::uint8_t* level = held + off[std::size_t(span) - 1];
            for (std::uint32_t c = 0, x = 0; c < shorter; ++c)
                for (std::int32_t s = 0; s < sigma; ++s) level[c] |= heads[x++] != 0;
        }
        for (std::int32_t d = span - 2; d >= 1; --d) {  // a prefix of what occurs occurs
            std::uint8_t* level = held + off[std::size_t(d)];
            const std::uint8_t* below = held + off[std::size_t(d) + 1];
            const std::uint32_t parents = abc.power[std::size_t(d)];
            for (std::uint32_t c = 0; c < parents; ++c)
                for (std::int32_t s = 0; s < sigma; ++s) level[c] |= *below++;
        }
        fill_prefixes(work_.prefixes.data(), held, [held](std::size_t x) { return int(held[x]); }, a, abc);
    }
}

std::int32_t row::holds(std::uint32_t c, std::uint32_t& ends, std::int32_t& head) const {
    head = heads_[c];
    const std::uint32_t f = prefixes_[shorter_(c)];
    ends = f >> 8;
    return head != 0 ? a_->span : std::int32_t(f & 0xff);
}

// Inlined into the loop of rows, which calls it for every component.
[[gnu::always_inline]] inline std::uint32_t row::aim(const record_index& b, std::int32_t q) const {
    const std::uint32_t code = window_(b.key[q]);
    __builtin_prefetch(&heads_[code]);
    return code;
}

[[gnu::always_inline]] inline std::int32_t row::copy(const record_index& b, std::int32_t q, std::uint32_t c) const {
    const record_index& a = *a_;
    const std::int32_t room = b.n - q, span = a.span;
    std::uint32_t ends;
    std::int32_t head;
    std::int32_t best = std::min(holds(c, ends, head), room);  // key symbols past B's end are not B's
    // A ends with b.text[q .. q+d), d < room: the copy goes on into B's start if
    // that is how B carries on (else it is no longer than d, which best covers).
    for (ends &= (1u << std::min(room - 1, span - 1)) - 1; ends != 0; ends &= ends - 1) {
        const std::int32_t d = std::countr_zero(ends) + 1;
        if (b.text[q + d] == b.text[0]) best = std::max(best, d + from_start(b, q + d));
    }
    if (head != 0 && room > span) {
        for (std::int32_t i = (head & window_bits) - 1; i >= 0; i = head & more_windows ? a.prev[i] : -1) {
            std::int32_t l = span + common_prefix(a.text + i + span, a.n - i - span, b.text + q + span, room - span);
            if (i + l == a.n) l += from_start(b, q + l);  // ran to A's end: carries on at B's start
            best = std::max(best, l);
        }
    }
    return best;
}

std::int32_t row::open_copy(const record_index& b) const {
    const record_index& a = *a_;
    const alphabet& abc = *abc_;
    const std::int32_t open = a.open, u = a.n - open, span = a.span;
    // Copy of A[open ..) then B from i < open: A[i ..) against A[open ..), then
    // what is left of A against B's start, then B's start against B.
    auto copy_at = [&](std::int32_t i) {
        const std::int32_t l = common_prefix(a.text + i, u, a.text + open, u);
        if (l < u) return l;
        const std::int32_t left = open - i;
        const std::int32_t m = common_prefix(a.text + i + u, left, b.text, b.n);
        return m < left ? u + m : u + left + from_start(b, left);
    };
    std::int32_t best = u;  // the component's own copy, before open
    if (u >= span) {  // A[open ..) holds a window: the earlier windows like it
        for (std::int32_t i = a.prev[open]; i >= 0; i = a.prev[i]) best = std::max(best, copy_at(i));
        return best;
    }
    // The window is A's last u symbols followed by B's first span - u.
    const std::uint32_t c = abc.cut[std::size_t(u)](a.key[open]) * abc.power[std::size_t(span - u)] +
                            abc.cut[std::size_t(span - u)](b.key[0]);
    const std::int32_t room = u + b.n;
    std::uint32_t ends;
    std::int32_t head;
    best = std::max(best, std::min(holds(c, ends, head), room));  // longer than u, it starts before open
    for (ends &= ((1u << std::min(room, span - 1)) - 1) & ~((1u << u) - 1); ends != 0; ends &= ends - 1) {
        const std::int32_t d = std::countr_zero(ends) + 1;  // from A's last d symbols, d > u: before open
        best = std::max(best, d + from_start(b, d - u));
    }
    if (head != 0 && room > span)  // every such window of A ends inside A, so starts before open
        for (std::int32_t i = (head & window_bits) - 1; i >= 0; i = a.prev[i]) best = std::max(best, copy_at(i));
    return best;
}

void row::resume(std::span<const record_index* const> bs, std::int32_t* counts) const {
    resume_pairs(*this, *a_, bs, counts);
}

}  // namespace varnel::chain_path
