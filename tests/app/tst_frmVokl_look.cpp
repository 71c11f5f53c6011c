// How the window looks: no caption cut off, nothing overlapping, every
// control inside its container. With VOK_SCREENSHOT_DIR set, each tab is also
// saved as a PNG for a person to look at (run under Xvfb for real fonts).
#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "fakeServices.h"

class tst_frmVokl_look : public QObject {
    Q_OBJECT

private slots:
    void captionsFit();
    void nothingOverlaps();
    void screenshots();
};

namespace {

// The window's own controls, not the parts Qt builds them from.
bool isControl(QWidget* w) {
    static const QRegularExpression names(QStringLiteral("^(cmd|lbl|opt|chk|txt|fra)"));
    return names.match(w->objectName()).hasMatch();
}

bool isCaption(QWidget* w) { return isControl(w) && (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)); }

QString rect(QWidget* w) {
    const QRect r = w->geometry();
    return QStringLiteral("%1(%2,%3 %4x%5)").arg(w->objectName()).arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QList<QWidget*> controls(QWidget* parent) {
    QList<QWidget*> list;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w != nullptr && (isControl(w) || w == qobject_cast<QWidget*>(parent->findChild<QTabWidget*>())))
            list << w;
    }
    return list;
}

}  // namespace

void tst_frmVokl_look::captionsFit() {
    Harness h;
    frmVokl& w = h.load();
    w.txt1_Sjsp->setText(QStringLiteral("QMR=\\7"));  // shows opt1_4
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (!isCaption(c)) continue;
        if (c == w.lblMsg) continue;  // one line across the window, empty at start
        const QSize hint = c->sizeHint();
        const bool heightFits = c->height() >= c->fontMetrics().height();
        QVERIFY2(c->width() >= hint.width() && heightFits,
                 qPrintable(QStringLiteral("%1 %2x%3 < %4x%5")
                                .arg(c->objectName())
                                .arg(c->width())
                                .arg(c->height())
                                .arg(hint.width())
                                .arg(hint.height())));
        QWidget* parent = c->parentWidget();
        QVERIFY2(parent->rect().contains(c->geometry()), qPrintable(c->objectName()));
    }
    // All three tabs in view, without scroll buttons.
    QTabBar* bar = w.tabRTF->tabBar();
    QVERIFY(bar->tabRect(2).right() < w.tabRTF->width());
}

void tst_frmVokl_look::nothingOverlaps() {
    Harness h;
    frmVokl& w = h.load();
    QList<QWidget*> containers = {w.client, w.fraTab[0], w.fraTab[1], w.fraTab[2]};
    for (QGroupBox* g : w.findChildren<QGroupBox*>()) containers << g;
    for (QWidget* container : containers) {
        const QList<QWidget*> list = controls(container);
        for (int i = 0; i < list.size(); ++i)
            for (int j = i + 1; j < list.size(); ++j)
                QVERIFY2(!list[i]->geometry().intersects(list[j]->geometry()),
                         qPrintable(rect(list[i]) + QStringLiteral(" / ") + rect(list[j])));
    }
}

void tst_frmVokl_look::screenshots() {
    const QString folder = qEnvironmentVariable("VOK_SCREENSHOT_DIR");
    if (folder.isEmpty()) QSKIP("VOK_SCREENSHOT_DIR not set");
    QDir().mkpath(folder);
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.txt1_Sjsp->setText(QStringLiteral("QMR=\\7"));
    fillTab(w, 1, QStringLiteral("/home/operator/データ/売上_2026.txt"), QStringLiteral("/home/operator/データ/売上_2026.bin"));
    w.opt1_1->setChecked(true);
    w.chk1_1->setChecked(true);
    w.lblMsg->setText(QStringLiteral("コード変換が終了しました(レコード=1234件)"));
    QTest::qWait(100);
    QVERIFY(w.grab().save(folder + QStringLiteral("/tab1.png")));

    fillTab(w, 2, QStringLiteral("/home/operator/受信/顧客.bin"), QStringLiteral("/home/operator/受信/顧客.txt"));
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(QStringLiteral("/home/operator/受信/顧客.ptn"));
    w.chk2_5->setChecked(true);
    w.chk2_8->setChecked(true);
    w.chk2_2->setChecked(true);
    w.txt2_RecSize->setText(QStringLiteral("120"));
    w.opt2_1->setChecked(true);
    w.lblMsg->setText(QStringLiteral("パターンファイルの読み込みが出来ません"));
    QTest::qWait(100);
    QVERIFY(w.grab().save(folder + QStringLiteral("/tab2.png")));

    fillTab(w, 3, QStringLiteral("/home/operator/コピー句/顧客.cbl"), QStringLiteral("/home/operator/コピー句/顧客.ptn"));
    w.chk3_1->setChecked(true);
    w.opt3_1->setChecked(true);
    w.chk3_2->setChecked(true);
    w.lblMsg->setText(QStringLiteral("パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)"));
    QTest::qWait(100);
    QVERIFY(w.grab().save(folder + QStringLiteral("/tab3.png")));

    // The start state of tab 2: disabled boxes on the button face.
    Harness fresh;
    frmVokl& s = fresh.load(QStringLiteral("/home/operator/受信/顧客.bin"));
    QVERIFY(QTest::qWaitForWindowExposed(&s));
    QTest::qWait(100);
    QVERIFY(s.grab().save(folder + QStringLiteral("/tab2_start.png")));
}

QTEST_MAIN(tst_frmVokl_look)
#include "tst_frmVokl_look.moc"
