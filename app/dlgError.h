// The error dialog: the library's log of the last run, read-only from the
// keyboard but selectable and copyable, and "OK". One instance per showing;
// the log is read when the dialog is made.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace vok {

// What the error dialog shows of a run.
struct ErrorLog {
    QString path;  // sErrLog
    // The paths the run passed to the library, which appear in the log file
    // as the bytes it received.
    std::vector<std::string> runPaths;
    // The lines the extended interface handed out; without them the file is read.
    std::optional<QStringList> lines;
};

}  // namespace vok

class dlgError : public QDialog {
public:
    explicit dlgError(const vok::ErrorLog& log, QWidget* parent = nullptr);

    // The text the dialog shows: every line of the log followed by CR LF, or
    // the two-line fallback when the log file cannot be read.
    static QString logText(const vok::ErrorLog& log);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* txtError_ = nullptr;
};
