#pragma once

#include <QString>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>

#include "link/Frames.h"

// Blocks written as "05 30 14 95 C3 0A 00 00", so that expectations read like
// the collector's memory and failures print it the same way.
inline kordex::link::Block BlockOf(const std::string& hex) {
    kordex::link::Block b{};
    std::istringstream in(hex);
    for (auto& byte : b) {
        unsigned v = 0;
        in >> std::hex >> v;
        byte = static_cast<uint8_t>(v);
    }
    return b;
}

inline std::string HexOf(const kordex::link::Block& b) {
    std::string s;
    char buf[4];
    for (const uint8_t byte : b) {
        std::snprintf(buf, sizeof buf, "%02X", byte);
        if (!s.empty()) s += ' ';
        s += buf;
    }
    return s;
}
