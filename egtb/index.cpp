#include "egtb/index.h"

#include "board/types.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr int NO_EP = 127;
constexpr std::uint16_t PAIR_NONE = 4000;
constexpr std::uint8_t SQ_NONE = 255;
constexpr int PAWN_PAIRS = 1806;
constexpr int PAWNLESS_PAIRS = 462;

// Legal-square tables, one per attacker kind.
enum LegalKind { NSTM_PAWN, STM_PAWN, L_KNIGHT, L_BISHOP, L_ROOK, L_QUEEN, LEGAL_KINDS };

std::uint16_t pairOf[2][64][64];             // [pawns][reference king][other king]
std::uint8_t legalRank[LEGAL_KINDS][64][64]; // [kind][king][square]
std::uint8_t legalCount[LEGAL_KINDS][64];    // [kind][king]
bool tablesBuilt = false;

int fileOf(int sq) {
    return sq & 7;
}
int rowOf(int sq) {
    return sq >> 3;
}
bool adjacentOrSame(int a, int b) {
    return std::abs(fileOf(a) - fileOf(b)) <= 1 && std::abs(rowOf(a) - rowOf(b)) <= 1;
}
bool onTriangle(int sq) {
    return rowOf(sq) <= fileOf(sq) && fileOf(sq) < 4;
}
bool onOrAboveDiagonal(int sq) {
    return fileOf(sq) >= rowOf(sq);
}
bool offDiagonal(int sq) {
    return fileOf(sq) != rowOf(sq);
}
int reflectDiagonal(int sq) {
    return 8 * fileOf(sq) + rowOf(sq);
}
int quadrantMask(int sq) {
    return (fileOf(sq) >= 4 ? 7 : 0) + (rowOf(sq) >= 4 ? 56 : 0);
}

// True when a piece of kind on s attacks k whatever stands between.
bool excludedFor(int kind, int k, int s) {
    int df = fileOf(s) - fileOf(k), dr = rowOf(s) - rowOf(k);
    int adf = std::abs(df), adr = std::abs(dr);
    switch (kind) {
    case STM_PAWN: // a pawn moving up from s captures onto s + 7 and s + 9
        return dr == -1 && adf == 1;
    case L_KNIGHT:
        return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
    case L_BISHOP:
        return adf == 1 && adr == 1;
    case L_ROOK:
        return adf + adr == 1;
    case L_QUEEN:
        return adf <= 1 && adr <= 1;
    default:
        return false;
    }
}

std::uint64_t choose(std::uint64_t n, int c) {
    if (c == 1) return n;
    if (c == 2) return n * (n - 1) / 2;
    return n * (n - 1) * (n - 2) / 6;
}

void buildSquareTables() {
    for (int pawns = 0; pawns < 2; ++pawns) {
        int n = 0;
        for (int r = 0; r < 64; ++r)
            for (int o = 0; o < 64; ++o) {
                pairOf[pawns][r][o] = PAIR_NONE;
                if (adjacentOrSame(r, o)) continue;
                bool ok = pawns ? fileOf(r) < 4
                                : onTriangle(r) && (offDiagonal(r) || onOrAboveDiagonal(o));
                if (ok) pairOf[pawns][r][o] = static_cast<std::uint16_t>(n++);
            }
    }
    for (int kind = 0; kind < LEGAL_KINDS; ++kind)
        for (int k = 0; k < 64; ++k) {
            int n = 0;
            for (int s = 0; s < 64; ++s) {
                bool pawn = kind == NSTM_PAWN || kind == STM_PAWN;
                bool ok = s != k && !(pawn && (s < 8 || s >= 56)) && !excludedFor(kind, k, s);
                legalRank[kind][k][s] = ok ? static_cast<std::uint8_t>(n++) : SQ_NONE;
            }
            legalCount[kind][k] = static_cast<std::uint8_t>(n);
        }
}

struct Group {
    int kind;  // PAWN .. QUEEN, as in PieceSet
    int count; // like pieces numbered together
    int set;   // 0 first set, 1 second set (after any exchange)
    int legal; // LegalKind (high part only)
};

struct Layout {
    bool exchange = false; // symmetric, Black to move: the White layout with the sets exchanged
    bool pawns = false;
    int stm = 0;           // set on move
    int counts[2][5] = {}; // pieces per set and kind
    Group high[6];
    int nHigh = 0;
    Group low[6];
    int nLow = 0;
    int highPieces = 0, highPawns = 0;
    std::uint64_t lowRadix = 1;
    std::uint64_t base[PAWN_PAIRS + 1] = {};
    std::uint64_t ordinary = 0; // positions without en passant
    int epPerPair = 0, epOtherValues = 0;
    std::uint64_t length = 0;
};

