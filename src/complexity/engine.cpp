#include "complexity/engine.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
    // A row's table costs a step per code; a component the others parse against
    // it costs many, and there is one in every few of their symbols. But a
    // table far larger than its record no longer fits the caches.
    const std::int64_t others = std::min<std::int64_t>(std::max<std::int64_t>(total - n, 0) / 4, 128 * std::int64_t(n));
    const std::int64_t most = std::min<std::int64_t>(std::max<std::int64_t>({4096, 4 * std::int64_t(n), others}), 1 << 24);
    std::int32_t s = 1;
    while (s < k && std::int64_t(power[std::size_t(s) + 1]) <= most) ++s;
    return s;
}

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
// Readable bytes after each text: a word read from anywhere up to span symbols
// past its end stays inside (spans are at most 16).
constexpr std::size_t text_pad = 32;

// Length of the common prefix of x[0 .. n) and y[0 .. m), a word at a time.
// Words may be read up to 8 bytes past either end (see text_pad); a
// negative length counts as none.
std::int32_t common_prefix(const std::uint8_t* x, std::int32_t n, const std::uint8_t* y, std::int32_t m) {
    const std::int32_t limit = std::max(std::min(n, m), 0);
    for (std::int32_t k = 0;; k += 8) {
        std::uint64_t wx, wy;
        std::memcpy(&wx, x + k, 8);
        std::memcpy(&wy, y + k, 8);
        const std::uint64_t diff = wx ^ wy;  // all zero: 64 bits alike
        const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
        if (bits < 64 || k + 8 >= limit) return std::min(k + bits / 8, limit);
    }
}

// Longest common prefix of b.text and b.text[x ..], x <= b.n: what B's
// Z-array holds, compared directly where it is needed once (in the line just
// read) rather than fetched from an array the parse does not otherwise touch.
// A copy that long is a candidate for the component, so the comparing costs
// no more than the component's length.
std::int32_t from_start(const record_index& b, std::int32_t x) {
    return common_prefix(b.text, b.n, b.text + x, b.n - x);
}

// Offsets of the prefix levels of a window of `span` symbols: level d, the
// codes of d symbols, starts at off[d]; off[span + 1] is the size of all.
std::array<std::size_t, 18> level_offsets(const alphabet& abc, std::int32_t span) {
    std::array<std::size_t, 18> off{};
    for (std::int32_t d = 0; d <= span; ++d) off[std::size_t(d) + 1] = off[std::size_t(d)] + abc.power[std::size_t(d)];
    return off;
}

