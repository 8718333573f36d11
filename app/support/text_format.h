// Numbers and names as the program's messages show them.
#pragma once

#include <string>

// A count with its thousands separated by commas: 11,200.
inline std::string Thousands(long long n) {
    // The magnitude as unsigned: -n is undefined for the smallest n.
    const unsigned long long magnitude =
        n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    const std::string digits = std::to_string(magnitude);
    std::string out = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// A name between typographic quotes: “x.loop”.
inline std::string Quoted(const std::string& name) {
    return "\u201C" + name + "\u201D";
}
