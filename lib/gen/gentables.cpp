// Builds the two 65,536-entry double-byte tables from the row/cell rules and
// the exception lists in lib/data, and writes them as initialised C++ data.
//   gentables JEF_TO_SJIS.tsv SJIS_TO_JEF.tsv OUT.cpp
//
// JEF double-byte codes are JIS X 0208 row/cell codes plus 0x8080, so both
// directions are the classic JIS <-> Shift-JIS arithmetic:
//   JIS j1 j2 -> Shift-JIS lead = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0),
//                trail = j2 + (j1 odd ? 0x1F : 0x7D), skipping 0x7F.
//   Shift-JIS L T -> row = (L' - 0x81) * 2 + 0x21 with L' = L - 0x40 above 0xDF;
//                T >= 0x9F: next row, cell = T - 0x7E; T >= 0x7F: cell = T - 0x20;
//                otherwise cell = T - 0x1F.
// The rule is applied over whole ranges (also to cells that name no
// character); the lists then override single slots: the JEF extended region,
// the double-byte space, NEC and IBM extensions and one-way redirections.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr int kEntries = 65536;
using Table = std::array<std::uint16_t, kEntries>;

constexpr std::uint16_t jisToSjis(unsigned jis) {
    unsigned j1 = jis >> 8;
    unsigned j2 = jis & 0xFF;
    unsigned lead = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0);
    unsigned trail = (j1 % 2 == 1) ? (j2 + 0x1F) % 256 : (j2 + 0x7D) % 256;
    if (trail >= 0x7F) trail = (trail + 1) % 256;
    return static_cast<std::uint16_t>(((lead & 0xFF) << 8) | trail);
}

constexpr std::uint16_t sjisToJefByRule(unsigned lead, unsigned trail) {
    unsigned l = lead >= 0xE0 ? lead - 0x40 : lead;
    int row = static_cast<int>(l - 0x81) * 2 + 0x21;
    int cell;
    if (trail >= 0x9F) {
        row += 1;
        cell = static_cast<int>(trail) - 0x7E;
    } else if (trail >= 0x7F) {
        cell = static_cast<int>(trail) - 0x20;
    } else {
        cell = static_cast<int>(trail) - 0x1F;
    }
    unsigned first = static_cast<unsigned>(row + 0x80 + 256) % 256;
    unsigned second = static_cast<unsigned>(cell + 0x80 + 256) % 256;
    return static_cast<std::uint16_t>((first << 8) | second);
}

constexpr bool isSjisLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

Table jefToSjisByRule() {
    Table t{};
    for (unsigned j = 0x2121; j <= 0x7E7E; ++j) t[(j + 0x8080) % kEntries] = jisToSjis(j);
    return t;
}

Table sjisToJefByRuleTable() {
    Table t{};
    for (unsigned lead = 0; lead < 256; ++lead) {
        if (!isSjisLead(lead)) continue;
        for (unsigned trail = 0; trail < 256; ++trail) t[lead * 256 + trail] = sjisToJefByRule(lead, trail);
    }
    return t;
}

bool parseHex4(const std::string& s, std::uint16_t& v) {
    if (s.size() != 4) return false;
    unsigned x = 0;
    for (char c : s) {
        x <<= 4;
        if (c >= '0' && c <= '9') x |= static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F') x |= static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') x |= static_cast<unsigned>(c - 'a' + 10);
        else return false;
    }
    v = static_cast<std::uint16_t>(x);
    return true;
}

// Each line: SOURCE<TAB>TARGET in hex; "#" starts a comment line.
bool applyExceptions(const char* path, Table& table) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return false;
    }
    std::array<bool, kEntries> seen{};
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        auto tab = line.find('\t');
        std::uint16_t from = 0;
        std::uint16_t to = 0;
        if (tab == std::string::npos || !parseHex4(line.substr(0, tab), from) ||
            !parseHex4(line.substr(tab + 1), to)) {
            std::cerr << path << ":" << lineNo << ": expected HHHH<TAB>HHHH\n";
            return false;
        }
        if (seen[from]) {
            std::cerr << path << ":" << lineNo << ": slot listed twice\n";
            return false;
        }
        seen[from] = true;
        table[from] = to;
    }
    return true;
}

void writeTable(std::ostream& out, const char* name, const Table& t) {
    out << "extern const std::uint8_t " << name << "[65536 * 2] = {\n";
    char buf[16];
    for (int row = 0; row < kEntries; row += 16) {
        std::snprintf(buf, sizeof buf, "/* 0x%04X */", row);
        out << buf;
        for (int i = row; i < row + 16; ++i) {
            std::snprintf(buf, sizeof buf, "%u,%u,", t[i] >> 8, t[i] & 0xFF);
            out << buf;
        }
        out << "\n";
    }
    out << "};\n\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: gentables JEF_TO_SJIS.tsv SJIS_TO_JEF.tsv OUT.cpp\n";
        return 2;
    }
    Table jefToSjis = jefToSjisByRule();
    Table sjisToJef = sjisToJefByRuleTable();
    if (!applyExceptions(argv[1], jefToSjis) || !applyExceptions(argv[2], sjisToJef)) return 1;

    std::ostringstream src;
    src << "// Generated by gentables from lib/data; do not edit.\n"
           "#include \"tblknj.h\"\n\nnamespace vokl {\n\n";
    writeTable(src, "kJefToSjis", jefToSjis);
    writeTable(src, "kSjisToJef", sjisToJef);
    src << "}  // namespace vokl\n";
    std::ofstream out(argv[3], std::ios::binary);
    out << src.str();
    return out ? 0 : 1;
}
