#include "app/CTextToolUi.h"

#include <algorithm>

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTextBlock>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/COptionsBar.h"
#include "app/CZelvoView.h"
#include "core/Limits.h"
#include "layers/TextLayer.h"
#include "platform/MaskPainter.h"
#include "tools/ImagePoint.h"
#include "tools/TextTool.h"
#include "tools/ToolController.h"

namespace zelvo {

namespace {

constexpr int kControlHeight = 22;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The edit box works in lines ending in LF; the layer keeps CR LF as typed.
std::string ToLayerText(const QString& box) {
    std::string out;
    for (char c : box.toStdString()) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

QString ToBoxText(const std::string& layer) {
    std::string out;
    for (char c : layer)
        if (c != '\r') out += c;
    return Q(out);
}

}  // namespace

CTextEditBox::CTextEditBox(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("TextEditBox");
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(0);
    // The picture shows through; a dashed frame tells where the box is.
    viewport()->setAutoFillBackground(false);
    setStyleSheet("CTextEditBox { background: transparent; border: 1px dashed #808080; }");
    setContentsMargins(0, 0, 0, 0);
}

void CTextEditBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        emit commit();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        emit cancel();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

CTextToolUi::CTextToolUi(CMainFrame* frame, ToolController& tools, COptionsBar& bar)
    : QObject(frame), m_frame(frame), m_tools(tools) {
    bar.RegisterPage(kToolText,
                     [this](COptionsBar& b, int /*tool*/, QWidget* page) { BuildPage(b, page); });
    m_tools.activeView = [this]() -> ImageView* {
        CChildFrame* child = m_frame->ActiveChild();
        return child ? &child->View()->Model() : nullptr;
    };
    m_tools.onTextSession = [this] { SessionChanged(); };
}

void CTextToolUi::BuildPage(COptionsBar& bar, QWidget* page) {
    auto* row = qobject_cast<QHBoxLayout*>(page->layout());
    ToolOptions& options = m_tools.Options();

    auto* faces = new QComboBox(page);
    faces->setObjectName("font");
    faces->setFixedSize(150, kControlHeight);
    for (const std::string& f : FontFaceList(SystemFontFamilies())) faces->addItem(Q(f));
    // Without the face the bar starts with, its first entry is the one chosen.
    if (faces->count() > 0 && faces->findText(Q(options.Get(kToolText, "font"))) < 0)
        options.SetStored(kToolText, "font", faces->itemText(0).toStdString());
    row->addSpacing(46);
    row->addWidget(faces);
    connect(faces, &QComboBox::activated, this, [this, &bar, faces](int i) {
        if (i >= 0) bar.Apply(kToolText, "font", faces->itemText(i).toStdString());
        Acted();
    });
    bar.Bind(kToolText, "font", [faces, &options] {
        const QString face = Q(options.Get(kToolText, "font"));
        QSignalBlocker block(faces);
        int i = faces->findText(face);
        // A layer made with a face this system lacks still shows its name.
        if (i < 0 && !face.isEmpty()) faces->insertItem(i = 0, face);
        faces->setCurrentIndex(i);
    });

    auto* sizes = new QComboBox(page);
    sizes->setObjectName("size");
    sizes->setEditable(true);
    sizes->setFixedSize(65, kControlHeight);
    // Digits only: a number out of range must reach the model, which says so and shows the
    // size in use again, rather than stay in the box unapplied.
    sizes->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression("\\d{0,6}"), sizes));
    for (int32_t s : FontSizeList()) sizes->addItem(QString::number(s));
    row->addSpacing(10);
    row->addWidget(sizes);
    auto applySize = [this, &bar, sizes] {
        bar.Apply(kToolText, "size", sizes->currentText().trimmed().toStdString());
        Acted();
    };
    connect(sizes, &QComboBox::activated, this, applySize);
    // Return or leaving the box applies what was typed, as the bar's other fields do.
    connect(sizes->lineEdit(), &QLineEdit::editingFinished, this, [sizes, applySize] {
        if (sizes->lineEdit()->isModified()) applySize();
        sizes->lineEdit()->setModified(false);
    });
    bar.Bind(kToolText, "size", [sizes, &options] {
        QSignalBlocker block(sizes);
        const QString size = Q(options.Get(kToolText, "size"));
        if (const int i = sizes->findText(size); i >= 0) sizes->setCurrentIndex(i);
        sizes->setEditText(size);
    });

