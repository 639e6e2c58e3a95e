// What reaches the operator beyond the layout: the control pictures really drawn,
// the keyboard, what a screen reader hears, and the PWM values.

#include "CommandDisplay.h"
#include "ControlTable.h"
#include "PanelHarness.h"

#include <QAccessible>
#include <QApplication>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTextLayout>
#include <QToolTip>

namespace {

// The glyph that text layout picks for `c` in `font`, fallback fonts included.
bool drawnFromRealGlyph(QChar c, const QFont &font)
{
    QTextLayout layout(QString(c), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.size() == 1 && runs[0].rawFont().supportsCharacter(c)
           && runs[0].glyphIndexes().value(0) != 0;
}

QImage displayShowing(CommandDisplay *display, const QString &text)
{
    display->setText(text);
    return display->grab().toImage();
}

QAccessibleInterface *accessible(const PanelHarness &harness, const char *name)
{
    return QAccessible::queryAccessibleInterface(harness.control<QWidget>(name));
}

// What a screen reader announces for a control: the part of it that takes the
// focus (the edit field of a combo box), or the control itself.
QString spokenName(QWidget *control)
{
    control->setFocus(Qt::TabFocusReason);
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(control);
    if (QAccessibleInterface *focused = interface->focusChild())
        interface = focused;
    return interface->text(QAccessible::Name) + u'/' + QString::number(interface->role());
}

void showActive(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stxAndCrAreDrawnAsTheirPictures();
    void returnAndEnterPressTheFirstFocusedButtonExit_data();
    void returnAndEnterPressTheFirstFocusedButtonExit();
    void focusShowsFromTheStartAsAfterTab();
    void everyControlHasANameOfItsOwn();
    void namesAreWhatTheOperatorReadsBeside_data();
    void namesAreWhatTheOperatorReadsBeside();
    void indicatorAndDisplayDescribePortAndFrame();
    void pwmValueShowsAsToolTipWhileMoved();
};

void AccessibilityTest::stxAndCrAreDrawnAsTheirPictures()
{
    PanelHarness harness;
    auto *display = harness.control<CommandDisplay>("Label1");
    for (const QChar control : {QChar(0x02), QChar(0x0D)}) {
        const QChar picture = withControlPictures(control).at(0);
        QVERIFY2(drawnFromRealGlyph(picture, display->font()),
                 qPrintable(QStringLiteral("no font draws U+")
                            + QString::number(picture.unicode(), 16)));
    }
    const QImage stx = displayShowing(display, QStringLiteral("\002"));
    const QImage cr = displayShowing(display, QStringLiteral("\r"));
    const QImage missingGlyph = displayShowing(display, QStringLiteral("\u0378"));
    const QImage empty = displayShowing(display, QString());
    QVERIFY(stx != cr);
    QVERIFY(stx != missingGlyph && cr != missingGlyph);
    QVERIFY(stx != empty && cr != empty);
}

void AccessibilityTest::returnAndEnterPressTheFirstFocusedButtonExit_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void AccessibilityTest::returnAndEnterPressTheFirstFocusedButtonExit()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    PanelHarness harness;
    showActive(harness.panel());
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused);
    QCOMPARE(focused->objectName(), QStringLiteral("EXIT_button"));
    QTest::keyClick(focused, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY(!harness.panel().isVisible());

    // Any other button as well, once however long the key is held.
    PanelHarness again;
    showActive(again.panel());
    auto *bit3 = again.control<QPushButton>("B3cmd");
    bit3->setFocus(Qt::TabFocusReason);
    QSignalSpy presses(bit3, &QPushButton::clicked);
    for (const bool repeated : {false, true, true, true}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), QString(),
                        repeated);
        QApplication::sendEvent(bit3, &press);
    }
    QCOMPARE(presses.count(), 1);
}

void AccessibilityTest::focusShowsFromTheStartAsAfterTab()
{
    PanelHarness harness;
    showActive(harness.panel());
    auto *exitButton = harness.control<QPushButton>("EXIT_button");
    const QImage atStart = exitButton->grab().toImage();
    QTest::keyClick(exitButton, Qt::Key_Tab);
    const QImage unfocused = exitButton->grab().toImage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), exitButton);
    QVERIFY(atStart != unfocused);
    QCOMPARE(atStart, exitButton->grab().toImage());
}

void AccessibilityTest::everyControlHasANameOfItsOwn()
{
    PanelHarness harness;
    showActive(harness.panel());
    QSet<QString> seen;
    for (const ControlSpec &spec : panelControls()) {
        if (spec.kind == ControlKind::Label || spec.kind == ControlKind::Frame)
            continue;
        const QString spoken = spokenName(harness.control<QWidget>(spec.name));
        QVERIFY2(!spoken.startsWith(u'/'), spec.name);
        QVERIFY2(!seen.contains(spoken), qPrintable(spoken));
        seen.insert(spoken);
    }
    QCOMPARE(seen.size(), 35); // 33 in the tab order, the indicator and the display
}

void AccessibilityTest::namesAreWhatTheOperatorReadsBeside_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("Pdata") << "Pdata"
                           << "PORTB output byte";
    QTest::newRow("INdataA") << "INdataA"
                             << "PORTA input";
    QTest::newRow("AD0data") << "AD0data"
                             << "AD0 value";
    QTest::newRow("HScroll0") << "HScroll0"
                              << "PWM0";
    QTest::newRow("COMNOcmb") << "COMNOcmb"
                              << "port number";
    QTest::newRow("b3") << "B3cmd"
                        << "b3";
}

void AccessibilityTest::namesAreWhatTheOperatorReadsBeside()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    PanelHarness harness;
    showActive(harness.panel());
    QCOMPARE(spokenName(harness.control<QWidget>(qPrintable(control))).section(u'/', 0, 0), name);
}

void AccessibilityTest::indicatorAndDisplayDescribePortAndFrame()
{
    PanelHarness harness;
    const auto indicator = [&harness] {
        return accessible(harness, "Shape1")->text(QAccessible::Description);
    };
    QCOMPARE(indicator(), QStringLiteral("The port is closed."));
    harness.openPort();
    QCOMPARE(indicator(), QStringLiteral("The port is open."));
    harness.click("B3cmd");
    QCOMPARE(accessible(harness, "Label1")->text(QAccessible::Description),
             QStringLiteral("STX B31 CR"));
    harness.panel().COM_CLOSE();
    QCOMPARE(indicator(), QStringLiteral("The port is closed."));
}

void AccessibilityTest::pwmValueShowsAsToolTipWhileMoved()
{
    PanelHarness harness;
    showActive(harness.panel());
    auto *bar = harness.control<QScrollBar>("HScroll1");
    QCOMPARE(bar->toolTip(), QStringLiteral("0"));
    bar->setFocus(Qt::TabFocusReason);
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(bar->value(), 8);
    QCOMPARE(bar->toolTip(), QStringLiteral("8"));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("8"));
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
