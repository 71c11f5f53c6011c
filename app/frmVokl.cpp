// The window, its start-up, the tab switch, the keyboard order and the option
// events. The path boxes are in frmVoklPaths.cpp, the run in frmVoklRun.cpp.
#include "frmVokl.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <type_traits>

#include "modVokCom.h"
#include "pathBox.h"

namespace {

int px(int twips) { return (twips + frmVokl::kTwipsPerPixel / 2) / frmVokl::kTwipsPerPixel; }

// Window client area. The outer size is 10035 x 7155 twips; the client area
// is that less a thin frame and a title bar, large enough for the status line.
constexpr int kClientWidthTwips = 9945;
constexpr int kClientHeightTwips = 6840;
constexpr int kTabPageWidthTwips = 8040;
constexpr int kTabPageHeightTwips = 5894;
// Ctrl: the key whose state decides whether the last log is kept.
constexpr int kCtrlKey = Qt::Key_Control;
const QColor kHiddenOptionColour(192, 0, 0);
const QString kFontFamily = QStringLiteral("Noto Sans CJK JP");
constexpr int kFontPixelSize = 12;  // 9 points at 96 DPI

template <typename W>
W* make(QWidget* parent, const char* name, const QString& caption = QString()) {
    W* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    if constexpr (!std::is_same_v<W, PathBox> && !std::is_same_v<W, QWidget> && !std::is_same_v<W, QTabWidget>) {
        if (!caption.isNull()) {
            if constexpr (std::is_same_v<W, QGroupBox>)
                w->setTitle(caption);
            else
                w->setText(caption);
        }
    }
    return w;
}

// Places a control at its position in twips. Captions that need more room
// than the position gives (fonts differ between platforms) grow around their
// middle instead of being cut off.
void place(QWidget* w, int left, int top, int width, int height) {
    QRect r(px(left), px(top), px(width), px(height));
    const bool caption = qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
    if (caption) {
        const QSize hint = w->sizeHint();
        // The text's own height (with a pixel above and below), not the
        // style's roomier hint, so that neighbours keep their distance.
        const int needed = w->fontMetrics().height() + 2;
        if (needed > r.height()) {
            // Labels stand above the box they name: they grow upwards.
            const int grow = needed - r.height();
            r.setTop(r.top() - (qobject_cast<QLabel*>(w) ? grow : grow / 2));
            r.setHeight(needed);
        }
        if (hint.width() > r.width()) r.setWidth(hint.width());
    }
    w->setGeometry(r);
}

void tip(QWidget* w, const char* utf8) { w->setToolTip(QString::fromUtf8(utf8)); }

std::string utf8(const QString& s) { return s.toStdString(); }

}  // namespace

frmVokl::frmVokl(const vok::Services& services, QWidget* parent) : QWidget(parent), services_(services) {
    setObjectName(QStringLiteral("frmVokl"));
    buildWindow();
    setTabOrder();
    connectEvents();
    connectPathBoxes();
    // The window sees keys before its controls.
    qApp->installEventFilter(this);
}

frmVokl::~frmVokl() { qApp->removeEventFilter(this); }

