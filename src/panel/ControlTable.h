#pragma once

#include <QRect>

#include <vector>

// The panel's controls as data: one row per control, positions in twips
// relative to the container (the window's client area or a frame).
enum class ControlKind {
    Shape,
    Label,
    CommandDisplay,
    ComboBox,
    PushButton,
    Frame,
    TextBox,
    ScrollBar
};
enum class FontRole { Default, Box, Banner };

struct ControlSpec {
    const char *name;
    ControlKind kind;
    const char *container; // nullptr: the window itself
    int left;
    int top;
    int width;
    int height;
    const char *text;
    int tabIndex; // -1: none (the shape)
    FontRole font = FontRole::Default;
};

inline constexpr int kTwipsPerPixel = 15; // at 96 dots per inch
inline constexpr int kClientWidthTwips = 7230;
inline constexpr int kClientHeightTwips = 4920;

int twipsToPixels(int twips);
QRect pixelGeometry(const ControlSpec &spec);

const std::vector<ControlSpec> &panelControls();

// What a screen reader calls a control whose own text does not say what it is:
// the caption a sighted operator reads beside it, and the control's role.
struct AccessibleName {
    const char *control;
    const char *name;
};
const std::vector<AccessibleName> &accessibleNames();
