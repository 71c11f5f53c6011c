// The run: version check, path checks, the temporary log, the library call
// with the window busy, and the report; also the other command buttons.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "core/resultReport.h"
#include "core/runProgress.h"
#include "frmVokl.h"
#include "modCmShowHelp.h"
#include "modFilechk.h"
#include "modVokCom.h"
#include "pathBox.h"

namespace {

const QString kVersionTitle = QStringLiteral("バージョンの確認");
const QString kFolderMessage = QStringLiteral("フォルダーを指定することは出来ません");
const QString kNotFileMessage = QStringLiteral("通常のファイル以外(パイプやデバイス)を指定することは出来ません");
// What a library without the requested export is taken to be.
constexpr std::string_view kVersionWithoutExport = "0.90";

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString versionBoxText(std::string_view version, vok::VersionTail tail) {
    return fromUtf8(vok::versionMessage(version, tail));
}

// An empty conversion-error log that the run's call created says nothing.
void removeIfEmptyAndNew(const QString& path, bool existedBefore) {
    const QFileInfo info(path);
    if (!existedBefore && info.isFile() && info.size() == 0) QFile::remove(path);
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
    vok::ErrorLog errorLog{sErrLog, {}, {}};
    const std::int32_t result = callExport(tab, convLog, errorLog);
    const vok::ResultReport report = vok::resultReport(static_cast<vok::Tab>(tab), result);
    lblMsg->setText(fromUtf8(report.text));
    if (report.showLog) {
        services_.dialogs.showError(this, errorLog);
        // Shown, the log has served; Ctrl held as the dialog closes keeps it, as on leaving.
        if (bCtrlKey == -1) return;
    }
    subDeleteLog();
}

std::int32_t frmVokl::callExport(int tab, const QString& convLog, vok::ErrorLog& errorLog) {
    const std::string log = vok::libraryPath(sErrLog).toStdString();
    const QList<QString> paths = tab == 1   ? QList<QString>{sPath1_Sjs, sPath1_Jef}
                                 : tab == 2 ? QList<QString>{sPath2_Jef, sPath2_Sjs, sPath2_Ptn, convLog}
                                            : QList<QString>{sPath3_Copy, sPath3_Ptn};
    std::vector<std::string>& runPaths = errorLog.runPaths;
    for (const QString& p : paths) runPaths.push_back(vok::libraryPath(p).toStdString());
    const bool convLogExisted = tab == 2 && QFileInfo::exists(convLog);

    // The job reads only these copies: the window's state stays on its thread.
    vok::VoklApi& library = services_.library;
    const std::int32_t logMode = lLogMode;
    using Options = std::array<std::int32_t, 4>;
    const Options options = tab == 1   ? Options{lEbcdicMode1, lShiftCode1, 0, 0}
                            : tab == 2 ? Options{lEbcdicMode2, lRecSize2, lKeepShift2, lTrimMode2}
                                       : Options{lSeparator3, lQuote3, 0, 0};
    std::vector<std::string> lines;
    bool extended = false;
    vok::JobHooks hooks;
    hooks.progress = [this](std::int64_t done, std::int64_t total) {
        QMetaObject::invokeMethod(this, [this, done, total] { showProgress(done, total); }, Qt::QueuedConnection);
        return stopRequested_.load();
    };
    hooks.logLine = [&lines](const std::string& line) { lines.push_back(line); };
    auto job = [&]() -> std::int32_t {
        auto arg = [&runPaths](std::size_t i) { return runPaths[i].c_str(); };
        std::optional<std::int32_t> rc;
        switch (tab) {
        case 1:
            rc = library.vokl_s2j(hooks, options[0], options[1], arg(0), arg(1), log.c_str());
            extended = rc.has_value();
            return rc ? *rc : library.s2jconv(logMode, options[0], options[1], arg(0), arg(1), log.c_str());
        case 2:
            rc = library.vokl_j2s(hooks, options[0], options[1], options[2], options[3], arg(0), arg(1), arg(2),
                                  log.c_str(), arg(3));
            extended = rc.has_value();
            return rc ? *rc
                      : library.j2sconv(logMode, options[0], options[1], options[2], options[3], arg(0), arg(1),
                                        arg(2), log.c_str(), arg(3));
        default:
            return library.mkpatn(1, options[0], options[1], arg(0), arg(1), log.c_str());
        }
    };
    std::int32_t result = 0;
    try {
        result = runOffThread(job);
    } catch (...) {
        // The library never ran: its empty log would only be left behind.
        try {
            subDeleteLog();
        } catch (...) {
        }
        throw;
    }
    if (extended) {
        errorLog.lines.emplace();
        for (const std::string& line : lines) errorLog.lines->append(fromUtf8(line));
    }
    if (tab == 2) removeIfEmptyAndNew(convLog, convLogExisted);
    return result;
}

std::int32_t frmVokl::runOffThread(const std::function<std::int32_t()>& job) {
    std::int32_t result = 0;
    std::exception_ptr failure;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            result = job();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    stopRequested_ = false;
    running_ = true;
    runClock_.start();
    worker->start();
    // Events go on being handled here, so nothing waits to be replayed
    // afterwards: what reaches the disabled window is dropped at once.
    loop.exec();
    worker->wait();
    running_ = false;
    hideProgress();
    if (failure) std::rethrow_exception(failure);
    return result;
}

void frmVokl::showProgress(std::int64_t done, std::int64_t total) {
    if (!running_) return;
    if (prgRun->isHidden()) {
        // The status line makes room for the bar beside it, which ends under 中止.
        const QFontMetrics metrics = lblMsg->fontMetrics();
        lblMsg->resize(metrics.horizontalAdvance(lblMsg->text()) + metrics.averageCharWidth(), lblMsg->height());
        const int left = lblMsg->geometry().right() + 1;
        prgRun->setGeometry(left, lblMsg->y(), cmdStop->geometry().right() + 1 - left, lblMsg->height());
        prgRun->show();
        cmdStop->setEnabled(true);
        cmdStop->show();
    }
    const int percent = vok::progressPercent(done, total);
    prgRun->setRange(0, percent < 0 ? 0 : 100);  // 0 to 0: a bar that only shows activity
    prgRun->setValue(std::max(percent, 0));
    const std::string rate = vok::progressRate(done, total, static_cast<double>(runClock_.elapsed()) / 1000.0);
    prgRun->setFormat((percent < 0 ? QString() : QStringLiteral("%p%  ")) + fromUtf8(rate));
}

void frmVokl::hideProgress() {
    prgRun->hide();
    cmdStop->hide();
    lblMsg->resize(client->width() - lblMsg->x() - lblMsg->x(), lblMsg->height());
}

void frmVokl::cmdStop_Click() {
    if (!running_) return;
    stopRequested_ = true;
    cmdStop->setEnabled(false);
}

void frmVokl::showBusy() {
    setCursor(Qt::WaitCursor);
    lblMsg->setText(QStringLiteral("処理中です。しばらくお待ちください"));
    repaint();
    focusBeforeRun_ = focusWidget();
    client->setEnabled(false);
}

void frmVokl::restoreWindow() {
    setCursor(Qt::ArrowCursor);
    hideProgress();
    client->setEnabled(true);
    // Also while another window is still active: the focus is back here
    // when this one is activated again, not on the first control.
    if (focusBeforeRun_ != nullptr) focusBeforeRun_->setFocus(Qt::ActiveWindowFocusReason);
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
        outBox->focusAndSelect();
        return 1;
    }
    if (reportInput(in, inBox)) return 1;
    switch (vok::ChkOutFile(out, services_.messages, this)) {
    case vok::kOutFileOk:
        return 0;
    case vok::kOutFileDeclined:
        break;
    case vok::kOutFileFolder:
        showMessage(kFolderMessage);
        break;
    case vok::kOutFileNotFile:
        showMessage(kNotFileMessage);
        break;
    default:
        showMessage(QStringLiteral("指定されたパス名のフォルダが存在しません"));
        break;
    }
    outBox->focusAndSelect();
    return 1;
}

// True when the input is unfit; the reason is shown and the focus moved.
bool frmVokl::reportInput(const QString& path, PathBox* box) {
    switch (vok::ChkInFile(path)) {
    case vok::kInFileMissing:
        showMessage(QStringLiteral("指定されたパス名は存在しません"));
        break;
    case vok::kInFileFolder:
        showMessage(kFolderMessage);
        break;
    case vok::kInFileNotFile:
        showMessage(kNotFileMessage);
        break;
    default:
        if (vok::fileSize(path) != 0) return false;
        showMessage(QStringLiteral("ファイルにデータがありません"));
        break;
    }
    box->focusAndSelect();
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
