// Many threads at once over shared records, built to run under
// ThreadSanitizer (scripts/tsan.sh).
//
// Searcher threads run every search over frozen snapshots (a list of cells, a
// sheet, copies of that sheet made while they run, a finder's sheets and
// sheets being renamed) and compare each result with the answer of a plain
// in-order scan made before any thread started. They also search a writable
// sheet under its read lock and compare with a plain scan made under the same
// hold of the lock. Meanwhile a value writer writes cells, styles, formulas
// and sheet names; a structure writer deletes rows and columns of the
// writable sheet and adds rows at its bottom; a copier copies it into new
// books (so its records are shared by two tables) and deletes rows and
// columns in the copies at the same time; an exporter writes the sheet's
// book as JSON. Afterwards the writable sheet must equal the structure
// writer's model of it, cell by cell.
//
// Every input holds more than 65,536 cells (5,000 sheets for the sheet
// selections), so the pool splits the work whenever it has two threads.
//
// Scale: 3 searcher threads x kRounds rounds; the value writer (at least
// kMinWrites writes), the structure writer (kMinReshapes to kMaxReshapes),
// the copier (at least kMinCopies) and the exporter (at least kMinExports)
// keep going until the searchers are done; the counts reached are printed.
// Under ThreadSanitizer on two processors the run takes well under a minute.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "book.hpp"
#include "finder.hpp"
#include "parallel.hpp"
#include "pool.hpp"
#include "search.hpp"
#include "sheet.hpp"
#include "unicode.hpp"

using namespace brindel;
using namespace brindel::search;

