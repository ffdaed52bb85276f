#include "batch/Script.h"

#include <cerrno>
#include <cstdlib>

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

std::optional<int> ParseInt(const std::string& s) {
    const std::optional<int64_t> v = ParseWideInt(s);
    if (!v || !IsCoordinate(*v)) return std::nullopt;
    return int(*v);
}

std::optional<double> ParseNumber(const std::string& s) {
    // Plain decimals only, as the dialogs' boxes read what a script hands them: strtod alone
    // would also take "1e3", "0x10" or leading blanks, which a box reads otherwise.
    size_t i = s.size() > 0 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
    size_t digits = 0, points = 0;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9')
            ++digits;
        else if (s[i] == '.' && points++ == 0)
            continue;
        else
            return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    // NaN and infinities fail the comparison too.
    if (*end != '\0' || !(v >= -kMaxCoordinate && v <= kMaxCoordinate)) return std::nullopt;
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
