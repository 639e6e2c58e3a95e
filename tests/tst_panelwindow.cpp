#include "PanelHarness.h"
#include "PortNumber.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QTest>
#include <QTimer>

namespace {

// The text a control shows, whatever its kind.
QString shownText(const QWidget *control)
{
    if (auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (auto *box = qobject_cast<const QLineEdit *>(control))
        return box->text();
    if (auto *combo = qobject_cast<const QComboBox *>(control))
        return combo->currentText();
    if (auto *button = qobject_cast<const QPushButton *>(control))
        return button->text();
    if (auto *frame = qobject_cast<const QGroupBox *>(control))
        return frame->title();
    return {};
}

void row(const char *name, const char *kind, const char *container, QRect geometry,
         const char *text)
{
    QTest::newRow(name) << QString::fromLatin1(name) << QByteArray(kind)
                        << QString::fromLatin1(container) << geometry << QString::fromLatin1(text);
}

const QStringList kTabCycle = {
    "EXIT_button", "INcmd",   "B2cmd",   "COMNOcmb", "HScroll0", "HScroll1", "Pdata",
    "PORTout",     "PWM1cmd", "PWM0cmd", "B1cmd",    "B0cmd",    "B3cmd",    "B4cmd",
    "B5cmd",       "B6cmd",   "B7cmd",   "INdataA",  "AD0cmd",   "INdataB",  "AD0data",
    "AD1cmd",      "AD1data", "AD2cmd",  "AD2data",  "AD3cmd",   "AD3data",  "TRIScmd",
    "TRIS",        "COMset",  "BZcmd",   "BZcnt",    "BZtone"};

// The focused control, seen through the combo box's inner edit field.
QString focusedControlName()
{
    QWidget *focused = QApplication::focusWidget();
    if (focused && !focused->objectName().isEmpty())
        return focused->objectName();
    return focused && focused->parentWidget() ? focused->parentWidget()->objectName() : QString();
}

} // namespace

class PanelWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowHasItsCaptionAndFixedClientArea();
    void everyControlHasItsKindPlaceAndText_data();
    void everyControlHasItsKindPlaceAndText();
    void noTwoControlsInOneContainerOverlap();
    void textBoxesUseTheBoldBoxFont();
    void titleAndMakerUseTheTealBannerFont();
    void portBoxListsOneToTwelveAndKeepsTypedText();
    void scrollBarsStayWithinZeroTo1023();
    void startsWithGreyIndicatorEmptyDisplayAndEmptyBitTags();
    void textBoxesTakeTextOfAnyLength();
    void focusStartsOnExitAndTabFollowsTheTabIndexes();
    void labelsFramesAndShapeNeverTakeFocus();
    void tickTimerRunsEveryHundredMilliseconds();
    void portBoxToolTipListsTheDevicesPresent();
};

void PanelWindowTest::windowHasItsCaptionAndFixedClientArea()
{
    PanelHarness harness;
    QCOMPARE(harness.panel().windowTitle(), QStringLiteral("TQ905_Panel"));
    QCOMPARE(harness.panel().objectName(), QStringLiteral("TQ905Panel"));
    QCOMPARE(harness.panel().size(), QSize(482, 328));
    QCOMPARE(harness.panel().minimumSize(), harness.panel().maximumSize());
}

