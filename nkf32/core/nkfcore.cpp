// Kanji-code converter core.  See nkfcore.h for what it does; the notes here
// are about how it is made fast and why it stays within its bounds.
//
// Bounds: every step consumes at least as many input bytes as it produces
// (escapes and shifts vanish, pairs stay pairs, SS2 kana shrink to one byte,
// SS3 triples become the two-byte geta mark), so the write position never
// passes the read position.  The vector paths store whole 16-byte blocks at
// the write position only while 16 input bytes remain from the read
// position, so they stay inside the `length` + 1 bytes of the output too.
//
// Speed: a text is converted in one pass in the common case.  The pass runs
// with the preferred reading and gives up at the first 8-bit byte that this
// reading rejects; only then is the full decision made (from the start, and
// it stops as soon as one reading is refused) and the pass repeated with the
// reading found.  A text that the preferred reading accepts throughout needs
// no decision: whatever the other reading does, the preferred one wins.
#include "nkfcore.h"

#include <cstdint>
#include <cstring>

// SSE2 where the target has it (every x86-64); word-at-a-time code
// otherwise, e.g. in the 32-bit DLL, which must run on CPUs without SSE2.
// A build may set NKF_HAVE_SSE2 to 0 to test the portable code.
#ifndef NKF_HAVE_SSE2
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define NKF_HAVE_SSE2 1
#else
#define NKF_HAVE_SSE2 0
#endif
#endif
#if NKF_HAVE_SSE2
#include <emmintrin.h>
#endif

namespace {

typedef unsigned char Byte;

const unsigned kEsc = 0x1B;
const unsigned kSo = 0x0E;
const unsigned kSi = 0x0F;
const unsigned kCr = 0x0D;
const unsigned kLf = 0x0A;
const unsigned kSs2 = 0x8E;
const unsigned kSs3 = 0x8F;
const Byte kGeta[2] = {0x81, 0xAC};

// Designations of G0 in ISO-2022-JP; SO (shift) overrides them with kana.
enum Mode { MODE_ASCII = 0, MODE_KANJI = 1, MODE_KANA = 2 };

inline bool InRange(unsigned b, unsigned lo, unsigned hi) { return b - lo <= hi - lo; }
inline bool IsJisByte(unsigned b) { return InRange(b, 0x21, 0x7E); }
inline bool IsEucByte(unsigned b) { return InRange(b, 0xA1, 0xFE); }
inline bool IsKanaByte(unsigned b) { return InRange(b, 0xA1, 0xDF); }
inline bool IsShiftControl(unsigned b) { return b == kEsc || b == kSo || b == kSi; }

// Shift_JIS lead bytes: rows 1-94 of JIS X 0208 by arithmetic (0x81-0x9F,
// 0xE0-0xEF, which hold NEC row 13 and the NEC-selected 0xED, 0xEE) and the
// IBM extensions 0xFA-0xFC.  The user-defined area 0xF0-0xF9 is no
// Shift_JIS text.
inline bool IsSjisLead(unsigned b) {
    return InRange(b, 0x81, 0x9F) || InRange(b, 0xE0, 0xEF) || InRange(b, 0xFA, 0xFC);
}
inline bool IsSjisTrail(unsigned b) { return InRange(b, 0x40, 0xFC) && b != 0x7F; }

// Byte tables for the scalar Shift_JIS check.  SjisStartClass: 0 = a whole
// token by itself (7-bit byte other than ESC/SO/SI, half-width kana),
// 1 = lead byte, 2 = stop (ESC, SO, SI, or a byte no Shift_JIS text has).
struct ByteTable {
    Byte value[256];
};

constexpr ByteTable MakeSjisStartClass() {
    ByteTable t{};
    for (unsigned b = 0; b < 256; ++b) {
        // The shifts stop a run as the bytes no text has do (the last branch),
        // but must be taken out before the 7-bit bytes.
        if (b == kEsc || b == kSo || b == kSi) {  // NOLINT(bugprone-branch-clone)
            t.value[b] = 2;
        } else if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
            t.value[b] = 0;
        } else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF) || (b >= 0xFA && b <= 0xFC)) {
            t.value[b] = 1;
        } else {
            t.value[b] = 2;
        }
    }
    return t;
}

constexpr ByteTable MakeSjisTrailTable() {
    ByteTable t{};
    for (unsigned b = 0; b < 256; ++b) t.value[b] = (b >= 0x40 && b <= 0xFC && b != 0x7F) ? 1 : 0;
    return t;
}

constexpr ByteTable kSjisStartClass = MakeSjisStartClass();
constexpr ByteTable kSjisTrail = MakeSjisTrailTable();

