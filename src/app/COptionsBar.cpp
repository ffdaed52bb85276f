#include "app/COptionsBar.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QStackedWidget>

#include "tools/OptionCaptions.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

constexpr int kControlHeight = 22;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

COptionsBar::COptionsBar(QStackedWidget* strip, ToolController& tools, QObject* parent)
    : QObject(parent), m_strip(strip), m_tools(tools) {
    m_empty = strip->count() > 0 ? strip->widget(0) : nullptr;
    if (!m_empty) {
        m_empty = new QWidget(strip);
        strip->addWidget(m_empty);
    }
}

QWidget* COptionsBar::Page(int tool) const {
    auto it = m_pages.find(tool);
    return it == m_pages.end() ? nullptr : it->second;
}

void COptionsBar::Show(int tool) {
    m_shown = tool;
    QWidget* page = Page(tool);
    if (!page) {
        auto factory = m_factories.find(tool);
        if (factory == m_factories.end() && m_tools.Options().Controls(tool).empty()) {
            m_strip->setCurrentWidget(m_empty);
            return;
        }
        page = new QWidget(m_strip);
        page->setObjectName(QString("OptionsPage%1").arg(tool));
        auto* row = new QHBoxLayout(page);
        row->setContentsMargins(4, 0, 4, 0);
        row->setSpacing(6);
        page->setToolTip(Q(ToolOptions::BarHint(tool)));
        if (factory != m_factories.end())
            factory->second(*this, tool, page);
        else
            AddGeneratedControls(tool, page);
        row->addStretch(1);
        // Only the fields one types into take the keyboard: a button, box, list or slider that
        // is clicked leaves the keys (tool letters, arrows, Space) with the view.
        for (QWidget* w : page->findChildren<QWidget*>()) {
            auto* combo = qobject_cast<QComboBox*>(w);
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QSlider*>(w) ||
                (combo && !combo->isEditable()))
                w->setFocusPolicy(Qt::NoFocus);
        }
        m_strip->addWidget(page);
        m_pages[tool] = page;
    }
    m_strip->setCurrentWidget(page);
}

void COptionsBar::AddGeneratedControls(int tool, QWidget* page) {
    auto* row = qobject_cast<QHBoxLayout*>(page->layout());
    if (!row) return;
    const auto controls = m_tools.Options().Controls(tool);
    for (int i = 0; i < int(controls.size()); ++i) AddControl(tool, i, page, row);
}

