#include "input/reader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <span>

#include "base/failure.h"
#include "input/input_file.h"

namespace varnel {
namespace {

constexpr std::int64_t max_count = std::numeric_limits<std::int32_t>::max();

bool kept(int c) { return c >= 32 && c <= 126; }

// The input a block at a time; a read error ends the run.
class input_blocks {
public:
    explicit input_blocks(std::FILE* f) : f_(f), block_(new unsigned char[size]) {}
    // The bytes not taken yet, reading more when none are left; none at the end.
    std::span<const unsigned char> rest() {
        if (at_ == end_) fill();
        return {at_, end_};
    }
    void take(std::size_t n) { at_ += n; }
    // One byte, or EOF at the end.
    int next() {
        if (at_ == end_ && !fill()) return EOF;
        return *at_++;
    }
    void unget() { --at_; }  // the byte next() just gave

private:
    static constexpr std::size_t size = std::size_t(1) << 14;
    bool fill() {
        const std::size_t got = std::fread(block_.get(), 1, size, f_);
        if (got < size && std::ferror(f_)) fail_io("read", "input_file", errno);
        at_ = block_.get();
        end_ = at_ + got;
        return got > 0;
    }
    std::FILE* f_;
    std::unique_ptr<unsigned char[]> block_;
    const unsigned char* at_ = nullptr;
    const unsigned char* end_ = nullptr;
};

const unsigned char* find(const unsigned char* from, const unsigned char* end, unsigned char c) {
    const void* hit = std::memchr(from, c, std::size_t(end - from));
    return hit ? static_cast<const unsigned char*>(hit) : end;
}

// Copies the kept bytes of [from, to) to `out`, letters a-z in upper case when
// folding, and gives how many. A line at a time: a sequence line is all kept
// bytes, which are checked and copied without a test per byte.
std::size_t copy_kept(const unsigned char* from, const unsigned char* to, char* out, bool fold) {
    const unsigned fold_bit = fold ? 'a' - 'A' : 0;
    auto folded = [fold_bit](unsigned char b) { return char(b - (unsigned(b - 'a') < 26 ? fold_bit : 0)); };
    std::size_t k = 0;
    for (const unsigned char* q = from; q < to;) {
        const unsigned char* end = find(q, to, '\n');
        const std::size_t n = std::size_t(end - q);
        unsigned dropped = 0;
        for (std::size_t i = 0; i < n; ++i) dropped |= unsigned(q[i] - 32) > 126 - 32;  // not kept
        if (dropped == 0) {
            for (std::size_t i = 0; i < n; ++i) out[k + i] = folded(q[i]);
            k += n;
        } else {
            for (std::size_t i = 0; i < n; ++i) {  // every byte written, the kept ones counted
                out[k] = folded(q[i]);
                k += kept(q[i]);
            }
        }
        q = end + (end < to);  // and the line end, which is not kept
    }
    return k;
}

}  // namespace

void get_info(analysis& st) {
    input_blocks in(st.fi);
    // span: the bytes since the last '>', that one included (a record's span), or since the start
    std::int64_t records = 0, max_len = 0, span = 0;
    for (std::span<const unsigned char> r; !(r = in.rest()).empty(); in.take(r.size())) {
        const unsigned char* end = r.data() + r.size();
        for (const unsigned char* p = r.data();;) {
            const unsigned char* opener = find(p, end, '>');
            span += opener - p;
            if (opener == end) break;
            ++records;
            if (span > max_len) max_len = span;
            span = 1;
            p = opener + 1;
        }
    }
    if (records > max_count) throw run_error("Too many records in input_file: " + std::to_string(records));
    st.num = std::int32_t(records);
    st.max_len = max_len;
}

void getinput(analysis& st, bool fold) {
    input_blocks in(st.fi);
    std::int64_t counted = st.num;
    int c = in.next();
    if (c != '>' && c != EOF) {  // no opener: the first line is a header line
        in.unget();
        counted += counted > 0;  // of a record of its own, which the first pass did not count
    }
    if (counted > max_count) throw run_error("Too many records in input_file: " + std::to_string(counted));

    byte_store& store = st.str;  // every sequence, back to back
    store.clear();
    // room for the whole file, which is mostly sequence, so the store need not grow
    if (file_identity id; identity_of(st.fi, id) && id.size <= std::numeric_limits<std::size_t>::max())
        store.reserve(std::size_t(id.size));
    st.num = 0;
    st.data_name.clear();
    st.length.clear();
    st.S.clear();
    bool at_end = counted == 0;
    for (std::int64_t l = 0; l < counted && !at_end; ++l) {
        const bool last = l == counted - 1;
        name_field name;
        name.fill(' ');
        for (std::size_t n = 0;;) {  // header line: the first ten kept bytes
            c = in.next();
            if (c == EOF || c == '\n') break;
            if (!kept(c)) continue;
            name[n++] = char(c);
            if (n == name.size()) {
                do c = in.next();
                while (c != EOF && c != '\n');
                break;
            }
        }
        at_end = c == EOF;
        std::int64_t count = 0;  // bytes of the sequence so far
        while (!at_end) {  // sequence text: up to the next '>', or the end for the last record
            const std::span<const unsigned char> r = in.rest();
            if (r.empty()) {
                at_end = true;
                break;
            }
            const unsigned char* p = r.data();
            const unsigned char* stop = last ? p + r.size() : find(p, p + r.size(), '>');
            const std::size_t k = copy_kept(p, stop, store.room(std::size_t(stop - p)), fold);
            store.grow(k);
            count += std::int64_t(k);
            in.take(std::size_t(stop - p));
            if (stop < p + r.size()) {
                in.take(1);  // the '>' that opens the next record
                break;
            }
        }
        if (count > max_count)
            throw run_error("Sequence of record " + std::to_string(l + 1) + " is longer than " +
                            std::to_string(max_count) + " bytes");
        st.data_name.push_back(name);
        st.length.push_back(std::int32_t(count));
        ++st.num;
    }
    // the store has stopped moving: each record's sequence follows the one before
    for (std::size_t l = 0, at = 0; l < st.length.size(); at += std::size_t(st.length[l++]))
        st.S.emplace_back(store.data() + at, std::size_t(st.length[l]));
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