Layout layouts[TABLE_COUNT][2];

int kindOfLetter(char c) {
    static const char LETTERS[] = "pnbrq";
    const char* p = std::strchr(LETTERS, c);
    return p && c ? static_cast<int>(p - LETTERS) : -1;
}

constexpr int LEGAL_OF_KIND[5] = {STM_PAWN, L_KNIGHT, L_BISHOP, L_ROOK, L_QUEEN};

void buildLayout(int id, int side) {
    Layout& L = layouts[id][side];
    L = Layout{};
    const TableDesc& t = tableRegistry[id];
    int counts[2][5] = {};
    int set = -1;
    for (const char* p = t.name; *p; ++p) {
        if (*p == 'k') {
            ++set;
            continue;
        }
        int k = kindOfLetter(*p);
        if (k >= 0 && set >= 0 && set < 2) ++counts[set][k];
    }
    std::memcpy(L.counts, counts, sizeof counts);
    L.exchange = (t.flags & TABLE_SYMMETRIC) && side == 1;
    L.stm = L.exchange ? 0 : side;
    const int S = L.stm, O = 1 - S;
    L.pawns = counts[0][PAWN] + counts[1][PAWN] > 0;
    int sPieces = 0;
    for (int k = 0; k < 5; ++k) sPieces += counts[S][k];
    for (int k = QUEEN; k >= PAWN; --k)
        if (counts[S][k]) L.high[L.nHigh++] = {k, counts[S][k], S, LEGAL_OF_KIND[k]};
    const bool otherPawnsHigh = sPieces == 0 && counts[O][PAWN] > 0;
    if (otherPawnsHigh) L.high[L.nHigh++] = {PAWN, counts[O][PAWN], O, NSTM_PAWN};
    for (int k = QUEEN; k >= (otherPawnsHigh ? KNIGHT : PAWN); --k)
        if (counts[O][k]) L.low[L.nLow++] = {k, counts[O][k], O, -1};
    for (int g = 0; g < L.nHigh; ++g) {
        L.highPieces += L.high[g].count;
        if (L.high[g].kind == PAWN) L.highPawns += L.high[g].count;
    }
    int placed = 2 + L.highPieces, placedPawns = L.highPawns;
    for (int g = 0; g < L.nLow; ++g) {
        const Group& gr = L.low[g];
        L.lowRadix *=
            gr.kind == PAWN ? choose(48 - placedPawns, gr.count) : choose(64 - placed, gr.count);
        placed += gr.count;
        if (gr.kind == PAWN) placedPawns += gr.count;
    }
    // Running totals of the high part's sizes over the king pairs.
    const int pairs = L.pawns ? PAWN_PAIRS : PAWNLESS_PAIRS;
    int next = 0;
    for (int r = 0; r < 64; ++r)
        for (int o = 0; o < 64; ++o) {
            if (pairOf[L.pawns][r][o] == PAIR_NONE) continue;
            std::uint64_t size = 1;
            for (int g = 0; g < L.nHigh; ++g) {
                int lk = L.high[g].legal;
                int n = legalCount[lk][o] - (legalRank[lk][o][r] != SQ_NONE ? 1 : 0);
                size *= choose(n, L.high[g].count);
            }
            L.base[next + 1] = L.base[next] + size;
            ++next;
        }
    L.ordinary = L.base[pairs] * L.lowRadix;
    L.length = L.ordinary;
    if (counts[S][PAWN] > 0 && counts[O][PAWN] > 0) {
        // En passant: 14 capture codes per king pair, times the places of the
        // one piece left besides the capturer and the pawn it takes.
        int rest = sPieces;
        for (int k = 0; k < 5; ++k) rest += counts[O][k];
        rest -= 2;
        if (rest == 0)
            L.epOtherValues = 1;
        else if (rest == 1)
            L.epOtherValues = counts[S][PAWN] + counts[O][PAWN] == 3 ? 44 : 60;
        if (L.epOtherValues) {
            L.epPerPair = 14 * L.epOtherValues;
            L.length += std::uint64_t{PAWN_PAIRS} * L.epPerPair;
            // White to move in kppkp: the last value would need the other white
            // pawn on g7 checking the black king on h8, so no position has it.
            if (counts[S][PAWN] == 2 && counts[O][PAWN] == 1 && rest == 1) L.length -= 1;
        }
    }
}

