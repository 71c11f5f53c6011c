// The main window: three tabs, one per library job, their paths and options,
// the readiness of the run button, the file checks and the run itself.
// Controls, state variables and handlers carry the system's names; they are
// public so that tests can drive the window as a user would and look at what
// each event changed.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "uiServices.h"

class PathBox;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

class frmVokl : public QWidget {
    Q_OBJECT
public:
    explicit frmVokl(const vok::Services& services, QWidget* parent = nullptr);
    ~frmVokl() override;

    // Start-up with the program's command line (one path, unsplit). False when
    // the program must end at once (another instance is running).
    bool Form_Load(const QString& commandLine);
    void Form_Unload();

    // ---- controls ----
    QWidget* client = nullptr;  // everything inside the window; disabled during a run
    QTabWidget* tabRTF = nullptr;
    std::array<QWidget*, 3> fraTab{};  // fraTab(1) to fraTab(3) at [0] to [2]
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdVersion = nullptr;
    QLabel* lblMsg = nullptr;
    // Shown while a job reports its progress; they stay usable while the
    // rest of the window is disabled.
    QProgressBar* prgRun = nullptr;
    QPushButton* cmdStop = nullptr;
    QTimer* Timer1 = nullptr;
    QString Timer1Tag;

    QLabel* lbl1_1 = nullptr;
    PathBox* txt1_Sjsp = nullptr;
    QPushButton* cmd1_SjsRef = nullptr;
    QLabel* lbl1_2 = nullptr;
    PathBox* txt1_Jefp = nullptr;
    QPushButton* cmd1_JefRef = nullptr;
    QGroupBox* fra1_1 = nullptr;
    QRadioButton* opt1_1 = nullptr;
    QCheckBox* chk1_1 = nullptr;
    QRadioButton* opt1_2 = nullptr;
    QRadioButton* opt1_3 = nullptr;
    QRadioButton* opt1_4 = nullptr;
    QGroupBox* fra1_2 = nullptr;
    QCheckBox* chk1_2 = nullptr;

    QLabel* lbl2_1 = nullptr;
    PathBox* txt2_Jefp = nullptr;
    QPushButton* cmd2_JefRef = nullptr;
    QLabel* lbl2_2 = nullptr;
    PathBox* txt2_Sjsp = nullptr;
    QPushButton* cmd2_SjsRef = nullptr;
    QGroupBox* fra2_1 = nullptr;
    QCheckBox* chk2_3 = nullptr;
    QLabel* lbl2_3 = nullptr;
    PathBox* txt2_Ptnp = nullptr;
    QPushButton* cmd2_PtnRef = nullptr;
    QCheckBox* chk2_4 = nullptr;
    QGroupBox* fra2_2 = nullptr;
    QRadioButton* opt2_1 = nullptr;
    QRadioButton* opt2_2 = nullptr;
    QRadioButton* opt2_3 = nullptr;
    QGroupBox* fra2_4 = nullptr;
    QCheckBox* chk2_5 = nullptr;
    QCheckBox* chk2_6 = nullptr;
    QCheckBox* chk2_7 = nullptr;
    QCheckBox* chk2_8 = nullptr;
    QGroupBox* fra2_3 = nullptr;
    QCheckBox* chk2_2 = nullptr;
    QLabel* lbl2_4 = nullptr;
    PathBox* txt2_RecSize = nullptr;
    QLabel* lbl2_5 = nullptr;

    QLabel* lbl3_1 = nullptr;
    PathBox* txt3_Copyp = nullptr;
    QPushButton* cmd3_CopyRef = nullptr;
    QLabel* lbl3_2 = nullptr;
    PathBox* txt3_Ptnp = nullptr;
    QPushButton* cmd3_PtnRef = nullptr;
    QGroupBox* fra3_1 = nullptr;
    QCheckBox* chk3_1 = nullptr;
    QRadioButton* opt3_1 = nullptr;
    QRadioButton* opt3_2 = nullptr;
    QCheckBox* chk3_2 = nullptr;

