// What the build-time generators share: reading a data list line by line and
// writing a 65,536-entry table as initialised C++ data.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <ostream>
#include <string>

namespace gen {

// Calls handle(line, lineNo) for every line of the file that is neither empty
// nor a "#" comment, CR LF read as LF. False when the file cannot be read or
// handle returns false.
template <class Handle>
bool forEachLine(const char* path, Handle&& handle) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return false;
    }
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!handle(line, lineNo)) return false;
    }
    return true;
}

// "extern const TYPE NAME[SIZE] = {...};", sixteen entries a row under a
// label of the first entry's index; entry(buffer, size, i) prints entry i.
template <class Entry>
void writeTable(std::ostream& out, const char* declaration, Entry&& entry) {
    constexpr int kEntries = 65536;
    out << "extern const " << declaration << " = {\n";
    char buf[32];
    for (int row = 0; row < kEntries; row += 16) {
        std::snprintf(buf, sizeof buf, "/* 0x%04X */", row);
        out << buf;
        for (int i = row; i < row + 16; ++i) {
            entry(buf, sizeof buf, i);
            out << buf;
        }
        out << "\n";
    }
    out << "};\n\n";
}

}  // namespace gen