// The square of a piece of the given set and kind, i-th of its list.
int squareOf(const PieceSet* const sets[2], int set, int kind, int i) {
    return sets[set]->squares[kind][i];
}

// Combination digit of sorted distinct values; false when two are equal.
bool combine(int* v, int c, std::uint64_t& digit) {
    for (int i = 1; i < c; ++i) // at most three values
        for (int j = i; j > 0 && v[j] < v[j - 1]; --j) std::swap(v[j], v[j - 1]);
    for (int i = 1; i < c; ++i)
        if (v[i] == v[i - 1]) return false;
    digit = 0;
    for (int i = 0; i < c; ++i) digit += choose(v[i], i + 1);
    return true;
}

std::uint64_t indexOf(const Layout& L, const PieceSet& first, const PieceSet& second, int ep,
                      int invert) {
    const PieceSet* sets[2] = {&first, &second};
    if (L.exchange) std::swap(sets[0], sets[1]);
    const int S = L.stm, O = 1 - S;
    const int sKing = sets[S]->king, oKing = sets[O]->king;
    if (sKing < 0 || sKing > 63 || oKing < 0 || oKing > 63) return INDEX_NONE;
    int mask, hiFlip = 0;
    bool reflect = false;
    if (L.pawns) {
        mask = (fileOf(sKing) >= 4 ? 7 : 0) ^ (invert ? 56 : 0);
        hiFlip = S == 1 ? 56 : 0;
    } else {
        mask = quadrantMask(sKing);
        int r = sKing ^ mask, o = oKing ^ mask;
        reflect = !(onTriangle(r) && (onOrAboveDiagonal(o) || offDiagonal(r)));
    }
    auto orient = [&](int sq) { return reflect ? reflectDiagonal(sq ^ mask) : sq ^ mask; };
    const int rk = orient(sKing) ^ hiFlip, ok = orient(oKing) ^ hiFlip;
    const int pair = pairOf[L.pawns][rk][ok];
    if (pair == PAIR_NONE) return INDEX_NONE;

    int placed[8], nPlaced = 0, placedPawns[8], nPawns = 0;
    placed[nPlaced++] = orient(sKing);
    placed[nPlaced++] = orient(oKing);

    std::uint64_t high = 0;
    for (int g = 0; g < L.nHigh; ++g) {
        const Group& gr = L.high[g];
        const std::uint8_t* table = legalRank[gr.legal][ok];
        const bool ownLegal = table[rk] != SQ_NONE;
        int v[3];
        for (int i = 0; i < gr.count; ++i) {
            int sq = squareOf(sets, gr.set, gr.kind, i);
            if (sq < 0 || sq > 63) return INDEX_NONE;
            int plain = orient(sq);
            int hs = plain ^ hiFlip;
            if (table[hs] == SQ_NONE) return INDEX_NONE;
            v[i] = table[hs] - (ownLegal && rk < hs ? 1 : 0);
            placed[nPlaced++] = plain;
            if (gr.kind == PAWN) placedPawns[nPawns++] = plain;
        }
        std::uint64_t digit;
        if (!combine(v, gr.count, digit)) return INDEX_NONE;
        int n = legalCount[gr.legal][ok] - (ownLegal ? 1 : 0);
        high = high * choose(n, gr.count) + digit;
    }
    const std::uint64_t H = L.base[pair] + high;

    // En passant: a pawn of the side to move beside the pawn that just passed.
    if (L.epPerPair && ep != NO_EP && ep >= 0 && ep < 64) {
        const int e = ep ^ mask;
        const int up = S == 0 ? 8 : -8; // the side to move's pawns move this way
        const int victim = e - up, origin = e + up;
        int victimAt = -1;
        for (int i = 0; i < L.counts[O][PAWN]; ++i)
            if ((sets[O]->squares[PAWN][i] ^ mask) == victim) victimAt = i;
        int capturer = -1, capturerAt = -1, code = 0;
        for (int lower = 1; lower >= 0 && capturer < 0 && victimAt >= 0; --lower)
            for (int i = 0; i < L.counts[S][PAWN] && capturer < 0; ++i) {
                int c = sets[S]->squares[PAWN][i] ^ mask;
                if (rowOf(c) != rowOf(victim)) continue;
                if (lower && fileOf(c) >= 1 && c - 1 == victim)
                    capturer = c, capturerAt = i, code = fileOf(c) - 1;
                if (!lower && fileOf(c) <= 6 && c + 1 == victim)
                    capturer = c, capturerAt = i, code = fileOf(c) + 7;
            }
        if (capturer >= 0) {
            int other = 0;
            if (L.epOtherValues > 1) {
                // The one piece left, numbered among the squares the capture
                // leaves free (capturer, taken pawn, passed and start squares).
                int sq = -1;
                bool pawn = false;
                for (int set = 0; set < 2; ++set)
                    for (int k = PAWN; k <= QUEEN; ++k)
                        for (int i = 0; i < L.counts[set][k]; ++i) {
                            if (k == PAWN && set == S && i == capturerAt) continue;
                            if (k == PAWN && set == O && i == victimAt) continue;
                            sq = sets[set]->squares[k][i] ^ mask;
                            pawn = k == PAWN;
                        }
                if (sq < 0 || sq > 63) return INDEX_NONE;
                if (pawn && (sq < 8 || sq >= 56)) return INDEX_NONE;
                other = pawn ? sq - 8 : sq;
                for (int u : {capturer, victim, e, origin}) {
                    if (u == sq) return INDEX_NONE;
                    if (u < sq) --other;
                }
            }
            return L.ordinary + std::uint64_t(pair) * L.epPerPair +
                   std::uint64_t(code) * L.epOtherValues + other;
        }
    }

    std::uint64_t low = 0;
    for (int g = 0; g < L.nLow; ++g) {
        const Group& gr = L.low[g];
        int v[3];
        for (int i = 0; i < gr.count; ++i) {
            int sq = squareOf(sets, gr.set, gr.kind, i);
            if (sq < 0 || sq > 63) return INDEX_NONE;
            int p = orient(sq);
            int d;
            if (gr.kind == PAWN) {
                if (p < 8 || p >= 56) return INDEX_NONE;
                d = p - 8;
                for (int j = 0; j < nPawns; ++j) {
                    if (placedPawns[j] == p) return INDEX_NONE;
                    if (placedPawns[j] < p) --d;
                }
            } else {
                d = p;
                for (int j = 0; j < nPlaced; ++j) {
                    if (placed[j] == p) return INDEX_NONE;
                    if (placed[j] < p) --d;
                }
            }
            v[i] = d;
        }
        std::uint64_t digit;
        if (!combine(v, gr.count, digit)) return INDEX_NONE;
        std::uint64_t radix =
            gr.kind == PAWN ? choose(48 - nPawns, gr.count) : choose(64 - nPlaced, gr.count);
        low = low * radix + digit;
        for (int i = 0; i < gr.count; ++i) {
            int p = orient(squareOf(sets, gr.set, gr.kind, i));
            placed[nPlaced++] = p;
            if (gr.kind == PAWN) placedPawns[nPawns++] = p;
        }
    }
    return H * L.lowRadix + low;
}

