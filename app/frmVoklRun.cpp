// The run: version check, path checks, the temporary log, the library call
// with the window busy, and the report; also the other command buttons.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <stdexcept>

#include "core/resultReport.h"
#include "frmVokl.h"
#include "modCmShowHelp.h"
#include "modFilechk.h"
#include "modVokCom.h"
#include "pathBox.h"

namespace {

const QString kVersionTitle = QStringLiteral("バージョンの確認");
// What a library without the requested export is taken to be.
constexpr std::string_view kVersionWithoutExport = "0.90";

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString versionBoxText(std::string_view version, vok::VersionTail tail) {
    return fromUtf8(vok::versionMessage(version, tail));
}

}  // namespace

// ---- the run (cmdOk) ----

void frmVokl::cmdOk_Click() {
    bool versionChecked = false;
    for (;;) {
        try {
            if (!versionChecked && !versionCheckPasses()) {
                restoreWindow();
                return;
            }
            versionChecked = true;
            runJob();
            restoreWindow();
            return;
        } catch (const vok::MissingExport&) {
            const auto answer = services_.messages.show(
                this, QMessageBox::Question, kVersionTitle,
                versionBoxText(kVersionWithoutExport, vok::VersionTail::AskContinue),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            // The path checks of a repeated attempt move the focus, so the
            // window is usable again before it goes on.
            restoreWindow();
            if (answer != QMessageBox::Yes) return;
            versionChecked = true;
        } catch (const std::exception& e) {
            showFailure(QString::fromUtf8(e.what()));
            restoreWindow();
            return;
        } catch (...) {
            showFailure(QStringLiteral("予期しないエラーが発生しました"));
            restoreWindow();
            return;
        }
    }
}

bool frmVokl::versionCheckPasses() {
    const std::string version = vok::versionText(services_.library.voklVersion());
    if (!vok::versionOlder(version)) return true;
    if (iTabNo == 3) {
        services_.messages.show(this, QMessageBox::Critical, kVersionTitle,
                                versionBoxText(version, vok::VersionTail::NeedNewer), QMessageBox::Ok,
                                QMessageBox::Ok);
        return false;
    }
    if (bHiddenOpt == -1) {
        services_.messages.show(this, QMessageBox::Critical, kVersionTitle,
                                versionBoxText(version, vok::VersionTail::NeedSame), QMessageBox::Ok,
                                QMessageBox::Ok);
        return false;
    }
    const auto answer = services_.messages.show(this, QMessageBox::Warning, kVersionTitle,
                                                versionBoxText(version, vok::VersionTail::AskContinue),
                                                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return answer == QMessageBox::Yes;
}

void frmVokl::runJob() {
    const int tab = iTabNo;
    if (tab < 1 || tab > 3) return;
    if (pathCheck(tab) != 0) return;

    sErrLog = vok::GetTempLog();
    if (sErrLog.isEmpty()) {
        services_.messages.show(this, QMessageBox::Warning, QStringLiteral("エラー"),
                                QStringLiteral("一時ファイルが作成できませんでした"), QMessageBox::Ok,
                                QMessageBox::Ok);
        return;
    }
    QString convLog;
    if (tab == 2) {
        convLog = vok::GetConvLogName(services_.programDir, services_.clock.now());
        lTrimMode2 = vok::trimBits({chk2_3->isChecked(), chk2_5->isChecked(), chk2_6->isChecked(),
                                    chk2_7->isChecked(), chk2_8->isChecked()});
    }

    showBusy();
    std::vector<std::string> runPaths;
    const std::int32_t result = callExport(tab, convLog, runPaths);
    const vok::ResultReport report = vok::resultReport(static_cast<vok::Tab>(tab), result);
    lblMsg->setText(fromUtf8(report.text));
    if (report.showLog)
        services_.dialogs.showError(this, sErrLog, runPaths);
    else
        subDeleteLog();
}

std::int32_t frmVokl::callExport(int tab, const QString& convLog, std::vector<std::string>& runPaths) {
    const QByteArray log = vok::libraryPath(sErrLog);
    const QList<QString> paths = tab == 1   ? QList<QString>{sPath1_Sjs, sPath1_Jef}
                                 : tab == 2 ? QList<QString>{sPath2_Jef, sPath2_Sjs, sPath2_Ptn, convLog}
                                            : QList<QString>{sPath3_Copy, sPath3_Ptn};
    for (const QString& p : paths) runPaths.push_back(vok::libraryPath(p).toStdString());
    auto arg = [&runPaths](std::size_t i) { return runPaths[i].c_str(); };
    try {
        switch (tab) {
        case 1:
            return services_.library.s2jconv(lLogMode, lEbcdicMode1, lShiftCode1, arg(0), arg(1), log.constData());
        case 2:
            return services_.library.j2sconv(lLogMode, lEbcdicMode2, lRecSize2, lKeepShift2, lTrimMode2, arg(0),
                                             arg(1), arg(2), log.constData(), arg(3));
        default:
            return services_.library.mkpatn(1, lSeparator3, lQuote3, arg(0), arg(1), log.constData());
        }
    } catch (...) {
        // The library never ran: its empty log would only be left behind.
        try {
            subDeleteLog();
        } catch (...) {
        }
        throw;
    }
}

void frmVokl::showBusy() {
    setCursor(Qt::WaitCursor);
    lblMsg->setText(QStringLiteral("処理中です。しばらくお待ちください"));
    // Painted now: the call that follows blocks the window's thread.
    repaint();
    focusBeforeRun_ = QApplication::focusWidget();
    client->setEnabled(false);
}

void frmVokl::restoreWindow() {
    setCursor(Qt::ArrowCursor);
    client->setEnabled(true);
    if (focusBeforeRun_ != nullptr && QApplication::focusWidget() == nullptr && isActiveWindow())
        focusBeforeRun_->setFocus(Qt::ActiveWindowFocusReason);
    focusBeforeRun_.clear();
}

bool frmVokl::isBusy() const { return !client->isEnabled(); }

// ---- path checks ----

std::int16_t frmVokl::pathCheck(int tab) {
    switch (tab) {
    case 1: return PathCheck1();
    case 2: return PathCheck2();
    case 3: return PathCheck3();
    default: return 1;
    }
}

std::int16_t frmVokl::PathCheck1() { return checkPaths(sPath1_Sjs, txt1_Sjsp, sPath1_Jef, txt1_Jefp, false); }

std::int16_t frmVokl::PathCheck3() { return checkPaths(sPath3_Copy, txt3_Copyp, sPath3_Ptn, txt3_Ptnp, false); }

std::int16_t frmVokl::PathCheck2() {
    if (checkPaths(sPath2_Jef, txt2_Jefp, sPath2_Sjs, txt2_Sjsp, lUsePattern2 == 1) != 0) return 1;
    if (lUsePattern2 == 1 && reportInput(sPath2_Ptn, txt2_Ptnp)) return 1;
    return 0;
}

// Steps 1 to 5 of every tab: same paths, the input, then the output.
std::int16_t frmVokl::checkPaths(const QString& in, PathBox* inBox, const QString& out, PathBox* outBox,
                                 bool patternIsInput) {
    // Writing over an input would destroy it before it is read, however the
    // two paths are spelled; the pattern file of tab 2 is an input as well.
    const bool sameAsInput = out == in || vok::sameExistingFile(in, out);
    const bool sameAsPattern = patternIsInput && (out == sPath2_Ptn || vok::sameExistingFile(sPath2_Ptn, out));
    if (sameAsInput || sameAsPattern) {
        showMessage(QStringLiteral("入力側と出力側のパス名が同じです"));
        outBox->setFocus(Qt::OtherFocusReason);
        return 1;
    }
    if (reportInput(in, inBox)) return 1;
    switch (vok::ChkOutFile(out, services_.messages, this)) {
    case vok::kOutFileOk:
        return 0;
    case vok::kOutFileDeclined:
        break;
    case vok::kOutFileFolder:
        showMessage(QStringLiteral("フォルダーを指定することは出来ません"));
        break;
    default:
        showMessage(QStringLiteral("指定されたパス名のフォルダが存在しません"));
        break;
    }
    outBox->setFocus(Qt::OtherFocusReason);
    return 1;
}

// True when the input is unfit; the reason is shown and the focus moved.
bool frmVokl::reportInput(const QString& path, PathBox* box) {
    switch (vok::ChkInFile(path)) {
    case vok::kInFileMissing:
        showMessage(QStringLiteral("指定されたパス名は存在しません"));
        break;
    case vok::kInFileFolder:
        showMessage(QStringLiteral("フォルダーを指定することは出来ません"));
        break;
    default:
        if (vok::fileSize(path) != 0) return false;
        showMessage(QStringLiteral("ファイルにデータがありません"));
        break;
    }
    box->setFocus(Qt::OtherFocusReason);
    return true;
}

// ---- the other buttons ----

void frmVokl::cmdCancel_Click() {
    if (bCtrlKey != -1) {
        try {
            subDeleteLog();
        } catch (...) {
            // The program ends anyway.
        }
    }
    services_.app.quit();
}

void frmVokl::cmdHelp_Click() {
    const QString helpFile = QDir::toNativeSeparators(FindHelpFile(services_.programDir));
    services_.dialogs.showHelp(nullptr, helpFile);
}

void frmVokl::cmdVersion_Click() { services_.dialogs.showVersion(this); }

void frmVokl::subDeleteLog() {
    if (sErrLog.isEmpty() || !QFileInfo(sErrLog).isFile()) return;
    QFile log(sErrLog);
    if (!log.remove()) throw std::runtime_error(log.errorString().toStdString());
}

// ---- messages ----

void frmVokl::showMessage(const QString& text) { lblMsg->setText(text); }

void frmVokl::showFailure(const QString& text) {
    services_.messages.show(this, QMessageBox::Critical, QStringLiteral("エラーの確認"), text, QMessageBox::Ok,
                            QMessageBox::Ok);
}

void frmVokl::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        showFailure(QStringLiteral("予期しないエラーが発生しました"));
    }
}
