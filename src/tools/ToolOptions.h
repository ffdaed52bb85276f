// The options bar's model: one page of values per tool, with the defaults, ranges and
// messages of its controls. Some values are one control shared by several pages (the brush
// diameter and hardness, the selection combine mode, the colour range and "Contiguous" of the
// wand and the bucket); the rest belong to their tool's page. Values are kept as the words
// scripts use (`tool NAME KEY=VALUE`): integers in decimal, choices by their word.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/Types.h"

namespace zelvo {

enum class CombineMode;

class ToolOptions {
public:
    enum class SetResult {
        Ok,
        Refused,    // the bar refused the value and showed its message
        Malformed,  // not a value of this control at all (unknown key, not a number, no such word)
    };

    // What the bar draws for a value: a number field (a check box for 0..1), a choice of
    // words, a free text, a colour, a decimal number.
    struct ControlInfo {
        enum Kind { Int, Word, Text, Color, Number } kind;
        std::string key;
        int min = 0, max = 0;
        std::vector<std::string> words;
    };

    ToolOptions();
    std::vector<ControlInfo> Controls(int tool) const;

    // The keys of a tool's page, in the order the bar shows them (none for Hand and Move).
    std::vector<std::string> Keys(int tool) const;
    bool HasKey(int tool, const std::string& key) const;
    std::string Get(int tool, const std::string& key) const;
    int GetInt(int tool, const std::string& key) const;
    // A colour key's "#RRGGBB" as a colour.
    ColorRef GetColor(int tool, const std::string& key) const;
    // Sets a value as the bar does when it is typed or chosen. Refused values show the bar's
    // message; the range of the wand's "Range:" sets 0 as the bar does. `why` tells a
    // malformed value.
    SetResult Set(int tool, const std::string& key, const std::string& value,
                  std::string* why = nullptr);

    // Puts a value in as the program writes it into a control (a field re-shown after its
    // check), without the checks of Set.
    void SetStored(int tool, const std::string& key, const std::string& value);

    // The status hint the bar adds for the page: " [] key: Increase or Decrease brush size."
    // for pages with a diameter, the Alt accelerators for the combine and curve modes.
    static std::string BarHint(int tool);
    // Whether the tool's page shows the "Diameter:" control (the [ ] keys work then).
    static bool HasDiameter(int tool);

    // The shared selection combine mode (Alt+1..4).
    CombineMode SelectionMode() const;
    int Diameter() const { return GetInt(0, "diameter"); }

    // Told after every change, with the tool whose page changed (0 for a shared value).
    std::function<void(int tool, const std::string& key)> onChange;
    // Told after every value Set accepts, changed or not (choosing a face again still applies
    // it): the tool that owns the page acts on it. SetStored does not tell it.
    std::function<void(int tool, const std::string& key)> onApply;

private:
    std::string StorageKey(int tool, const std::string& key) const;
    std::map<std::string, std::string> m_values;
};

}  // namespace zelvo