void PanelWindowTest::everyControlHasItsKindPlaceAndText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    row("Shape1", "IndicatorShape", "TQ905Panel", QRect(12, 18, 10, 13), "");
    row("Label21", "QLabel", "TQ905Panel", QRect(23, 18, 28, 13), "COM");
    row("COMNOcmb", "QComboBox", "TQ905Panel", QRect(62, 15, 46, 20), "3");
    row("COMset", "QPushButton", "TQ905Panel", QRect(120, 12, 40, 24), "SET");
    row("Label22", "QLabel", "TQ905Panel", QRect(296, 8, 187, 22), "TQ905 Test Panel");
    row("Frame1", "QGroupBox", "TQ905Panel", QRect(9, 40, 292, 165), "IO");
    row("B7cmd", "QPushButton", "Frame1", QRect(21, 18, 25, 21), "b7");
    row("B6cmd", "QPushButton", "Frame1", QRect(51, 18, 25, 21), "b6");
    row("B5cmd", "QPushButton", "Frame1", QRect(78, 18, 25, 21), "b5");
    row("B4cmd", "QPushButton", "Frame1", QRect(105, 18, 25, 21), "b4");
    row("B3cmd", "QPushButton", "Frame1", QRect(135, 18, 25, 21), "b3");
    row("B2cmd", "QPushButton", "Frame1", QRect(162, 18, 22, 21), "b2");
    row("B1cmd", "QPushButton", "Frame1", QRect(189, 18, 25, 21), "b1");
    row("B0cmd", "QPushButton", "Frame1", QRect(216, 18, 25, 21), "b0");
    row("Label6", "QLabel", "Frame1", QRect(24, 51, 37, 13), "PORTB");
    row("Label11", "QLabel", "Frame1", QRect(78, 51, 37, 13), "PORTB");
    row("Label5", "QLabel", "Frame1", QRect(168, 51, 37, 13), "PORTA");
    row("Label4", "QLabel", "Frame1", QRect(219, 51, 37, 13), "PORTB");
    row("Pdata", "QLineEdit", "Frame1", QRect(24, 66, 40, 24), "0");
    row("TRIS", "QLineEdit", "Frame1", QRect(78, 66, 40, 24), "0");
    row("INdataA", "QLineEdit", "Frame1", QRect(168, 66, 40, 24), "0");
    row("INdataB", "QLineEdit", "Frame1", QRect(216, 66, 40, 24), "0");
    row("PORTout", "QPushButton", "Frame1", QRect(24, 96, 40, 24), "OUT");
    row("TRIScmd", "QPushButton", "Frame1", QRect(78, 96, 40, 24), "TRIS");
    row("INcmd", "QPushButton", "Frame1", QRect(216, 96, 43, 21), "IN");
    row("Label13", "QLabel", "Frame1", QRect(16, 136, 29, 13), "Long");
    row("BZcnt", "QLineEdit", "Frame1", QRect(56, 128, 40, 24), "64");
    row("Label12", "QLabel", "Frame1", QRect(104, 136, 29, 13), "Freq");
    row("BZtone", "QLineEdit", "Frame1", QRect(144, 129, 40, 24), "90");
    row("BZcmd", "QPushButton", "Frame1", QRect(216, 129, 40, 24), "BZ");
    row("Frame2", "QGroupBox", "TQ905Panel", QRect(304, 40, 169, 165), "A/D");
    row("Label7", "QLabel", "Frame2", QRect(4, 30, 37, 13), "AD0");
    row("AD0data", "QLineEdit", "Frame2", QRect(49, 24, 40, 24), "0");
    row("AD0cmd", "QPushButton", "Frame2", QRect(98, 27, 55, 21), "AD0");
    row("Label8", "QLabel", "Frame2", QRect(4, 57, 37, 13), "AD1");
    row("AD1data", "QLineEdit", "Frame2", QRect(49, 51, 40, 24), "0");
    row("AD1cmd", "QPushButton", "Frame2", QRect(98, 54, 55, 21), "AD1");
    row("Label9", "QLabel", "Frame2", QRect(4, 84, 37, 13), "AD2");
    row("AD2data", "QLineEdit", "Frame2", QRect(49, 78, 40, 24), "0");
    row("AD2cmd", "QPushButton", "Frame2", QRect(98, 81, 55, 21), "AD2");
    row("Label10", "QLabel", "Frame2", QRect(4, 111, 37, 13), "AD3");
    row("AD3data", "QLineEdit", "Frame2", QRect(49, 105, 40, 24), "0");
    row("AD3cmd", "QPushButton", "Frame2", QRect(98, 108, 55, 21), "AD3");
    row("Frame5", "QGroupBox", "TQ905Panel", QRect(8, 208, 293, 79), "PWM");
    row("Label25", "QLabel", "Frame5", QRect(8, 24, 40, 13), "PWM0");
    row("HScroll0", "QScrollBar", "Frame5", QRect(64, 24, 160, 17), "");
    row("PWM0cmd", "QPushButton", "Frame5", QRect(234, 21, 46, 21), "PWM0");
    row("Label26", "QLabel", "Frame5", QRect(8, 48, 40, 13), "PWM1");
    row("HScroll1", "QScrollBar", "Frame5", QRect(64, 48, 160, 17), "");
    row("PWM1cmd", "QPushButton", "Frame5", QRect(234, 48, 46, 21), "PWM1");
    row("COMlabel", "QLabel", "TQ905Panel", QRect(312, 216, 177, 13),
        "COM:  9600 Npari 8bit 1stop");
    row("Label2", "QLabel", "TQ905Panel", QRect(312, 248, 34, 13), "CMD:");
    row("Label1", "QLabel", "TQ905Panel", QRect(352, 248, 132, 13), "");
    row("Label3", "QLabel", "TQ905Panel", QRect(40, 296, 214, 22), "Pelmora");
    row("EXIT_button", "QPushButton", "TQ905Panel", QRect(408, 288, 61, 27), "EXIT");
}

void PanelWindowTest::everyControlHasItsKindPlaceAndText()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    PanelHarness harness;
    const QList<QWidget *> found = harness.panel().findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *control = found.front();
    QVERIFY2(control->inherits(kind), control->metaObject()->className());
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(shownText(control), text);
}

void PanelWindowTest::noTwoControlsInOneContainerOverlap()
{
    PanelHarness harness;
    const QList<QWidget *> controls = harness.panel().findChildren<QWidget *>(QRegularExpression(
        QStringLiteral("^(Shape|Label|COM|B\\d|Frame|P|T|IN|BZ|AD|HScroll|EXIT)")));
    for (QWidget *a : controls)
        for (QWidget *b : controls)
            if (a != b && a->parentWidget() == b->parentWidget())
                QVERIFY2(
                    !a->geometry().intersects(b->geometry()),
                    qPrintable(a->objectName() + QStringLiteral(" overlaps ") + b->objectName()));
}

