#include "egtb/tables.h"

#include <cstring>

TableDesc tableRegistry[TABLE_COUNT];

namespace {

// Names in tableId order.
const char* const TABLE_NAMES[TABLE_COUNT] = {
    "kk",     "kpk",    "knk",    "kbk",    "krk",    "kqk",    "kpkp",   "knkp",   "knkn",
    "kbkp",   "kbkn",   "kbkb",   "krkp",   "krkn",   "krkb",   "krkr",   "kqkp",   "kqkn",
    "kqkb",   "kqkr",   "kqkq",   "kppk",   "knpk",   "knnk",   "kbpk",   "kbnk",   "kbbk",
    "krpk",   "krnk",   "krbk",   "krrk",   "kqpk",   "kqnk",   "kqbk",   "kqrk",   "kqqk",
    "kppkp",  "kppkn",  "kppkb",  "kppkr",  "kppkq",  "knpkp",  "knpkn",  "knpkb",  "knpkr",
    "knpkq",  "knnkp",  "knnkn",  "knnkb",  "knnkr",  "knnkq",  "kbpkp",  "kbpkn",  "kbpkb",
    "kbpkr",  "kbpkq",  "kbnkp",  "kbnkn",  "kbnkb",  "kbnkr",  "kbnkq",  "kbbkp",  "kbbkn",
    "kbbkb",  "kbbkr",  "kbbkq",  "krpkp",  "krpkn",  "krpkb",  "krpkr",  "krpkq",  "krnkp",
    "krnkn",  "krnkb",  "krnkr",  "krnkq",  "krbkp",  "krbkn",  "krbkb",  "krbkr",  "krbkq",
    "krrkp",  "krrkn",  "krrkb",  "krrkr",  "krrkq",  "kqpkp",  "kqpkn",  "kqpkb",  "kqpkr",
    "kqpkq",  "kqnkp",  "kqnkn",  "kqnkb",  "kqnkr",  "kqnkq",  "kqbkp",  "kqbkn",  "kqbkb",
    "kqbkr",  "kqbkq",  "kqrkp",  "kqrkn",  "kqrkb",  "kqrkr",  "kqrkq",  "kqqkp",  "kqqkn",
    "kqqkb",  "kqqkr",  "kqqkq",  "kpppk",  "knppk",  "knnpk",  "knnnk",  "kbppk",  "kbnpk",
    "kbnnk",  "kbbpk",  "kbbnk",  "kbbbk",  "krppk",  "krnpk",  "krnnk",  "krbpk",  "krbnk",
    "krbbk",  "krrpk",  "krrnk",  "krrbk",  "krrrk",  "kqppk",  "kqnpk",  "kqnnk",  "kqbpk",
    "kqbnk",  "kqbbk",  "kqrpk",  "kqrnk",  "kqrbk",  "kqrrk",  "kqqpk",  "kqqnk",  "kqqbk",
    "kqqrk",  "kqqqk",  "knnknn", "kbnknn", "kbbknn", "kbbkbn", "kbbkbb", "krnknn", "krnkbb",
    "krbknn", "krbkbb", "krrknn", "krrkbn", "krrkbb", "krrkrn", "krrkrr", "kqnknn", "kqnkbb",
    "kqnkrr", "kqbknn", "kqbkbb", "kqbkrr", "kqrknn", "kqrkbb", "kqrkrr", "kqqknn", "kqqkbn",
    "kqqkbb", "kqqkrn", "kqqkrb", "kqqkrr", "kqqkqn", "kqqkqb", "kqqkqr", "kqqkqq",
};

struct KnownLength {
    std::uint32_t white, black;
};
// The index range of each table side (highest index + 1), in tableId order
// from 1; the index functions' layout gives them and a test checks that.
constexpr KnownLength KNOWN_LENGTHS[TABLE_COUNT - 1] = {
    {81664, 84012},           // 1 kpk
    {26282, 28644},           // 2 knk
    {27243, 28644},           // 3 kbk
    {27036, 28644},           // 4 krk
    {25635, 28644},           // 5 kqk
    {3863492, 3863492},       // 6 kpkp
    {4931904, 4981504},       // 7 knkp
    {1603202, 1603202},       // 8 knkn
    {5112000, 4981504},       // 9 kbkp
    {1661823, 1603202},       // 10 kbkn
    {1661823, 1661823},       // 11 kbkb
    {5072832, 4981504},       // 12 krkp
    {1649196, 1603202},       // 13 krkn
    {1649196, 1661823},       // 14 krkb
    {1649196, 1649196},       // 15 krkr
    {4810176, 4981504},       // 16 kqkp
    {1563735, 1603202},       // 17 kqkn
    {1563735, 1661823},       // 18 kqkb
    {1563735, 1649196},       // 19 kqkr
    {1563735, 1563735},       // 20 kqkq
    {1806671, 1912372},       // 21 kppk
    {4648581, 5124732},       // 22 knpk
    {735304, 873642},         // 23 knnk
    {4817128, 5124732},       // 24 kbpk
    {1550621, 1747284},       // 25 kbnk
    {789885, 873642},         // 26 kbbk
    {4779624, 5124732},       // 27 krpk
    {1538479, 1747284},       // 28 krnk
    {1594560, 1747284},       // 29 krbk
    {777639, 873642},         // 30 krrk
    {4533584, 5124732},       // 31 kqpk
    {1459616, 1747284},       // 32 kqnk
    {1512507, 1747284},       // 33 kqbk
    {1500642, 1747284},       // 34 kqrk
    {699072, 873642},         // 35 kqqk
    {84219361, 89391280},     // 36 kppkp
    {108400260, 115899744},   // 37 kppkn
    {108400260, 120132000},   // 38 kppkb
    {108400260, 119211552},   // 39 kppkr
    {108400260, 113039136},   // 40 kppkq
    {220000347, 235647728},   // 41 knpkp
    {278914860, 300846144},   // 42 knpkn
    {278914860, 311832000},   // 43 knpkb
    {278914860, 309442752},   // 44 knpkr
    {278914860, 293420736},   // 45 knpkq
    {137991648, 149445120},   // 46 knnkp
    {44118240, 48096060},     // 47 knnkn
    {44118240, 49854690},     // 48 knnkb
    {44118240, 49475880},     // 49 knnkr
    {44118240, 46912050},     // 50 knnkq
    {227922056, 235647728},   // 51 kbpkp
    {289027680, 300846144},   // 52 kbpkn
    {289027680, 311832000},   // 53 kbpkb
    {289027680, 309442752},   // 54 kbpkr
    {289027680, 293420736},   // 55 kbpkq
    {290989632, 298890240},   // 56 kbnkp
    {93037260, 96192120},     // 57 kbnkn
    {93037260, 99709380},     // 58 kbnkb
    {93037260, 98951760},     // 59 kbnkr
    {93037260, 93824100},     // 60 kbnkq
    {148223520, 149445120},   // 61 kbbkp
    {47393100, 48096060},     // 62 kbbkn
    {47393100, 49854690},     // 63 kbbkb
    {47393100, 49475880},     // 64 kbbkr
    {47393100, 46912050},     // 65 kbbkq
    {226159368, 235647728},   // 66 krpkp
    {286777440, 300846144},   // 67 krpkn
    {286777440, 311832000},   // 68 krpkb
    {286777440, 309442752},   // 69 krpkr
    {286777440, 293420736},   // 70 krpkq
    {288692928, 298890240},   // 71 krnkp
    {92308740, 96192120},     // 72 krnkn
    {92308740, 99709380},     // 73 krnkb
    {92308740, 98951760},     // 74 krnkr
    {92308740, 93824100},     // 75 krnkq
    {299203200, 298890240},   // 76 krbkp
    {95673600, 96192120},     // 77 krbkn
    {95673600, 99709380},     // 78 krbkb
    {95673600, 98951760},     // 79 krbkr
    {95673600, 93824100},     // 80 krbkq
    {145906848, 149445120},   // 81 krrkp
    {46658340, 48096060},     // 82 krrkn
    {46658340, 49854690},     // 83 krrkb
    {46658340, 49475880},     // 84 krrkr
    {46658340, 46912050},     // 85 krrkq
    {214595488, 235647728},   // 86 kqpkp
    {272015040, 300846144},   // 87 kqpkn
    {272015040, 311832000},   // 88 kqpkb
    {272015040, 309442752},   // 89 kqpkr
    {272015040, 293420736},   // 90 kqpkq
    {273904512, 298890240},   // 91 kqnkp
    {87576960, 96192120},     // 92 kqnkn
    {87576960, 99709380},     // 93 kqnkb
    {87576960, 98951760},     // 94 kqnkr
    {87576960, 93824100},     // 95 kqnkq
    {283818240, 298890240},   // 96 kqbkp
    {90750420, 96192120},     // 97 kqbkn
    {90750420, 99709380},     // 98 kqbkb
    {90750420, 98951760},     // 99 kqbkr
    {90750420, 93824100},     // 100 kqbkq
    {281574144, 298890240},   // 101 kqrkp
    {90038520, 96192120},     // 102 kqrkn
    {90038520, 99709380},     // 103 kqrkb
    {90038520, 98951760},     // 104 kqrkr
    {90038520, 93824100},     // 105 kqrkq
    {131175648, 149445120},   // 106 kqqkp
    {41944320, 48096060},     // 107 kqqkn
    {41944320, 49854690},     // 108 kqqkb
    {41944320, 49475880},     // 109 kqqkr
    {41944320, 46912050},     // 110 kqqkq
    {26061704, 28388716},     // 111 kpppk
    {102898651, 114742320},   // 112 knppk
    {130135501, 153741960},   // 113 knnpk
    {13486227, 17472840},     // 114 knnnk
    {106602156, 114742320},   // 115 kbppk
    {274352986, 307483920},   // 116 kbnpk
    {43406296, 52418520},     // 117 kbnnk
    {139715040, 153741960},   // 118 kbbpk
    {44983620, 52418520},     // 119 kbbnk
    {15010230, 17472840},     // 120 kbbbk
    {105758668, 114742320},   // 121 krppk
    {272153675, 307483920},   // 122 krnpk
    {43056199, 52418520},     // 123 krnnk
    {281991360, 307483920},   // 124 krbpk
    {90787360, 104837040},    // 125 krbnk
    {46242090, 52418520},     // 126 krbbk
    {137496696, 153741960},   // 127 krrpk
    {44265261, 52418520},     // 128 krrnk
    {45873720, 52418520},     // 129 krrbk
    {14654106, 17472840},     // 130 krrrk
    {100347222, 114742320},   // 131 kqppk
    {258294639, 307483920},   // 132 kqnpk
    {40873647, 52418520},     // 133 kqnnk
    {267576632, 307483920},   // 134 kqbpk
    {86166719, 104837040},    // 135 kqbnk
    {43879680, 52418520},     // 136 kqbbk
    {265427688, 307483920},   // 137 kqrpk
    {85470663, 104837040},    // 138 kqrnk
    {88558020, 104837040},    // 139 kqrbk
    {43177698, 52418520},     // 140 kqrrk
    {123694264, 153741960},   // 141 kqqpk
    {39840787, 52418520},     // 142 kqqnk
    {41270973, 52418520},     // 143 kqqbk
    {40936806, 52418520},     // 144 kqqrk
    {12489057, 17472840},     // 145 kqqqk
    {1301488080, 1301488080}, // 146 knnknn
    {2744599170, 2602976160}, // 147 kbnknn
    {1398096450, 1301488080}, // 148 kbbknn
    {2796192900, 2744599170}, // 149 kbbkbn
    {1398096450, 1398096450}, // 150 kbbkbb
    {2723107830, 2602976160}, // 151 krnknn
    {2723107830, 2796192900}, // 152 krnkbb
    {2822371200, 2602976160}, // 153 krbknn
    {2822371200, 2796192900}, // 154 krbkbb
    {1376421030, 1301488080}, // 155 krrknn
    {2752842060, 2744599170}, // 156 krrkbn
    {1376421030, 1398096450}, // 157 krrkbb
    {2752842060, 2723107830}, // 158 krrkrn
    {1376421030, 1376421030}, // 159 krrkrr
    {2583520320, 2602976160}, // 160 kqnknn
    {2583520320, 2796192900}, // 161 kqnkbb
    {2583520320, 2752842060}, // 162 kqnkrr
    {2677137390, 2602976160}, // 163 kqbknn
    {2677137390, 2796192900}, // 164 kqbkbb
    {2677137390, 2752842060}, // 165 kqbkrr
    {2656136340, 2602976160}, // 166 kqrknn
    {2656136340, 2796192900}, // 167 kqrkbb
    {2656136340, 2752842060}, // 168 kqrkrr
    {1237357440, 1301488080}, // 169 kqqknn
    {2474714880, 2744599170}, // 170 kqqkbn
    {1237357440, 1398096450}, // 171 kqqkbb
    {2474714880, 2723107830}, // 172 kqqkrn
    {2474714880, 2822371200}, // 173 kqqkrb
    {1237357440, 1376421030}, // 174 kqqkrr
    {2474714880, 2583520320}, // 175 kqqkqn
    {2474714880, 2677137390}, // 176 kqqkqb
    {2474714880, 2656136340}, // 177 kqqkqr
    {1237357440, 1237357440}, // 178 kqqkqq
};

constexpr const char* SYMMETRIC_TABLES[] = {"kk",     "knkn",   "kbkb",   "krkr",  "kqkq",
                                            "knnknn", "kbbkbb", "krrkrr", "kqqkqq"};
constexpr const char* WIDE_TABLES[] = {"krnknn", "krnkbb", "krbknn", "kqnkrr"};

template <std::size_t N> bool listed(const char* name, const char* const (&list)[N]) {
    for (const char* n : list)
        if (std::strcmp(n, name) == 0) return true;
    return false;
}

struct RegistryBuilder {
    RegistryBuilder() {
        for (int id = 0; id < TABLE_COUNT; ++id) {
            TableDesc& t = tableRegistry[id];
            t.tableId = id;
            std::strncpy(t.name, TABLE_NAMES[id], sizeof t.name - 1);
            t.flags = (listed(t.name, SYMMETRIC_TABLES) ? TABLE_SYMMETRIC : 0) |
                      (listed(t.name, WIDE_TABLES) ? TABLE_16BIT : 0);
            for (int s = 0; s < 2; ++s) {
                t.indexFn[s] = nullptr;
                t.knownLength[s] = 0;
                t.length[s] = 0;
                t.openFile[s] = -1;
                t.compressedInfo[s] = nullptr;
                t.blockIndex[s] = nullptr;
            }
        }
        for (int id = 1; id < TABLE_COUNT; ++id) {
            tableRegistry[id].knownLength[0] = KNOWN_LENGTHS[id - 1].white;
            tableRegistry[id].knownLength[1] = KNOWN_LENGTHS[id - 1].black;
        }
    }
};
const RegistryBuilder registryBuilder;

// The map's key: the pieces' codes (1..10, colour × 5 + kind + 1) in counter
// order, four bits each; with at most four pieces it fits 16 bits.
constexpr int MAX_MAPPED_PIECES = 4;
std::int16_t materialMap[1 << 16];

int materialKey(const int counts[MATERIAL_KINDS]) {
    int key = 0, pieces = 0;
    for (int k = 0; k < MATERIAL_KINDS; ++k) {
        if (counts[k] < 0) return -1;
        pieces += counts[k];
        if (pieces > MAX_MAPPED_PIECES) return -1;
        for (int i = 0; i < counts[k]; ++i) key = key << 4 | (k + 1);
    }
    return key;
}

// Counts from a name "k<white letters>k<black letters>"; false when malformed.
bool countsFromName(const char* name, int counts[MATERIAL_KINDS]) {
    static const char LETTERS[] = "pnbrq";
    for (int k = 0; k < MATERIAL_KINDS; ++k) counts[k] = 0;
    if (name[0] != 'k') return false;
    int colour = 0;
    for (const char* p = name + 1; *p; ++p) {
        if (*p == 'k') {
            if (++colour > 1) return false;
            continue;
        }
        const char* l = std::strchr(LETTERS, *p);
        if (!l) return false;
        ++counts[colour * 5 + (l - LETTERS)];
    }
    return colour == 1;
}

} // namespace