    auto* color = new QPushButton(page);
    color->setObjectName("color");
    color->setFixedSize(40, kControlHeight - 2);
    color->setFocusPolicy(Qt::NoFocus);
    row->addSpacing(15);
    row->addWidget(color);
    connect(color, &QPushButton::clicked, this, [this, &bar, page] {
        const QColor now(Q(m_tools.Options().Get(kToolText, "color")));
        const QColor picked = QColorDialog::getColor(now, page);
        if (picked.isValid()) bar.Apply(kToolText, "color", picked.name().toUpper().toStdString());
        Acted();
    });
    bar.Bind(kToolText, "color", [color, &options] {
        color->setStyleSheet(
            QString("background-color: %1;").arg(Q(options.Get(kToolText, "color"))));
    });

    const std::pair<const char*, TextButton> buttons[] = {
        {"Direction", TextButton::Direction},
        {"Edit Current Text Layer", TextButton::EditCurrent},
        {"Commit", TextButton::Commit},
        {"Cancel", TextButton::Cancel},
    };
    for (const auto& [caption, which] : buttons) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(caption);
        b->setFixedHeight(kControlHeight);
        b->setFocusPolicy(Qt::NoFocus);
        row->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, which] { Button(int(which)); });
    }
}

void CTextToolUi::Button(int button) {
    m_tools.PressTextButton(TextButton(button));
    Acted();
}

void CTextToolUi::Acted() {
    CChildFrame* child = m_frame->ActiveChild();
    m_frame->OnToolActed(child);
    // The keys go back to the text being typed, or to the picture.
    if (m_box)
        FocusBox();
    else if (child)
        child->View()->setFocus(Qt::OtherFocusReason);
}

void CTextToolUi::FocusBox() {
    // A turned box gets keys through its host.
    if (m_host) m_host->setFocus(Qt::OtherFocusReason);
    if (m_box) m_box->setFocus(Qt::OtherFocusReason);
}

void CTextToolUi::DropBox() {
    if (m_box) m_box->hide();
    // The host's scene owns the proxy, which owns the turned box.
    if (m_host) {
        m_host->hide();
        m_host->deleteLater();
    } else if (m_box) {
        m_box->deleteLater();
    }
    m_box = nullptr;
    m_host = nullptr;
    m_proxy = nullptr;
}

void CTextToolUi::SessionChanged() {
    TextSessionInfo* text = m_tools.TextSession();
    CZelvoView* view = nullptr;
    if (text->EditView())
        for (CChildFrame* child : m_frame->Children())
            if (&child->View()->Model() == text->EditView()) view = child->View();
    if (!view) {
        if (m_box) {
            // The box may be inside its own key event: it goes once that returns.
            CZelvoView* was = m_view;
            DropBox();
            if (was) was->setFocus(Qt::OtherFocusReason);
        }
        m_view = nullptr;
        m_frame->OnToolActed(m_frame->ActiveChild());
        return;
    }
    const LayerPtr layer = text->EditImage() ? text->EditImage()->Texts().EditedLayer() : nullptr;
    const bool vertical = layer && layer->Text().direction == kTextVertical;
    if (!m_box || m_view != view || vertical != m_vertical) OpenBox(view, vertical);
    Place();
}