// Length of the token at in[p] under each reading; 0 when the reading
// rejects it.  A 7-bit byte is a token of its own in both.
inline std::size_t SjisTokenLength(const Byte* in, std::size_t p, std::size_t n) {
    unsigned b = in[p];
    if (b < 0x80 || IsKanaByte(b)) return 1;
    if (IsSjisLead(b) && p + 1 < n && IsSjisTrail(in[p + 1])) return 2;
    return 0;
}

inline std::size_t EucTokenLength(const Byte* in, std::size_t p, std::size_t n) {
    unsigned b = in[p];
    if (b < 0x80) return 1;
    if (IsEucByte(b)) return (p + 1 < n && IsEucByte(in[p + 1])) ? 2 : 0;
    if (b == kSs2) return (p + 1 < n && IsKanaByte(in[p + 1])) ? 2 : 0;
    if (b == kSs3) return (p + 2 < n && IsEucByte(in[p + 1]) && IsEucByte(in[p + 2])) ? 3 : 0;
    return 0;
}

// JIS X 0208 cell (j1, j2 in 0x21-0x7E) to its Shift_JIS pair.  Two rows
// share a lead byte; odd rows take the trail bytes 0x40-0x9E (skipping
// 0x7F), even rows 0x9F-0xFC.  Written without branches, as the vector
// version below.
inline void PutSjisPair(Byte* out, unsigned j1, unsigned j2) {
    unsigned odd = j1 & 1u;
    out[0] = static_cast<Byte>(((j1 + 1u) >> 1) + 0x70u + (static_cast<unsigned>(j1 >= 0x5F) << 6));
    out[1] = static_cast<Byte>(j2 + 0x7Eu - odd * (0x5Fu - static_cast<unsigned>(j2 >= 0x60)));
}

#if NKF_HAVE_SSE2

inline unsigned LowestBit(std::uint32_t m) {
#if defined(__GNUC__) || defined(__clang__)
    return static_cast<unsigned>(__builtin_ctz(m));
#else
    unsigned k = 0;
    while (!(m & 1u)) {
        m >>= 1;
        ++k;
    }
    return k;
#endif
}

inline __m128i Load16(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(Byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// 0xFF in every byte of v that lies in [lo, hi].
inline __m128i ByteRange(__m128i v, unsigned lo, unsigned hi) {
    __m128i x = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(lo)));
    __m128i lim = _mm_set1_epi8(static_cast<char>(hi - lo));
    return _mm_cmpeq_epi8(_mm_min_epu8(x, lim), x);
}

// 0xFF in every byte that is ESC, SO or SI.
inline __m128i ShiftControls(__m128i v) {
    __m128i esc = _mm_cmpeq_epi8(v, _mm_set1_epi8(0x1B));
    __m128i soSi = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(1)), _mm_set1_epi8(0x0F));
    return _mm_or_si128(esc, soSi);
}

// Eight JIS X 0208 cells (two bytes each, 7-bit or with the high bit set)
// to Shift_JIS, the same arithmetic as PutSjisPair on 16-bit lanes.
inline __m128i SjisPairs8(__m128i v) {
    const __m128i low7 = _mm_set1_epi16(0x7F);
    const __m128i one = _mm_set1_epi16(1);
    __m128i j1 = _mm_and_si128(v, low7);
    __m128i j2 = _mm_and_si128(_mm_srli_epi16(v, 8), low7);
    __m128i s1 = _mm_add_epi16(_mm_srli_epi16(_mm_add_epi16(j1, one), 1), _mm_set1_epi16(0x70));
    s1 = _mm_add_epi16(s1, _mm_and_si128(_mm_cmpgt_epi16(j1, _mm_set1_epi16(0x5E)), _mm_set1_epi16(0x40)));
    __m128i oddRow = _mm_cmpeq_epi16(_mm_and_si128(j1, one), one);
    __m128i from60 = _mm_srli_epi16(_mm_cmpgt_epi16(j2, _mm_set1_epi16(0x5F)), 15);
    __m128i s2Odd = _mm_add_epi16(_mm_add_epi16(j2, _mm_set1_epi16(0x1F)), from60);
    __m128i s2Even = _mm_add_epi16(j2, _mm_set1_epi16(0x7E));
    __m128i s2 = _mm_or_si128(_mm_and_si128(oddRow, s2Odd), _mm_andnot_si128(oddRow, s2Even));
    return _mm_or_si128(s1, _mm_slli_epi16(s2, 8));
}