template <int Id, int Side>
std::uint32_t indexFnOf(const PieceSet& first, const PieceSet& second, int ep, int invert) {
    return tableIndex(Id, Side, first, second, ep, invert);
}

template <std::size_t... I>
constexpr std::array<IndexFn, sizeof...(I)> makeFns(std::index_sequence<I...>) {
    return {&indexFnOf<static_cast<int>(I / 2), static_cast<int>(I % 2)>...};
}
constexpr auto INDEX_FNS = makeFns(std::make_index_sequence<2 * TABLE_COUNT>{});

} // namespace

void initIndexFunctions() {
    if (tablesBuilt) return;
    buildSquareTables();
    for (int id = 1; id < TABLE_COUNT; ++id)
        for (int side = 0; side < 2; ++side) {
            buildLayout(id, side);
            tableRegistry[id].indexFn[side] = INDEX_FNS[2 * id + side];
        }
    tablesBuilt = true;
}

std::uint32_t tableIndex(int id, int side, const PieceSet& first, const PieceSet& second, int ep,
                         int invert) {
    if (id < 1 || id >= TABLE_COUNT || side < 0 || side > 1) return INDEX_NONE;
    std::uint64_t index = indexOf(layouts[id][side], first, second, ep, invert);
    return index >= INDEX_NONE ? INDEX_NONE : static_cast<std::uint32_t>(index);
}

std::uint64_t layoutLength(int id, int side) {
    return id >= 1 && id < TABLE_COUNT && side >= 0 && side < 2 ? layouts[id][side].length : 0;
}
