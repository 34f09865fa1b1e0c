// Measurements for the searches: the size below which a scan stays on the
// calling thread, and cells per second of the substring searches over a
// snapshot of a million cells.
//
// Not part of the build. From the repository root, after configuring a build
// directory B:
//   g++ -O2 -std=c++20 -Isrc/engine -Isrc/engine/search benchmarks/bench_search.cpp
//       B/libbrindel_engine.a -lpcre2-8 -lpthread -o /tmp/bench_search
//   BRINDEL_MAX_WORKERS=1 /tmp/bench_search; BRINDEL_MAX_WORKERS=2 /tmp/bench_search
// Arguments: the number of cells (1000000), and "cold" to evict the caches
// before every run of the crossover table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "literal.hpp"
#include "parallel.hpp"
#include "pool.hpp"
#include "search.hpp"

using namespace brindel;
using Clock = std::chrono::steady_clock;

namespace {

double elapsed_ns(Clock::time_point t0) {
    return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

template <class F>
double median_ns(int reps, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        auto t0 = Clock::now();
        f();
        t.push_back(elapsed_ns(t0));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

bool g_cold = false;

// Keeps this thread busy for a while, so the pool's threads go to sleep as
// they do between the searches of a report; optionally also pushes the cells
// out of the caches, as other work between two searches does.
void idle_pool(int us) {
    if (g_cold) {
        static std::vector<char> junk(64 << 20);
        static char fill = 0;
        std::memset(junk.data(), ++fill, junk.size());
    }
    auto until = Clock::now() + std::chrono::microseconds(us);
    while (Clock::now() < until) {
    }
}

// A snapshot sheet of n cells, 100 columns a row, built in row order as the
// snapshot conversion does. With by_column, each column holds one kind of
// value, as tables do: short texts, texts longer than a value slot, integers,
// numbers. Otherwise the kind of every cell is drawn at random.
Ref<SheetRecord> make_sheet(size_t n, bool by_column) {
    Ref<SheetRecord> sheet = make_ref<SheetRecord>("S", "visible");
    sheet->reserve_cells_unshared(n);
    std::mt19937 rng(7);
    char buf[64];
    for (size_t i = 0; i < n; ++i) {
        uint32_t row = static_cast<uint32_t>(i / 100 + 1);
        uint16_t col = static_cast<uint16_t>(i % 100 + 1);
        ValueView v;
        switch (by_column ? col % 4 : rng() % 4) {
            case 0: {
                int len = std::snprintf(buf, sizeof buf, "Item %u", unsigned(rng() % 100000));
                v = ValueView::of_text(std::string_view(buf, static_cast<size_t>(len)));
                break;
            }
            case 1: {
                int len = std::snprintf(buf, sizeof buf, "Customer account %u", unsigned(rng() % 1000));
                v = ValueView::of_text(std::string_view(buf, static_cast<size_t>(len)));
                break;
            }
            case 2:
                v.kind = ValueKind::Integer;
                v.integer = static_cast<int32_t>(rng() % 1000000);
                break;
            default:
                v.kind = ValueKind::Number;
                v.number = static_cast<double>(rng() % 100000) / 100.0;
                break;
        }
        if (i == n * 99 / 100) v = ValueView::of_text("needle here");
        sheet->put_cell_unshared(CellRecord::create_snapshot(
            Coordinate{row, col}, v, std::nullopt, v.kind == ValueKind::Text ? "s" : "n", std::nullopt));
    }
    return sheet;
}

// One cell test of the substring searches.
bool contains(const CellRecord* r, const search::Literal& lit) {
    char buf[kValueTextBuffer];
    bool hit = false;
    r->with_fields([&](const ValueView& v, const std::string*, std::string_view, const std::string*,
                       const std::string*) { hit = lit.matches_value(v, buf); });
    return hit;
}

// Where splitting starts to pay: the same scan of the first m cells, on the
// calling thread alone and split over the pool, each after an idle pause.
void crossover(search::Sequence seq, const char* needle) {
    search::Literal lit(needle);
    std::printf("crossover (\"%s\", median of 41, pool idle%s before each run; inline below %zu)\n",
                needle, g_cold ? " and caches cold" : "", parallel::kInline);
    std::printf("%9s %11s %11s\n", "cells", "inline us", "split us");
    for (size_t m = 1024; m <= seq.size(); m *= 2) {
        std::vector<double> ti, ts;
        for (int rep = 0; rep < 41; ++rep) {
            idle_pool(2000);
            auto t0 = Clock::now();
            size_t hits = 0;
            for (size_t i = 0; i < m; ++i) hits += contains(seq[i], lit);
            ti.push_back(elapsed_ns(t0));
            idle_pool(2000);
            parallel::Split s = parallel::Split::of(m);
            std::vector<size_t> part(s.pieces);
            t0 = Clock::now();
            pool::run(s.pieces, [&](size_t p) {
                size_t b = p * s.size, e = std::min(m, b + s.size), h = 0;
                for (size_t i = b; i < e; ++i) h += contains(seq[i], lit);
                part[p] = h;
            });
            ts.push_back(elapsed_ns(t0));
            // Both scans must count the same cells, or the compiler could
            // drop the work of the one whose result is unused.
            size_t split_hits = 0;
            for (size_t h : part) split_hits += h;
            if (hits != split_hits) std::printf("scans disagree at %zu cells\n", m);
        }
        std::sort(ti.begin(), ti.end());
        std::sort(ts.begin(), ts.end());
        std::printf("%9zu %11.1f %11.1f\n", m, ti[20] / 1e3, ts[20] / 1e3);
    }
}

void per_cell(const char* label, search::Sequence seq) {
    size_t n = seq.size();
    for (int i = 0; i < 3; ++i) (void)search::all_containing(seq, "needle");
    double all = median_ns(21, [&] { (void)search::all_containing(seq, "needle"); });
    double first = median_ns(21, [&] { (void)search::first_containing(seq, "needle"); });
    double digits = median_ns(21, [&] { (void)search::all_containing(seq, "4711"); });
    double eq = median_ns(21, [&] { (void)search::all_trimmed_equal(seq, "needle here"); });
    double band = median_ns(21, [&] { (void)search::rows_band(seq, 100, 200); });
    std::printf("%s, %zu cells, ns per cell (million cells per second):\n", label, n);
    std::printf("  all_containing \"needle\"        %6.2f (%4.0f)\n", all / n, n / all * 1e3);
    std::printf("  first_containing at 99%%        %6.2f (%4.0f)\n", first / n, n / first * 1e3);
    std::printf("  all_containing \"4711\"          %6.2f (%4.0f)\n", digits / n, n / digits * 1e3);
    std::printf("  all_trimmed_equal              %6.2f (%4.0f)\n", eq / n, n / eq * 1e3);
    std::printf("  rows_band                      %6.2f (%4.0f)\n", band / n, n / band * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    size_t n = argc > 1 ? std::stoul(argv[1]) : 1000000;
    g_cold = argc > 2 && std::string(argv[2]) == "cold";
    std::printf("participants: %zu\n", pool::thread_count());

    Ref<SheetRecord> table = make_sheet(n, true);
    Ref<SheetRecord> mixed = make_sheet(n, false);
    SharedLock g1(table->lock()), g2(mixed->lock());

    auto t0 = Clock::now();
    search::Sequence seq = search::row_major(*table);
    std::printf("row-major order of %zu cells, first use: %.1f ms\n", n, elapsed_ns(t0) / 1e6);

    {
        idle_pool(1000);
        double empty = median_ns(2001, [] { pool::run(2, [](size_t) {}); });
        std::printf("job of two empty pieces, back to back: median %.1f us\n", empty / 1e3);
    }
    crossover(seq, "needle");
    per_cell("table", seq);
    per_cell("random kinds", search::row_major(*mixed));
    return 0;
}
