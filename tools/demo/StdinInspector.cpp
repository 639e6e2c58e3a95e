#include "StdinInspector.h"

#include "ControlTable.h"
#include "IndicatorShape.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void putGeometry(QJsonObject &entry, const QRect &rect)
{
    entry.insert(QStringLiteral("x"), rect.x());
    entry.insert(QStringLiteral("y"), rect.y());
    entry.insert(QStringLiteral("w"), rect.width());
    entry.insert(QStringLiteral("h"), rect.height());
}

QJsonObject describeControl(const QWidget &control)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("name"), control.objectName());
    entry.insert(QStringLiteral("class"), QString::fromLatin1(control.metaObject()->className()));
    putGeometry(entry, QRect(control.mapToGlobal(QPoint(0, 0)), control.size()));
    if (const auto *shape = qobject_cast<const IndicatorShape *>(&control))
        entry.insert(QStringLiteral("color"), shape->fillColor().name());
    else if (const auto *combo = qobject_cast<const QComboBox *>(&control))
        entry.insert(QStringLiteral("text"), combo->currentText());
    else if (const auto *bar = qobject_cast<const QScrollBar *>(&control))
        entry.insert(QStringLiteral("value"), bar->value());
    else if (const QVariant text = control.property("text"); text.isValid())
        entry.insert(QStringLiteral("text"), text.toString());
    if (const auto *button = qobject_cast<const QAbstractButton *>(&control))
        entry.insert(QStringLiteral("held"), button->isChecked());
    return entry;
}

} // namespace

StdinInspector::StdinInspector(const QWidget &panel, QObject *parent)
    : QObject(parent)
    , m_panel(panel)
    , m_notifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &StdinInspector::onReadable);
}

void StdinInspector::onReadable()
{
    char buffer[512];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count <= 0) {
        // End of input: a notifier left on would fire without end.
        m_notifier->setEnabled(false);
        return;
    }
    m_pending.append(buffer, count);
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        handleLine(m_pending.left(end).trimmed());
        m_pending.remove(0, end + 1);
    }
}

void StdinInspector::handleLine(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    const QByteArray answer = line == "dump" ? "dump " + dump() : "unknown command: " + line;
    std::fputs(answer.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QByteArray StdinInspector::dump() const
{
    QJsonArray controls;
    for (const ControlSpec &spec : panelControls()) {
        if (const auto *control = m_panel.findChild<QWidget *>(QString::fromLatin1(spec.name)))
            controls.append(describeControl(*control));
    }
    QJsonArray windows;
    for (const QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        QJsonObject entry;
        entry.insert(QStringLiteral("title"), window->windowTitle());
        entry.insert(QStringLiteral("class"),
                     QString::fromLatin1(window->metaObject()->className()));
        putGeometry(entry, window->frameGeometry());
        if (const auto *box = qobject_cast<const QMessageBox *>(window))
            entry.insert(QStringLiteral("text"), box->text());
        windows.append(entry);
    }
    const QJsonObject all{{QStringLiteral("controls"), controls},
                          {QStringLiteral("windows"), windows}};
    return QJsonDocument(all).toJson(QJsonDocument::Compact);
}