    // ---- form-level state ----
    std::int16_t iTabNo = 1;
    std::int32_t lLogMode = 1;
    std::int16_t bCtrlKey = 0;
    std::int16_t bHiddenOpt = 0;
    QString sPath1_Sjs, sPath1_Jef;
    std::int32_t lEbcdicMode1 = 0;
    std::int32_t lShiftCode1 = 0;
    QString sPath2_Jef, sPath2_Sjs, sPath2_Ptn;
    std::int32_t lRecSize2 = 0;
    std::int32_t lUsePattern2 = 0;
    std::int32_t lEbcdicMode2 = 0;
    std::int32_t lAddCrLf2 = 0;
    std::int32_t lKeepShift2 = 0;
    std::int32_t lTrimMode2 = 0;
    QString sPath3_Copy, sPath3_Ptn;
    std::int32_t lSeparator3 = 0;
    std::int32_t lQuote3 = 0;
    QColor lRecSizeColor;
    std::int16_t iBlinkCount = 0;
    // Path of the temporary log of the most recent run; "" before the first.
    QString sErrLog;

    // ---- procedures and handlers ----
    void tabRTF_Click(int index);  // index 1 to 3
    void SetTabStop(int n);
    void Timer1_Timer();
    std::int16_t PathCheck1();
    std::int16_t PathCheck2();
    std::int16_t PathCheck3();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    void cmdVersion_Click();
    // "中止" and Esc: asks the running job to stop.
    void cmdStop_Click();
    void subDeleteLog();
    // The run button follows the rule of tab n.
    void applyReadiness(int tab);
    // The window is busy while a run calls the library or shows its log.
    bool isBusy() const;

    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kBlinkIntervalMs = 500;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildTab1(QWidget* page);
    void buildTab2(QWidget* page);
    void buildTab3(QWidget* page);
    void setTabOrder();
    void connectEvents();
    void connectPathBoxes();
    void startState();
    void applyCommandLine(const QString& commandLine);

    // Option and check events.
    void opt1_1_Click();
    void chk1_1_Click();
    void opt1_other_Click(std::int32_t mode);
    void chk1_2_Click();
    void chk2_3_Click();
    void chk2_4_Click();
    void opt2_Click(std::int32_t mode);
    void chk2_2_Click();
    void chkTrim_Click(QCheckBox* clicked);
    void chk3_1_Click();
    void opt3_Click(std::int32_t separator);
    void chk3_2_Click();

    // Path boxes.
    void txt1_Sjsp_Change();
    void txt2_Ptnp_Change();
    void txt2_RecSize_Change();
    void pathChanged(QString& variable, PathBox* box, int tab);
    void pathDropped(PathBox* box, const QStringList& files);
    void pathGotFocus(PathBox* box, Qt::FocusReason reason);
    void browse(PathBox* box);
    void proposeOutputs(PathBox* box);
    void readRecSizeFromPattern(const QString& patternPath);
    void revealHiddenOption();

    // Run driver.
    bool versionCheckPasses();
    void runJob();
    std::int16_t pathCheck(int tab);
    std::int16_t checkPaths(const QString& in, PathBox* inBox, const QString& out, PathBox* outBox,
                            bool patternIsInput);
    bool reportInput(const QString& path, PathBox* box);
    std::int32_t callExport(int tab, const QString& convLog, vok::ErrorLog& errorLog);
    // Runs the library call on a thread of its own while the window goes on
    // painting; input meanwhile reaches only the stop button and Esc.
    std::int32_t runOffThread(const std::function<std::int32_t()>& job);
    void showProgress(std::int64_t done, std::int64_t total);
    void hideProgress();
    void showBusy();
    void restoreWindow();
    void showMessage(const QString& text);
    void showFailure(const QString& text);
    void guarded(const std::function<void()>& handler);

    // Sets an option button group to "none selected".
    static void clearOptions(std::initializer_list<QRadioButton*> options);
    void setBoxBackground(PathBox* box, const QColor& colour);
    QColor buttonFace() const;
    QColor windowBackground() const;

    vok::Services services_;
    // Where the focus was when the window went busy; it returns there.
    QPointer<QWidget> focusBeforeRun_;
    bool running_ = false;  // a library call is under way
    std::atomic<bool> stopRequested_{false};
    QElapsedTimer runClock_;
};