// Positions (bit k = byte k) that are trail bytes, given the lead-class
// bytes of a 64-byte block and whether its first byte is the trail of a lead
// at the end of the block before.  A run of lead-class bytes that starts at
// a token start pairs up from its first byte, so its members alternate lead,
// trail; the byte after an odd-length run is a trail.  Adding the run starts
// at even and odd positions separates the two cases without a loop.
inline std::uint64_t TrailPositions(std::uint64_t lead, std::uint64_t* carry) {
    const std::uint64_t oddBits = 0xAAAAAAAAAAAAAAAAull;
    std::uint64_t firstIsTrail = *carry;
    std::uint64_t starts = lead & ~firstIsTrail;
    std::uint64_t seriesAndOdd = ((starts << 1) | oddBits) - starts;
    std::uint64_t leadAndTerminal = seriesAndOdd ^ oddBits;
    std::uint64_t trail = leadAndTerminal ^ (lead | firstIsTrail);
    std::uint64_t leadAsLead = leadAndTerminal & lead;
    *carry = leadAsLead >> 63;
    return trail;
}

inline void SjisMasks16(__m128i v, unsigned* lead, unsigned* trail, unsigned* start) {
    __m128i l = _mm_or_si128(_mm_or_si128(ByteRange(v, 0x81, 0x9F), ByteRange(v, 0xE0, 0xEF)),
                             ByteRange(v, 0xFA, 0xFC));
    __m128i t = _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)), ByteRange(v, 0x40, 0xFC));
    // A token may start with a 7-bit byte other than ESC/SO/SI, a kana or
    // a lead byte.
    __m128i high = _mm_cmplt_epi8(v, _mm_setzero_si128());
    __m128i notSingle7 = _mm_or_si128(high, ShiftControls(v));
    __m128i s = _mm_or_si128(_mm_or_si128(ByteRange(v, 0xA1, 0xDF), l),
                             _mm_andnot_si128(notSingle7, _mm_set1_epi8(-1)));
    *lead = static_cast<unsigned>(_mm_movemask_epi8(l));
    *trail = static_cast<unsigned>(_mm_movemask_epi8(t));
    *start = static_cast<unsigned>(_mm_movemask_epi8(s));
}

// The 16 bytes of a block as 0xFF where `mask` has a bit, 0x00 elsewhere.
inline __m128i SpreadMask16(unsigned mask) {
    const std::uint64_t ones = 0x0101010101010101ull;
    const __m128i bits = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
    __m128i copies = _mm_set_epi64x(static_cast<long long>(((mask >> 8) & 0xFFu) * ones),
                                    static_cast<long long>((mask & 0xFFu) * ones));
    return _mm_cmpeq_epi8(_mm_and_si128(copies, bits), bits);
}

// Trail positions among the 8-bit bytes `high` of a block whose first byte
// starts a token: every run of them pairs up from its first byte, so the
// bytes at an odd distance from their run's start are trails.  Adding a
// run's first bit to the run carries through it, which marks the runs that
// start at an even place without a loop.
inline std::uint32_t EucTrails(std::uint32_t high) {
    const std::uint32_t evenPlaces = 0x5555u;
    const std::uint32_t oddPlaces = 0xAAAAu;
    std::uint32_t runStarts = high & ~(high << 1);
    std::uint32_t evenRuns = high & ~(high + (runStarts & evenPlaces));
    return (evenRuns & oddPlaces) | (high & ~evenRuns & evenPlaces);
}

