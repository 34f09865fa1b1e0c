#include "cell_table.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <random>
#include <utility>

namespace brindel {

namespace {

uint64_t mix(uint64_t x) noexcept {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

uint64_t next_seed() noexcept {
    static const uint64_t process_seed = [] {
        uint64_t s = static_cast<uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device rd;
            s ^= (static_cast<uint64_t>(rd()) << 32) ^ rd();
        } catch (...) {
            // no entropy source: the clock alone still varies per process
        }
        return s;
    }();
    static std::atomic<uint64_t> counter{0};
    return mix(process_seed + 0x9e3779b97f4a7c15ULL * ++counter);
}

constexpr uint64_t kLsb = 0x0101010101010101ULL;
constexpr uint64_t kMsb = 0x8080808080808080ULL;

uint64_t load_group(const uint8_t* p) noexcept {
    uint64_t g;
    std::memcpy(&g, p, sizeof g);
    return g;
}

// Bytes of g equal to b (may report extra bytes above a true match; callers
// verify).
uint64_t match_byte(uint64_t g, uint8_t b) noexcept {
    uint64_t x = g ^ (kLsb * b);
    return (x - kLsb) & ~x & kMsb;
}

}  // namespace

CellTable::CellTable() : seed_(next_seed()) {}

CellTable::~CellTable() { clear(); }

uint64_t CellTable::hash(uint64_t key) const noexcept { return mix(key ^ seed_); }

size_t CellTable::find_index(uint64_t key) const noexcept {
    if (size_ == 0) return kNone;
    uint64_t h = hash(key);
    uint8_t h2 = static_cast<uint8_t>(h & 0x7F);
    size_t mask = cap_ - 1;
    size_t pos = static_cast<size_t>(h >> 7) & mask;
    // The slot pointers of the first group lie on another cache line than
    // the control bytes: fetch both at once.
    __builtin_prefetch(slots_ + pos);
    for (size_t step = kGroup;; step += kGroup) {
        uint64_t g = load_group(ctrl_ + pos);
        for (uint64_t m = match_byte(g, h2); m; m &= m - 1) {
            size_t i = (pos + static_cast<size_t>(__builtin_ctzll(m) >> 3)) & mask;
            if (slots_[i]->key_unlocked() == key) return i;
        }
        if (g & kMsb) return kNone;  // an empty slot ends the probe
        pos = (pos + step) & mask;
    }
}

CellRecord* CellTable::find(uint64_t key) const noexcept {
    size_t i = find_index(key);
    return i == kNone ? nullptr : slots_[i];
}

void CellTable::place(CellRecord* rec, uint64_t h) noexcept {
    size_t mask = cap_ - 1;
    size_t pos = static_cast<size_t>(h >> 7) & mask;
    for (size_t step = kGroup;; step += kGroup) {
        uint64_t empties = load_group(ctrl_ + pos) & kMsb;
        if (empties) {
            size_t i = (pos + static_cast<size_t>(__builtin_ctzll(empties) >> 3)) & mask;
            uint8_t h2 = static_cast<uint8_t>(h & 0x7F);
            ctrl_[i] = h2;
            if (i < kGroup) ctrl_[cap_ + i] = h2;
            slots_[i] = rec;
            return;
        }
        pos = (pos + step) & mask;
    }
}

void CellTable::rehash(size_t new_cap) {
    auto* ctrl = static_cast<uint8_t*>(::operator new(new_cap + kGroup));
    CellRecord** slots;
    try {
        slots = static_cast<CellRecord**>(::operator new(new_cap * sizeof(CellRecord*)));
    } catch (...) {
        ::operator delete(ctrl);
        throw;
    }
    std::memset(ctrl, kEmpty, new_cap + kGroup);
    uint8_t* old_ctrl = ctrl_;
    CellRecord** old_slots = slots_;
    size_t old_cap = cap_;
    ctrl_ = ctrl;
    slots_ = slots;
    cap_ = new_cap;
    // The keys live in the records, which lie anywhere in memory: fetch them
    // a few slots ahead of their use.
    constexpr size_t kAhead = 8;
    for (size_t i = 0; i < old_cap; ++i) {
        if (i + kAhead < old_cap && !(old_ctrl[i + kAhead] & kEmpty))
            __builtin_prefetch(old_slots[i + kAhead]);
        if (!(old_ctrl[i] & kEmpty)) place(old_slots[i], hash(old_slots[i]->key_unlocked()));
    }
    ::operator delete(old_ctrl);
    ::operator delete(old_slots);
}

void CellTable::reserve(size_t n) {
    size_t need = 16;
    while (need * 7 / 8 < n) need *= 2;
    if (need > cap_) rehash(need);
}

void CellTable::make_room_for_one() {
    if (cap_ == 0 || (size_ + 1) > cap_ * 7 / 8) rehash(cap_ == 0 ? 16 : cap_ * 2);
}

void CellTable::insert_new(Ref<CellRecord> rec) {
    make_room_for_one();
    CellRecord* r = rec.detach();
    // The record's count is raised before the slot is written: a locked
    // operation after the store would wait for the slot's cache line.
    r->add_table();
    place(r, hash(r->key_unlocked()));
    ++size_;
}

void CellTable::insert_counted(CellRecord* r) {
    make_room_for_one();
    place(r, hash(r->key_unlocked()));
    ++size_;
}

void CellTable::put(Ref<CellRecord> rec) {
    size_t i = find_index(rec->key_unlocked());
    if (i == kNone) {
        insert_new(std::move(rec));
        return;
    }
    CellRecord* old = slots_[i];
    CellRecord* r = rec.detach();
    r->add_table();
    slots_[i] = r;
    old->remove_table();
    Ref<CellRecord>::adopt(old);  // drops the table's handle
}

std::vector<Ref<CellRecord>> CellTable::take_all() {
    std::vector<Ref<CellRecord>> out;
    out.reserve(size_);
    for (size_t i = 0; i < cap_; ++i) {
        if (!(ctrl_[i] & kEmpty)) {
            slots_[i]->remove_table();
            out.push_back(Ref<CellRecord>::adopt(slots_[i]));
        }
    }
    std::memset(ctrl_, kEmpty, cap_ + kGroup);
    size_ = 0;
    return out;
}

void CellTable::swap(CellTable& o) noexcept {
    std::swap(ctrl_, o.ctrl_);
    std::swap(slots_, o.slots_);
    std::swap(cap_, o.cap_);
    std::swap(size_, o.size_);
    std::swap(seed_, o.seed_);
}

void CellTable::clear() noexcept {
    for (size_t i = 0; i < cap_; ++i) {
        if (!(ctrl_[i] & kEmpty)) {
            slots_[i]->remove_table();
            Ref<CellRecord>::adopt(slots_[i]);
        }
    }
    ::operator delete(ctrl_);
    ::operator delete(slots_);
    ctrl_ = nullptr;
    slots_ = nullptr;
    cap_ = 0;
    size_ = 0;
}

}  // namespace brindel
