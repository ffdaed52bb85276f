// Lexing of zelvo-batch scripts: one command a line, words separated by blanks, "..." for a
// word with blanks, a line whose first non-blank character is '#' is a comment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvo {

struct ScriptLine {
    int number = 0;  // 1-based line number in the script
    std::vector<std::string> words;
};

struct LexResult {
    std::vector<std::string> words;
    std::string error;  // empty when the line is well formed
};

// Splits one line into words. Inside quotes a blank is ordinary; `\"` is a quote and `\\` a
// backslash; any other backslash is kept as it stands (so "\n" reaches the command as written).
LexResult LexLine(const std::string& line);

// Parsers for the argument forms the commands share. They return nullopt on malformed input.
// Numbers are held to what a canvas coordinate may be (within kMaxCoordinate either way): no
// position, size or amount of a script is larger, and so no sum of them can overflow.
std::optional<int> ParseInt(const std::string& s);
std::optional<double> ParseNumber(const std::string& s);
// Any 32-bit whole number.
std::optional<int64_t> ParseWideInt(const std::string& s);
// A random seed: any unsigned 32-bit whole number, digits only.
std::optional<uint32_t> ParseUnsigned32(const std::string& s);
// "#RRGGBB" -> 0x00BBGGRR
std::optional<unsigned> ParseColor(const std::string& s);
// "x,y"
std::optional<std::pair<int, int>> ParsePoint(const std::string& s);
// "key=value" -> value when the word starts with key=
std::optional<std::string> OptionValue(const std::string& word, const std::string& key);

// Writes a message text on one line, with line breaks as the two characters \n.
std::string EscapeForOutput(const std::string& text);

// The lexer quotes whole words only, so `font="Times New Roman"` arrives in pieces: `font="Times`,
// `New`, `Roman"`. Joins such a run back into `font=Times New Roman` (blanks inside come back
// single). False when the closing quote is missing.
bool JoinQuotedOptions(std::vector<std::string>& words);

}  // namespace zelvo
