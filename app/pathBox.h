// The text boxes of the main window: path boxes take files dropped from a
// file manager and tell the window about focus and mouse buttons; the
// record-length box takes only digits from the keyboard.
#pragma once

#include <QLineEdit>
#include <QStringList>

#include <cstdint>

class QMimeData;

class PathBox : public QLineEdit {
    Q_OBJECT
public:
    explicit PathBox(QWidget* parent = nullptr);

    // -1 while a mouse button is held down in the box, else 0.
    std::int16_t mouseFlag = 0;
    // Keyboard input limited to the digits and Backspace.
    void setDigitsOnly(bool on) { digitsOnly_ = on; }

    // The path the box holds: its text without the blanks, tabs and line ends
    // that pasting or typing leaves around it.
    QString path() const { return text().trimmed(); }
    // The program moves the focus here: the whole text is selected, so that
    // typing replaces it, also when the focus arrives only once the window
    // is active again.
    void focusAndSelect();

    // The local files a drag carries, in its order; empty for any other drag.
    static QStringList droppedFiles(const QMimeData* data);

signals:
    void filesDropped(const QStringList& paths);
    void gotFocus(Qt::FocusReason reason);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool digitsOnly_ = false;
};
