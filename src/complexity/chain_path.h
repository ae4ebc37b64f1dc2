// The chains path: a record's copies found through its windows chained by
// code; internal to the engine (see engine.h for the encodings).
#pragma once

#include <cstdint>
#include <span>

#include "complexity/engine.h"

namespace varnel::chain_path {

// The record's longest previous factors into lpf, its chains and (when kept)
// its heads and prefix bits; false, leaving r's chains null, once comparing
// along the chains would cost more than tuning::chain_budget. r.n, r.text,
// r.key and r.span are set.
bool index(record_index& r, std::int32_t* lpf, const alphabet& abc, workspace& work, arena& mem);

// Bytes of the heads and prefix bits a record of n symbols keeps, if any.
std::size_t kept_bytes(std::int32_t n, const alphabet& abc);

// The loaded record A's table: per window code A's last window, per shorter
// code how much of it A holds and which of its starts A ends with.
class row {
public:
    explicit row(workspace& work) : work_(work) {}
    void load(const record_index& a, const alphabet& abc);
    void resume(std::span<const record_index* const> bs, std::int32_t* counts) const;

    // What pair_parse.h asks of a row.
    std::uint32_t aim(const record_index& b, std::int32_t q) const;
    std::int32_t copy(const record_index& b, std::int32_t q, std::uint32_t code) const;
    std::int32_t open_copy(const record_index& b) const;

private:
    // How many symbols of the window code c A holds together (span if all),
    // which of its first d < span symbols A ends with (bit d - 1), and A's
    // head for code c.
    std::int32_t holds(std::uint32_t c, std::uint32_t& ends, std::int32_t& head) const;

    workspace& work_;
    const record_index* a_ = nullptr;
    const alphabet* abc_ = nullptr;
    divider window_;   // a key's first a.span symbols
    divider shorter_;  // a window code's first span - 1 symbols
    const std::int32_t* heads_ = nullptr;  // A's heads and prefix entries, its own or built in work_
    const std::uint32_t* prefixes_ = nullptr;
};

}  // namespace varnel::chain_path
