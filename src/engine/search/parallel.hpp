// Data-parallel building blocks over the worker pool, each giving exactly the
// result of a plain in-order loop: a filter whose pieces are joined in piece
// order, a first match that keeps one atomically lowered best position, and
// a sort of (key, item) pairs.
//
// Inputs below kInline items run on the calling thread without waking anyone
// (benchmarks/bench_search.cpp measures where splitting starts to pay).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "pool.hpp"

namespace brindel::parallel {

// Below this many items a job runs inline. Waking an idle pool costs some 50
// to 100 us before the workers help (far more at times on a busy machine),
// and a cell test 5 to 25 ns: on two processors a split scan of a sheet's
// cells measured slower below 32k cells, even at 64k and faster from 128k on
// (benchmarks/bench_search.cpp).
constexpr size_t kInline = 65536;
// The same for sheets: reading a sheet's name under its lock and comparing it
// costs 20 to 100 ns, a pattern search on it more.
constexpr size_t kInlineSheets = 4096;

struct Split {
    static constexpr size_t kMinPiece = 512;

    size_t pieces;
    size_t size;
    static Split of(size_t n) {
        // Several pieces per thread, so that a slow piece does not hold up
        // the others, but pieces large enough to amortise taking them.
        size_t threads = pool::thread_count();
        size_t want = threads * 8;
        size_t size = std::max<size_t>(kMinPiece, (n + want - 1) / want);
        return {(n + size - 1) / size, size};
    }
};

// Positions i in [0, n) with keep(i), ascending.
template <class Keep>
std::vector<size_t> filter(size_t n, Keep&& keep, size_t inline_below = kInline) {
    std::vector<size_t> out;
    if (n < inline_below || pool::thread_count() <= 1) {
        for (size_t i = 0; i < n; ++i)
            if (keep(i)) out.push_back(i);
        return out;
    }
    Split s = Split::of(n);
    std::vector<std::vector<size_t>> parts(s.pieces);
    pool::run(s.pieces, [&](size_t p) {
        size_t b = p * s.size, e = std::min(n, b + s.size);
        auto& part = parts[p];
        for (size_t i = b; i < e; ++i)
            if (keep(i)) part.push_back(i);
    });
    size_t total = 0;
    for (auto& part : parts) total += part.size();
    out.reserve(total);
    for (auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// The lowest position i in [0, n) with match(i).
template <class Match>
std::optional<size_t> first(size_t n, Match&& match, size_t inline_below = kInline) {
    if (n < inline_below || pool::thread_count() <= 1) {
        for (size_t i = 0; i < n; ++i)
            if (match(i)) return i;
        return std::nullopt;
    }
    Split s = Split::of(n);
    std::atomic<size_t> best{SIZE_MAX};
    pool::run(s.pieces, [&](size_t p) {
        size_t b = p * s.size, e = std::min(n, b + s.size);
        for (size_t i = b; i < e; ++i) {
            // A match found before this position already wins.
            if ((i & 255) == 0 && i > best.load(std::memory_order_relaxed)) return;
            if (match(i)) {
                size_t cur = best.load(std::memory_order_relaxed);
                while (i < cur && !best.compare_exchange_weak(cur, i, std::memory_order_relaxed)) {
                }
                return;
            }
        }
    });
    size_t r = best.load();
    if (r == SIZE_MAX) return std::nullopt;
    return r;
}

namespace detail {

// Stable least-significant-digit radix sort of a[0, n) by key, tmp holding n
// items of scratch. Digits in which no two keys differ are skipped, so the
// keys of a sheet (rows below a million, a few hundred columns) take three
// passes at most.
template <class P>
void radix_sort(P* a, P* tmp, size_t n) {
    constexpr unsigned kBits = 11;
    constexpr size_t kBuckets = size_t{1} << kBits;
    if (n < 256) {
        std::stable_sort(a, a + n, [](const P& x, const P& y) { return x.first < y.first; });
        return;
    }
    uint64_t differ = 0;
    for (size_t i = 1; i < n; ++i) differ |= a[i].first ^ a[0].first;
    P* src = a;
    P* dst = tmp;
    std::vector<size_t> at(kBuckets);
    for (unsigned shift = 0; shift < 64 && (differ >> shift) != 0; shift += kBits) {
        if (((differ >> shift) & (kBuckets - 1)) == 0) continue;
        std::fill(at.begin(), at.end(), 0);
        for (size_t i = 0; i < n; ++i) ++at[(src[i].first >> shift) & (kBuckets - 1)];
        size_t sum = 0;
        for (size_t& c : at) sum += std::exchange(c, sum);
        for (size_t i = 0; i < n; ++i) dst[at[(src[i].first >> shift) & (kBuckets - 1)]++] = src[i];
        std::swap(src, dst);
    }
    if (src != a) std::copy(src, src + n, a);
}

}  // namespace detail

// Sorts (key, item) pairs by key, stably; for a sheet the keys are unique, so
// the order is total. Runs are radix-sorted in parallel, then merged.
template <class T>
void sort_by_key(std::vector<std::pair<uint64_t, T>>& v) {
    auto less = [](const auto& a, const auto& b) { return a.first < b.first; };
    size_t n = v.size();
    if (n < 2) return;
    std::vector<std::pair<uint64_t, T>> tmp(n);
    if (n < kInline / 2 || pool::thread_count() <= 1) {
        detail::radix_sort(v.data(), tmp.data(), n);
        return;
    }
    size_t threads = pool::thread_count();
    // Sort runs in parallel, then merge them pairwise, the merges of one
    // round in parallel too.
    size_t runs = 1;
    while (runs < threads * 2) runs *= 2;
    size_t len = (n + runs - 1) / runs;
    pool::run(runs, [&](size_t r) {
        size_t b = std::min(n, r * len), e = std::min(n, b + len);
        detail::radix_sort(v.data() + b, tmp.data() + b, e - b);
    });
    auto* src = &v;
    auto* dst = &tmp;
    for (size_t width = len; width < n; width *= 2) {
        size_t merges = (n + 2 * width - 1) / (2 * width);
        pool::run(merges, [&](size_t m) {
            size_t b = m * 2 * width, mid = std::min(n, b + width), e = std::min(n, b + 2 * width);
            std::merge(src->begin() + static_cast<std::ptrdiff_t>(b), src->begin() + static_cast<std::ptrdiff_t>(mid),
                       src->begin() + static_cast<std::ptrdiff_t>(mid), src->begin() + static_cast<std::ptrdiff_t>(e),
                       dst->begin() + static_cast<std::ptrdiff_t>(b), less);
        });
        std::swap(src, dst);
    }
    if (src != &v) v.swap(*src);
}

}  // namespace brindel::parallel
