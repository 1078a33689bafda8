#include "board/magics.h"
#include "board/tables.h"

namespace {

// Multipliers found offline by scripts/find_magics.cpp (sparse random
// candidates tested against every subset of each mask). Any set that maps
// each subset to a slot holding its own attack set would do; these are fixed
// so that every build has the same tables.
constexpr U64 rookMultipliers[64] = {
    0x0080021620804001ull, 0x0040001000200041ull, 0x0200102200088040ull, 0x4080040800821000ull,
    0x2200020004200810ull, 0x4b00020c000d0008ull, 0x01000c4183000600ull, 0x2080010000402c80ull,
    0x8002800826864000ull, 0x0410802000884000ull, 0x0c01004010200100ull, 0x020300100100203cull,
    0x0450800801040080ull, 0x4010800200040080ull, 0x8804000208048110ull, 0x0c40800080004100ull,
    0xa2018880024004a0ull, 0x0080848020004004ull, 0x1010410010200101ull, 0x2010008008008010ull,
    0x0a08010004110008ull, 0x0802080104209040ull, 0x0080040090010802ull, 0x0280020000841069ull,
    0x080c400080248000ull, 0x2048850100224008ull, 0x00200800c0300040ull, 0x11400d0100201000ull,
    0x0041001100080204ull, 0x4802000200040810ull, 0x0100080c00103601ull, 0x0020084200043085ull,
    0x0100804000800022ull, 0x0460401000402002ull, 0x8309002001001044ull, 0x0000800800801000ull,
    0x0000800800800400ull, 0xb542040080800200ull, 0x1041000401000200ull, 0x000318b04a000401ull,
    0x0280082000484000ull, 0x0080400081010030ull, 0x0010002000108080ull, 0x012010002101000aull,
    0x0801000408010012ull, 0x0004008002008004ull, 0x0ad1005200110014ull, 0x4000004110820004ull,
    0x9400400080003080ull, 0x0000802200490200ull, 0x1521100080200280ull, 0x9021000824100100ull,
    0x0081080080840280ull, 0x0002000904100200ull, 0x0130024801302400ull, 0x0102008100442200ull,
    0x0080984063800101ull, 0x0016810201412812ull, 0x40200101603008c1ull, 0x2851100004082101ull,
    0x1049001002880005ull, 0x0081000804000201ull, 0x100020901208410cull, 0x0101064400813102ull,
};
constexpr U64 bishopMultipliers[64] = {
    0x24e0440c00802202ull, 0x00881808841a4500ull, 0x29c1021085004190ull, 0x18c4041080042020ull,
    0x0841104000008108ull, 0x890828080880c088ull, 0x0006021024062018ull, 0x2000404044104040ull,
    0x09000504104a0210ull, 0x0088390204040820ull, 0x4001420082008402ull, 0x028108048b001142ull,
    0x1c00140421001008ull, 0x0008021212200400ull, 0x080000581a082004ull, 0x3000048208027204ull,
    0x0120004044148482ull, 0x4021000808108090ull, 0x0084011808009452ull, 0x11c802242020e000ull,
    0x0124002210140002ull, 0x4009008200420200ull, 0x0000830202100202ull, 0x9002042500420200ull,
    0x0a60200004480210ull, 0x0402481020480080ull, 0x8001100101004200ull, 0x6240104004004080ull,
    0x1124848014002000ull, 0x00180200204100a0ull, 0x8020890844880800ull, 0x0000802009040204ull,
    0x0410042041100280ull, 0x0804022000020440ull, 0x2418280400480024ull, 0x0801080800420a00ull,
    0x4002248400020020ull, 0x3020004102038084ull, 0x84280110601c0200ull, 0x2004004208088080ull,
    0x0008022220041210ull, 0x00820e0120000440ull, 0x0002002201020822ull, 0x0000002019000804ull,
    0x0211204c10101100ull, 0x0604808081001200ull, 0x1010029204030041ull, 0x1008090102110621ull,
    0x0002015002100c00ull, 0x06002c040404400aull, 0xc030002201100011ull, 0x4040008020884000ull,
    0x0248000903040100ull, 0xc010092008008040ull, 0x6008084108020494ull, 0x28102182008e0042ull,
    0x0010210820842002ull, 0x4080020111491002ull, 0x0108100084008800ull, 0x0022242100420221ull,
    0x10a8008110020210ull, 0x400019122a900102ull, 0x00800a1051080300ull, 0x0420222088008080ull,
};

constexpr int ROOK_TABLE_SIZE = 102400;
constexpr int BISHOP_TABLE_SIZE = 5248;

U64 rookTable[ROOK_TABLE_SIZE];
U64 bishopTable[BISHOP_TABLE_SIZE];

// {rank, file} steps; opposite directions sit in pairs (d and d ^ 1).
constexpr int rookSteps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr int bishopSteps[4][2] = {{1, 1}, {-1, -1}, {1, -1}, {-1, 1}};

bool onBoard(int rank, int file) {
    return rank >= 0 && rank < 8 && file >= 0 && file < 8;
}

// Walks the four rays from sq. With asMask, the edge square ending each ray is
// left out and occupancy is ignored; otherwise each ray stops at (and
// includes) the first occupied square.
U64 walkRays(int sq, const int (*steps)[2], U64 occupancy, bool asMask) {
    U64 out = 0;
    for (int d = 0; d < 4; ++d) {
        int rank = (sq >> 3) + steps[d][0], file = (sq & 7) + steps[d][1];
        while (onBoard(rank, file)) {
            bool last = !onBoard(rank + steps[d][0], file + steps[d][1]);
            if (asMask && last) break;
            int s = 8 * rank + file;
            out |= U64{1} << s;
            if (!asMask && (occupancy >> s & 1)) break;
            rank += steps[d][0];
            file += steps[d][1];
        }
    }
    return out;
}

// Fills one slider kind: offsets are cumulative, 2^bits entries per square.
void fillSlider(MagicSquare* squares, U64* table, const U64* multipliers, const int (*steps)[2]) {
    int offset = 0;
    for (int sq = 0; sq < 64; ++sq) {
        MagicSquare& m = squares[sq];
        m.mask = walkRays(sq, steps, 0, true);
        m.multiplier = multipliers[sq];
        int bits = __builtin_popcountll(m.mask);
        m.shift = 64 - bits;
        m.table = table + offset;
        // Enumerate the subsets: bit b of the counter stands for the b-th
        // lowest square of the mask.
        for (int counter = 0; counter < (1 << bits); ++counter) {
            U64 subset = 0, rest = m.mask;
            for (int b = 0; rest; ++b) {
                int low = __builtin_ctzll(rest);
                rest &= rest - 1;
                if (counter >> b & 1) subset |= U64{1} << low;
            }
            table[offset + ((subset * m.multiplier) >> m.shift)] =
                walkRays(sq, steps, subset, false);
        }
        offset += 1 << bits;
    }
}

void fillLines() {
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            betweenMask[a][b] = 0;
            lineMask[a][b] = 0;
            if (a == b) continue;
            U64 bBit = U64{1} << b;
            for (int kind = 0; kind < 2; ++kind) {
                const int(*steps)[2] = kind == 0 ? rookSteps : bishopSteps;
                U64 (*slide)(U64, int) = kind == 0 ? slideRook : slideBishop;
                if (!(slide(0, a) & bBit)) continue;
                betweenMask[a][b] = slide(bBit, a) & slide(U64{1} << a, b);
                // The line: both squares plus every ray from a that passes b or
                // points away from it along the same line.
                for (int d = 0; d < 4; ++d) {
                    U64 ray = 0;
                    int rank = (a >> 3) + steps[d][0], file = (a & 7) + steps[d][1];
                    while (onBoard(rank, file)) {
                        ray |= U64{1} << (8 * rank + file);
                        rank += steps[d][0];
                        file += steps[d][1];
                    }
                    if (ray & bBit) {
                        // The opposite direction is d ^ 1 in both step tables.
                        U64 back = 0;
                        rank = (a >> 3) + steps[d ^ 1][0];
                        file = (a & 7) + steps[d ^ 1][1];
                        while (onBoard(rank, file)) {
                            back |= U64{1} << (8 * rank + file);
                            rank += steps[d ^ 1][0];
                            file += steps[d ^ 1][1];
                        }
                        lineMask[a][b] = ray | back | (U64{1} << a);
                    }
                }
            }
        }
    }
}

} // namespace

MagicSquare rookMagic[64];
MagicSquare bishopMagic[64];
U64 betweenMask[64][64];
U64 lineMask[64][64];

void initSliderTables() {
    fillSlider(rookMagic, rookTable, rookMultipliers, rookSteps);
    fillSlider(bishopMagic, bishopTable, bishopMultipliers, bishopSteps);
    fillLines();
}

U64 rookAttacks(U64 occupancy, int sq) {
    return slideRook(occupancy, sq);
}
U64 bishopAttacks(U64 occupancy, int sq) {
    return slideBishop(occupancy, sq);
}
