// The free text helpers: suffix stripping and cutting of signal names, the
// bounded copies that report names too long, decimal text, the string hash
// and its prime table sizes, and the quicksort over arrays of elements.
#include <Lmr_Util/ConsoleReport.h>
#include <Lmr_Util/TextFunctions.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char *const suffixTable[] = {".SI", ".ALU", ".REG", ".MC", ".FFB", ".XOR", ".Q"};

const unsigned long primeTable[] = {
    7,      13,     23,     37,     59,     89,     149,     233,     293,     379,     487,     613,     773,
    991,    1259,   1597,   2029,   2591,   3299,   4201,    5347,    6779,    8623,    10949,   13931,   17713,
    22531,  28657,  37273,  48463,  63029,  81937,  99991,   130027,  169049,  219767,  285697,  371417,  482837,
    627637, 815989, 1060777, 1126579, 1207121, 1376443, 1400479, 1450481, 1500479, 1550477};

// The swap buffer and the pivot copy of qsort_ptr, kept between calls.
std::vector<char> sortScratch;

} // namespace

void StripSuffix(String &name)
{
    for (const char *suffix : suffixTable) {
        std::string &text = name.str();
        std::size_t found = text.find(suffix);
        if (found != std::string::npos)
            text.erase(found, std::strlen(suffix));
    }
}

String RetRealSignalName(const String &name)
{
    std::size_t dot = name.str().find('.');
    if (dot == std::string::npos)
        return name;
    return String(name.str().substr(0, dot));
}

char CutSuffix(char *text, char c)
{
    if (!text)
        return 0;
    char *found = c ? std::strchr(text, c) : std::strpbrk(text, ",\\");
    if (!found)
        return 0;
    char cut = *found;
    *found = '\0';
    return cut;
}

void HGstrcpy(char *dst, const char *src, short size)
{
    if (!src)
        src = "";
    std::size_t length = std::strlen(src);
    if (size >= 0 && static_cast<std::size_t>(size) >= length + 1) {
        std::memcpy(dst, src, length + 1);
        return;
    }
    HGerr(701, 'F', src, "is too long as a name", src);
}

char *HGstrcut(char *dst, const char *src, char c)
{
    if (src && c) {
        for (int i = 0; i < 5 && src[i]; ++i) {
            if (src[i] == c) {
                std::memcpy(dst, src, static_cast<std::size_t>(i));
                dst[i] = '\0';
                return dst;
            }
        }
    }
    std::strcpy(dst, "NULL");
    return dst;
}

String Iota(long n)
{
    char text[32];
    std::snprintf(text, sizeof text, "%ld", n);
    return String(text);
}

unsigned Hash(const char *text)
{
    unsigned h = 0;
    if (!text)
        return h;
    for (const char *p = text; *p; ++p)
        h = h * 31u + static_cast<unsigned>(static_cast<int>(static_cast<signed char>(*p)));
    return h;
}

unsigned long PrimeAbove(unsigned long n)
{
    for (unsigned long prime : primeTable)
        if (prime >= n)
            return prime;
    return n;
}

namespace {

struct SortRun {
    char *elements;
    std::size_t size;
    int (*compare)(const void *, const void *);
    char *swapBuffer;
    char *pivot;

    char *at(int i) const { return elements + static_cast<std::size_t>(i) * size; }

    void swap(int i, int j) const
    {
        if (i == j)
            return;
        std::memcpy(swapBuffer, at(i), size);
        std::memcpy(at(i), at(j), size);
        std::memcpy(at(j), swapBuffer, size);
    }

    // Sorts positions lo..hi.  The part below the pivot and the rest are
    // disjoint, so the smaller part is sorted by recursion and the larger one
    // in this call: the result is the same in either order and the stack
    // stays shallow on any input.
    void sort(int lo, int hi) const
    {
        while (lo < hi) {
            int k = lo + 1;
            while (k <= hi && compare(at(k), at(lo)) == 0)
                ++k;
            if (k > hi)
                return; // every element of the range is equal
            std::memcpy(pivot, compare(at(k), at(lo)) > 0 ? at(k) : at(lo), size);
            int left = lo;
            int right = hi;
            do {
                swap(left, right);
                while (compare(at(left), pivot) < 0)
                    ++left;
                while (compare(at(right), pivot) >= 0)
                    --right;
            } while (left <= right);
            if (left - lo < hi - left + 1) {
                sort(lo, left - 1);
                lo = left;
            } else {
                sort(left, hi);
                hi = left - 1;
            }
        }
    }
};

} // namespace

void qsort_ptr(void **base, int count, int size, int (*compare)(const void *, const void *))
{
    if (!base || !compare || count < 2 || size <= 0)
        return;
    std::size_t elementSize = static_cast<std::size_t>(size);
    if (sortScratch.size() < 2 * elementSize)
        sortScratch.resize(2 * elementSize);
    SortRun run{reinterpret_cast<char *>(base), elementSize, compare, sortScratch.data(),
                sortScratch.data() + elementSize};
    // The pivot of a part is held in its own copy: the swaps move elements.
    run.sort(0, count - 1);
}
