#include "tf_scattering_guide.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QLabel* paragraph(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFrame* bevel(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QWidget* assumptions(const QStringList& items, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(2);
    auto* head = new QLabel("Assumptions:", box);
    QFont f = head->font();
    f.setItalic(true);
    head->setFont(f);
    layout->addWidget(head);
    for (const QString& item : items)
        layout->addWidget(paragraph(QString::fromUtf8("\u2022 ") + item, box));
    return box;
}

// A reference-wavelength or amount field with its unit.
QWidget* field(const QString& label, QLineEdit*& edit, const QString& value, const QString& unit,
               QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(18, 0, 0, 0);
    row->addWidget(new QLabel(label, box));
    edit = new QLineEdit(value, box);
    edit->setMaximumWidth(60);
    row->addWidget(edit);
    row->addWidget(new QLabel(unit, box));
    row->addStretch(1);
    return box;
}

const char* kNoNegative =
    "Do not subtract scattering error for cases where the result would be less than zero";

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Form1");
    setWindowTitle("F_Scattering");
    resize(736, 665);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(8);

    auto* title = new QLabel("Reflective Tube Scattering", page);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);
    layout->addWidget(paragraph(
        "There are different ways to correct for this error, and each way makes different "
        "assumptions and comes with different caveats.",
        page));
    layout->addWidget(paragraph(
        "Reflecting tube absorption meters (and spectrophotometers in general) do not collect "
        "all of the light scattered from the source beam. This uncollected light, the "
        "\"scattering error\", is nominally the light scattered from ~41 to 180 degrees with a "
        "quartz tube, and it causes the instrument to overestimate the absorption coefficient.",
        page));

    auto section = [&](QRadioButton*& radio, const QString& caption, QWidget* params,
                       const QStringList& texts, const QStringList& assumed, QWidget* below) {
        layout->addWidget(bevel(page));
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(16);
        auto* leftBox = new QWidget(page);
        auto* left = new QVBoxLayout(leftBox);
        left->setContentsMargins(0, 0, 0, 0);
        radio = new QRadioButton(caption, leftBox);
        QFont f = radio->font();
        f.setBold(true);
        radio->setFont(f);
        left->addWidget(radio);
        left->addWidget(params);
        left->addStretch(1);
        leftBox->setFixedWidth(260);
        auto* rightBox = new QWidget(page);
        auto* right = new QVBoxLayout(rightBox);
        right->setContentsMargins(0, 0, 0, 0);
        for (const QString& t : texts)
            right->addWidget(paragraph(t, rightBox));
        right->addWidget(assumptions(assumed, rightBox));
        grid->addWidget(leftBox, 0, 0);
        grid->addWidget(rightBox, 0, 1);
        grid->setColumnStretch(1, 1);
        layout->addLayout(grid);
        if (below)
            layout->addWidget(below);
    };

    // The negative-value option and the plot button, across the whole width of the section.
    auto options = [&](QCheckBox*& noNegative, QPushButton*& plot) {
        auto* box = new QWidget(page);
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(18, 0, 0, 0);
        noNegative = new QCheckBox(kNoNegative, box);
        row->addWidget(noNegative);
        row->addStretch(1);
        plot = new QPushButton("Plot subtraction", box);
        plot->setToolTip("Not available in this version");
        row->addWidget(plot);
        return box;
    };

    section(RB_Baseline, "Baseline Subtraction",
            field("Reference Wavelength:", E_BaselineWL, "715", "nm", page),
            {"If we make the assumption that there is no absorption  in the near infrared, and "
             "further we assume that there scattering is the same for all wavelength channels, "
             "then we can do  a simple subtraction of the scattering error.  Choose a reference "
             "wavelength where it is assumed that there is no absorption, just scattering "
             "error.  One advantage of this method is that we only use data from the "
             "absorption channel, so noisy signal does not propogate.",
             "In very clear water, noise and/or calibration may cause the ac meter to report "
             "values less than zero in the near infrared.  It is advised not to subtract values "
             "less than zero in these cases."},
            {"The shape and magnitude of the scattering function is independent of wavelength",
             "No absorption by any materials in the near infrared",
             "Scattering error is the same for all wavelengths"},
            options(CB_BaselineNoNegative, B_BaselinePlot));

    section(RB_Fraction, "Proportion of scattering",
            field("Amount to remove:", E_Amount, "14", "%", page),
            {"If near infrared signal is unavailable, yet it is still possible to assume that "
             "the scattering error is the same across all wavelengths, then we can attempt to "
             "remove a fixed percentage of scattering.  If you have any IR signal you'll notice "
             "immediately that it won't remove all the absorption seen at those wavelengths. "
             "The amount to remove can vary from about 0.14 for predominately biological "
             "particles (open ocean) to 0.18 in waters where scattering is dominated by "
             "suspended particles (case 2 waters).",
             "Note that this method is more susceptible to noise in the measurements, since we "
             "use both absorption and attenuation in our calculations.  Also note that in an "
             "hyp meter, the a and c channels do not align exactly, so we use the closest "
             "neighbor to the absorption in determining scattering (using b = c - a)."},
            {"The shape of the scattering function is independent of wavelength and type of "
             "particles"},
            nullptr);

    section(RB_Proportional, "Proportional Subtraction",
            field("Reference Wavelength:", E_ProportionalWL, "715", "nm", page),
            {"This method contains a combination of the previous two techniques.  We start with "
             "a reference wavelength and assume that is zero.  For the rest of the spectrum, we "
             "compare the b with the reference b, and scale it by that amount.  This causes "
             "this method to have the most possible propogating error due to the several "
             "variables we use (two attenuation values, two absorption values) but if the "
             "assumptions are correct, is the most accurate of techniques."},
            {"The shape of the scattering function is independent of wavelength",
             "The data is smooth in the NIR.  It may be necessary to smooth the data before "
             "applying."},
            options(CB_ProportionalNoNegative, B_ProportionalPlot));
    layout->addStretch(1);

    // One method at a time; none is chosen when the guide opens.
    auto* methods = new QButtonGroup(this);
    for (QRadioButton* r : {RB_Baseline, RB_Fraction, RB_Proportional})
        methods->addButton(r);

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}

TForm1::~TForm1() = default;