void CTextToolUi::OpenBox(CZelvoView* view, bool vertical) {
    // Turning the box keeps the caret and the selection where they were.
    int anchor = -1, position = -1;
    if (m_box && m_view == view) {
        const QTextCursor c = m_box->textCursor();
        anchor = c.anchor();
        position = c.position();
    }
    if (m_box) DropBox();
    m_view = view;
    m_vertical = vertical;
    if (vertical) {
        m_host = new QGraphicsView(view->viewport());
        m_host->setObjectName("TextEditHost");
        m_host->setFrameShape(QFrame::NoFrame);
        m_host->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_host->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_host->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_host->setStyleSheet("QGraphicsView { background: transparent; border: none; }");
        m_host->viewport()->setAutoFillBackground(false);
        auto* scene = new QGraphicsScene(m_host);
        m_host->setScene(scene);
        m_box = new CTextEditBox(nullptr);
        // The proxy draws its widget as a window, which would fill it with the window colour.
        m_box->setAttribute(Qt::WA_NoSystemBackground);
        m_proxy = scene->addWidget(m_box);
        // A quarter clockwise, as the layer draws vertical lines: columns run down, then left.
        m_proxy->setRotation(90);
    } else {
        m_box = new CTextEditBox(view->viewport());
    }
    m_loading = true;
    m_box->setPlainText(ToBoxText(m_tools.TextSession()->Text()));
    m_loading = false;
    if (position >= 0) {
        QTextCursor c(m_box->document());
        c.setPosition(anchor);
        c.setPosition(position, QTextCursor::KeepAnchor);
        m_box->setTextCursor(c);
    } else {
        m_box->moveCursor(QTextCursor::End);
    }
    connect(m_box, &QPlainTextEdit::textChanged, this, [this] {
        if (m_loading || !m_box) return;
        const QString typed = m_box->toPlainText();
        if (!m_tools.TextSession()->SetText(ToLayerText(typed))) {
            // Past what a text layer holds: the box goes back to the text it had, the cursor
            // to where the refused characters went in.
            const QString kept = ToBoxText(m_tools.TextSession()->Text());
            const int at = m_box->textCursor().position() - int(typed.size() - kept.size());
            m_loading = true;
            m_box->setPlainText(kept);
            m_loading = false;
            QTextCursor c(m_box->document());
            c.setPosition(std::clamp(at, 0, int(kept.size())));
            m_box->setTextCursor(c);
            QApplication::beep();
            m_tools.ShowStatus(kTextTooLongMessage);
        }
        Place();
    });
    connect(m_box, &CTextEditBox::commit, this, [this] { Button(int(TextButton::Commit)); });
    connect(m_box, &CTextEditBox::cancel, this, [this] { Button(int(TextButton::Cancel)); });
    connect(view, &CZelvoView::viewChanged, m_box, [this] { Place(); });
    if (m_host) m_host->show();
    m_box->show();
    FocusBox();
}

void CTextToolUi::Place() {
    TextSessionInfo* text = m_tools.TextSession();
    if (!m_box || !m_view || !text->EditImage()) return;
    const LayerPtr layer = text->EditImage()->Texts().EditedLayer();
    if (!layer) return;
    const TextSettings& t = layer->Text();
    const float zoom = m_view->Model().Zoom();
    QFont font(Q(t.face));
    const int cell = std::max(1, int(float(t.fontSize) * zoom + 0.5f));
    font.setPixelSize(std::max(1, int(MaskPainter::EmSize(t.face, cell))));
    if (m_box->font() != font) m_box->setFont(font);
    QPalette palette = m_box->palette();
    const ColorRef c = layer->Color();
    palette.setColor(QPalette::Text, QColor(RedOf(c), GreenOf(c), BlueOf(c)));
    m_box->setPalette(palette);
    // Wide and tall enough for every line and one more character.
    const QFontMetrics metrics(font);
    int width = metrics.horizontalAdvance("M");
    int lines = 0;
    for (QTextBlock b = m_box->document()->begin(); b.isValid(); b = b.next(), ++lines)
        width =
            std::max(width, metrics.horizontalAdvance(b.text()) + metrics.horizontalAdvance("M"));
    width += 4;
    const int height = std::max(1, lines) * metrics.lineSpacing() + 4;
    const Point at = ImageToView(m_view->Model(), text->Origin());
    if (m_host && m_proxy) {
        // Turned, the box's top edge lies along the origin's column and its lines go left.
        m_box->resize(width, height);
        m_proxy->setPos(height, 0);
        m_host->scene()->setSceneRect(0, 0, height, width);
        m_host->setGeometry(at.x + 1 - height, at.y - 1, height, width);
    } else {
        m_box->setGeometry(at.x - 1, at.y - 1, width, height);
    }
    m_box->horizontalScrollBar()->setValue(0);
    m_box->verticalScrollBar()->setValue(0);
}

}  // namespace zelvo
