#include "pathBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {

// Keys that move the caret or edit without typing a character.
bool isEditingKey(int key) {
    switch (key) {
    case Qt::Key_Backspace: case Qt::Key_Delete: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_Home: case Qt::Key_End: case Qt::Key_Up: case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

}  // namespace

PathBox::PathBox(QWidget* parent) : QLineEdit(parent) {}

void PathBox::focusAndSelect() {
    selectAll();
    setFocus(Qt::OtherFocusReason);
}

QStringList PathBox::droppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

void PathBox::dragEnterEvent(QDragEnterEvent* event) {
    // Only a list of files counts; dragged text is not taken in.
    if (acceptDrops() && !droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PathBox::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptDrops() && !droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PathBox::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (!acceptDrops() || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(files);
}

void PathBox::mousePressEvent(QMouseEvent* event) {
    mouseFlag = -1;
    QLineEdit::mousePressEvent(event);
}

void PathBox::mouseReleaseEvent(QMouseEvent* event) {
    mouseFlag = 0;
    QLineEdit::mouseReleaseEvent(event);
}

void PathBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit gotFocus(event->reason());
}

void PathBox::keyPressEvent(QKeyEvent* event) {
    if (!digitsOnly_) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        event->ignore();  // the window's default button
        return;
    }
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QString text = event->text();
    const bool digit = text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9');
    if ((!shortcut && (digit || isEditingKey(key))) || (text.isEmpty() && !shortcut)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Letters, signs, pasting and cutting by shortcut are discarded.
    event->accept();
}