// EUC-JP text in the unshifted state, a block of 16 bytes at a time: 7-bit
// bytes (other than ESC, SO, SI) and pairs of 0xA1-0xFE mixed in any way,
// which is how mail text runs.  Starts at a token start and stops at the
// first block that holds anything else (a shift, SS2, SS3, a byte no EUC-JP
// text has, a lone lead byte), leaving the rest, from a token start, to the
// token-by-token code.  Nothing changes length here, so each block is
// stored whole at the write position, which never passes the read position.
//
// A pair may straddle two blocks: the first byte of the next block is then
// a trail (`carry`).  Both cases are worked out for every block, so that
// the only work that waits for the block before is a choice between them.
void ConvertEucBlocks(Byte* out, std::size_t* o, const Byte* in, std::size_t* i, std::size_t n) {
    std::size_t r = *i;
    std::size_t w = *o;
    std::uint32_t carry = 0;
    const __m128i low7 = _mm_set1_epi8(0x7F);
    const __m128i one = _mm_set1_epi8(1);
    __m128i before = _mm_setzero_si128();  // the block before, as j below
    while (r + 16 <= n) {
        __m128i v = Load16(in + r);
        __m128i high = _mm_cmplt_epi8(v, _mm_setzero_si128());
        std::uint32_t high8 = static_cast<std::uint32_t>(_mm_movemask_epi8(high));
        std::uint32_t euc = static_cast<std::uint32_t>(_mm_movemask_epi8(ByteRange(v, 0xA1, 0xFE)));
        std::uint32_t shifts = static_cast<std::uint32_t>(_mm_movemask_epi8(ShiftControls(v)));
        std::uint32_t runEnds = high8 & ~(high8 >> 1);
        std::uint32_t trailFresh = EucTrails(high8);
        std::uint32_t trailCarried = EucTrails(high8 & ~1u) | 1u;
        std::uint32_t trail = carry ? trailCarried : trailFresh;
        std::uint32_t lead = high8 & ~trail;
        // A lead followed by a 7-bit byte, or a carried trail that is one.
        std::uint32_t lone = (runEnds & lead & 0x7FFFu) | (trail & ~high8);
        if (shifts | (high8 & ~euc) | lone) break;
        // The arithmetic of PutSjisPair, on bytes: leads from their own cell
        // row, trails from their cell and the parity of the lead before them.
        __m128i j = _mm_and_si128(v, low7);
        __m128i previous = _mm_or_si128(_mm_slli_si128(j, 1), _mm_srli_si128(before, 15));
        __m128i s1 = _mm_add_epi8(_mm_avg_epu8(j, _mm_setzero_si128()), _mm_set1_epi8(0x70));
        s1 = _mm_add_epi8(s1, _mm_and_si128(_mm_cmpgt_epi8(j, _mm_set1_epi8(0x5E)), _mm_set1_epi8(0x40)));
        __m128i oddRow = _mm_cmpeq_epi8(_mm_and_si128(previous, one), one);
        __m128i s2Odd = _mm_sub_epi8(_mm_add_epi8(j, _mm_set1_epi8(0x1F)), _mm_cmpgt_epi8(j, _mm_set1_epi8(0x5F)));
        __m128i s2Even = _mm_add_epi8(j, _mm_set1_epi8(0x7E));
        __m128i s2 = _mm_or_si128(_mm_and_si128(oddRow, s2Odd), _mm_andnot_si128(oddRow, s2Even));
        __m128i trails = SpreadMask16(trail);
        __m128i pairs = _mm_or_si128(_mm_and_si128(trails, s2), _mm_andnot_si128(trails, s1));
        Store16(out + w, _mm_or_si128(_mm_and_si128(high, pairs), _mm_andnot_si128(high, v)));
        before = j;
        carry = lead >> 15;
        r += 16;
        w += 16;
    }
    // Back onto the lead whose trail was not converted.
    *i = r - carry;
    *o = w - carry;
}

#endif  // NKF_HAVE_SSE2

// Index of the first byte at or after i that is 0x80 or above, or n.
std::size_t FindHighByte(const Byte* in, std::size_t i, std::size_t n) {
#if NKF_HAVE_SSE2
    while (i + 32 <= n) {
        __m128i a = Load16(in + i);
        __m128i b = Load16(in + i + 16);
        std::uint32_t m = static_cast<std::uint32_t>(_mm_movemask_epi8(a)) |
                          (static_cast<std::uint32_t>(_mm_movemask_epi8(b)) << 16);
        if (m) return i + LowestBit(m);
        i += 32;
    }
#else
    const std::size_t w = sizeof(std::size_t);
    const std::size_t highBits = ~static_cast<std::size_t>(0) / 0xFF * 0x80;
    while (i + w <= n) {
        std::size_t word;
        std::memcpy(&word, in + i, w);
        if (word & highBits) break;
        i += w;
    }
#endif
    while (i < n && in[i] < 0x80) ++i;
    return i;
}

// Copies bytes from in[*i] to out[*o] up to the first byte that is 0x80 or
// above or ESC, SO or SI (when stopAtHigh), or up to the first ESC, SO or SI
// only (otherwise).
template <bool StopAtHigh>
void CopyRun(Byte* out, std::size_t* o, const Byte* in, std::size_t* i, std::size_t n) {
    std::size_t r = *i;
    std::size_t w = *o;
#if NKF_HAVE_SSE2
    while (r + 16 <= n) {
        __m128i v = Load16(in + r);
        Store16(out + w, v);  // w <= r, so the block fits; later bytes overwrite the excess
        __m128i stop = ShiftControls(v);
        std::uint32_t m = static_cast<std::uint32_t>(_mm_movemask_epi8(stop));
        if (StopAtHigh) m |= static_cast<std::uint32_t>(_mm_movemask_epi8(v));
        if (m) {
            unsigned k = LowestBit(m);
            *i = r + k;
            *o = w + k;
            return;
        }
        r += 16;
        w += 16;
    }
#else
    const std::size_t ws = sizeof(std::size_t);
    const std::size_t ones = ~static_cast<std::size_t>(0) / 0xFF;
    const std::size_t highBits = ones * 0x80;
    while (r + ws <= n) {
        std::size_t word;
        std::memcpy(&word, in + r, ws);
        std::size_t esc = word ^ (ones * kEsc);
        std::size_t soSi = (word | ones) ^ (ones * kSi);
        std::size_t flags = ((esc - ones) & ~esc) | ((soSi - ones) & ~soSi);
        if (StopAtHigh) flags |= word;
        if (flags & highBits) break;
        std::memcpy(out + w, &word, ws);
        r += ws;
        w += ws;
    }
#endif
    while (r < n) {
        unsigned b = in[r];
        if (IsShiftControl(b) || (StopAtHigh && b >= 0x80)) break;
        out[w++] = static_cast<Byte>(b);
        ++r;
    }
    *i = r;
    *o = w;
}

