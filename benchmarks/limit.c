/*
 * The limit row of the search benchmarks: the same tests as the searches,
 * over the same value texts laid out one after the other in one buffer
 * (each followed by a NUL byte, so that no match spans two texts), with
 * memmem for the text searches and plain integer compares for the position
 * searches, on one or more threads. It is what the machine can do with no
 * cell records, no locks, no result objects and no interpreter.
 *
 * Built and run by benchmarks/limit.py:
 *   cc -O2 -pthread limit.c -o limit
 *   limit FILE THREADS REPS MODE [ARGS]
 * FILE: u64 n, u32 row[n], u32 col[n], u32 len[n], then the n texts' bytes.
 * MODE and ARGS:
 *   memmem NEEDLE        count texts containing NEEDLE: memmem runs over the
 *                        whole buffer and each hit is mapped to its text
 *   first NEEDLE         position of the first text containing NEEDLE, the same way
 *   trimeq VALUE         count texts equal to VALUE once white space is trimmed:
 *                        memmem finds VALUE, the text around the hit is checked
 *   memmem-each NEEDLE, first-each NEEDLE, trimeq-each VALUE
 *                        the same with one memmem call (or one trim and
 *                        compare) per text
 *   rows A B             count cells with A <= row <= B
 *   colrows COL R1,R2..  count cells in column COL whose row is listed
 *   rowcols ROW C1,C2..  count cells in row ROW whose column is listed
 * The texts are split into chunks of 4096 that the threads take in order;
 * for a first match a chunk after the best position found is skipped.
 * Prints one JSON object: matches (or the first position), texts scanned,
 * and the median and best time of REPS runs in nanoseconds.
 */
#define _GNU_SOURCE
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum mode { MEMMEM, FIRST, TRIMEQ, MEMMEM_EACH, FIRST_EACH, TRIMEQ_EACH, ROWS, COLROWS, ROWCOLS };

static uint64_t n;
static uint32_t *rows, *cols, *lens;
static uint64_t *offsets; /* offsets[n] is the end of the buffer */
static char *bytes;
static enum mode mode;
static const char *arg;
static size_t arg_len;
static uint32_t lo, hi, key;
static uint32_t *list;
static size_t list_len;

#define CHUNK 4096
static atomic_uint_fast64_t next_chunk;
static atomic_uint_fast64_t best; /* first match: lowest position found */

