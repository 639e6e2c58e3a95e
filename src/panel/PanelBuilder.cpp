#include "PanelBuilder.h"

#include "CaptionedFrame.h"
#include "CommandDisplay.h"
#include "ControlTable.h"
#include "IndicatorShape.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr int kPwmMaximum = 1023;
constexpr int kPwmPageStep = 500;
constexpr QRgb kBannerTeal = qRgb(0, 128, 128);

// The box and banner fonts; fontconfig substitutes Liberation Sans where Arial is missing.
QFont arialFont(FontRole role)
{
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setItalic(role == FontRole::Banner);
    font.setPixelSize(role == FontRole::Banner ? 19 : 13);
    // A box's text is laid out again on every change, and hex digits need no shaping.
    if (role == FontRole::Box)
        font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QWidget *createComboBox(QWidget *parent, const ControlSpec &spec)
{
    auto *combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (int number = 1; number <= 12; ++number)
        combo->addItem(QString::number(number));
    combo->setEditText(QString::fromLatin1(spec.text));
    return combo;
}

QWidget *createScrollBar(QWidget *parent, const ControlSpec &spec)
{
    auto *bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setRange(0, kPwmMaximum);
    bar->setPageStep(kPwmPageStep);
    bar->setSingleStep(qstrcmp(spec.name, "HScroll1") == 0 ? 8 : 1);
    bar->setValue(0);
    bar->setFocusPolicy(Qt::StrongFocus);
    // A scroll bar's keys run backwards by default; Right (and wheel up) means more.
    bar->setInvertedControls(false);
    // The value shows as the tool tip on hover, and at once whenever the bar moves.
    bar->setToolTip(QString::number(bar->value()));
    QObject::connect(bar, &QScrollBar::valueChanged, bar, [bar](int value) {
        const QString text = QString::number(value);
        bar->setToolTip(text);
        QToolTip::showText(bar->mapToGlobal(QPoint(0, bar->height())), text, bar);
    });
    return bar;
}

QWidget *createPushButton(QWidget *parent, const ControlSpec &spec)
{
    auto *button = new QPushButton(QString::fromLatin1(spec.text), parent);
    // Return and keypad Enter press the focused button, as Space does; the focused
    // button is drawn as the default one, so the focus shows from the start.
    button->setAutoDefault(true);
    return button;
}

QWidget *createLabel(QLabel *label, const ControlSpec &spec)
{
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromLatin1(spec.text));
    if (spec.font == FontRole::Banner) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(kBannerTeal));
        label->setPalette(palette);
    }
    return label;
}

QWidget *createControl(QWidget *parent, const ControlSpec &spec)
{
    const QString text = QString::fromLatin1(spec.text);
    switch (spec.kind) {
    case ControlKind::Shape:
        return new IndicatorShape(parent);
    case ControlKind::Label:
        return createLabel(new QLabel(parent), spec);
    case ControlKind::CommandDisplay:
        return createLabel(new CommandDisplay(parent), spec);
    case ControlKind::ComboBox:
        return createComboBox(parent, spec);
    case ControlKind::PushButton:
        return createPushButton(parent, spec);
    case ControlKind::Frame:
        return new CaptionedFrame(text, parent);
    case ControlKind::TextBox: {
        auto *box = new QLineEdit(text, parent);
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    case ControlKind::ScrollBar:
        return createScrollBar(parent, spec);
    }
    return nullptr;
}

bool takesFocus(ControlKind kind)
{
    return kind == ControlKind::ComboBox || kind == ControlKind::PushButton
           || kind == ControlKind::TextBox || kind == ControlKind::ScrollBar;
}

} // namespace

void buildPanelControls(QWidget *window)
{
    std::vector<std::pair<int, QWidget *>> focusChain;
    for (const ControlSpec &spec : panelControls()) {
        QWidget *parent = spec.container
                              ? window->findChild<QWidget *>(QString::fromLatin1(spec.container))
                              : window;
        QWidget *control = createControl(parent, spec);
        control->setObjectName(QString::fromLatin1(spec.name));
        control->setGeometry(pixelGeometry(spec));
        if (spec.font != FontRole::Default)
            control->setFont(arialFont(spec.font));
        if (takesFocus(spec.kind))
            focusChain.emplace_back(spec.tabIndex, control);
        else
            control->setFocusPolicy(Qt::NoFocus);
    }
    std::sort(focusChain.begin(), focusChain.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusChain.size(); ++i)
        QWidget::setTabOrder(focusChain[i - 1].second, focusChain[i].second);
    for (const AccessibleName &entry : accessibleNames()) {
        auto *control = window->findChild<QWidget *>(QString::fromLatin1(entry.control));
        control->setAccessibleName(QString::fromLatin1(entry.name));
        // On Linux an editable combo box is announced by its text; its edit field,
        // which has the focus, carries the name.
        if (auto *combo = qobject_cast<QComboBox *>(control))
            combo->lineEdit()->setAccessibleName(control->accessibleName());
    }
}