// Copies a stretch of valid unshifted Shift_JIS text (7-bit bytes other than
// ESC/SO/SI included) from in[*i], which must be a token start, and stops at
// the first token that is not valid Shift_JIS or is ESC, SO or SI.
void CopySjisRun(Byte* out, std::size_t* o, const Byte* in, std::size_t* i, std::size_t n) {
    std::size_t r = *i;
    std::size_t w = *o;
#if NKF_HAVE_SSE2
    std::uint64_t carry = 0;
    while (r + 64 <= n) {
        __m128i v0 = Load16(in + r);
        __m128i v1 = Load16(in + r + 16);
        __m128i v2 = Load16(in + r + 32);
        __m128i v3 = Load16(in + r + 48);
        unsigned l[4], t[4], s[4];
        SjisMasks16(v0, &l[0], &t[0], &s[0]);
        SjisMasks16(v1, &l[1], &t[1], &s[1]);
        SjisMasks16(v2, &l[2], &t[2], &s[2]);
        SjisMasks16(v3, &l[3], &t[3], &s[3]);
        std::uint64_t lead = l[0] | (static_cast<std::uint64_t>(l[1]) << 16) |
                             (static_cast<std::uint64_t>(l[2]) << 32) | (static_cast<std::uint64_t>(l[3]) << 48);
        std::uint64_t trailOk = t[0] | (static_cast<std::uint64_t>(t[1]) << 16) |
                                (static_cast<std::uint64_t>(t[2]) << 32) | (static_cast<std::uint64_t>(t[3]) << 48);
        std::uint64_t startOk = s[0] | (static_cast<std::uint64_t>(s[1]) << 16) |
                                (static_cast<std::uint64_t>(s[2]) << 32) | (static_cast<std::uint64_t>(s[3]) << 48);
        std::uint64_t nextCarry = carry;
        std::uint64_t trail = TrailPositions(lead, &nextCarry);
        std::uint64_t bad = (trail & ~trailOk) | (~trail & ~startOk);
        if (bad) break;
        Store16(out + w, v0);
        Store16(out + w + 16, v1);
        Store16(out + w + 32, v2);
        Store16(out + w + 48, v3);
        r += 64;
        w += 64;
        carry = nextCarry;
    }
    // The scalar loop starts at a token start: step back onto a lead whose
    // trail lies beyond the last block.
    r -= static_cast<std::size_t>(carry);
    w -= static_cast<std::size_t>(carry);
#endif
    std::size_t start = r;
    while (r + 1 < n) {
        unsigned c = kSjisStartClass.value[in[r]];
        if (c > kSjisTrail.value[in[r + 1]]) break;
        r += 1 + c;
    }
    if (r + 1 == n && kSjisStartClass.value[in[r]] == 0) ++r;
    std::memcpy(out + w, in + start, r - start);
    w += r - start;
    *i = r;
    *o = w;
}

// Converts JIS X 0208 pairs (in the kanji shift state) from in[*i] while
// both bytes of the next pair are 0x21-0x7E.
void ConvertJisRun(Byte* out, std::size_t* o, const Byte* in, std::size_t* i, std::size_t n) {
    std::size_t r = *i;
    std::size_t w = *o;
#if NKF_HAVE_SSE2
    // Whole blocks of 16 bytes; the block where the run ends is converted
    // whole as well and only its complete pairs are kept (the rest of the
    // stored block lies beyond the write position and is written over).
    while (r + 16 <= n) {
        __m128i v = Load16(in + r);
        unsigned valid = static_cast<unsigned>(_mm_movemask_epi8(ByteRange(v, 0x21, 0x7E)));
        Store16(out + w, SjisPairs8(v));
        if (valid != 0xFFFF) {
            unsigned kept = LowestBit(~valid) & ~1u;
            r += kept;
            w += kept;
            *i = r;
            *o = w;
            return;
        }
        r += 16;
        w += 16;
    }
#endif
    while (r + 1 < n && IsJisByte(in[r]) && IsJisByte(in[r + 1])) {
        PutSjisPair(out + w, in[r], in[r + 1]);
        r += 2;
        w += 2;
    }
    *i = r;
    *o = w;
}

