#include "complexity/report.h"

#include <charconv>
#include <cstdio>

#include "base/output.h"

namespace varnel {
namespace {

void append_count(std::string& line, std::int32_t count) {
    char digits[16];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, count).ptr);
    line += '\t';
}

}  // namespace

complexity_report::complexity_report(analysis& st) : st_(st), done_(std::size_t(st.num), 0) {
    create_output(st_, report_file);
    put(st_, std::to_string(st_.num) + "\n");
}

void complexity_report::row_done(std::int32_t l) {
    std::lock_guard<std::mutex> hold(lock_);
    done_[std::size_t(l)] = 1;
    for (; next_ < st_.num && done_[std::size_t(next_)]; ++next_) write(next_);
}

void complexity_report::close() { close_output(st_); }

void complexity_report::write(std::int32_t l) {
    const std::string_view name(st_.data_name[std::size_t(l)].data(), st_.data_name[std::size_t(l)].size());
    line_.assign(name);
    line_ += '\t';
    append_count(line_, st_.ex_com[std::size_t(l)]);
    for (std::int32_t e = 0; e < st_.num; ++e)
        if (e != l) append_count(line_, st_.cr(l, e));
    line_ += '\n';
    put(st_, line_);

    progress_ = "\n\nCALCULATING COMPLEXITIES REGARDING ";
    progress_.append(name);
    progress_ += " .";
    progress_.append(std::size_t(st_.num - 1), '.');
    progress_ += "\n\n\n\n";
    std::fwrite(progress_.data(), 1, progress_.size(), stderr);
}

}  // namespace varnel
