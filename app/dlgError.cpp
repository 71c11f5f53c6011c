#include "dlgError.h"

#include "dialogFont.h"

#include "logText.h"

#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips) { return twips / kTwipsPerPixel; }

const QString kCrLf = QStringLiteral("\r\n");
const QString kFallbackText =
    QStringLiteral("エラー情報ファイルが見つかりません\r\nvokl.dllのバージョンが古い可能性があります");

// Positions in twips within the client area; the button is centred.
constexpr int kClientWidth = 7515;
constexpr int kClientHeight = 4620;
constexpr int kMargin = 120;
constexpr int kTextHeight = 3780;
constexpr int kOkWidth = 1215;
constexpr int kOkHeight = 420;
constexpr int kOkTop = 4020;
constexpr int kTextPointSize = 9;

// The log's own line ends (CR LF, LF or a lone CR) each end one line.
QStringList splitLines(const QString& text) {
    QString unified = text;
    unified.replace(kCrLf, QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = unified.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // the last line end ends no line
    return lines;
}

bool isNavigationKey(int key) {
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

// Keys the dialog itself answers: focus moves, the default button, closing.
bool isDialogKey(int key) {
    return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
           key == Qt::Key_Escape;
}

}  // namespace

QString dlgError::logText(const vok::ErrorLog& log) {
    QStringList lines;
    if (log.lines) {
        lines = *log.lines;
    } else {
        QFile file(log.path);
        if (!file.open(QIODevice::ReadOnly)) return kFallbackText;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) return kFallbackText;
        lines = splitLines(QString::fromStdString(vok::logToUtf8(bytes.toStdString(), log.runPaths)));
    }
    QString text;
    for (const QString& line : lines) text += line + kCrLf;
    return text;
}

dlgError::dlgError(const vok::ErrorLog& log, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("dlgError"));
    setWindowTitle(QStringLiteral("エラー情報の確認"));
    setModal(true);

    txtError_ = new QPlainTextEdit(this);
    txtError_->setObjectName(QStringLiteral("txtError"));
    txtError_->setFont(dialogFont(kTextPointSize));
    txtError_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtError_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtError_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtError_->setReadOnly(true);
    txtError_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtError_->setTabChangesFocus(true);
    QPalette colours = txtError_->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Button));
    colours.setColor(QPalette::Text, Qt::black);
    txtError_->setPalette(colours);
    txtError_->setGeometry(px(kMargin), px(kMargin), px(kClientWidth - 2 * kMargin), px(kTextHeight));
    // The editor keeps its lines apart with its own separator; the text it
    // hands out again (copy) uses the platform's line end.
    txtError_->setPlainText(logText(log).replace(kCrLf, QStringLiteral("\n")));
    txtError_->installEventFilter(this);

    auto* cmdOk = new QPushButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdOk->setGeometry(px((kClientWidth - kOkWidth) / 2), px(kOkTop), px(kOkWidth), px(kOkHeight));
    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(px(kClientWidth), px(kClientHeight));
    txtError_->setFocus();
}

// Only navigation, Ctrl and copying reach the text; nothing typed, pasted,
// cut or deleted does.
bool dlgError::eventFilter(QObject* watched, QEvent* event) {
    if (watched != txtError_ || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (isNavigationKey(key->key()) || key->key() == Qt::Key_Control || key->matches(QKeySequence::Copy))
        return false;
    if (isDialogKey(key->key())) return false;
    return true;
}
