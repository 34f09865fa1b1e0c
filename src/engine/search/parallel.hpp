// Data-parallel building blocks over the worker pool, each giving exactly the
// result of a plain in-order loop: a filter whose pieces are joined in piece
// order, a first match that keeps one atomically lowered best position, and
// a sort of (key, item) pairs.
//
// Inputs below kInline items run on the calling thread: waking workers costs
// more than scanning a few thousand cells.
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

// Below this many items a job runs inline (measured: see the search tests'
// timing notes in the closing report; a scan of a few thousand cells takes
// less than waking a worker).
constexpr size_t kInline = 4096;

struct Split {
    size_t pieces;
    size_t size;
    static Split of(size_t n) {
        // Several pieces per thread, so that a slow piece does not hold up
        // the others, but pieces large enough to amortise taking them.
        size_t threads = pool::thread_count();
        size_t want = threads * 8;
        size_t size = std::max<size_t>(kInline / 2, (n + want - 1) / want);
        return {(n + size - 1) / size, size};
    }
};

// Positions i in [0, n) with keep(i), ascending.
template <class Keep>
std::vector<size_t> filter(size_t n, Keep&& keep) {
    std::vector<size_t> out;
    if (n < kInline || pool::thread_count() <= 1) {
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
std::optional<size_t> first(size_t n, Match&& match) {
    if (n < kInline || pool::thread_count() <= 1) {
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

// Sorts (key, item) pairs by key; keys are unique, so the order is total.
template <class T>
void sort_by_key(std::vector<std::pair<uint64_t, T>>& v) {
    auto less = [](const auto& a, const auto& b) { return a.first < b.first; };
    size_t n = v.size();
    size_t threads = pool::thread_count();
    if (n < 4 * kInline || threads <= 1) {
        std::sort(v.begin(), v.end(), less);
        return;
    }
    // Sort runs in parallel, then merge them pairwise, the merges of one
    // round in parallel too.
    size_t runs = 1;
    while (runs < threads * 2) runs *= 2;
    size_t len = (n + runs - 1) / runs;
    pool::run(runs, [&](size_t r) {
        size_t b = std::min(n, r * len), e = std::min(n, b + len);
        std::sort(v.begin() + static_cast<std::ptrdiff_t>(b), v.begin() + static_cast<std::ptrdiff_t>(e), less);
    });
    std::vector<std::pair<uint64_t, T>> tmp(n);
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
