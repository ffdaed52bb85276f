// The History palette (F6): the start row and one row per state, the shown row in
// RGB (10, 36, 106); a click goes to a row; Delete removes the current state after asking.
#pragma once

#include <QWidget>

class QPushButton;
class QScrollBar;

namespace zelvo {

class Image;

class CHistoryPalette : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 130;

    explicit CHistoryPalette(QWidget* parent = nullptr);
    void SetDocument(Image* image);
    Image* Document() const { return m_image; }
    void Refresh();
    // A click in the list at y (list coordinates).
    void ClickList(int y);
    void DeleteCurrent();

    QWidget* ListArea() const { return m_list; }
    QScrollBar* ScrollBar() const { return m_scroll; }
    QPushButton* DeleteButton() const { return m_delete; }

    void PaintList(QWidget* target);

private:
    Image* m_image = nullptr;
    QWidget* m_list;
    QScrollBar* m_scroll;
    QPushButton* m_delete;
    bool m_refreshing = false;
};

}  // namespace zelvo