static int is_space(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static int trim_equal(const char *s, size_t len) {
    while (len && is_space((unsigned char)s[0])) { s++; len--; }
    while (len && is_space((unsigned char)s[len - 1])) len--;
    return len == arg_len && memcmp(s, arg, len) == 0;
}

static int listed(uint32_t v) {
    for (size_t i = 0; i < list_len; i++)
        if (list[i] == v) return 1;
    return 0;
}

static int test_one(uint64_t i) {
    switch (mode) {
    case MEMMEM_EACH:
    case FIRST_EACH:
        return memmem(bytes + offsets[i], lens[i], arg, arg_len) != NULL;
    case TRIMEQ_EACH:
        return trim_equal(bytes + offsets[i], lens[i]);
    case ROWS:
        return rows[i] >= lo && rows[i] <= hi;
    case COLROWS:
        return cols[i] == key && listed(rows[i]);
    case ROWCOLS:
        return rows[i] == key && listed(cols[i]);
    default:
        return 0;
    }
}

/* The text holding byte position p, among texts [first, last). */
static uint64_t text_at(uint64_t p, uint64_t first, uint64_t last) {
    while (last - first > 1) {
        uint64_t mid = first + (last - first) / 2;
        if (offsets[mid] <= p) first = mid; else last = mid;
    }
    return first;
}

/* Whole-buffer scan of texts [start, end): count of matching texts, or (for
 * FIRST) the first matching position, or UINT64_MAX. */
static uint64_t scan_chunk(uint64_t start, uint64_t end) {
    uint64_t count = 0;
    const char *p = bytes + offsets[start];
    const char *stop = bytes + offsets[end];
    while (p < stop) {
        const char *hit = memmem(p, (size_t)(stop - p), arg, arg_len);
        if (!hit) break;
        uint64_t i = text_at((uint64_t)(hit - bytes), start, end);
        int match = mode == TRIMEQ ? trim_equal(bytes + offsets[i], lens[i]) : 1;
        if (match) {
            if (mode == FIRST) return i;
            count++;
        }
        p = bytes + offsets[i] + lens[i] + 1; /* on to the next text */
    }
    return mode == FIRST ? UINT64_MAX : count;
}

struct work { uint64_t matches; };

static void worker(struct work *w) {
    uint64_t count = 0;
    int whole = mode == MEMMEM || mode == FIRST || mode == TRIMEQ;
    int first = mode == FIRST || mode == FIRST_EACH;
    for (;;) {
        uint64_t c = atomic_fetch_add(&next_chunk, 1);
        uint64_t start = c * CHUNK;
        if (start >= n) break;
        uint64_t end = start + CHUNK < n ? start + CHUNK : n;
        if (first) {
            if (start > atomic_load(&best)) break;
            uint64_t found = UINT64_MAX;
            if (whole) {
                found = scan_chunk(start, end);
            } else {
                for (uint64_t i = start; i < end; i++)
                    if (test_one(i)) { found = i; break; }
            }
            if (found != UINT64_MAX) {
                uint64_t b = atomic_load(&best);
                while (found < b && !atomic_compare_exchange_weak(&best, &b, found)) {
                }
            }
        } else if (whole) {
            count += scan_chunk(start, end);
        } else {
            for (uint64_t i = start; i < end; i++) count += test_one(i);
        }
    }
    w->matches = count;
}

/* The helper threads start once and wait at a barrier between runs, as the
 * workers of a pool do; each run hands them the whole sequence again. */
static int nthreads;
static struct work works[64];
static pthread_t helpers[64];
static pthread_barrier_t start_line, finish_line;
static atomic_int quitting;

static void *helper(void *p) {
    for (;;) {
        pthread_barrier_wait(&start_line);
        if (atomic_load(&quitting)) return NULL;
        worker(p);
        pthread_barrier_wait(&finish_line);
    }
}

static void start_helpers(int threads) {
    nthreads = threads;
    if (threads < 2) return;
    pthread_barrier_init(&start_line, NULL, threads);
    pthread_barrier_init(&finish_line, NULL, threads);
    for (int t = 1; t < threads; t++) pthread_create(&helpers[t], NULL, helper, &works[t]);
}

static void stop_helpers(void) {
    if (nthreads < 2) return;
    atomic_store(&quitting, 1);
    pthread_barrier_wait(&start_line);
    for (int t = 1; t < nthreads; t++) pthread_join(helpers[t], NULL);
}

static uint64_t run(void) {
    atomic_store(&next_chunk, 0);
    atomic_store(&best, UINT64_MAX);
    if (nthreads > 1) pthread_barrier_wait(&start_line);
    worker(&works[0]);
    if (nthreads > 1) pthread_barrier_wait(&finish_line);
    uint64_t total = 0;
    for (int t = 0; t < nthreads; t++) total += works[t].matches;
    return (mode == FIRST || mode == FIRST_EACH) ? atomic_load(&best) : total;
}

static double now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

static int cmp_double(const void *a, const void *b) {
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static void parse_list(const char *s) {
    list = malloc((strlen(s) / 2 + 2) * sizeof *list);
    list_len = 0;
    while (*s) {
        char *end;
        unsigned long v = strtoul(s, &end, 10);
        if (end == s) { s++; continue; }
        list[list_len++] = (uint32_t)v;
        s = end;
    }
}

static void die(const char *what) {
    fprintf(stderr, "%s\n", what);
    exit(2);
}

static void read_input(const char *path) {
    FILE *f = fopen(path, "rb");
    if (!f) { perror(path); exit(2); }
    if (fread(&n, sizeof n, 1, f) != 1) die("short file");
    rows = malloc(n * 4 + 4);
    cols = malloc(n * 4 + 4);
    lens = malloc(n * 4 + 4);
    offsets = malloc(n * 8 + 8);
    if (!rows || !cols || !lens || !offsets) die("out of memory");
    if (fread(rows, 4, n, f) != n || fread(cols, 4, n, f) != n || fread(lens, 4, n, f) != n) die("short file");
    uint64_t total = 0;
    for (uint64_t i = 0; i < n; i++) { offsets[i] = total; total += (uint64_t)lens[i] + 1; }
    offsets[n] = total;
    bytes = malloc(total + 1);
    if (!bytes) die("out of memory");
    for (uint64_t i = 0; i < n; i++) {
        if (fread(bytes + offsets[i], 1, lens[i], f) != lens[i]) die("short file");
        bytes[offsets[i] + lens[i]] = '\0';
    }
    fclose(f);
}

int main(int argc, char **argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: %s FILE THREADS REPS MODE ARGS...\n", argv[0]);
        return 2;
    }
    read_input(argv[1]);
    int threads = atoi(argv[2]);
    int reps = atoi(argv[3]);
    const char *m = argv[4];
    if (threads < 1 || threads > 64 || reps < 1) return 2;
    static const char *text_modes[] = {"memmem", "first", "trimeq", "memmem-each", "first-each", "trimeq-each"};
    int text_mode = -1;
    for (int i = 0; i < 6; i++)
        if (!strcmp(m, text_modes[i])) text_mode = i;
    if (text_mode >= 0) {
        mode = (enum mode)text_mode;
        arg = argv[5];
        arg_len = strlen(arg);
        if (mode == TRIMEQ || mode == TRIMEQ_EACH) {
            while (arg_len && is_space((unsigned char)arg[0])) { arg++; arg_len--; }
            while (arg_len && is_space((unsigned char)arg[arg_len - 1])) arg_len--;
        }
        if (arg_len == 0) { /* an empty needle matches everywhere: test text by text */
            if (mode == MEMMEM) mode = MEMMEM_EACH;
            if (mode == FIRST) mode = FIRST_EACH;
            if (mode == TRIMEQ) mode = TRIMEQ_EACH;
        }
    } else if (!strcmp(m, "rows") && argc >= 7) {
        mode = ROWS;
        lo = strtoul(argv[5], NULL, 10);
        hi = strtoul(argv[6], NULL, 10);
    } else if ((!strcmp(m, "colrows") || !strcmp(m, "rowcols")) && argc >= 7) {
        mode = !strcmp(m, "colrows") ? COLROWS : ROWCOLS;
        key = strtoul(argv[5], NULL, 10);
        parse_list(argv[6]);
    } else {
        fprintf(stderr, "unknown mode %s\n", m);
        return 2;
    }
    double *t = malloc(reps * sizeof *t);
    uint64_t result = 0;
    start_helpers(threads);
    run(); /* warm the caches and the page tables */
    for (int r = 0; r < reps; r++) {
        double t0 = now_ns();
        result = run();
        t[r] = now_ns() - t0;
    }
    stop_helpers();
    qsort(t, reps, sizeof *t, cmp_double);
    int first = mode == FIRST || mode == FIRST_EACH;
    uint64_t scanned = n;
    if (first) scanned = result == UINT64_MAX ? n : result + 1;
    printf("{\"mode\":\"%s\",\"threads\":%d,\"texts\":%llu,\"bytes\":%llu,\"scanned\":%llu,", m, threads,
           (unsigned long long)n, (unsigned long long)offsets[n], (unsigned long long)scanned);
    if (first)
        printf("\"first\":%lld,", result == UINT64_MAX ? -1LL : (long long)result);
    else
        printf("\"matches\":%llu,", (unsigned long long)result);
    printf("\"median_ns\":%.0f,\"min_ns\":%.0f,\"reps\":%d}\n", t[reps / 2], t[0], reps);
    return 0;
}
