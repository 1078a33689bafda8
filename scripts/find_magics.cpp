// Offline search for the magic multipliers hard-coded in board/magics.cpp.
// Not part of the build: g++ -O2 -std=c++20 scripts/find_magics.cpp -o /tmp/find_magics
// For each square it tries sparse random multipliers until every subset of the
// square's relevance mask maps to a slot that holds its own attack set (slots
// may be shared only by subsets with identical attacks). Prints two C++ arrays.
#include <cstdint>
#include <cstdio>
#include <vector>

using U64 = std::uint64_t;

static U64 rngState = 0x9E3779B97F4A7C15ull;
static U64 next64() { // splitmix64
    U64 z = (rngState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
static U64 sparse() {
    return next64() & next64() & next64();
}

// Walks the rays from sq; edge = true drops the last square of each ray (the mask).
static U64 rays(int sq, const int (*dirs)[2], U64 occ, bool mask) {
    U64 out = 0;
    int r0 = sq >> 3, f0 = sq & 7;
    for (int d = 0; d < 4; ++d) {
        int r = r0 + dirs[d][0], f = f0 + dirs[d][1];
        while (r >= 0 && r < 8 && f >= 0 && f < 8) {
            int nr = r + dirs[d][0], nf = f + dirs[d][1];
            bool last = !(nr >= 0 && nr < 8 && nf >= 0 && nf < 8);
            if (mask && last) break;
            out |= U64{1} << (8 * r + f);
            if (!mask && (occ >> (8 * r + f) & 1)) break;
            r = nr;
            f = nf;
        }
    }
    return out;
}

static const int rookDirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
static const int bishopDirs[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};

static U64 findMagic(int sq, const int (*dirs)[2]) {
    U64 mask = rays(sq, dirs, 0, true);
    int bits = __builtin_popcountll(mask);
    int n = 1 << bits;
    std::vector<U64> occ(n), att(n), used(n);
    std::vector<int> stamp(n, -1);
    for (int i = 0; i < n; ++i) {
        U64 o = 0, m = mask;
        for (int b = 0; m; ++b) {
            int low = __builtin_ctzll(m);
            m &= m - 1;
            if (i >> b & 1) o |= U64{1} << low;
        }
        occ[i] = o;
        att[i] = rays(sq, dirs, o, false);
    }
    for (int attempt = 0;; ++attempt) {
        U64 magic = sparse();
        if (__builtin_popcountll((mask * magic) & 0xFF00000000000000ull) < 6) continue;
        bool ok = true;
        for (int i = 0; i < n && ok; ++i) {
            int idx = static_cast<int>((occ[i] * magic) >> (64 - bits));
            if (stamp[idx] != attempt) {
                stamp[idx] = attempt;
                used[idx] = att[i];
            } else if (used[idx] != att[i]) {
                ok = false;
            }
        }
        if (ok) return magic;
    }
}

int main() {
    const char* names[2] = {"rookMagics", "bishopMagics"};
    for (int kind = 0; kind < 2; ++kind) {
        std::printf("const U64 %s[64] = {\n", names[kind]);
        for (int sq = 0; sq < 64; ++sq) {
            U64 m = findMagic(sq, kind == 0 ? rookDirs : bishopDirs);
            std::printf("    0x%016llxull,%s", static_cast<unsigned long long>(m),
                        sq % 4 == 3 ? "\n" : "");
        }
        std::printf("};\n");
    }
}
