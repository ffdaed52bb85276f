// The number boxes of the command dialogs, read as the framework's data exchange reads them:
// text that is no integer (or no number) is refused with "Please enter an integer." ("Please
// enter a number."), a value outside the box's range with "Please enter an integer between MIN
// and MAX." ("Please enter a number between MIN and MAX."). A refused box takes the focus with
// its text selected, and the dialog stays open.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QString>

class QLineEdit;

namespace zelvo {

// The value of the text, without any message (nothing when it is no integer / number).
std::optional<int64_t> ParseIntegerText(const QString& text);
std::optional<double> ParseNumberText(const QString& text);

// The box's integer in min..max, or nothing after the message.
std::optional<int64_t> ReadIntegerField(QLineEdit* edit, int32_t min, int32_t max);
// The box's integer, or nothing after "Please enter an integer." (the range is the caller's).
std::optional<int64_t> ReadIntegerField(QLineEdit* edit);
// The box's number in min..max, or nothing after the message. With `maxExclusive` the upper
// end itself is refused too, and the message says "of at least MIN and below MAX".
std::optional<double> ReadNumberField(QLineEdit* edit, double min, double max,
                                      bool maxExclusive = false);

// A box whose typing only takes effect when the model accepts it: once left, it shows the
// value in use again (`inUse`), never a number that nothing applies.
void ShowInUseWhenLeft(QLineEdit* edit, std::function<QString()> inUse);

// How the dialogs show a number: as the framework does, with up to six significant digits.
QString NumberText(double value);

}  // namespace zelvo
