#include "distance/matrix_file.h"

#include <cstdio>

#include "run/output.h"

namespace varnel {

void append_value(std::string& out, double value) {
    char text[400];  // "%f" of the largest double has 316 characters
    int n = std::snprintf(text, sizeof text, "%f ", value);
    out.append(text, std::size_t(n));
}

void wo(analysis& st) {
    const std::int32_t n = st.num;
    for (std::int32_t l = 0; l < n; ++l) st.dist(l, l) = 0.0;
    for (std::int32_t l = 0; l < n - 1; ++l)
        for (std::int32_t a = l + 1; a < n; ++a) st.dist(a, l) = st.dist(l, a);

    put(st, std::to_string(n));
    std::string row;
    for (std::int32_t r = 0; r < n; ++r) {
        row.assign(1, '\r');
        row.append(st.data_name[r].data(), st.data_name[r].size());
        for (std::int32_t c = 0; c < n; ++c) append_value(row, st.dist(r, c));
        put(st, row);
    }
}

}  // namespace varnel
