#include "batch/Script.h"

#include <cerrno>
#include <cstdlib>

#include "core/Decimal.h"
#include "core/Limits.h"

namespace zelvo {

LexResult LexLine(const std::string& line) {
    LexResult r;
    size_t i = 0;
    const size_t n = line.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < n) {
        while (i < n && blank(line[i])) ++i;
        if (i >= n) break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char c = line[i];
                if (c == '\\' && i + 1 < n && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    word += line[i + 1];
                    i += 2;
                    continue;
                }
                if (c == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                word += c;
                ++i;
            }
            if (!closed) {
                r.error = "unterminated quote";
                return r;
            }
            if (i < n && !blank(line[i])) {
                r.error = "a quoted word must be followed by a blank";
                return r;
            }
        } else {
            while (i < n && !blank(line[i])) word += line[i++];
        }
        r.words.push_back(std::move(word));
    }
    return r;
}

std::optional<int64_t> ParseWideInt(const std::string& s) {
    if (s.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < -2147483647L - 1 || v > 2147483647L)
        return std::nullopt;
    return int64_t(v);
}

std::optional<uint32_t> ParseUnsigned32(const std::string& s) {
    if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long v = std::strtoull(s.c_str(), nullptr, 10);
    if (v > 0xFFFFFFFFull) return std::nullopt;
    return uint32_t(v);
}

std::optional<int> ParseInt(const std::string& s) {
    const std::optional<int64_t> v = ParseWideInt(s);
    if (!v || !IsCoordinate(*v)) return std::nullopt;
    return int(*v);
}

std::optional<double> ParseNumber(const std::string& s) {
    // Plain decimals only, as the dialogs' boxes read what a script hands them.
    const std::optional<double> v = ParsePlainDecimal(s);
    if (!v || !(*v >= -kMaxCoordinate && *v <= kMaxCoordinate)) return std::nullopt;
    return v;
}

std::optional<unsigned> ParseColor(const std::string& s) {
    if (s.size() != 7 || s[0] != '#') return std::nullopt;
    unsigned rgb = 0;
    for (size_t i = 1; i < 7; ++i) {
        char c = s[i];
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (d < 0) return std::nullopt;
        rgb = rgb * 16 + unsigned(d);
    }
    unsigned r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return r | (g << 8) | (b << 16);
}

std::optional<std::pair<int, int>> ParsePoint(const std::string& s) {
    auto comma = s.find(',');
    if (comma == std::string::npos) return std::nullopt;
    auto x = ParseInt(s.substr(0, comma));
    auto y = ParseInt(s.substr(comma + 1));
    if (!x || !y) return std::nullopt;
    return std::make_pair(*x, *y);
}

std::optional<std::string> OptionValue(const std::string& word, const std::string& key) {
    if (word.size() > key.size() && word.compare(0, key.size(), key) == 0 &&
        word[key.size()] == '=')
        return word.substr(key.size() + 1);
    return std::nullopt;
}

std::string EscapeForOutput(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool JoinQuotedOptions(std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (size_t i = 0; i < words.size(); ++i) {
        std::string w = words[i];
        const size_t eq = w.find('=');
        if (eq != std::string::npos && eq + 1 < w.size() && w[eq + 1] == '"') {
            std::string value = w.substr(eq + 2);
            while (value.empty() || value.back() != '"') {
                if (++i >= words.size()) return false;
                value += " " + words[i];
            }
            value.pop_back();
            w = w.substr(0, eq + 1) + value;
        }
        out.push_back(std::move(w));
    }
    words = std::move(out);
    return true;
}

}  // namespace zelvo