// Converts EUC-JP tokens from in[*i] up to the next 7-bit byte.  Returns
// false, without converting it, at a token that EUC-JP rejects when
// StopAtInvalid; copies such a byte unchanged otherwise.
template <bool StopAtInvalid>
bool ConvertEucRun(Byte* out, std::size_t* o, const Byte* in, std::size_t* i, std::size_t n) {
    std::size_t r = *i;
    std::size_t w = *o;
    bool ok = true;
    while (r < n) {
#if NKF_HAVE_SSE2
        if (r + 16 <= n) {
            // As many whole pairs as the block holds before its first byte
            // outside 0xA1-0xFE; the rest of the stored block is written over.
            __m128i v = Load16(in + r);
            unsigned valid = static_cast<unsigned>(_mm_movemask_epi8(ByteRange(v, 0xA1, 0xFE)));
            if ((valid & 3u) == 3u) {
                Store16(out + w, SjisPairs8(v));
                unsigned kept = valid == 0xFFFF ? 16u : (LowestBit(~valid) & ~1u);
                r += kept;
                w += kept;
                continue;
            }
        }
#endif
        unsigned b = in[r];
        if (b < 0x80) break;
        if (IsEucByte(b) && r + 1 < n && IsEucByte(in[r + 1])) {
            PutSjisPair(out + w, b & 0x7Fu, in[r + 1] & 0x7Fu);
            r += 2;
            w += 2;
            continue;
        }
        std::size_t len = EucTokenLength(in, r, n);
        if (len == 2) {  // SS2: half-width kana keep their one byte
            out[w++] = in[r + 1];
            r += 2;
        } else if (len == 3) {  // SS3: JIS X 0212 has no place in Shift_JIS
            out[w] = kGeta[0];
            out[w + 1] = kGeta[1];
            w += 2;
            r += 3;
        } else if (StopAtInvalid) {
            ok = false;
            break;
        } else {
            out[w++] = static_cast<Byte>(b);
            ++r;
        }
    }
    *i = r;
    *o = w;
    return ok;
}

// Whether the escape at in[i] is one of ours; sets the designation it makes.
inline bool ReadEscape(const Byte* in, std::size_t i, std::size_t n, int* mode) {
    if (n - i < 3) return false;
    unsigned a = in[i + 1];
    unsigned b = in[i + 2];
    if (a == '$' && (b == '@' || b == 'B')) {
        *mode = MODE_KANJI;
        return true;
    }
    if (a == '(' && (b == 'B' || b == 'J')) {
        *mode = MODE_ASCII;
        return true;
    }
    if (a == '(' && b == 'I') {
        *mode = MODE_KANA;
        return true;
    }
    return false;
}

#if NKF_HAVE_SSE2
// ISO-2022-JP text, a block of 16 bytes at a time, in the two states mail
// uses: single bytes (`*g0` MODE_ASCII), copied up to the next ESC, SO, SI
// or 8-bit byte, and JIS X 0208 (MODE_KANJI), whose pairs are converted up
// to the first byte outside 0x21-0x7E.  The escapes between them (ESC $ B,
// ESC $ @, ESC ( B, ESC ( J) are taken here, so that a line of short runs
// does not go back and forth through the general code.  Stops, with the
// state reached, at anything else (another shift or escape, a line end or
// half a pair in JIS X 0208, an 8-bit byte) and within 16 bytes of the end,
// and leaves that to the general code.  Each block is stored whole at the
// write position, which never passes the read position; what lies beyond
// the bytes kept is written over.
void ConvertIsoRun(Byte* out, std::size_t* o, const Byte* in, std::size_t* i, std::size_t n, int* g0) {
    std::size_t r = *i;
    std::size_t w = *o;
    int mode = *g0;
    while (r + 16 <= n) {
        __m128i v = Load16(in + r);
        std::size_t kept;
        if (mode == MODE_ASCII) {
            Store16(out + w, v);
            std::uint32_t stops = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(ShiftControls(v), v)));
            if (stops == 0) {
                r += 16;
                w += 16;
                continue;
            }
            kept = LowestBit(stops);
        } else {
            Store16(out + w, SjisPairs8(v));
            std::uint32_t valid = static_cast<std::uint32_t>(_mm_movemask_epi8(ByteRange(v, 0x21, 0x7E)));
            if (valid == 0xFFFFu) {
                r += 16;
                w += 16;
                continue;
            }
            kept = LowestBit(~valid);
            if (kept & 1u) {  // half a pair
                r += kept - 1;
                w += kept - 1;
                break;
            }
        }
        r += kept;
        w += kept;
        int designated;
        if (in[r] != kEsc || !ReadEscape(in, r, n, &designated) || designated == MODE_KANA) break;
        mode = designated;
        r += 3;
    }
    *i = r;
    *o = w;
    *g0 = mode;
}
#endif

