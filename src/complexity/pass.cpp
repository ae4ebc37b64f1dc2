#include "complexity/pass.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "complexity/lz_step.h"
#include "run/output.h"

namespace varnel {
namespace {

void append_count(std::string& line, std::int32_t count) {
    line += std::to_string(count);
    line += '\t';
}

}  // namespace

void complexity_pass(analysis& st) {
    create_output(st, "LZ_comp");
    put(st, std::to_string(st.num) + "\n");

    std::size_t longest = 0, second = 0;
    for (const std::string& s : st.S) {
        if (s.size() > longest) second = longest, longest = s.size();
        else if (s.size() > second) second = s.size();
    }
    std::string& str = st.str;
    str.assign(longest + second, '\0');  // room for every pair
    auto* text = reinterpret_cast<unsigned char*>(str.data());

    std::string line;
    for (std::int32_t l = 0; l < st.num; ++l) {
        const std::string_view name(st.data_name[l].data(), st.data_name[l].size());
        std::fputs("\n\nCALCULATING COMPLEXITIES REGARDING ", stderr);
        std::fwrite(name.data(), 1, name.size(), stderr);
        line.assign(name);
        line += '\t';

        const std::int32_t first = st.length[l];
        std::memcpy(text, st.S[l].data(), std::size_t(first));
        parse_state saved;
        lz_steps(text, 0, first, saved);
        st.ex_com[l] = saved.count;
        append_count(line, saved.count);
        std::fputs(" .", stderr);

        for (std::int32_t e = 0; e < st.num; ++e) {
            if (e == l) continue;
            std::memcpy(text + first, st.S[e].data(), std::size_t(st.length[e]));
            parse_state s = saved;
            lz_steps(text, first, first + st.length[e], s);
            st.cr(l, e) = s.count;
            append_count(line, s.count);
            std::fputc('.', stderr);
        }
        line += '\n';
        put(st, line);
        std::fputs("\n\n\n\n", stderr);
    }
    close_output(st);
}

}  // namespace varnel