namespace {

constexpr int kSearchers = 3;
constexpr int kRounds = 2;
constexpr int kMinWrites = 200;
constexpr int kMinReshapes = 4;
constexpr int kMaxReshapes = 16;  // the sheet keeps more than 65,536 cells
constexpr int kMinCopies = 3;
constexpr int kMinExports = 2;

// The writable sheet starts as a full grid of kRows x kCols cells and loses
// one column a reshape. The structure writer deletes only beyond the top-left
// block of kBlockRows x kBlockCols, so that block never moves and the value
// writer writes there.
constexpr uint32_t kRows = 300;
constexpr uint16_t kCols = 240;
constexpr uint32_t kBlockRows = 40;
constexpr uint16_t kBlockCols = 20;

constexpr size_t kSheets = 5000;

const char* const kWords[] = {"alpha x", "beta",  " x ",   "x\t", "Total", "12",
                              "1.5",     "true",  "",      "gamma needle",
                              "start",   "end",   "X",     "start end"};

// Plain texts only (no number or truth value), so that the value text is the
// text written.
const char* const kTexts[] = {"alpha x", "beta", "Total", "gamma needle", "start", "end", "X", "x y"};

const char* const kNeedles[] = {"x", "needle", "", "Tot", "absent"};
const char* const kTrimmed[] = {"x", "Total", "  "};
const std::vector<uint32_t> kWantRows = {7, 3, 3, 99};
const std::vector<uint16_t> kWantCols = {2, 5, 5, 9};
const Rectangle kRect{30, 400, 2, 90};

// Every answer of the cell searches over one sequence.
struct Answers {
    std::vector<Positions> containing;
    std::vector<std::optional<size_t>> first_containing;
    std::vector<Positions> trimmed;
    std::vector<std::optional<size_t>> first_trimmed;
    std::optional<size_t> first_at_last, first_at_absent;
    Positions upto_col, upto_row, rows, cols, markers, between;
    std::vector<std::string> by_col_rows, by_row_cols;
    bool operator==(const Answers&) const = default;
};

// The answers of plain in-order loops, in one pass over the cells.
Answers by_scan(Sequence seq) {
    Answers a;
    a.containing.resize(std::size(kNeedles));
    a.first_containing.resize(std::size(kNeedles));
    a.trimmed.resize(std::size(kTrimmed));
    a.first_trimmed.resize(std::size(kTrimmed));
    std::vector<Coordinate> at(seq.size());
    Coordinate last = seq.empty() ? Coordinate{} : seq.back()->coordinate();
    bool open = false;
    for (size_t i = 0; i < seq.size(); ++i) {
        std::string text = seq[i]->value_text();
        Coordinate k = at[i] = seq[i]->coordinate();
        for (size_t n = 0; n < std::size(kNeedles); ++n) {
            if (text.find(kNeedles[n]) == std::string::npos) continue;
            a.containing[n].push_back(i);
            if (!a.first_containing[n]) a.first_containing[n] = i;
        }
        for (size_t n = 0; n < std::size(kTrimmed); ++n) {
            if (trim_white_space(text) != trim_white_space(kTrimmed[n])) continue;
            a.trimmed[n].push_back(i);
            if (!a.first_trimmed[n]) a.first_trimmed[n] = i;
        }
        if (!a.first_at_last && k == last) a.first_at_last = i;
        bool has_x = text.find('x') != std::string::npos;
        if (k.column <= 4 && has_x) a.upto_col.push_back(i);
        if (k.row <= 30 && has_x) a.upto_row.push_back(i);
        if (k.row >= 5 && k.row <= 20) a.rows.push_back(i);
        if (k.column >= 3 && k.column <= 7) a.cols.push_back(i);
        if (text.find(open ? "end" : "start") != std::string::npos) {
            open = !open;
            a.markers.push_back(i);
        }
        if (k.column == 2 && std::count(kWantRows.begin(), kWantRows.end(), k.row))
            a.by_col_rows.push_back(text);
        if (k.row == 7 && std::count(kWantCols.begin(), kWantCols.end(), k.column))
            a.by_row_cols.push_back(text);
    }
    if (!a.markers.empty()) {
        uint32_t lo = at[a.markers[0]].row;
        uint32_t hi = a.markers.size() > 1 ? at[a.markers[1]].row : UINT32_MAX;
        for (size_t i = 0; i < seq.size(); ++i)
            if (lo <= at[i].row && at[i].row <= hi) a.between.push_back(i);
    }
    return a;
}

// The same answers from the searches: all of them, or (for the writable
// sheet, whose cells each take a lock) one of each kind; see light().
Answers by_search(Sequence seq, bool full = true) {
    Answers a;
    a.containing.resize(std::size(kNeedles));
    a.first_containing.resize(std::size(kNeedles));
    a.trimmed.resize(std::size(kTrimmed));
    a.first_trimmed.resize(std::size(kTrimmed));
    for (size_t n = 0; n < std::size(kNeedles); ++n) {
        if (full || n == 0) a.containing[n] = all_containing(seq, kNeedles[n]);
        if (full || n == 1) a.first_containing[n] = first_containing(seq, kNeedles[n]);
    }
    for (size_t n = 0; n < std::size(kTrimmed); ++n) {
        if (full || n == 1) a.trimmed[n] = all_trimmed_equal(seq, kTrimmed[n]);
        if (full || n == 1) a.first_trimmed[n] = first_trimmed_equal(seq, kTrimmed[n]);
    }
    if (!seq.empty()) {
        Coordinate last = seq.back()->coordinate();
        a.first_at_last = first_at(seq, last.row, last.column);
    }
    a.upto_row = containing_up_to_row(seq, "x", 30);
    a.between = between(seq, "start", "end");
    a.by_col_rows = values_by_col_rows(seq, 2, kWantRows);
    if (!full) return a;
    a.first_at_absent = first_at(seq, 4000000000u, 1);
    a.upto_col = containing_up_to_column(seq, "x", 4);
    a.rows = rows_band(seq, 5, 20);
    a.cols = columns_band(seq, 3, 7);
    a.markers = markers(seq, "start", "end");
    a.by_row_cols = values_by_row_cols(seq, 7, kWantCols);
    return a;
}

// The answers that by_search(seq, false) gives.
Answers light(Answers a) {
    for (size_t n = 0; n < std::size(kNeedles); ++n) {
        if (n != 0) a.containing[n].clear();
        if (n != 1) a.first_containing[n].reset();
    }
    for (size_t n = 0; n < std::size(kTrimmed); ++n) {
        if (n != 1) a.trimmed[n].clear();
        if (n != 1) a.first_trimmed[n].reset();
    }
    a.first_at_absent.reset();
    a.upto_col.clear();
    a.rows.clear();
    a.cols.clear();
    a.markers.clear();
    a.by_row_cols.clear();
    return a;
}

std::vector<CellRecord*> rectangle_by_scan(Sequence seq, const Rectangle& r) {
    std::vector<CellRecord*> out;
    for (CellRecord* c : seq) {
        Coordinate k = c->coordinate();
        if (r.start_row <= k.row && k.row <= r.end_row && r.start_col <= k.column && k.column <= r.end_col)
            out.push_back(c);
    }
    return out;
}

// Every answer of the sheet selections.
struct SheetAnswers {
    std::optional<size_t> named, named_absent, matching;
    Positions with_short, with_long, without_long;
    bool operator==(const SheetAnswers&) const = default;
};

const std::vector<std::string> kShortNames = {"Sheet1", "Sheet12"};
std::vector<std::string> long_names() {
    std::vector<std::string> v;
    for (int i = 40; i < 60; ++i) v.push_back("Sheet" + std::to_string(i));
    return v;
}
constexpr const char* kNamePattern = "^Sheet4[0-9]$";

SheetAnswers sheets_by_scan(Sheets sheets) {
    SheetAnswers a;
    std::vector<std::string> lng = long_names();
    for (size_t i = 0; i < sheets.size(); ++i) {
        std::string n = sheets[i]->name();
        if (!a.named && n == "Sheet7") a.named = i;
        if (!a.matching && n.size() == 7 && n.compare(0, 6, "Sheet4") == 0 && n[6] >= '0' && n[6] <= '9')
            a.matching = i;
        if (std::count(kShortNames.begin(), kShortNames.end(), n)) a.with_short.push_back(i);
        if (std::count(lng.begin(), lng.end(), n))
            a.with_long.push_back(i);
        else
            a.without_long.push_back(i);
    }
    return a;
}

SheetAnswers sheets_by_search(Sheets sheets, const Regex& re) {
    SheetAnswers a;
    std::vector<std::string> lng = long_names();
    a.named = first_sheet_named(sheets, "Sheet7");
    a.named_absent = first_sheet_named(sheets, "Sheet");
    a.matching = first_sheet_matching(sheets, re);
    a.with_short = sheets_with_names(sheets, kShortNames);
    a.with_long = sheets_with_names(sheets, lng);
    a.without_long = sheets_without_names(sheets, lng);
    return a;
}

void put(SheetRecord& s, uint32_t row, uint16_t col, std::string_view text) { s.cell(row, col, &text); }

Ref<CellRecord> snapshot_cell(uint32_t row, uint16_t col, std::string_view text) {
    return CellRecord::create_snapshot(Coordinate{row, col}, text_to_value(text), std::nullopt, "s",
                                       std::nullopt);
}

// The writers pause now and then, leaving the processors to the searchers.
void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Failures seen on any thread, reported by the main thread.
struct Failures {
    std::mutex mu;
    std::vector<std::string> seen;
    void add(std::string what) {
        std::lock_guard<std::mutex> g(mu);
        if (seen.size() < 20) seen.push_back(std::move(what));
    }
};

// The text the structure writer gives to the cell it makes as number id.
std::string made_text(uint64_t id) {
    return std::string(kTexts[id % std::size(kTexts)]) + " #" + std::to_string(id);
}

// Row-major keys of a sheet, and whether each record sits under its own key.
std::vector<uint64_t> keys_checked(const SheetRecord& s, Failures& f, const char* who) {
    std::vector<uint64_t> keys;
    for (const Ref<CellRecord>& r : s.cells()) {
        Coordinate c = r->coordinate();
        keys.push_back(pack_key(c));
        if (s.find_cell(c.row, c.column).get() != r.get())
            f.add(std::string(who) + ": a record is not under its own position");
    }
    if (keys.size() != s.cell_count()) f.add(std::string(who) + ": listing and count differ");
    return keys;
}

std::vector<uint64_t> grid_keys(uint32_t rows, uint16_t cols) {
    std::vector<uint64_t> keys;
    for (uint32_t r = 1; r <= rows; ++r)
        for (uint16_t c = 1; c <= cols; ++c) keys.push_back(pack_key(r, c));
    return keys;
}

}  // namespace