// One pass over the text with a fixed reading of the 8-bit bytes.  With
// StopAtInvalid the pass gives up (returns false) at the first 8-bit token
// the reading rejects; otherwise such bytes are copied unchanged and the
// pass always completes.  Sets *eightBit when it meets an 8-bit byte (the
// only bytes that the readings tell apart).
template <int Reading, bool StopAtInvalid>
bool RunPass(Byte* out, const Byte* in, std::size_t n, std::size_t* outLength, bool* eightBit) {
    std::size_t i = 0;
    std::size_t o = 0;
    int g0 = MODE_ASCII;
    bool shifted = false;
    // Unshifted text read as Shift_JIS (when not checking it) or as UTF-8
    // comes out as it is up to the next ESC, SO or SI, which are never part
    // of a multibyte token.
    const bool copyHighBytes =
        Reading == NKF_READING_UTF8 || (Reading == NKF_READING_SHIFT_JIS && !StopAtInvalid);
    while (i < n) {
        unsigned b = in[i];
        int mode = shifted ? MODE_KANA : g0;
#if NKF_HAVE_SSE2
        if (!shifted && b < 0x80 && (g0 == MODE_KANJI || (g0 == MODE_ASCII && !copyHighBytes))) {
            std::size_t before = i;
            ConvertIsoRun(out, &o, in, &i, n, &g0);
            if (i != before) continue;
        }
#endif
        if (mode == MODE_ASCII && !IsShiftControl(b)) {
            if (copyHighBytes) {
                CopyRun<false>(out, &o, in, &i, n);
                continue;
            }
            if (b < 0x80) {
                CopyRun<true>(out, &o, in, &i, n);
                continue;
            }
        }
        if (b < 0x80) {
            if (mode == MODE_KANJI && IsJisByte(b)) {
                if (i + 1 < n && IsJisByte(in[i + 1])) {
                    ConvertJisRun(out, &o, in, &i, n);
                } else {
                    out[o++] = static_cast<Byte>(b);  // half a pair: kept as it is
                    ++i;
                }
                continue;
            }
            if (mode == MODE_KANA && InRange(b, 0x21, 0x5F)) {
                out[o++] = static_cast<Byte>(b | 0x80u);
                ++i;
                continue;
            }
            if (b == kEsc) {
                int designated;
                if (ReadEscape(in, i, n, &designated)) {
                    g0 = designated;
                    i += 3;
                } else {
                    out[o++] = static_cast<Byte>(b);  // unknown or broken escape: kept
                    ++i;
                }
                continue;
            }
            if (b == kSo || b == kSi) {
                shifted = (b == kSo);
                ++i;
                continue;
            }
            if (b == kCr || b == kLf) {
                // A line end closes any shift, so one line that misses its
                // ESC ( B cannot garble the lines after it.
                g0 = MODE_ASCII;
                shifted = false;
            }
            out[o++] = static_cast<Byte>(b);
            ++i;
            continue;
        }
        *eightBit = true;
        if (Reading == NKF_READING_EUC_JP) {
#if NKF_HAVE_SSE2
            // From the first 8-bit byte of unshifted text on, the 7-bit
            // bytes between the pairs go with them, block by block.
            if (mode == MODE_ASCII) {
                std::size_t before = i;
                ConvertEucBlocks(out, &o, in, &i, n);
                if (i != before) continue;
            }
#endif
            if (!ConvertEucRun<StopAtInvalid>(out, &o, in, &i, n)) return false;
        } else if (Reading == NKF_READING_SHIFT_JIS) {
            if (StopAtInvalid && mode == MODE_ASCII) {
                std::size_t before = i;
                CopySjisRun(out, &o, in, &i, n);
                if (i == before) return false;  // stopped at once: an invalid token
                continue;
            }
            std::size_t len = SjisTokenLength(in, i, n);
            if (len == 0) {
                if (StopAtInvalid) return false;
                len = 1;
            }
            std::memcpy(out + o, in + i, len);
            o += len;
            i += len;
        } else {
            out[o++] = static_cast<Byte>(b);
            ++i;
        }
    }
    *outLength = o;
    return true;
}

