// The input reader on arbitrary bytes: both passes, for the plain and the
// folding load. Any crash, sanitizer report or broken invariant aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "input/reader.h"
#include "reader_model.h"
#include "base/failure.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "reader invariant broken: %s\n", what);
        std::abort();
    }
}

bool kept(unsigned char c) { return c >= 32 && c <= 126; }

// Loads `bytes` as "input_file" would be read; false if the reader refused it.
bool load(std::FILE* f, bool fold, varnel::analysis& st) {
    std::rewind(f);
    st.fi = f;
    try {
        varnel::get_info(st);
        std::rewind(f);
        varnel::getinput(st, fold);
    } catch (const varnel::run_error&) {
        return false;
    }
    return true;
}

// `part` occurs in `input` as a subsequence starting at or after `at`; moves `at` past it.
bool take_subsequence(std::string_view input, std::size_t& at, std::string_view part) {
    for (char c : part) {
        while (at < input.size() && input[at] != c) ++at;
        if (at == input.size()) return false;
        ++at;
    }
    return true;
}

void check_loaded(const varnel::analysis& st, std::string_view input, bool fold) {
    std::size_t openers = 0;
    for (char c : input) openers += c == '>';
    const std::size_t n = std::size_t(st.num);
    check(st.num >= 0, "negative count");
    check(n == st.data_name.size() && n == st.length.size() && n == st.S.size(), "count differs from records read");
    const std::size_t leading = !input.empty() && input[0] != '>' && openers > 0;  // text before the first '>'
    check(n <= openers + leading, "more records than '>' bytes and leading text");
    check((n > 0) == (openers > 0), "a '>' but no record, or a record without '>'");
    check(st.ex_com.size() == n, "ex_com not num");
    check(st.cr_ex_com.size() == n * n, "counts not num x num");
    std::size_t at = 0;  // names (without padding) and sequences appear in the input in order
    for (std::size_t l = 0; l < n; ++l) {
        const auto& name = st.data_name[l];
        check(name.size() == 10, "name not ten bytes");
        for (char c : name) check(kept(static_cast<unsigned char>(c)), "name byte outside 32..126");
        const std::string_view s = st.S[l];
        check(st.length[l] >= 0 && std::size_t(st.length[l]) == s.size(), "length differs from the sequence");
        for (char c : s) {
            check(kept(static_cast<unsigned char>(c)), "sequence byte outside 32..126");
            check(c != '>', "a '>' inside a sequence: a record swallowed the next");
            check(!fold || !(c >= 'a' && c <= 'z'), "folding load left a lower-case letter");
        }
        std::string_view shown(name.data(), name.size());
        while (!shown.empty() && shown.back() == ' ') shown.remove_suffix(1);
        check(take_subsequence(input, at, shown), "name not found in order in the input");
        if (!fold) check(take_subsequence(input, at, s), "sequence not found in order in the input");
    }
    check(st.fi != nullptr, "input stream lost");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::FILE* f = std::tmpfile();
    if (f == nullptr) std::abort();
    if (std::fwrite(data, 1, size, f) != size) std::abort();

    varnel::analysis plain, folded;
    const bool plain_ok = load(f, false, plain);
    const bool folded_ok = load(f, true, folded);
    std::fclose(f);
    check(plain_ok == folded_ok, "one load refused what the other took");
    if (!plain_ok) return 0;
    check_loaded(plain, input, false);
    check_loaded(folded, input, true);
    for (const varnel::analysis* st : {&plain, &folded}) {  // and exactly as the byte rules read it
        const varnel::model_input m = varnel::model(std::string(input), st == &folded);
        check(st->max_len == m.max_len && std::size_t(st->num) == m.names.size(), "count differs from the byte rules");
        for (std::size_t l = 0; l < m.names.size(); ++l) {
            check(std::string(st->data_name[l].data(), 10) == m.names[l], "name differs from the byte rules");
            check(st->S[l] == m.seqs[l], "sequence differs from the byte rules");
        }
    }

    // Folding changes the letters a-z of sequences and nothing else.
    check(plain.num == folded.num && plain.max_len == folded.max_len, "count differs between the loads");
    for (std::size_t l = 0; l < std::size_t(plain.num); ++l) {
        check(plain.data_name[l] == folded.data_name[l], "names differ between the loads");
        std::string upper(plain.S[l]);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        check(upper == folded.S[l], "folded sequence is not the plain one in upper case");
    }
    return 0;
}