void clearMaterialMap() {
    std::memset(materialMap, 0, sizeof materialMap);
}

bool enterMaterialMap(const TableDesc& table) {
    int counts[MATERIAL_KINDS];
    if (!countsFromName(table.name, counts)) return false;
    int key = materialKey(counts);
    if (key < 0) return false;
    materialMap[key] = static_cast<std::int16_t>(table.tableId);
    if (table.flags & TABLE_SYMMETRIC) return true;
    int swapped[MATERIAL_KINDS];
    for (int k = 0; k < 5; ++k) {
        swapped[k] = counts[k + 5];
        swapped[k + 5] = counts[k];
    }
    materialMap[materialKey(swapped)] = static_cast<std::int16_t>(-table.tableId);
    return true;
}

int lookupMaterial(const int counts[MATERIAL_KINDS]) {
    int key = materialKey(counts);
    return key < 0 ? 0 : materialMap[key];
}

int tableOfCounts(const int counts[MATERIAL_KINDS]) {
    for (int id = 1; id < TABLE_COUNT; ++id) {
        int c[MATERIAL_KINDS];
        countsFromName(tableRegistry[id].name, c);
        bool same = true, swapped = true;
        for (int k = 0; k < 5; ++k) {
            same = same && c[k] == counts[k] && c[k + 5] == counts[k + 5];
            swapped = swapped && c[k] == counts[k + 5] && c[k + 5] == counts[k];
        }
        if (same) return id;
        if (swapped) return -id;
    }
    return 0;
}
