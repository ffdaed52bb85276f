// What the options bar shows for the model's keys and words: "Diameter:" for `diameter`,
// "3 by 3 Average" for the eyedropper's `3x3`. A key with a caption ending in ':' is drawn as
// a label and a field (or a list); one without, as a check box or a row of choices.
#pragma once

#include <string>
#include <vector>

namespace zelvo {

std::string OptionCaption(int tool, const std::string& key);
std::string WordCaption(int tool, const std::string& key, const std::string& word);
// The entries of a whole-number option shown as a list (entry i stands for the value i), as the
// curve tool's shape list; empty for a number typed into a field.
std::vector<std::string> NumberChoices(int tool, const std::string& key);
// The unit shown after a number field ("%" for hardness and opacity), empty for none.
std::string OptionUnit(const std::string& key);

}  // namespace zelvo
