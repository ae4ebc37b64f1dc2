#include "reader_model.h"

#include <algorithm>
#include <cstdio>

namespace varnel {

model_input model(const std::string& in, bool fold) {
    model_input m;
    std::int64_t counted = 0, span = 0;
    for (char c : in) {
        if (c == '>') {
            ++counted;
            m.max_len = std::max(m.max_len, span);
            span = 0;
        }
        ++span;
    }
    auto kept = [](unsigned char c) { return c >= 32 && c <= 126; };
    std::size_t at = !in.empty() && in[0] == '>' ? 1 : 0;
    if (!in.empty() && in[0] != '>' && counted > 0) ++counted;  // text before the first '>': a record
    bool at_end = counted == 0;
    for (std::int64_t l = 0; l < counted && !at_end; ++l) {
        std::string name, seq;
        int c = 0;
        for (;;) {
            c = at < in.size() ? static_cast<unsigned char>(in[at++]) : EOF;
            if (c == EOF || c == '\n') break;
            if (!kept(c)) continue;
            name += char(c);
            if (name.size() == 10) {
                do c = at < in.size() ? static_cast<unsigned char>(in[at++]) : EOF;
                while (c != EOF && c != '\n');
                break;
            }
        }
        at_end = c == EOF;
        while (!at_end) {
            c = at < in.size() ? static_cast<unsigned char>(in[at++]) : EOF;
            if (c == EOF) at_end = true;
            else if (c == '>' && l != counted - 1) break;
            else if (kept(c)) seq += char(fold && c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        name.resize(10, ' ');
        m.names.push_back(name);
        m.seqs.push_back(seq);
    }
    return m;
}

}  // namespace varnel