void COptionsBar::AddControl(int tool, int index, QWidget* page, QHBoxLayout* row) {
    const ToolOptions::ControlInfo c = m_tools.Options().Controls(tool)[size_t(index)];
    const std::string key = c.key;
    const std::string caption = OptionCaption(tool, key);
    const QString name = Q(key);
    ToolOptions& options = m_tools.Options();
    auto label = [&] {
        if (caption.empty()) return;
        auto* l = new QLabel(Q(caption), page);
        row->addWidget(l);
    };
    auto bind = [&](std::function<void()> load) {
        load();
        m_bindings.push_back({tool, key, std::move(load)});
    };

    if (c.kind == ToolOptions::ControlInfo::Int && c.min == 0 && c.max == 1) {
        auto* box = new QCheckBox(Q(caption), page);
        box->setObjectName(name);
        row->addWidget(box);
        connect(box, &QCheckBox::clicked, this,
                [this, tool, key](bool on) { Apply(tool, key, on ? "1" : "0"); });
        bind([box, &options, tool, key] {
            QSignalBlocker block(box);
            box->setChecked(options.GetInt(tool, key) != 0);
        });
        return;
    }
    if (c.kind == ToolOptions::ControlInfo::Word) {
        std::vector<std::string> words = c.words;
        // Uncaptioned choices, and the patch's two, are a row of radio buttons.
        if (caption.empty() || key == "patch") {
            label();
            auto* group = new QButtonGroup(page);
            group->setExclusive(true);
            for (int w = 0; w < int(words.size()); ++w) {
                auto* b = new QRadioButton(Q(WordCaption(tool, key, words[size_t(w)])), page);
                b->setObjectName(name + "-" + Q(words[size_t(w)]));
                group->addButton(b, w);
                row->addWidget(b);
            }
            connect(group, &QButtonGroup::idClicked, this,
                    [this, tool, key, words](int w) { Apply(tool, key, words[size_t(w)]); });
            bind([group, words, &options, tool, key] {
                const std::string v = options.Get(tool, key);
                for (int w = 0; w < int(words.size()); ++w)
                    if (words[size_t(w)] == v) {
                        QSignalBlocker block(group);
                        group->button(w)->setChecked(true);
                    }
            });
            return;
        }
        label();
        auto* combo = new QComboBox(page);
        combo->setObjectName(name);
        combo->setFixedHeight(kControlHeight);
        for (const std::string& w : words) combo->addItem(Q(WordCaption(tool, key, w)));
        row->addWidget(combo);
        connect(combo, &QComboBox::activated, this, [this, tool, key, words](int w) {
            if (w >= 0 && w < int(words.size())) Apply(tool, key, words[size_t(w)]);
        });
        bind([combo, words, &options, tool, key] {
            const std::string v = options.Get(tool, key);
            QSignalBlocker block(combo);
            for (int w = 0; w < int(words.size()); ++w)
                if (words[size_t(w)] == v) combo->setCurrentIndex(w);
        });
        return;
    }
    if (const std::vector<std::string> choices = NumberChoices(tool, key);
        c.kind == ToolOptions::ControlInfo::Int && !choices.empty()) {
        label();
        auto* combo = new QComboBox(page);
        combo->setObjectName(name);
        combo->setFixedHeight(kControlHeight);
        for (const std::string& choice : choices) combo->addItem(Q(choice));
        row->addWidget(combo);
        connect(combo, &QComboBox::activated, this,
                [this, tool, key](int i) { Apply(tool, key, std::to_string(i)); });
        bind([combo, &options, tool, key] {
            QSignalBlocker block(combo);
            combo->setCurrentIndex(options.GetInt(tool, key));
        });
        return;
    }
    if (c.kind == ToolOptions::ControlInfo::Color) {
        label();
        auto* button = new QPushButton(page);
        button->setObjectName(name);
        button->setFixedSize(36, kControlHeight - 2);
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, tool, key, page] {
            const QColor now(Q(m_tools.Options().Get(tool, key)));
            const QColor picked = QColorDialog::getColor(now, page);
            if (picked.isValid()) Apply(tool, key, picked.name().toStdString());
        });
        bind([button, &options, tool, key] {
            button->setStyleSheet(QString("background-color: %1;").arg(Q(options.Get(tool, key))));
        });
        return;
    }

    // A typed value: a whole number (with a slider for a wide range), a decimal or a text.
    label();
    auto* field = new QLineEdit(page);
    field->setObjectName(name);
    field->setFixedHeight(kControlHeight);
    const bool number = c.kind == ToolOptions::ControlInfo::Int;
    field->setFixedWidth(c.kind == ToolOptions::ControlInfo::Text ? 120 : 48);
    if (number)
        field->setValidator(
            new QRegularExpressionValidator(QRegularExpression("-?\\d{0,6}"), field));
    else if (c.kind == ToolOptions::ControlInfo::Number)
        field->setValidator(
            new QRegularExpressionValidator(QRegularExpression("-?\\d{0,6}(\\.\\d{0,4})?"), field));
    row->addWidget(field);
    connect(field, &QLineEdit::editingFinished, this, [this, field, tool, key] {
        if (field->isModified()) Apply(tool, key, field->text().trimmed().toStdString());
        field->setModified(false);
    });
    const std::string unit = OptionUnit(key);
    if (!unit.empty()) row->addWidget(new QLabel(Q(unit), page));
    QSlider* slider = nullptr;
    if (number && c.max - c.min >= 50) {
        slider = new QSlider(Qt::Horizontal, page);
        slider->setObjectName(name + "-slider");
        slider->setRange(c.min, c.max);
        slider->setFixedWidth(100);
        row->addWidget(slider);
        connect(slider, &QSlider::valueChanged, this,
                [this, tool, key](int v) { Apply(tool, key, std::to_string(v)); });
    }
    bind([field, slider, &options, tool, key, number] {
        const std::string v = options.Get(tool, key);
        field->setText(Q(v));
        field->setModified(false);
        if (slider && number) {
            QSignalBlocker block(slider);
            slider->setValue(options.GetInt(tool, key));
        }
    });
}

void COptionsBar::Bind(int tool, const std::string& key, std::function<void()> load) {
    load();
    m_bindings.push_back({tool, key, std::move(load)});
}

// Reloads the fields of the key whatever the outcome.
void COptionsBar::Apply(int tool, const std::string& key, const std::string& value) {
    // A refusal's message box takes the focus, which ends the field's editing once more.
    if (m_applying) return;
    m_applying = true;
    m_tools.Options().Set(tool, key, value);
    m_applying = false;
    // Whatever the model kept (a refused value leaves the old one, the range becomes 0).
    Load(tool, key);
}

void COptionsBar::Load(int tool, const std::string& key) {
    for (const Binding& b : m_bindings)
        if (b.key == key && b.tool == tool) b.load();
}

void COptionsBar::ModelChanged(int tool, const std::string& key) {
    for (const Binding& b : m_bindings)
        if (b.key == key && (tool == 0 || b.tool == tool)) b.load();
}

}  // namespace zelvo
