#include "input/reader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "run/failure.h"

namespace varnel {
namespace {

constexpr std::int64_t max_count = std::numeric_limits<std::int32_t>::max();

bool kept(int c) { return c >= 32 && c <= 126; }

// One byte of the input, or EOF at its end; a read error ends the run.
int next(std::FILE* f) {
#if defined(_WIN32)
    int c = _getc_nolock(f);
#else
    int c = getc_unlocked(f);
#endif
    if (c == EOF && std::ferror(f)) fail_io("read", "input_file", errno);
    return c;
}

}  // namespace

void get_info(analysis& st) {
    std::int64_t records = 0, max_len = 0, span = 0;
    for (int c; (c = next(st.fi)) != EOF; ++span) {
        if (c != '>') continue;
        ++records;
        if (span > max_len) max_len = span;
        span = 0;  // the '>' itself counts toward the span it opens
    }
    if (records > max_count) throw run_error("Too many records in input_file: " + std::to_string(records));
    st.num = std::int32_t(records);
    st.max_len = max_len;
}

void getinput(analysis& st, bool fold) {
    std::FILE* f = st.fi;
    const std::int32_t counted = st.num;
    int c = next(f);
    if (c != '>' && c != EOF) std::ungetc(c, f);  // no opener: the first line is a header line

    std::string& stage = st.str;  // grows to the longest sequence, reused for all
    st.num = 0;
    st.data_name.clear();
    st.length.clear();
    st.S.clear();
    bool at_end = counted == 0;
    for (std::int32_t l = 0; l < counted && !at_end; ++l) {
        const bool last = l == counted - 1;
        name_field name;
        name.fill(' ');
        for (std::size_t n = 0;;) {  // header line: the first ten kept bytes
            c = next(f);
            if (c == EOF || c == '\n') break;
            if (!kept(c)) continue;
            name[n++] = char(c);
            if (n == name.size()) {
                do c = next(f);
                while (c != EOF && c != '\n');
                break;
            }
        }
        at_end = c == EOF;
        stage.clear();
        while (!at_end) {  // sequence text: up to the next '>', or the end for the last record
            c = next(f);
            if (c == EOF) at_end = true;
            else if (c == '>' && !last) break;
            else if (kept(c)) {
                if (fold && c >= 'a' && c <= 'z') c -= 'a' - 'A';
                stage.push_back(char(c));
            }
        }
        if (std::int64_t(stage.size()) > max_count)
            throw run_error("Sequence of record " + std::to_string(l + 1) + " is longer than " +
                            std::to_string(max_count) + " bytes");
        st.data_name.push_back(name);
        st.length.push_back(std::int32_t(stage.size()));
        st.S.emplace_back(stage);
        ++st.num;
    }
    st.str.clear();
    st.str.shrink_to_fit();
    check_lengths(st);
    allocate_matrices(st);
}

void check_lengths(const analysis& st) {
    std::int64_t longest = 0, second = 0;
    for (std::int32_t len : st.length) {
        if (len > longest) second = longest, longest = len;
        else if (len > second) second = len;
    }
    if (st.length.size() > 1 && longest + second > max_count)
        throw run_error("Sequences too long: two of them hold " + std::to_string(longest + second) +
                        " bytes together, more than " + std::to_string(max_count));
}

std::string input_listing(const analysis& st) {
    std::string text = "\n\t\tINPUT DATA:\n\n";
    for (const name_field& name : st.data_name) {
        text.append(name.data(), name.size());
        text += '\n';
    }
    return text;
}

}  // namespace varnel
