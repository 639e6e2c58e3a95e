#include "ControlTable.h"

namespace {

using K = ControlKind;
using F = FontRole;

// clang-format off
const std::vector<ControlSpec> kControls{
    // Top bar
    ControlSpec{"Shape1",      K::Shape,          nullptr,   180,  270,  150,  195, "",                 -1},
    ControlSpec{"Label21",     K::Label,          nullptr,   345,  270,  420,  195, "COM",              10},
    ControlSpec{"COMNOcmb",    K::ComboBox,       nullptr,   930,  225,  690,  300, "3",                 9},
    ControlSpec{"COMset",      K::PushButton,     nullptr,  1800,  180,  600,  360, "SET",              48},
    ControlSpec{"Label22",     K::Label,          nullptr,  4440,  120, 2805,  330, "TQ905 Test Panel",  7, F::Banner},
    // Frame "IO"
    ControlSpec{"Frame1",      K::Frame,          nullptr,   135,  600, 4380, 2475, "IO",                5},
    ControlSpec{"B7cmd",       K::PushButton,     "Frame1",  315,  270,  375,  315, "b7",               27},
    ControlSpec{"B6cmd",       K::PushButton,     "Frame1",  765,  270,  375,  315, "b6",               26},
    ControlSpec{"B5cmd",       K::PushButton,     "Frame1", 1170,  270,  375,  315, "b5",               25},
    ControlSpec{"B4cmd",       K::PushButton,     "Frame1", 1575,  270,  375,  315, "b4",               24},
    ControlSpec{"B3cmd",       K::PushButton,     "Frame1", 2025,  270,  375,  315, "b3",               23},
    ControlSpec{"B2cmd",       K::PushButton,     "Frame1", 2430,  270,  330,  315, "b2",                8},
    ControlSpec{"B1cmd",       K::PushButton,     "Frame1", 2835,  270,  375,  315, "b1",               21},
    ControlSpec{"B0cmd",       K::PushButton,     "Frame1", 3240,  270,  375,  315, "b0",               22},
    ControlSpec{"Label6",      K::Label,          "Frame1",  360,  765,  555,  195, "PORTB",            33},
    ControlSpec{"Label11",     K::Label,          "Frame1", 1170,  765,  555,  195, "PORTB",            47},
    ControlSpec{"Label5",      K::Label,          "Frame1", 2520,  765,  555,  195, "PORTA",            32},
    ControlSpec{"Label4",      K::Label,          "Frame1", 3285,  765,  555,  195, "PORTB",            31},
    ControlSpec{"Pdata",       K::TextBox,        "Frame1",  360,  990,  600,  360, "0",                17, F::Box},
    ControlSpec{"TRIS",        K::TextBox,        "Frame1", 1170,  990,  600,  360, "0",                46, F::Box},
    ControlSpec{"INdataA",     K::TextBox,        "Frame1", 2520,  990,  600,  360, "0",                28, F::Box},
    ControlSpec{"INdataB",     K::TextBox,        "Frame1", 3240,  990,  600,  360, "0",                30, F::Box},
    ControlSpec{"PORTout",     K::PushButton,     "Frame1",  360, 1440,  600,  360, "OUT",              18},
    ControlSpec{"TRIScmd",     K::PushButton,     "Frame1", 1170, 1440,  600,  360, "TRIS",             45},
    ControlSpec{"INcmd",       K::PushButton,     "Frame1", 3240, 1440,  645,  315, "IN",                6},
    ControlSpec{"Label13",     K::Label,          "Frame1",  240, 2040,  435,  195, "Long",             53},
    ControlSpec{"BZcnt",       K::TextBox,        "Frame1",  840, 1920,  600,  360, "64",               50, F::Box},
    ControlSpec{"Label12",     K::Label,          "Frame1", 1560, 2040,  435,  195, "Freq",             52},
    ControlSpec{"BZtone",      K::TextBox,        "Frame1", 2160, 1935,  600,  360, "90",               51, F::Box},
    ControlSpec{"BZcmd",       K::PushButton,     "Frame1", 3240, 1935,  600,  360, "BZ",               49},
    // Frame "A/D"
    ControlSpec{"Frame2",      K::Frame,          nullptr,  4560,  600, 2535, 2475, "A/D",               4},
    ControlSpec{"Label7",      K::Label,          "Frame2",   60,  450,  555,  195, "AD0",              35},
    ControlSpec{"AD0data",     K::TextBox,        "Frame2",  735,  360,  600,  360, "0",                34, F::Box},
    ControlSpec{"AD0cmd",      K::PushButton,     "Frame2", 1470,  405,  825,  315, "AD0",              29},
    ControlSpec{"Label8",      K::Label,          "Frame2",   60,  855,  555,  195, "AD1",              38},
    ControlSpec{"AD1data",     K::TextBox,        "Frame2",  735,  765,  600,  360, "0",                37, F::Box},
    ControlSpec{"AD1cmd",      K::PushButton,     "Frame2", 1470,  810,  825,  315, "AD1",              36},
    ControlSpec{"Label9",      K::Label,          "Frame2",   60, 1260,  555,  195, "AD2",              41},
    ControlSpec{"AD2data",     K::TextBox,        "Frame2",  735, 1170,  600,  360, "0",                40, F::Box},
    ControlSpec{"AD2cmd",      K::PushButton,     "Frame2", 1470, 1215,  825,  315, "AD2",              39},
    ControlSpec{"Label10",     K::Label,          "Frame2",   60, 1665,  555,  195, "AD3",              44},
    ControlSpec{"AD3data",     K::TextBox,        "Frame2",  735, 1575,  600,  360, "0",                43, F::Box},
    ControlSpec{"AD3cmd",      K::PushButton,     "Frame2", 1470, 1620,  825,  315, "AD3",              42},
    // Frame "PWM"
    ControlSpec{"Frame5",      K::Frame,          nullptr,   120, 3120, 4395, 1185, "PWM",              12},
    ControlSpec{"Label25",     K::Label,          "Frame5",  120,  360,  600,  195, "PWM0",             15},
    ControlSpec{"HScroll0",    K::ScrollBar,      "Frame5",  960,  360, 2400,  255, "",                 13},
    ControlSpec{"PWM0cmd",     K::PushButton,     "Frame5", 3510,  315,  690,  315, "PWM0",             20},
    ControlSpec{"Label26",     K::Label,          "Frame5",  120,  720,  600,  195, "PWM1",             16},
    ControlSpec{"HScroll1",    K::ScrollBar,      "Frame5",  960,  720, 2400,  255, "",                 14},
    ControlSpec{"PWM1cmd",     K::PushButton,     "Frame5", 3510,  720,  690,  315, "PWM1",             19},
    // Status area and bottom line
    ControlSpec{"COMlabel",    K::Label,          nullptr,  4680, 3240, 2655,  195, "",                 11},
    ControlSpec{"Label2",      K::Label,          nullptr,  4680, 3720,  510,  195, "CMD:",              2},
    ControlSpec{"Label1",      K::CommandDisplay, nullptr,  5280, 3720, 1980,  195, "",                  1},
    ControlSpec{"Label3",      K::Label,          nullptr,   600, 4440, 3210,  330, "Pelmora",           3, F::Banner},
    ControlSpec{"EXIT_button", K::PushButton,     nullptr,  6120, 4320,  915,  400, "EXIT",              0},
};

const std::vector<AccessibleName> kAccessibleNames{
    {"Shape1",   "port indicator"},
    {"COMNOcmb", "port number"},
    {"Pdata",    "PORTB output byte"},
    {"TRIS",     "PORTB direction byte"},
    {"INdataA",  "PORTA input"},
    {"INdataB",  "PORTB input"},
    {"BZcnt",    "Long: buzzer length"},
    {"BZtone",   "Freq: buzzer frequency"},
    {"AD0data",  "AD0 value"},
    {"AD1data",  "AD1 value"},
    {"AD2data",  "AD2 value"},
    {"AD3data",  "AD3 value"},
    {"HScroll0", "PWM0"},
    {"HScroll1", "PWM1"},
    {"Label1",   "CMD"},
};
// clang-format on

} // namespace

int twipsToPixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect pixelGeometry(const ControlSpec &spec)
{
    return QRect(twipsToPixels(spec.left), twipsToPixels(spec.top), twipsToPixels(spec.width),
                 twipsToPixels(spec.height));
}

const std::vector<ControlSpec> &panelControls()
{
    return kControls;
}

const std::vector<AccessibleName> &accessibleNames()
{
    return kAccessibleNames;
}