void longest_previous_factors(std::int32_t* lpf, const record_index& r, automaton& sam) {
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

// The longest previous factors through the windows of `span` symbols chained
// by code into prev and heads (zeroed). A position without an earlier window
// like its own has a factor shorter than a window: the longest prefix of its
// key that started before it. The prefixes that did are the shortest ones, so
// they are counted, and marked in `seen` (bit off[d] + c, d < span, where the
// d symbols of code c occur); those of a window like an earlier one were
// marked with that one. At a window like an earlier one, the factor is its
// longest copy, compared past the window. Gives up (false) once the copies
// compared cost more than the automaton would.
bool record_lpf(std::int32_t* lpf, std::int32_t* prev, std::int32_t* heads, std::uint64_t* seen, const record_index& r,
                const alphabet& abc) {
    const std::int32_t n = r.n, span = r.span, windows = std::max(n - span + 1, 0);
    const std::uint8_t* t = r.text;
    const divider window = abc.cut[std::size_t(span)];
    for (std::int32_t q = 0; q < windows; ++q) {
        // the heads are touched at random (and fresh memory when kept): asked for early
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
    std::int64_t budget = 8 * std::int64_t(n) + 64;
    // lpf[q] >= lpf[q-1] - 1: when q-1 is chained too, the copy of its factor,
    // from `from`, goes on from from + 1
    std::int32_t from = -2, before = -1;
    for (std::int32_t block = 0; block < n; block += 256) {
        // The block's positions split by whether a window before is like theirs,
        // which is a coin toss on short records: a test for each would often be
        // mispredicted. Each list stays in order, the lone ones first done.
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

// Whether a record of n symbols keeps its heads: when they take no more room
// than its other arrays.
bool keeps_heads(std::int32_t n, std::uint32_t codes) { return std::int64_t(codes) <= 4 * std::int64_t(n); }

}  // namespace

std::size_t index_bytes(std::int32_t n, const alphabet& abc) {
    const std::size_t m = std::size_t(std::max(n, 0));
    const std::uint32_t codes = abc.power[std::size_t(abc.span(n))];
    const std::size_t heads = keeps_heads(n, codes) ? 4 * std::size_t(codes) + std::size_t(codes) / 8 + 8 : 0;
    return m + text_pad + 4 * m + 4 * m + 4 * m + heads + 6 * 64;
}

std::size_t starts_bytes(std::int32_t n) { return 4 * (std::size_t(std::max(n, 0)) + 1) + 64; }

void index_record(record_index& r, std::string_view seq, const alphabet& abc, workspace& work, arena& mem,
                  bool chains) {
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

    std::int32_t* lpf = mem.take<std::int32_t>(std::size_t(n));
    r.lpf = lpf;
    r.span = abc.span(n);
    const divider window = abc.cut[std::size_t(r.span)];
    if (chains && n > 0) {
        const std::uint32_t codes = abc.power[std::size_t(r.span)];
        const std::size_t words = level_offsets(abc, r.span)[std::size_t(r.span)] / 64 + 1;
        // A record that keeps its tables builds them in place (arena memory is
        // zeroed); the others in the thread's, cleared after.
        const bool keep = keeps_heads(n, codes);
        std::uint64_t* seen = keep ? mem.take<std::uint64_t>(words) : work.seen.reserve(words);
        std::int32_t* heads = keep ? mem.take<std::int32_t>(codes) : work.last.reserve(codes);
        std::int32_t* prev = mem.take<std::int32_t>(std::size_t(n));
        if (record_lpf(lpf, prev, heads, seen, r, abc)) {
            r.prev = prev;
            if (keep) {
                r.heads = heads;
                r.held = seen;  // every prefix the record holds
            }
        }
        if (!keep)
            for (std::int32_t q = 0; q + r.span <= n; ++q) heads[window(key[q])] = 0;
    }
    if (!r.prev) {
        work.sam.build(text, n, abc.sigma);
        longest_previous_factors(lpf, r, work.sam);
    }

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

void first_sequence::load(const record_index& a, const alphabet& abc) {
    a_ = &a;
    abc_ = &abc;
    window_ = abc.cut[std::size_t(a.span)];
    if (a.prev) {
        fill_table();
        return;
    }
    // at most 4096 jumps, so they stay in the first-level caches; suffix_depths has a bit for each of 8 symbols
    for (jump_k_ = 1; jump_k_ < std::min(abc.k, 8) && abc.power[std::size_t(jump_k_) + 1] <= 4096; ++jump_k_) {
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

void first_sequence::fill_table() {
    const record_index& a = *a_;
    const alphabet& abc = *abc_;
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

std::int32_t first_sequence::holds(std::uint32_t c, std::uint32_t& ends, std::int32_t& head) const {
    head = heads_[c];
    const std::uint32_t f = prefixes_[shorter_(c)];
    ends = f >> 8;
    return head != 0 ? a_->span : std::int32_t(f & 0xff);
}

// Inlined into the loop of rows, which calls it for every component.
[[gnu::always_inline]] inline std::int32_t first_sequence::copy_from_a(const record_index& b, std::int32_t q,
                                                                     std::uint32_t c) const {
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

std::int32_t first_sequence::open_copy(const record_index& b) const {
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

[[gnu::always_inline]] inline std::int32_t first_sequence::extend(std::uint32_t v, const record_index& b, std::int32_t from,
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

[[gnu::always_inline]] inline std::int32_t first_sequence::match(const record_index& b, std::int32_t q,
                                                               std::int32_t& cross) const {
    cross = 0;
    if (q + jump_k_ > b.n) return extend(automaton::root, b, q, 0, cross);
    const jump& j = jumps_[jump_cut_(b.key[q])];
    for (std::uint32_t ends = j.suffix_depths; ends != 0; ends &= ends - 1) {
        const std::int32_t d = std::countr_zero(ends) + 1;
        cross = std::max(cross, d + b.z[q + d]);
    }
    return j.depth < jump_k_ ? j.depth : extend(j.entry, b, q, jump_k_, cross);
}

void first_sequence::fill_jumps(std::uint32_t entry, std::int32_t depth, std::uint32_t code, std::uint32_t ends) {
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

first_sequence::progress first_sequence::begin(const record_index& b) const {
    const std::int32_t a = a_->n, open = a_->open;
    if (open == a) return {0, a_->count};
    if (b.n == 0) return {0, a_->count};  // the open component ends with the text, uncounted
    // The open component A[open ..) already has a copy before open; carry it
    // on into B. A longer copy holds a byte of B, so it too starts before open.
    std::int32_t best;
    if (a_->prev) {
        best = open_copy(b);
    } else {
        std::int32_t cross = 0;
        best = a - open + std::max(extend(open_state_, b, 0, 0, cross), cross);
    }
    if (open + best >= a + b.n) return {b.n, a_->count};
    return {open + best + 1 - a, a_->count + 1};
}

std::int32_t first_sequence::resume_in_automaton(const record_index& b) const {
    auto [q, count] = begin(b);
    while (q < b.n) {
        // copies inside B before q, inside A, or off A's end into B
        std::int32_t cross;
        const std::int32_t best = std::max({b.lpf[q], match(b, q, cross), cross});
        if (q + best >= b.n) break;  // a trailing copy is not counted
        ++count;
        q += best + 1;
    }
    return count;
}

void first_sequence::resume(std::span<const record_index* const> bs, std::int32_t* counts) const {
    if (bs.empty()) return;
    if (!a_->prev) {
        for (std::size_t i = 0; i < bs.size(); ++i) counts[i] = resume_in_automaton(*bs[i]);
        return;
    }
    // Several parses at once, one component each in turn: the window entry a
    // parse needs next is fetched while the others take their turns.
    constexpr std::size_t lanes = 8;
    struct lane {
        const record_index* b;
        std::int32_t q, count;  // next component's start in b; components so far
        std::uint32_t code;     // the window code of b at q
        std::size_t slot;       // where its count goes
    };
    std::array<lane, lanes> run;
    std::size_t active = 0, next = 0;
    const std::int32_t* heads = heads_;
    auto aim = [&](lane& l) {  // l's window code at its next component, and what that will need
        const record_index& b = *l.b;
        l.code = window_(b.key[l.q]);
        __builtin_prefetch(&heads[l.code]);
        // each parse walks its record forwards, a line of it every few turns:
        // fetched ahead, as there are too many walks to be guessed
        const std::int32_t ahead = std::min(l.q + 48, b.n - 1);
        __builtin_prefetch(b.key + ahead);
        __builtin_prefetch(b.lpf + ahead);
        __builtin_prefetch(b.text + ahead);
    };
    auto start = [&](lane& l) {  // the next parse still to run, into l; false if none
        for (; next < bs.size(); ++next) {
            const record_index& b = *bs[next];
            const auto [q, count] = begin(b);
            if (q < b.n) {
                l = {&b, q, count, 0, next++};
                aim(l);
                return true;
            }
            counts[next] = count;
        }
        return false;
    };
    while (active < lanes && start(run[active])) ++active;
    while (active > 0) {
        for (std::size_t g = 0; g < active;) {
            lane& l = run[g];
            const record_index& b = *l.b;
            // copies inside B before q, inside A, or off A's end into B
            const std::int32_t best = std::max(b.lpf[l.q], copy_from_a(b, l.q, l.code));
            if (l.q + best < b.n) {  // a trailing copy is not counted
                ++l.count;
                l.q += best + 1;
                if (l.q < b.n) {
                    aim(l);
                    ++g;
                    continue;
                }
            }
            counts[l.slot] = l.count;
            if (!start(l)) {
                l = run[--active];  // the last lane takes this place and its turn
                continue;
            }
            ++g;
        }
    }
}

}  // namespace varnel
