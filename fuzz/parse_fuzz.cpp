// The engine against the direct parse of the definition, on arbitrary text
// cut at an arbitrary point into a and b: the counts of a, b, a+b and b+a,
// each record fresh and the pairs resumed at the cut. Any difference aborts.
//
// Input: byte 0 picks the symbols (0: the bytes as they are; k > 0: the bytes
// folded onto k letters, so short repeats are common), bytes 1-2 the cut, the
// rest the text (at most max_text bytes: the direct parse is slow).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "complexity/engine.h"
#include "lz_direct.h"

namespace {

constexpr std::size_t max_text = 4096;

// The text in C escapes, so a failure can be pasted into a test.
std::string escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c <= 126 && c != '"' && c != '\\') {
            out += char(c);
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "\\x%02x\"\"", c);
            out += hex;
        }
    }
    return out;
}

void check(bool ok, const char* what, const std::string& a, const std::string& b) {
    if (ok) return;
    std::fprintf(stderr, "engine differs from the direct parse: %s\n a (%zu bytes) = \"%s\"\n b (%zu bytes) = \"%s\"\n", what,
                 a.size(), escaped(a).c_str(), b.size(), escaped(b).c_str());
    std::abort();
}

// The direct parse of x then y, and its state when x is done (y resumes from it).
struct direct_counts {
    varnel::parse_state first, whole;
};

direct_counts direct(const std::string& x, const std::string& y) {
    const std::string text = x + y;
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    direct_counts d;
    varnel::lz_steps(t, 0, std::int32_t(x.size()), d.whole);
    d.first = d.whole;
    varnel::lz_steps(t, std::int32_t(x.size()), std::int32_t(text.size()), d.whole);
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const unsigned symbols = data[0] % 8;
    const std::size_t n = std::min(size - 3, max_text);
    std::string text(reinterpret_cast<const char*>(data + 3), n);
    if (symbols != 0)
        for (char& c : text) c = char('A' + static_cast<unsigned char>(c) % symbols);
    const std::size_t cut = (std::size_t(data[1]) << 8 | data[2]) % (n + 1);
    const std::string a = text.substr(0, cut), b = text.substr(cut);

    const direct_counts ab = direct(a, b), ba = direct(b, a);

    // Each record through its windows where they allow, then each through its
    // automaton. One workspace indexes every record, as in the pass; the
    // loaded record's is another, as indexing must not overwrite it.
    const varnel::alphabet abc({a, b});
    for (const varnel::index_path path : {varnel::index_path::chains, varnel::index_path::automaton}) {
        varnel::workspace work, row;
        varnel::arena mem;
        varnel::record_index whole, ia, ib;
        varnel::index_record(whole, text, abc, work, mem, path);
        varnel::index_record(ia, a, abc, work, mem, path);
        varnel::index_record(ib, b, abc, work, mem, path);
        for (varnel::record_index* r : {&whole, &ia, &ib}) varnel::index_starts(*r, mem);
        check(whole.count == ab.whole.count, "a+b as one record", a, b);
        check(whole.open == ab.whole.boundary, "open component of a+b as one record", a, b);
        check(ia.count == ab.first.count, "a alone", a, b);
        check(ia.open == ab.first.boundary, "open component of a", a, b);
        check(ib.count == ba.first.count, "b alone", a, b);
        check(ib.open == ba.first.boundary, "open component of b", a, b);

        varnel::first_sequence first(row);
        first.load(whole, abc);
        const std::int32_t after_whole = first.resume(ib);
        first.load(ia, abc);
        check(first.resume(ib) == ab.whole.count, "a resumed over b", a, b);
        first.load(ib, abc);
        check(first.resume(ia) == ba.whole.count, "b resumed over a", a, b);

        // A record resumed over itself, and a+b resumed over b: the engine's own
        // parse of the joined text as one record must agree; and so must the
        // same pairs resumed together.
        varnel::record_index joined, doubled;
        first.load(ia, abc);
        varnel::index_record(doubled, a + a, abc, work, mem, path);
        varnel::index_starts(doubled, mem);
        check(first.resume(ia) == doubled.count, "a resumed over a", a, b);
        varnel::index_record(joined, text + b, abc, work, mem, path);
        varnel::index_starts(joined, mem);
        check(after_whole == joined.count, "a+b resumed over b", a, b);
        const varnel::record_index* row_of_a[] = {&ib, &ia, &whole, &ib, &joined, &ia};
        std::int32_t together[6];
        first.resume(row_of_a, together);
        for (std::size_t i = 0; i < 6; ++i) check(together[i] == first.resume(*row_of_a[i]), "pairs resumed together", a, b);
    }
    return 0;
}
