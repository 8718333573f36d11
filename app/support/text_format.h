// Numbers and names as the program's messages show them.
#pragma once

#include <string>

// A count with its thousands separated by commas: 11,200.
inline std::string Thousands(long long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
    return (n < 0 ? "-" : "") + digits;
}

// A name between typographic quotes: “x.loop”.
inline std::string Quoted(const std::string& name) {
    return "\u201C" + name + "\u201D";
}
