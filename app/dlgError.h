// The error dialog: the library's log of the last run, read-only from the
// keyboard but selectable and copyable, and "OK". One instance per showing;
// the log is read when the dialog is made.
#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QPlainTextEdit;

class dlgError : public QDialog {
public:
    // runPaths: the paths the run passed to the library, which appear in its
    // log as the bytes it received.
    dlgError(const QString& logPath, const std::vector<std::string>& runPaths, QWidget* parent = nullptr);

    // The text the dialog shows: every line of the log followed by CR LF, or
    // the two-line fallback when the log cannot be read.
    static QString logText(const QString& logPath, const std::vector<std::string>& runPaths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* txtError_ = nullptr;
};