void frmVokl::buildWindow() {
    setWindowTitle(QStringLiteral("ＶＯＫ v1.05"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    if (QFontDatabase::families().contains(kFontFamily)) {
        QFont f(kFontFamily);
        f.setPixelSize(kFontPixelSize);
        setFont(f);
    }

    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setGeometry(0, 0, px(kClientWidthTwips), px(kClientHeightTwips));

    tabRTF = make<QTabWidget>(client, "tabRTF");
    place(tabRTF, 60, 120, 8295, 6375);
    for (int i = 0; i < 3; ++i) {
        // Made inside the window so that the pages measure with its font.
        fraTab[i] = make<QWidget>(client, "fraTab");
        fraTab[i]->setProperty("index", i + 1);
        fraTab[i]->resize(px(kTabPageWidthTwips), px(kTabPageHeightTwips));
    }
    buildTab1(fraTab[0]);
    buildTab2(fraTab[1]);
    buildTab3(fraTab[2]);
    tabRTF->addTab(fraTab[0], QStringLiteral("シフトJIS->JEF変換"));
    tabRTF->addTab(fraTab[1], QStringLiteral("JEF->シフトJIS変換"));
    tabRTF->addTab(fraTab[2], QStringLiteral("レコードパターン作成"));

    cmdOk = make<QPushButton>(client, "cmdOk", QStringLiteral("実行(&S)"));
    place(cmdOk, 8460, 405, 1380, 420);
    cmdOk->setDefault(true);
    cmdCancel = make<QPushButton>(client, "cmdCancel", QStringLiteral("終了(&X)"));
    place(cmdCancel, 8460, 1020, 1380, 420);
    cmdHelp = make<QPushButton>(client, "cmdHelp", QStringLiteral("ヘルプ"));
    place(cmdHelp, 8460, 2235, 1380, 420);
    cmdVersion = make<QPushButton>(client, "cmdVersion", QStringLiteral("バージョン情報"));
    place(cmdVersion, 8460, 2880, 1380, 420);
    // Enter on a focused button presses that button, elsewhere the default one.
    for (QPushButton* b : {cmdOk, cmdCancel, cmdHelp, cmdVersion}) b->setAutoDefault(true);

    // Outside the client area, so that it stays readable while a job runs.
    lblMsg = make<QLabel>(this, "lblMsg", QString(""));
    QFont bold = lblMsg->font();
    bold.setBold(true);
    lblMsg->setFont(bold);
    // The status line grows downwards, into the room below it.
    lblMsg->setGeometry(px(120), px(6540), px(9705), std::max(px(240), lblMsg->fontMetrics().height() + 2));

    // Outside the client area, which is disabled while a job runs. The bar
    // takes its place beside the status line once the job reports progress.
    prgRun = new QProgressBar(this);
    prgRun->setObjectName(QStringLiteral("prgRun"));
    prgRun->setTextVisible(true);
    prgRun->setAlignment(Qt::AlignCenter);
    prgRun->hide();
    cmdStop = make<QPushButton>(this, "cmdStop", QStringLiteral("中止"));
    place(cmdStop, 8460, 6000, 1380, 420);
    tip(cmdStop, "変換を中止します (Esc)");
    // Only a click or Esc stops: a key meant for the window must not.
    cmdStop->setFocusPolicy(Qt::NoFocus);
    cmdStop->setCursor(Qt::ArrowCursor);
    cmdStop->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kBlinkIntervalMs);

    setFixedSize(client->size());
}

void frmVokl::buildTab1(QWidget* page) {
    lbl1_1 = make<QLabel>(page, "lbl1_1", QStringLiteral("シフトJISファイルのパス名 :"));
    place(lbl1_1, 225, 270, 2670, 195);
    txt1_Sjsp = make<PathBox>(page, "txt1_Sjsp");
    place(txt1_Sjsp, 225, 495, 6060, 330);
    cmd1_SjsRef = make<QPushButton>(page, "cmd1_SjsRef", QStringLiteral("参照 ..."));
    place(cmd1_SjsRef, 6480, 495, 1365, 330);
    lbl1_2 = make<QLabel>(page, "lbl1_2", QStringLiteral("JEFファイルのパス名 :"));
    place(lbl1_2, 225, 1080, 2670, 195);
    txt1_Jefp = make<PathBox>(page, "txt1_Jefp");
    place(txt1_Jefp, 240, 1305, 6060, 330);
    cmd1_JefRef = make<QPushButton>(page, "cmd1_JefRef", QStringLiteral("参照 ..."));
    place(cmd1_JefRef, 6480, 1305, 1365, 330);

    fra1_1 = make<QGroupBox>(page, "fra1_1", QStringLiteral("変換オプションの選択"));
    place(fra1_1, 240, 2190, 3810, 2535);
    opt1_1 = make<QRadioButton>(fra1_1, "opt1_1", QStringLiteral("EBCDIC-カナ"));
    place(opt1_1, 270, 540, 3165, 240);
    tip(opt1_1, "ファイルに半角カナがある場合にチェックしてください");
    chk1_1 = make<QCheckBox>(fra1_1, "chk1_1", QStringLiteral("英小文字を英大文字に強制変換する"));
    place(chk1_1, 540, 855, 3120, 285);
    tip(chk1_1, "英小文字をカナに変換させたくない場合にチェックしてください");
    opt1_2 = make<QRadioButton>(fra1_1, "opt1_2", QStringLiteral("EBCDIC-英小文字"));
    place(opt1_2, 270, 1260, 3165, 240);
    tip(opt1_2, "ファイルに英小文字(半角カナなし)がある場合にチェックしてください");
    opt1_3 = make<QRadioButton>(fra1_1, "opt1_3", QStringLiteral("EBCDIC-ASCII"));
    place(opt1_3, 270, 1665, 3165, 240);
    tip(opt1_3, "ファイルに英小文字(半角カナなし)がある場合にチェックしてください");
    opt1_4 = make<QRadioButton>(fra1_1, "opt1_4", QStringLiteral("無変換"));
    place(opt1_4, 270, 2040, 3165, 240);
    tip(opt1_4, "半角文字を変換しない場合にチェックしてください");
    QPalette red = opt1_4->palette();
    red.setColor(QPalette::WindowText, kHiddenOptionColour);
    red.setColor(QPalette::ButtonText, kHiddenOptionColour);
    red.setColor(QPalette::Text, kHiddenOptionColour);
    opt1_4->setPalette(red);

    fra1_2 = make<QGroupBox>(page, "fra1_2", QStringLiteral("その他のオプション"));
    place(fra1_2, 4200, 2190, 3750, 2535);
    chk1_2 = make<QCheckBox>(fra1_2, "chk1_2", QStringLiteral("JEFの前後にシフトコードを挿入する"));
    place(chk1_2, 315, 495, 3255, 285);
}

void frmVokl::buildTab2(QWidget* page) {
    lbl2_1 = make<QLabel>(page, "lbl2_1", QStringLiteral("JEFファイルのパス名 :"));
    place(lbl2_1, 180, 270, 2670, 195);
    txt2_Jefp = make<PathBox>(page, "txt2_Jefp");
    place(txt2_Jefp, 240, 495, 6060, 330);
    cmd2_JefRef = make<QPushButton>(page, "cmd2_JefRef", QStringLiteral("参照 ..."));
    place(cmd2_JefRef, 6480, 495, 1365, 330);
    lbl2_2 = make<QLabel>(page, "lbl2_2", QStringLiteral("シフトJISファイルのパス名 :"));
    place(lbl2_2, 225, 1080, 2670, 195);
    txt2_Sjsp = make<PathBox>(page, "txt2_Sjsp");
    place(txt2_Sjsp, 225, 1305, 6060, 330);
    cmd2_SjsRef = make<QPushButton>(page, "cmd2_SjsRef", QStringLiteral("参照 ..."));
    place(cmd2_SjsRef, 6480, 1305, 1365, 330);

    fra2_1 = make<QGroupBox>(page, "fra2_1", QStringLiteral("JEFファイルの読み込み方法"));
    place(fra2_1, 225, 1800, 7740, 1905);
    chk2_3 = make<QCheckBox>(fra2_1, "chk2_3",
                             QStringLiteral("レコードパターンを使用する(シフトコードが付いていない時は必ずチェックして下さい)"));
    place(chk2_3, 180, 360, 7215, 255);
    lbl2_3 = make<QLabel>(fra2_1, "lbl2_3", QStringLiteral("パターンファイルのパス名 :"));
    place(lbl2_3, 495, 735, 2670, 195);
    txt2_Ptnp = make<PathBox>(fra2_1, "txt2_Ptnp");
    place(txt2_Ptnp, 495, 960, 5520, 330);
    cmd2_PtnRef = make<QPushButton>(fra2_1, "cmd2_PtnRef", QStringLiteral("参照 ..."));
    place(cmd2_PtnRef, 6240, 960, 1230, 330);
    chk2_4 = make<QCheckBox>(fra2_1, "chk2_4", QStringLiteral("シフトコードを読みとばさない"));
    place(chk2_4, 495, 1440, 3255, 285);
    tip(chk2_4, "シフトコードをそのまま変換する場合にチェックしてください");

    fra2_2 = make<QGroupBox>(page, "fra2_2", QStringLiteral("変換オプションの選択"));
    place(fra2_2, 225, 3900, 2450, 1935);
    opt2_1 = make<QRadioButton>(fra2_2, "opt2_1", QStringLiteral("EBCDIC-カナ"));
    place(opt2_1, 240, 345, 1890, 240);
    tip(opt2_1, "ファイルに半角カナがある場合にチェックしてください");
    opt2_2 = make<QRadioButton>(fra2_2, "opt2_2", QStringLiteral("EBCDIC-英小文字"));
    place(opt2_2, 240, 690, 1890, 240);
    tip(opt2_2, "ファイルに英小文字(半角カナなし)がある場合にチェックしてください");
    opt2_3 = make<QRadioButton>(fra2_2, "opt2_3", QStringLiteral("EBCDIC-ASCII"));
    place(opt2_3, 240, 1020, 1890, 240);
    tip(opt2_3, "ファイルに英小文字(半角カナなし)がある場合にチェックしてください");

    fra2_4 = make<QGroupBox>(page, "fra2_4", QStringLiteral("トリミングオプション"));
    place(fra2_4, 2760, 3900, 2565, 1935);
    chk2_5 = make<QCheckBox>(fra2_4, "chk2_5", QStringLiteral("Trim(前後の空白削除)"));
    place(chk2_5, 240, 345, 2235, 285);
    tip(chk2_5, "項目の前後と中間にある空白を削除します");
    chk2_6 = make<QCheckBox>(fra2_4, "chk2_6", QStringLiteral("LTrim(左端の空白削除)"));
    place(chk2_6, 240, 690, 2235, 285);
    tip(chk2_6, "項目の左端(先頭)にある空白を削除します");
    chk2_7 = make<QCheckBox>(fra2_4, "chk2_7", QStringLiteral("RTrim(右端の空白削除)"));
    place(chk2_7, 240, 1020, 2235, 285);
    tip(chk2_7, "項目の右端(後尾)にある空白を削除します");
    chk2_8 = make<QCheckBox>(fra2_4, "chk2_8", QStringLiteral("漢字項目のみをﾄﾘﾐﾝｸﾞ"));
    place(chk2_8, 240, 1500, 2055, 285);
    tip(chk2_8, "トリミングするのを漢字の項目だけにします");

    fra2_3 = make<QGroupBox>(page, "fra2_3", QStringLiteral("その他のオプション"));
    place(fra2_3, 5400, 3900, 2565, 1935);
    chk2_2 = make<QCheckBox>(fra2_3, "chk2_2", QStringLiteral("改行コードを付加する"));
    place(chk2_2, 240, 360, 2055, 285);
    lbl2_4 = make<QLabel>(fra2_3, "lbl2_4", QStringLiteral("ﾚｺｰﾄﾞ長:"));
    place(lbl2_4, 420, 750, 705, 285);
    txt2_RecSize = make<PathBox>(fra2_3, "txt2_RecSize");
    place(txt2_RecSize, 1155, 705, 675, 285);
    txt2_RecSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txt2_RecSize->setDigitsOnly(true);
    txt2_RecSize->setAcceptDrops(false);
    tip(txt2_RecSize, "1～32760 の範囲で指定してください");
    lbl2_5 = make<QLabel>(fra2_3, "lbl2_5", QStringLiteral("bytes"));
    place(lbl2_5, 1920, 750, 435, 285);
}

void frmVokl::buildTab3(QWidget* page) {
    lbl3_1 = make<QLabel>(page, "lbl3_1", QStringLiteral("コピー句ファイルのパス名 :"));
    place(lbl3_1, 225, 270, 2670, 195);
    txt3_Copyp = make<PathBox>(page, "txt3_Copyp");
    place(txt3_Copyp, 225, 495, 6060, 330);
    tip(txt3_Copyp, "レコードサイズは 255 バイトまでです");
    cmd3_CopyRef = make<QPushButton>(page, "cmd3_CopyRef", QStringLiteral("参照 ..."));
    place(cmd3_CopyRef, 6480, 495, 1365, 330);
    lbl3_2 = make<QLabel>(page, "lbl3_2", QStringLiteral("パターンファイルのパス名 :"));
    place(lbl3_2, 225, 1080, 2670, 195);
    txt3_Ptnp = make<PathBox>(page, "txt3_Ptnp");
    place(txt3_Ptnp, 225, 1305, 6060, 330);
    cmd3_PtnRef = make<QPushButton>(page, "cmd3_PtnRef", QStringLiteral("参照 ..."));
    place(cmd3_PtnRef, 6480, 1305, 1365, 330);

    fra3_1 = make<QGroupBox>(page, "fra3_1", QStringLiteral("オプション"));
    place(fra3_1, 225, 2190, 7740, 2025);
    chk3_1 = make<QCheckBox>(fra3_1, "chk3_1", QStringLiteral("セパレータを付ける (項目と項目の間にセパレータを付加します)"));
    place(chk3_1, 270, 360, 5730, 240);
    opt3_1 = make<QRadioButton>(fra3_1, "opt3_1", QStringLiteral("カンマ区切り"));
    place(opt3_1, 540, 720, 1545, 195);
    opt3_2 = make<QRadioButton>(fra3_1, "opt3_2", QStringLiteral("スペース区切り"));
    place(opt3_2, 540, 1080, 1545, 195);
    chk3_2 = make<QCheckBox>(fra3_1, "chk3_2", QStringLiteral("文字列の項目を引用符(\")で囲む") + QString(28, QLatin1Char(' ')));
    place(chk3_2, 270, 1500, 5730, 240);
}

void frmVokl::setTabOrder() {
    // The tab strip (55) comes after the page and before the buttons (56-59).
    const QList<QWidget*> order = {
        txt1_Sjsp, cmd1_SjsRef, txt1_Jefp, cmd1_JefRef, opt1_1, chk1_1, opt1_2, opt1_3, opt1_4, chk1_2,
        txt2_Jefp, cmd2_JefRef, txt2_Sjsp, cmd2_SjsRef, chk2_3, txt2_Ptnp, cmd2_PtnRef, chk2_4, opt2_1, opt2_2,
        opt2_3, chk2_5, chk2_6, chk2_7, chk2_8, chk2_2, txt2_RecSize,
        txt3_Copyp, cmd3_CopyRef, txt3_Ptnp, cmd3_PtnRef, chk3_1, opt3_1, opt3_2, chk3_2,
        tabRTF->tabBar(), cmdOk, cmdCancel, cmdHelp, cmdVersion};
    for (int i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    // The tab widget, through its bar as focus proxy, would be a second stop
    // where the chain wraps around: the bar alone is the tab strip's stop.
    tabRTF->setFocusProxy(nullptr);
    tabRTF->setFocusPolicy(Qt::NoFocus);
}

void frmVokl::connectEvents() {
    connect(tabRTF, &QTabWidget::currentChanged, this, [this](int index) { guarded([=, this] { tabRTF_Click(index + 1); }); });
    // A click on the tab already shown only empties the status line.
    connect(tabRTF->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index == tabRTF->currentIndex()) guarded([=, this] { tabRTF_Click(index + 1); });
    });

    auto onSelected = [this](QRadioButton* option, std::function<void()> handler) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on) guarded(handler);
        });
    };
    auto onClick = [this](QCheckBox* box, std::function<void()> handler) {
        connect(box, &QCheckBox::toggled, this, [this, handler](bool) { guarded(handler); });
    };
    onSelected(opt1_1, [this] { opt1_1_Click(); });
    onSelected(opt1_2, [this] { opt1_other_Click(3); });
    onSelected(opt1_3, [this] { opt1_other_Click(4); });
    onSelected(opt1_4, [this] { opt1_other_Click(9); });
    onClick(chk1_1, [this] { chk1_1_Click(); });
    onClick(chk1_2, [this] { chk1_2_Click(); });
    onClick(chk2_3, [this] { chk2_3_Click(); });
    onClick(chk2_4, [this] { chk2_4_Click(); });
    onSelected(opt2_1, [this] { opt2_Click(1); });
    onSelected(opt2_2, [this] { opt2_Click(2); });
    onSelected(opt2_3, [this] { opt2_Click(3); });
    onClick(chk2_2, [this] { chk2_2_Click(); });
    for (QCheckBox* trim : {chk2_5, chk2_6, chk2_7}) onClick(trim, [this, trim] { chkTrim_Click(trim); });
    onClick(chk3_1, [this] { chk3_1_Click(); });
    onSelected(opt3_1, [this] { opt3_Click(1); });
    onSelected(opt3_2, [this] { opt3_Click(2); });
    onClick(chk3_2, [this] { chk3_2_Click(); });

    connect(Timer1, &QTimer::timeout, this, [this] { guarded([this] { Timer1_Timer(); }); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { guarded([this] { cmdCancel_Click(); }); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { guarded([this] { cmdHelp_Click(); }); });
    connect(cmdVersion, &QPushButton::clicked, this, [this] { guarded([this] { cmdVersion_Click(); }); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
}

bool frmVokl::Form_Load(const QString& commandLine) {
    if (!services_.instance.tryAcquire()) {
        services_.messages.show(nullptr, QMessageBox::Critical, QStringLiteral("二重起動の確認"),
                                QStringLiteral("既に起動されています"), QMessageBox::Ok, QMessageBox::Ok);
        return false;
    }
    tabRTF->setCurrentIndex(0);
    iTabNo = 1;
    SetTabStop(1);
    startState();
    applyCommandLine(commandLine);
    // After the boxes were filled, so that the path given is selected.
    (iTabNo == 2 ? txt2_Jefp : txt1_Sjsp)->focusAndSelect();
    return true;
}

void frmVokl::startState() {
    cmdOk->setEnabled(false);
    lblMsg->clear();
    Timer1Tag = QStringLiteral("OFF");
    for (PathBox* box : {txt1_Sjsp, txt1_Jefp, txt2_Jefp, txt2_Sjsp, txt2_Ptnp, txt2_RecSize, txt3_Copyp, txt3_Ptnp})
        box->clear();
    chk1_1->setEnabled(false);
    opt1_4->setVisible(false);
    lbl2_3->setEnabled(false);
    txt2_Ptnp->setEnabled(false);
    setBoxBackground(txt2_Ptnp, buttonFace());
    cmd2_PtnRef->setEnabled(false);
    for (QCheckBox* box : {chk2_4, chk2_5, chk2_6, chk2_7, chk2_8}) box->setEnabled(false);
    lbl2_4->setEnabled(false);
    txt2_RecSize->setEnabled(false);
    setBoxBackground(txt2_RecSize, buttonFace());
    lbl2_5->setEnabled(false);
    opt3_1->setEnabled(false);
    opt3_2->setEnabled(false);

    iTabNo = 1;
    lLogMode = 1;
    bCtrlKey = 0;
    bHiddenOpt = 0;
    sPath1_Sjs.clear();
    sPath1_Jef.clear();
    lEbcdicMode1 = 0;
    lShiftCode1 = 0;
    sPath2_Jef.clear();
    sPath2_Sjs.clear();
    sPath2_Ptn = QString::fromUtf8(vok::kNoPattern.data(), vok::kNoPattern.size());
    lRecSize2 = 0;
    lUsePattern2 = 0;
    lEbcdicMode2 = 0;
    lAddCrLf2 = 0;
    lKeepShift2 = 0;
    lTrimMode2 = 0;
    sPath3_Copy.clear();
    sPath3_Ptn.clear();
    lSeparator3 = 0;
    lQuote3 = 0;
    iBlinkCount = 0;
    lRecSizeColor = buttonFace();
}

void frmVokl::applyCommandLine(const QString& commandLine) {
    switch (vok::classifyCommandLine(utf8(commandLine))) {
    case vok::CommandLineTab::SjisToJef:
        txt1_Sjsp->setText(commandLine);
        txt1_Jefp->setText(QString::fromStdString(vok::ChgExt(utf8(sPath1_Sjs), "bin")));
        break;
    case vok::CommandLineTab::JefToSjis:
        tabRTF->setCurrentIndex(1);
        txt2_Jefp->setText(commandLine);
        txt2_Sjsp->setText(QString::fromStdString(vok::ChgExt(utf8(sPath2_Jef), "txt")));
        txt2_Ptnp->setText(QString::fromStdString(vok::ChgExt(utf8(sPath2_Jef), "ptn")));
        break;
    case vok::CommandLineTab::None:
        break;
    }
}

void frmVokl::tabRTF_Click(int index) {
    if (index < 1 || index > 3) return;
    fraTab[index - 1]->raise();
    // The focus can only move into a window that is shown.
    if (!isVisible()) show();
    lblMsg->clear();
    if (index == iTabNo) return;
    iTabNo = static_cast<std::int16_t>(index);
    applyReadiness(iTabNo);
    PathBox* first = iTabNo == 1 ? txt1_Sjsp : iTabNo == 2 ? txt2_Jefp : txt3_Copyp;
    first->focusAndSelect();
    SetTabStop(iTabNo);
}

void frmVokl::SetTabStop(int n) {
    const std::array<QList<QWidget*>, 3> sets = {{
        {txt1_Sjsp, cmd1_SjsRef, txt1_Jefp, cmd1_JefRef, opt1_1, chk1_1, opt1_2, opt1_3, opt1_4, chk1_2},
        {txt2_Jefp, cmd2_JefRef, txt2_Sjsp, cmd2_SjsRef, chk2_3, chk2_4, chk2_5, chk2_6, chk2_7, chk2_8, txt2_Ptnp,
         cmd2_PtnRef, opt2_1, opt2_2, opt2_3, chk2_2, txt2_RecSize},
        {txt3_Copyp, cmd3_CopyRef, txt3_Ptnp, cmd3_PtnRef, chk3_1, opt3_1, opt3_2, chk3_2},
    }};
    // Out of the Tab-key order, but still reachable with the mouse.
    for (const auto& set : sets)
        for (QWidget* w : set) w->setFocusPolicy(Qt::ClickFocus);
    if (n >= 1 && n <= 3)
        for (QWidget* w : sets[n - 1]) w->setFocusPolicy(Qt::StrongFocus);
}

void frmVokl::applyReadiness(int tab) {
    bool ready = false;
    switch (tab) {
    case 1:
        ready = vok::ChkReady1(utf8(sPath1_Sjs), utf8(sPath1_Jef), lEbcdicMode1);
        break;
    case 2:
        ready = vok::ChkReady2(utf8(sPath2_Jef), utf8(sPath2_Sjs), utf8(sPath2_Ptn), lUsePattern2, lEbcdicMode2,
                               lAddCrLf2, lRecSize2);
        break;
    case 3:
        ready = vok::ChkReady3(utf8(sPath3_Copy), utf8(sPath3_Ptn), chk3_1->isChecked(), lSeparator3);
        break;
    default:
        break;
    }
    cmdOk->setEnabled(ready);
}

// ---- option and check events ----

void frmVokl::opt1_1_Click() {
    lblMsg->clear();
    lEbcdicMode1 = chk1_1->isChecked() ? 2 : 1;
    chk1_1->setEnabled(true);
    chk1_1->setFocus(Qt::OtherFocusReason);
    applyReadiness(1);
}

void frmVokl::chk1_1_Click() {
    lblMsg->clear();
    lEbcdicMode1 = chk1_1->isChecked() ? 2 : 1;
    applyReadiness(1);
}

void frmVokl::opt1_other_Click(std::int32_t mode) {
    lblMsg->clear();
    lEbcdicMode1 = mode;
    chk1_1->setEnabled(false);
    applyReadiness(1);
}

void frmVokl::chk1_2_Click() {
    lblMsg->clear();
    lShiftCode1 = chk1_2->isChecked() ? 1 : 0;
    applyReadiness(1);
}

void frmVokl::chk2_3_Click() {
    lblMsg->clear();
    const bool on = chk2_3->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lbl2_3, txt2_Ptnp, cmd2_PtnRef, chk2_4, chk2_5, chk2_6, chk2_7})
        w->setEnabled(on);
    if (on) {
        setBoxBackground(txt2_Ptnp, windowBackground());
        sPath2_Ptn = txt2_Ptnp->path();
        txt2_Ptnp->focusAndSelect();
        lUsePattern2 = 1;
    } else {
        setBoxBackground(txt2_Ptnp, buttonFace());
        chk2_8->setEnabled(false);
        sPath2_Ptn = QString::fromUtf8(vok::kNoPattern.data(), vok::kNoPattern.size());
        lUsePattern2 = 0;
    }
    applyReadiness(2);
}

void frmVokl::chk2_4_Click() {
    lblMsg->clear();
    lKeepShift2 = chk2_4->isChecked() ? 1 : 0;
    applyReadiness(2);
}

void frmVokl::opt2_Click(std::int32_t mode) {
    lblMsg->clear();
    lEbcdicMode2 = mode;
    applyReadiness(2);
}

void frmVokl::chk2_2_Click() {
    lblMsg->clear();
    const bool on = chk2_2->isChecked();
    lbl2_4->setEnabled(on);
    txt2_RecSize->setEnabled(on);
    if (on) {
        txt2_RecSize->focusAndSelect();
        lRecSizeColor = windowBackground();
        setBoxBackground(txt2_RecSize, lRecSizeColor);
        lbl2_5->setEnabled(true);
        lRecSize2 = vok::leadingNumber(utf8(txt2_RecSize->text()));
        lAddCrLf2 = 1;
    } else {
        lRecSizeColor = buttonFace();
        setBoxBackground(txt2_RecSize, lRecSizeColor);
        lbl2_5->setEnabled(false);
        lRecSize2 = 0;
        lAddCrLf2 = 0;
    }
    applyReadiness(2);
}

void frmVokl::chkTrim_Click(QCheckBox* clicked) {
    // The trimming boxes leave the status line and the run button alone.
    if (clicked->isChecked())
        chk2_8->setEnabled(true);
    else if (!chk2_5->isChecked() && !chk2_6->isChecked() && !chk2_7->isChecked())
        chk2_8->setEnabled(false);
}

void frmVokl::chk3_1_Click() {
    lblMsg->clear();
    const bool on = chk3_1->isChecked();
    opt3_1->setEnabled(on);
    opt3_2->setEnabled(on);
    if (!on) {
        clearOptions({opt3_1, opt3_2});
        lSeparator3 = 0;
    }
    applyReadiness(3);
}

void frmVokl::opt3_Click(std::int32_t separator) {
    lblMsg->clear();
    lSeparator3 = separator;
    applyReadiness(3);
}

void frmVokl::chk3_2_Click() {
    lblMsg->clear();
    lQuote3 = chk3_2->isChecked() ? 1 : 0;
    applyReadiness(3);
}

void frmVokl::clearOptions(std::initializer_list<QRadioButton*> options) {
    // An exclusive group never lets its last option go by itself.
    for (QRadioButton* o : options) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
}

void frmVokl::setBoxBackground(PathBox* box, const QColor& colour) {
    QPalette p = box->palette();
    p.setColor(QPalette::Base, colour);
    box->setPalette(p);
}

QColor frmVokl::buttonFace() const { return QApplication::palette().color(QPalette::Button); }
QColor frmVokl::windowBackground() const { return QApplication::palette().color(QPalette::Base); }

// ---- keys and unload ----

bool frmVokl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* target = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        // The window's own keys and those of the dialogs it opens.
        const QWidget* window = target != nullptr ? target->window() : nullptr;
        const bool ours = window == this || (window != nullptr && window->parentWidget() == this);
        if (ours && key->key() == kCtrlKey) bCtrlKey = event->type() == QEvent::KeyPress ? -1 : 0;
        if (window == this && running_ && key->key() == Qt::Key_Escape) {
            if (event->type() == QEvent::KeyPress) cmdStop_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmVokl::keyPressEvent(QKeyEvent* event) {
    // Enter that no control took presses the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && cmdOk->isEnabled() &&
        client->isEnabled()) {
        cmdOk->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmVokl::closeEvent(QCloseEvent* event) {
    // Not in the middle of a job: 中止 ends it first.
    if (running_) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void frmVokl::Form_Unload() {
    if (bCtrlKey == -1) return;
    try {
        subDeleteLog();
    } catch (...) {
        // The window closes all the same.
    }
}
