#include "app/DialogFields.h"

#include <limits>

#include <QLineEdit>
#include <QRegularExpression>

#include "platform/Messages.h"
#include "selection/SelectionDialogs.h"

namespace zelvo {

namespace {

void Refuse(QLineEdit* edit, const std::string& message) {
    AppMessages().Show(message);
    edit->setFocus();
    edit->selectAll();
}

}  // namespace

std::optional<int64_t> ParseIntegerText(const QString& text) {
    static const QRegularExpression integer(QStringLiteral("^\\s*[-+]?\\d+\\s*$"));
    if (!integer.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (ok) return int64_t(v);
    // Too many digits for any range: as far out as it goes.
    return text.trimmed().startsWith('-') ? std::numeric_limits<int64_t>::min()
                                          : std::numeric_limits<int64_t>::max();
}

std::optional<double> ParseNumberText(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || v != v) return std::nullopt;
    return v;
}

std::optional<int64_t> ReadIntegerField(QLineEdit* edit) {
    const std::optional<int64_t> v = ParseIntegerText(edit->text());
    if (!v) Refuse(edit, "Please enter an integer.");
    return v;
}

std::optional<int64_t> ReadIntegerField(QLineEdit* edit, int32_t min, int32_t max) {
    const std::optional<int64_t> v = ReadIntegerField(edit);
    if (!v) return std::nullopt;
    if (!CheckIntegerRange(*v, min, max)) {
        edit->setFocus();
        edit->selectAll();
        return std::nullopt;
    }
    return v;
}

std::optional<double> ReadNumberField(QLineEdit* edit, double min, double max, bool maxExclusive) {
    const std::optional<double> v = ParseNumberText(edit->text());
    if (!v) {
        Refuse(edit, "Please enter a number.");
        return std::nullopt;
    }
    if (*v < min || *v > max || (maxExclusive && *v >= max)) {
        // A range whose upper end is refused too does not name that end as allowed.
        Refuse(edit, maxExclusive
                         ? Format("Please enter a number of at least %g and below %g.", min, max)
                         : Format("Please enter a number between %g and %g.", min, max));
        return std::nullopt;
    }
    return v;
}

void ShowInUseWhenLeft(QLineEdit* edit, std::function<QString()> inUse) {
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, inUse = std::move(inUse)] {
        const QString used = inUse();
        if (edit->text().trimmed() != used) edit->setText(used);
    });
}

QString NumberText(double value) {
    return QString::number(value, 'g', 6);
}

}  // namespace zelvo
