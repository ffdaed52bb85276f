#include "app/QtMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

namespace zelvo {

void QtMessages::Show(const std::string& text) {
    Run(text, Buttons::Ok, {}, false);
}

Answer QtMessages::Ask(const std::string& text, Buttons buttons, const std::string& caption) {
    return Run(text, buttons, caption, true);
}

Answer QtMessages::Run(const std::string& text, Buttons buttons, const std::string& caption,
                       bool question) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
    if (QThread::currentThread() != app->thread()) {
        // Widgets live on the GUI thread only: a worker hands the box over and waits.
        Answer answer = Answer::Cancel;
        QMetaObject::invokeMethod(
            app, [&] { answer = Run(text, buttons, caption, question); },
            Qt::BlockingQueuedConnection);
        return answer;
    }
    QPointer<QWidget> parent = m_parent;
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Warning,
                    QString::fromStdString(caption.empty() ? kDefaultCaption : caption),
                    QString::fromStdString(text), QMessageBox::NoButton, parent.data());
    switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    // A box closed without a button (Escape, the window's close box) takes the safe answer.
    if (buttons == Buttons::YesNo) box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

}  // namespace zelvo
