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
    int id;
    std::uint32_t white, black;
};
// Index ranges known so far; the others stay 0 (not checked).
constexpr KnownLength KNOWN_LENGTHS[] = {
    {1, 81664, 84012},             // kpk
    {2, 26282, 28644},             // knk
    {6, 3863492, 3863492},         // kpkp
    {20, 1563735, 1563735},        // kqkq
    {36, 84219361, 89391280},      // kppkp
    {178, 1237357440, 1237357440}, // kqqkqq
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
        for (const KnownLength& k : KNOWN_LENGTHS) {
            tableRegistry[k.id].knownLength[0] = k.white;
            tableRegistry[k.id].knownLength[1] = k.black;
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
