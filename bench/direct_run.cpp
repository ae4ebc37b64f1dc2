// The complete run with the direct parse in place of the engine: the baseline
// the benchmark compares against. One thread, every position compared byte by byte.
#include <cstring>
#include <string>
#include <string_view>

#include "../tests/lz_direct.h"
#include "run/run.h"

namespace {

void direct_pass(varnel::analysis& st, const varnel::row_sink& row_done) {
    using namespace varnel;
    std::size_t longest = 0, second = 0;
    for (std::string_view s : st.S) {
        if (s.size() > longest) second = longest, longest = s.size();
        else if (s.size() > second) second = s.size();
    }
    std::string str(longest + second, '\0');
    auto* text = reinterpret_cast<unsigned char*>(str.data());
    for (std::int32_t l = 0; l < st.num; ++l) {
        const std::int32_t first = st.length[l];
        std::memcpy(text, st.S[l].data(), std::size_t(first));
        parse_state saved;
        lz_steps(text, 0, first, saved);
        st.ex_com[l] = saved.count;
        for (std::int32_t e = 0; e < st.num; ++e) {
            if (e == l) continue;
            std::memcpy(text + first, st.S[e].data(), std::size_t(st.length[e]));
            parse_state s = saved;
            lz_steps(text, first, first + st.length[e], s);
            st.cr(l, e) = s.count;
        }
        row_done(l);
    }
}

}  // namespace

int main() { return varnel::run(true, direct_pass); }
