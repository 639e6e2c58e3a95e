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

// Whether the font that text layout picks for `c` (fallbacks included) has it.
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

// What a screen reader announces for a control with the focus: the part of it
// that holds the focus (the edit field of a combo box), or the control itself.
QAccessibleInterface *announced(PanelHarness &harness, const char *name)
{
    auto *control = harness.control<QWidget>(name);
    control->setFocus(Qt::TabFocusReason);
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(control);
    QAccessibleInterface *focused = interface->focusChild();
    return focused ? focused : interface;
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
    void returnAndEnterPressTheFocusedButtonOnce_data();
    void returnAndEnterPressTheFocusedButtonOnce();
    void focusShowsFromTheStartAsAfterTab();
    void everyControlHasItsOwnNameFromItsCaption();
    void indicatorAndDisplayDescribePortAndFrame();
    void pwmValueShowsAsToolTipWhileMoved();
};

void AccessibilityTest::stxAndCrAreDrawnAsTheirPictures()
{
    PanelHarness harness;
    auto *display = harness.control<CommandDisplay>("Label1");
    for (const QChar picture : withControlPictures(QStringLiteral("\002\r")))
        QVERIFY2(drawnFromRealGlyph(picture, display->font()),
                 qPrintable(QStringLiteral("no font draws U+")
                            + QString::number(picture.unicode(), 16)));
    const QImage stx = displayShowing(display, QStringLiteral("\002"));
    const QImage cr = displayShowing(display, QStringLiteral("\r"));
    const QImage missingGlyph = displayShowing(display, QStringLiteral("\u0378"));
    QVERIFY(stx != cr);
    QVERIFY(stx != missingGlyph && cr != missingGlyph);
}

void AccessibilityTest::returnAndEnterPressTheFocusedButtonOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
}

void AccessibilityTest::returnAndEnterPressTheFocusedButtonOnce()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    // The first focus is "EXIT": the key at start ends the program.
    PanelHarness harness;
    showActive(harness.panel());
    QWidget *focused = QApplication::focusWidget();
    QCOMPARE(focused ? focused->objectName() : QString(), QStringLiteral("EXIT_button"));
    QTest::keyClick(focused, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY(!harness.panel().isVisible());

    // Any button, once however long the key is held.
    PanelHarness again;
    showActive(again.panel());
    auto *bit3 = again.control<QPushButton>("B3cmd");
    bit3->setFocus(Qt::TabFocusReason);
    QSignalSpy presses(bit3, &QPushButton::clicked);
    for (const bool repeated : {false, true, true}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), {}, repeated);
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

void AccessibilityTest::everyControlHasItsOwnNameFromItsCaption()
{
    const QHash<QString, QString> besideCaption{{"Pdata", "PORTB output byte"},
                                                {"INdataA", "PORTA input"},
                                                {"AD0data", "AD0 value"},
                                                {"HScroll0", "PWM0"},
                                                {"COMNOcmb", "port number"}};
    PanelHarness harness;
    showActive(harness.panel());
    QSet<QPair<QString, int>> seen;
    for (const ControlSpec &spec : panelControls()) {
        if (spec.kind == ControlKind::Label || spec.kind == ControlKind::Frame)
            continue;
        QAccessibleInterface *interface = announced(harness, spec.name);
        const QPair<QString, int> spoken(interface->text(QAccessible::Name), interface->role());
        QVERIFY2(!spoken.first.isEmpty() && !seen.contains(spoken), spec.name);
        seen.insert(spoken);
        if (besideCaption.contains(spec.name))
            QCOMPARE(spoken.first, besideCaption[spec.name]);
    }
    QCOMPARE(seen.size(), 35); // 33 in the tab order, the indicator and the display
}

void AccessibilityTest::indicatorAndDisplayDescribePortAndFrame()
{
    PanelHarness harness;
    const auto indicator = [&harness] {
        return announced(harness, "Shape1")->text(QAccessible::Description);
    };
    QCOMPARE(indicator(), QStringLiteral("The port is closed."));
    harness.openPort();
    QCOMPARE(indicator(), QStringLiteral("The port is open."));
    harness.click("B3cmd");
    QCOMPARE(announced(harness, "Label1")->text(QAccessible::Description),
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