// Whether every 8-bit byte of the text belongs to a well-formed UTF-8
// sequence (no overlong forms, no surrogates, nothing above U+10FFFF) and
// there is at least one.
bool IsUtf8Text(const Byte* in, std::size_t n) {
    bool any = false;
    std::size_t i = 0;
    for (;;) {
        i = FindHighByte(in, i, n);
        if (i >= n) return any;
        any = true;
        unsigned b = in[i];
        std::size_t more;
        unsigned lo = 0x80;
        unsigned hi = 0xBF;
        if (InRange(b, 0xC2, 0xDF)) {
            more = 1;
        } else if (InRange(b, 0xE0, 0xEF)) {
            more = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (InRange(b, 0xF0, 0xF4)) {
            more = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i <= more) return false;
        if (!InRange(in[i + 1], lo, hi)) return false;
        for (std::size_t k = 2; k <= more; ++k) {
            if (!InRange(in[i + k], 0x80, 0xBF)) return false;
        }
        i += more + 1;
    }
}

// The decision between Shift_JIS and EUC-JP: both readings walk the text
// token by token side by side; the first token that one of them rejects
// while the other accepts the byte decides for the other.  Tokens rejected
// by both at the same place decide nothing.  If nothing decides, the
// preference does.
NkfReading DecideSjisOrEuc(const Byte* in, std::size_t n, bool preferShiftJis) {
    std::size_t ps = 0;  // next token start in the Shift_JIS reading
    std::size_t pe = 0;  // next token start in the EUC-JP reading
    for (;;) {
        if (ps == pe) {
            ps = pe = FindHighByte(in, ps, n);
            if (ps >= n) break;
            std::size_t ls = SjisTokenLength(in, ps, n);
            std::size_t le = EucTokenLength(in, pe, n);
            if ((ls == 0) != (le == 0)) return ls == 0 ? NKF_READING_EUC_JP : NKF_READING_SHIFT_JIS;
            ps += ls ? ls : 1;
            pe += le ? le : 1;
        } else if (ps < pe) {
            std::size_t ls = SjisTokenLength(in, ps, n);
            if (ls == 0) return NKF_READING_EUC_JP;
            ps += ls;
        } else {
            std::size_t le = EucTokenLength(in, pe, n);
            if (le == 0) return NKF_READING_SHIFT_JIS;
            pe += le;
        }
    }
    return preferShiftJis ? NKF_READING_SHIFT_JIS : NKF_READING_EUC_JP;
}

NkfReading DecideReading(const Byte* in, std::size_t n, bool preferShiftJis) {
    if (IsUtf8Text(in, n)) return NKF_READING_UTF8;
    return DecideSjisOrEuc(in, n, preferShiftJis);
}

std::size_t RunFullPass(NkfReading reading, Byte* out, const Byte* in, std::size_t n) {
    std::size_t length = 0;
    bool eightBit = false;
    switch (reading) {
        case NKF_READING_SHIFT_JIS:
            RunPass<NKF_READING_SHIFT_JIS, false>(out, in, n, &length, &eightBit);
            break;
        case NKF_READING_EUC_JP:
            RunPass<NKF_READING_EUC_JP, false>(out, in, n, &length, &eightBit);
            break;
        default:
            RunPass<NKF_READING_UTF8, false>(out, in, n, &length, &eightBit);
            break;
    }
    return length;
}

}  // namespace

NkfOptions NkfCoreParseOptions(const char* options) {
    NkfOptions result;
    result.shiftJisOutput = false;
    result.preferShiftJis = false;
    if (options == nullptr) return result;
    for (const char* p = options; *p != '\0'; ++p) {
        if (*p == 's') result.shiftJisOutput = true;
        if (*p == 'X') result.preferShiftJis = true;
    }
    return result;
}

NkfReading NkfCoreDecideReading(const char* input, std::size_t length, NkfOptions options) {
    if (input == nullptr) length = 0;
    return DecideReading(reinterpret_cast<const Byte*>(input), length, options.preferShiftJis);
}

std::size_t NkfCoreConvert(char* output, const char* input, std::size_t length, NkfOptions options) {
    if (output == nullptr) return 0;
    if (input == nullptr) length = 0;
    Byte* out = reinterpret_cast<Byte*>(output);
    const Byte* in = reinterpret_cast<const Byte*>(input);
    // The preferred pass goes first: a text without 8-bit bytes (ISO-2022-JP
    // or ASCII) is then done in one pass, where looking for UTF-8 first read
    // it once more.  A text with 8-bit bytes that is UTF-8 takes that reading
    // whatever the pass made of it.
    std::size_t written = 0;
    bool eightBit = false;
    bool done = options.preferShiftJis
                    ? RunPass<NKF_READING_SHIFT_JIS, true>(out, in, length, &written, &eightBit)
                    : RunPass<NKF_READING_EUC_JP, true>(out, in, length, &written, &eightBit);
    if (eightBit && IsUtf8Text(in, length)) {
        written = RunFullPass(NKF_READING_UTF8, out, in, length);
    } else if (!done) {
        written = RunFullPass(DecideSjisOrEuc(in, length, options.preferShiftJis), out, in, length);
    }
    out[written] = 0;
    return written;
}