void PanelWindowTest::textBoxesUseTheBoldBoxFont()
{
    PanelHarness harness;
    for (const char *name : {"Pdata", "TRIS", "INdataA", "INdataB", "BZcnt", "BZtone", "AD0data",
                             "AD1data", "AD2data", "AD3data"}) {
        const QFont font = harness.control<QLineEdit>(name)->font();
        QCOMPARE(font.family(), QStringLiteral("Arial"));
        QVERIFY(font.bold());
        QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
        QCOMPARE(font.pixelSize(), 13);
    }
}

void PanelWindowTest::titleAndMakerUseTheTealBannerFont()
{
    PanelHarness harness;
    for (const char *name : {"Label22", "Label3"}) {
        const QLabel *label = harness.control<QLabel>(name);
        QCOMPARE(label->font().family(), QStringLiteral("Arial"));
        QVERIFY(label->font().bold() && label->font().italic());
        QCOMPARE(label->font().pixelSize(), 19);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 128, 128));
    }
    QVERIFY(harness.control<QLabel>("Label2")->palette().color(QPalette::WindowText)
            != QColor(0, 128, 128));
}

void PanelWindowTest::portBoxListsOneToTwelveAndKeepsTypedText()
{
    PanelHarness harness;
    auto *combo = harness.control<QComboBox>("COMNOcmb");
    QVERIFY(combo->isEditable());
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    QCOMPARE(entries, QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));

    combo->setCurrentIndex(9);
    QCOMPARE(combo->currentText(), QStringLiteral("10"));

    harness.panel().show();
    QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("ttyX"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->currentText(), QStringLiteral("ttyX"));
    QCOMPARE(combo->count(), 12);
}

void PanelWindowTest::scrollBarsStayWithinZeroTo1023()
{
    PanelHarness harness;
    for (const char *name : {"HScroll0", "HScroll1"}) {
        auto *bar = harness.control<QScrollBar>(name);
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 1023);
        bar->setValue(5000);
        QCOMPARE(bar->value(), 1023);
        bar->setValue(-3);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->pageStep(), 500);
    }
    QCOMPARE(harness.control<QScrollBar>("HScroll0")->singleStep(), 1);
    QCOMPARE(harness.control<QScrollBar>("HScroll1")->singleStep(), 8);
}

void PanelWindowTest::startsWithGreyIndicatorEmptyDisplayAndEmptyBitTags()
{
    PanelHarness harness;
    QCOMPARE(harness.control<QWidget>("Shape1")->property("fillColor").value<QColor>(),
             QColor(192, 192, 192));
    QCOMPARE(harness.text("Label1"), QString());
    for (int bit = 0; bit < 8; ++bit)
        QCOMPARE(harness.control<QPushButton>(qPrintable(QStringLiteral("B%1cmd").arg(bit)))
                     ->property("tag")
                     .toString(),
                 QString());
    QVERIFY(!harness.panel().serialLink().portOpen());
}

void PanelWindowTest::textBoxesTakeTextOfAnyLength()
{
    PanelHarness harness;
    const QString megabyte(1 << 20, u'7');
    harness.setText("TRIS", megabyte);
    QCOMPARE(harness.text("TRIS").size(), megabyte.size());
}

void PanelWindowTest::focusStartsOnExitAndTabFollowsTheTabIndexes()
{
    PanelHarness harness;
    harness.panel().show();
    QApplication::setActiveWindow(&harness.panel());
    QVERIFY(QTest::qWaitForWindowActive(&harness.panel()));
    QTRY_COMPARE(focusedControlName(), QStringLiteral("EXIT_button"));

    QStringList visited;
    for (int i = 0; i < kTabCycle.size(); ++i) {
        visited << focusedControlName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, kTabCycle);
    QCOMPARE(focusedControlName(), QStringLiteral("EXIT_button"));
}

void PanelWindowTest::labelsFramesAndShapeNeverTakeFocus()
{
    PanelHarness harness;
    for (QWidget *control : harness.panel().findChildren<QWidget *>()) {
        if (qobject_cast<QLabel *>(control) || qobject_cast<QGroupBox *>(control)
            || control->objectName() == u"Shape1")
            QCOMPARE(control->focusPolicy(), Qt::NoFocus);
    }
}

void PanelWindowTest::tickTimerRunsEveryHundredMilliseconds()
{
    PanelHarness harness;
    auto *timer = harness.panel().findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 100);
}

void PanelWindowTest::portBoxToolTipListsTheDevicesPresent()
{
    PanelHarness harness;
    auto *combo = harness.control<QComboBox>("COMNOcmb");
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), combo->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(combo, &hover);

    const QString tip = combo->toolTip();
    QVERIFY2(tip.startsWith(u"Serial devices present:") || tip == u"No serial devices found.",
             qPrintable(tip));
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const std::optional<int> number = standardPortNumber(port.systemLocation());
        const QString entry = number
                                  ? QStringLiteral("%1: %2").arg(*number).arg(port.systemLocation())
                                  : port.systemLocation();
        QVERIFY2(tip.contains(entry), qPrintable(tip));
    }
}

QTEST_MAIN(PanelWindowTest)
#include "tst_panelwindow.moc"