TEST(Stress, SearchesWritesCopiesAndExportsAtOnce) {
    std::printf("pool threads: %zu\n", pool::thread_count());

    // Frozen inputs and their answers, made before any thread starts.
    std::mt19937 rng(2024);
    std::vector<Ref<CellRecord>> list_owned;
    std::vector<CellRecord*> list;
    const size_t list_n = 70000;
    for (size_t i = 0; i < list_n; ++i) {
        uint32_t row = static_cast<uint32_t>(rng() % (list_n / 4 + 10));
        uint16_t col = static_cast<uint16_t>(rng() % 40);
        list_owned.push_back(snapshot_cell(row, col, kWords[rng() % std::size(kWords)]));
        list.push_back(list_owned.back().get());
    }
    ASSERT_GT(list.size(), parallel::kInline);
    const Answers list_answers = by_scan(Sequence(list));

    Ref<SheetRecord> frozen = make_ref<SheetRecord>("Frozen", "visible");
    frozen->reserve_cells_unshared(size_t{440} * 160);
    for (uint32_t r = 1; r <= 440; ++r)
        for (uint16_t c = 1; c <= 160; ++c)
            frozen->put_cell_unshared(snapshot_cell(r, c, kWords[(r * 31 + c * 7) % std::size(kWords)]));
    Answers frozen_answers;
    std::vector<CellRecord*> frozen_rect;
    {
        SharedLock g(frozen->lock());
        frozen_answers = by_scan(row_major(*frozen));
        frozen_rect = rectangle_by_scan(row_major(*frozen), kRect);
    }
    ASSERT_GT(frozen->cell_count(), parallel::kInline);
    ASSERT_GT(frozen_rect.size(), parallel::kInline / 2);  // the rectangle's sort is split too

    std::vector<Ref<SheetRecord>> finder_sheets, renamed;
    for (size_t i = 0; i < kSheets; ++i) {
        std::string name = "Sheet" + std::to_string(i % 97);
        finder_sheets.push_back(make_ref<SheetRecord>(name, "visible"));
        renamed.push_back(make_ref<SheetRecord>(name, "visible"));
    }
    Ref<FinderRecord> finder = make_ref<FinderRecord>(finder_sheets);
    std::vector<SheetRecord*> renamed_raw;
    for (auto& s : renamed) renamed_raw.push_back(s.get());
    const SheetAnswers sheet_answers = sheets_by_scan(finder->raw_unlocked());
    ASSERT_EQ(sheets_by_scan(Sheets(renamed_raw)), sheet_answers);
    auto compiled = Regex::compile(kNamePattern);
    ASSERT_TRUE(compiled.ok());
    const Regex& re = compiled.value();

    // The writable sheet, in a book of its own, and the structure writer's
    // model of it: the text of every cell, row by row.
    Ref<BookRecord> book = make_ref<BookRecord>();
    Ref<SheetRecord> w = book->add_sheet("Work", "visible");
    w->reserve_cells_unshared(size_t{kRows} * kCols);
    uint64_t next_id = 0;
    std::vector<std::vector<std::string>> model(kRows);
    for (uint32_t r = 1; r <= kRows; ++r)
        for (uint16_t c = 1; c <= kCols; ++c) {
            std::string t = made_text(next_id++);
            put(*w, r, c, t);
            model[r - 1].push_back(t);
        }
    // The block's texts as the value writer leaves them.
    std::map<std::pair<uint32_t, uint16_t>, std::string> block;

    Failures fail;
    std::atomic<int> searchers_left{kSearchers};
    auto searching = [&] { return searchers_left.load() > 0; };

    // Copies of the frozen sheet made while the searchers run: each is sorted
    // on its first search, by whichever searcher comes first.
    std::mutex published_mu;
    Ref<SheetRecord> published = frozen->copy();
    auto current_copy = [&] {
        std::lock_guard<std::mutex> g(published_mu);
        return published;
    };

    std::atomic<uint64_t> writable_checks{0};
    auto searcher = [&] {
        for (int round = 0; round < kRounds; ++round) {
            if (by_search(Sequence(list)) != list_answers) fail.add("cell list search differs");
            {
                Ref<SheetRecord> copy = current_copy();
                SharedLock g(copy->lock());
                Sequence seq = row_major(*copy);
                if (by_search(seq) != frozen_answers) fail.add("frozen copy search differs");
                if (cells_in_rectangle(*copy, kRect) != rectangle_by_scan(seq, kRect))
                    fail.add("frozen copy rectangle differs");
                // Shared records: the very records of the frozen sheet.
                if (rectangle_by_scan(seq, kRect) != frozen_rect) fail.add("frozen copy holds other records");
            }
            if (sheets_by_search(finder->raw_unlocked(), re) != sheet_answers)
                fail.add("finder selection differs");
            if (sheets_by_search(Sheets(renamed_raw), re) != sheet_answers)
                fail.add("selection over renamed sheets differs");
            {
                SharedLock g(w->lock());
                Sequence seq = row_major(*w);
                for (size_t i = 1; i < seq.size(); ++i)
                    if (seq[i - 1]->key_unlocked() >= seq[i]->key_unlocked()) {
                        fail.add("writable sheet out of row-major order");
                        break;
                    }
                if (seq.size() <= parallel::kInline) fail.add("writable sheet too small to split");
                if (by_search(seq, false) != light(by_scan(seq))) fail.add("writable sheet search differs");
                if (cells_in_rectangle(*w, kRect) != rectangle_by_scan(seq, kRect))
                    fail.add("writable sheet rectangle differs");
                writable_checks++;
            }
        }
        searchers_left--;
    };

    std::atomic<int> writes{0}, reshapes{0}, copies{0}, exports{0};

    // Cells of the block through the sheet (under its lock), fields that
    // leave the value text alone straight on records anywhere in the sheet,
    // and the names and states of the renamed sheets.
    auto value_writer = [&] {
        std::mt19937 r(11);
        int i = 0;
        for (; i < kMinWrites || searching(); ++i) {
            uint32_t row = 1 + r() % kBlockRows;
            uint16_t col = static_cast<uint16_t>(1 + r() % kBlockCols);
            std::string t = std::string(kTexts[r() % std::size(kTexts)]) + " v" + std::to_string(i);
            put(*w, row, col, t);
            block[{row, col}] = t;
            if (Ref<CellRecord> rec = w->find_cell(1 + r() % kRows, static_cast<uint16_t>(1 + r() % kCols))) {
                switch (i % 3) {
                    case 0: rec->set_style("s" + std::to_string(i % 7)); break;
                    case 1: rec->set_hidden_value("h"); break;
                    case 2: rec->set_formula("=A1"); break;
                }
            }
            SheetRecord& s = *renamed[r() % renamed.size()];
            s.set_name(s.name());
            s.set_state(i % 2 ? "hidden" : "visible");
            if (i % 8 == 0) pause(2);
        }
        writes = i;
    };

    // Deletes a row beyond the block and adds one at the bottom, then deletes
    // a column beyond the block, keeping the model in step.
    auto structure_writer = [&] {
        std::mt19937 r(12);
        int i = 0;
        for (; i < kMaxReshapes && (i < kMinReshapes || searching()); ++i) {
            uint32_t rows = static_cast<uint32_t>(model.size());
            uint16_t cols = static_cast<uint16_t>(model[0].size());
            uint32_t dr = kBlockRows + 1 + r() % (rows - kBlockRows);
            w->delete_rows(dr, 1);
            model.erase(model.begin() + (dr - 1));
            std::vector<std::string> fresh;
            for (uint16_t c = 1; c <= cols; ++c) {
                std::string t = made_text(next_id++);
                put(*w, rows, c, t);
                fresh.push_back(t);
            }
            model.push_back(std::move(fresh));

            uint16_t dc = static_cast<uint16_t>(kBlockCols + 1 + r() % (cols - kBlockCols));
            w->delete_columns(dc, 1);
            for (auto& line : model) line.erase(line.begin() + (dc - 1));
            pause(20);
        }
        reshapes = i;
    };

    // Copies the writable sheet into a new book, deletes a row and a column
    // of the copy while the structure writer deletes in the original, and
    // checks the copy against what it held when made; also publishes new
    // copies of the frozen sheet and writes the copy's book as JSON.
    auto copier = [&] {
        std::mt19937 r(13);
        int i = 0;
        for (; i < kMinCopies || searching(); ++i) {
            {
                Ref<SheetRecord> fresh = frozen->copy();
                std::lock_guard<std::mutex> g(published_mu);
                published = std::move(fresh);
            }
            Ref<BookRecord> b = make_ref<BookRecord>();
            Ref<SheetRecord> c = b->copy_sheet(*w);
            // Made while the structure writer works: a grid, perhaps with
            // its bottom row partly filled.
            std::vector<uint64_t> keys = keys_checked(*c, fail, "copy");
            uint32_t rows = c->max_row();
            uint16_t cols = c->max_column();
            // Texts outside the block are never written in place.
            std::map<uint64_t, std::string> texts;
            for (const Ref<CellRecord>& rec : c->cells()) {
                Coordinate k = rec->coordinate();
                if (k.row > kBlockRows || k.column > kBlockCols) texts[pack_key(k)] = rec->value_text();
            }
            uint32_t dr = kBlockRows + 1 + r() % (rows - kBlockRows);
            uint16_t dc = static_cast<uint16_t>(kBlockCols + 1 + r() % (cols - kBlockCols));
            c->delete_rows(dr, 1);
            c->delete_columns(dc, 1);
            std::vector<uint64_t> want;
            for (uint64_t k : keys) {
                uint32_t row = static_cast<uint32_t>(k >> 16);
                uint16_t col = static_cast<uint16_t>(k & 0xFFFF);
                if (row == dr || col == dc) continue;
                want.push_back(pack_key(row > dr ? row - 1 : row, static_cast<uint16_t>(col > dc ? col - 1 : col)));
            }
            if (keys_checked(*c, fail, "copy after deletion") != want)
                fail.add("copy after deletion holds other positions");
            for (const Ref<CellRecord>& rec : c->cells()) {
                Coordinate k = rec->coordinate();
                if (k.row <= kBlockRows && k.column <= kBlockCols) continue;
                uint32_t was_row = k.row >= dr ? k.row + 1 : k.row;
                uint16_t was_col = static_cast<uint16_t>(k.column >= dc ? k.column + 1 : k.column);
                auto it = texts.find(pack_key(was_row, was_col));
                if (it == texts.end() || it->second != rec->value_text()) {
                    fail.add("copy lost a cell's text");
                    break;
                }
            }
            if (i % 4 == 0 && !b->to_json().ok()) fail.add("copy's book export failed");
            pause(20);
        }
        copies = i;
    };

    auto exporter = [&] {
        int i = 0;
        for (; i < kMinExports || searching(); ++i) {
            Result<std::string> doc = book->to_json();
            if (!doc.ok() || doc.value().rfind("{\"sheets\":[{\"name\":\"Work\"", 0) != 0)
                fail.add("export failed");
            if (w->max_row() < kBlockRows || w->max_column() < kBlockCols) fail.add("sheet shrank");
            pause(200);
        }
        exports = i;
    };

    auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int id = 0; id < kSearchers; ++id) threads.emplace_back(searcher);
    threads.emplace_back(value_writer);
    threads.emplace_back(structure_writer);
    threads.emplace_back(copier);
    threads.emplace_back(exporter);
    for (auto& t : threads) t.join();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%d searchers x %d rounds (%llu writable checks); %d writes, %d reshapes, %d copies, "
                "%d exports in %.1f s\n",
                kSearchers, kRounds, static_cast<unsigned long long>(writable_checks.load()),
                writes.load(), reshapes.load(), copies.load(), exports.load(), secs);

    // The writable sheet against the model, sequentially.
    std::vector<uint64_t> keys = keys_checked(*w, fail, "writable sheet");
    uint32_t rows = static_cast<uint32_t>(model.size());
    uint16_t cols = static_cast<uint16_t>(model[0].size());
    EXPECT_EQ(rows, kRows);
    EXPECT_EQ(cols, kCols - reshapes.load());
    EXPECT_EQ(w->cell_count(), size_t{rows} * cols);
    EXPECT_TRUE(keys == grid_keys(rows, cols));
    size_t wrong = 0;
    for (uint32_t r = 1; r <= rows; ++r)
        for (uint16_t c = 1; c <= cols; ++c) {
            if (r <= kBlockRows && c <= kBlockCols) continue;
            if (w->value_text_at(r, c) != model[r - 1][c - 1]) ++wrong;
        }
    EXPECT_EQ(wrong, 0u) << "cells whose text is not the model's";
    for (const auto& [at, text] : block) EXPECT_EQ(w->value_text_at(at.first, at.second), text);
    for (const std::string& f : fail.seen) ADD_FAILURE() << f;
}
