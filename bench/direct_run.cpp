// The complete run with the direct parse in place of the engine: the baseline
// the benchmark compares against. One thread, every position compared byte by byte.
#include <cstdio>
#include <cstring>
#include <string>

#include "../tests/lz_direct.h"
#include "run/output.h"
#include "run/run.h"

namespace {

void direct_pass(varnel::analysis& st) {
    using namespace varnel;
    create_output(st, "LZ_comp");
    put(st, std::to_string(st.num) + "\n");
    std::size_t longest = 0, second = 0;
    for (std::string_view s : st.S) {
        if (s.size() > longest) second = longest, longest = s.size();
        else if (s.size() > second) second = s.size();
    }
    std::string str(longest + second, '\0');
    auto* text = reinterpret_cast<unsigned char*>(str.data());
    for (std::int32_t l = 0; l < st.num; ++l) {
        const std::string name(st.data_name[l].data(), 10);
        std::fprintf(stderr, "\n\nCALCULATING COMPLEXITIES REGARDING %s", name.c_str());
        std::string line = name + "\t";
        const std::int32_t first = st.length[l];
        std::memcpy(text, st.S[l].data(), std::size_t(first));
        parse_state saved;
        lz_steps(text, 0, first, saved);
        st.ex_com[l] = saved.count;
        line += std::to_string(saved.count) + "\t";
        std::fputs(" .", stderr);
        for (std::int32_t e = 0; e < st.num; ++e) {
            if (e == l) continue;
            std::memcpy(text + first, st.S[e].data(), std::size_t(st.length[e]));
            parse_state s = saved;
            lz_steps(text, first, first + st.length[e], s);
            st.cr(l, e) = s.count;
            line += std::to_string(s.count) + "\t";
            std::fputc('.', stderr);
        }
        put(st, line + "\n");
        std::fputs("\n\n\n\n", stderr);
    }
    close_output(st);
}

}  // namespace

int main() { return varnel::run(true, direct_pass); }
