// The main window's controls, placed by the twips layout.
#include "formmain.h"

#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "editor/gridlabels.h"
#include "latepress.h"
#include "toolbar1.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace ww {

namespace {
// Non-client parts of the window in pixels: the design sizes include border and caption.
constexpr int kBorderPixels = 3;
constexpr int kCaptionPixels = 19;

QLabel* makeLabel(QWidget* parent, const QString& text, const char* name) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QGroupBox* makeFrame(QWidget* parent, const QString& caption, const char* name) {
    auto* f = new QGroupBox(caption, parent);
    f->setObjectName(QString::fromLatin1(name));
    return f;
}

EntryField* makeField(QWidget* parent, const char* name) {
    auto* e = new EntryField(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

void FormMain::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Toolbar1 = new ww::Toolbar1(client);
    m_layout.add(Toolbar1, 0, 0, 5280, 450);
    connect(Toolbar1, &Toolbar1::buttonClick, this, &FormMain::Toolbar1_ButtonClick);
    connect(Toolbar1, &Toolbar1::barPressed, this,
            [this] { Picture_Arb->setFocus(Qt::MouseFocusReason); });

    QGroupBox* frame5 = makeFrame(client, QStringLiteral("Current Position"), "Frame5");
    m_layout.add(frame5, 5400, 120, 1935, 735);
    m_layout.add(makeLabel(frame5, QStringLiteral("X:"), "LblArbCurrentXPointName"), 120, 360, 195,
                 300);
    LblArbCurrentXPoint = makeLabel(frame5, QStringLiteral("0"), "LblArbCurrentXPoint");
    m_layout.add(LblArbCurrentXPoint, 360, 360, 525, 240);
    m_layout.add(makeLabel(frame5, QStringLiteral("Y:"), "LblArbCurrentYPointName"), 960, 360, 285,
                 300);
    LblArbCurrentYPoint = makeLabel(frame5, FormatSample(0.0f), "LblArbCurrentYPoint");
    m_layout.add(LblArbCurrentYPoint, 1080, 360, 675, 240);

    QGroupBox* frame6 = makeFrame(client, QStringLiteral("Waveform number"), "Frame6");
    m_layout.add(frame6, 7680, 0, 1575, 855);
    Label_ArbNumber = makeLabel(frame6, QStringLiteral("1"), "Label_ArbNumber");
    m_layout.add(Label_ArbNumber, 240, 360, 375, 255);
    VScroll_ArbNumber = new QScrollBar(Qt::Vertical, frame6);
    VScroll_ArbNumber->setObjectName(QStringLiteral("VScroll_ArbNumber"));
    m_layout.add(VScroll_ArbNumber, 840, 240, 255, 495);

    QGroupBox* frame4 = makeFrame(client, QStringLiteral("Length Of Waveform"), "Frame4");
    m_layout.add(frame4, 9600, 0, 1935, 855);
    Text_Arb_Length = makeField(frame4, "Text_Arb_Length");
    Text_Arb_Length->QLineEdit::setText(QStringLiteral("201")); // the design text
    Text_Arb_Length->markNormal();
    m_layout.add(Text_Arb_Length, 270, 330, 900, 405);
    m_layout.add(makeLabel(frame4, QStringLiteral("Points"), "Label6"), 1245, 420, 450, 270);

    Picture_Arb = new CanvasWidget(*m_editor, client);
    Picture_Arb->setObjectName(QStringLiteral("Picture_Arb"));
    m_layout.add(Picture_Arb, 720, 1035, 8445, 3975);

    HScroll_XZoom = new QScrollBar(Qt::Horizontal, client);
    HScroll_XZoom->setObjectName(QStringLiteral("HScroll_XZoom"));
    m_layout.add(HScroll_XZoom, 720, 5400, 8445, 135);

    for (int k = 0; k < 11; ++k) {
        Label_Y_coordinate[k] = makeLabel(client, QString(), "Label_Y_coordinate");
        Label_X_coordinate[k] = makeLabel(client, QString(), "Label_X_coordinate");
        Label_Y_coordinate[k]->setProperty("index", k);
        Label_X_coordinate[k]->setProperty("index", k);
        Label_Y_coordinate[k]->hide();
        Label_X_coordinate[k]->hide();
    }

    QGroupBox* frame1 = makeFrame(client, QStringLiteral("Start Point"), "Frame1");
    m_layout.add(frame1, 9240, 1560, 1215, 1455);
    m_layout.add(makeLabel(frame1, QStringLiteral("X:"), "Label3"), 120, 360, 255, 375);
    Text_ArbLineStartX = makeField(frame1, "Text_ArbLineStartX");
    m_layout.add(Text_ArbLineStartX, 360, 360, 735, 375);
    m_layout.add(makeLabel(frame1, QStringLiteral("Y:"), "Label4"), 120, 960, 255, 375);
    Text_ArbLineStartY = makeField(frame1, "Text_ArbLineStartY");
    m_layout.add(Text_ArbLineStartY, 360, 960, 735, 375);

    QGroupBox* frame2 = makeFrame(client, QStringLiteral("End point"), "Frame2");
    m_layout.add(frame2, 10560, 1560, 1215, 1455);
    m_layout.add(makeLabel(frame2, QStringLiteral("X:"), "Label8"), 120, 360, 255, 375);
    Text_ArbLineStopX = makeField(frame2, "Text_ArbLineStopX");
    m_layout.add(Text_ArbLineStopX, 360, 360, 735, 375);
    m_layout.add(makeLabel(frame2, QStringLiteral("Y:"), "Label9"), 120, 960, 255, 375);
    Text_ArbLineStopY = makeField(frame2, "Text_ArbLineStopY");
    m_layout.add(Text_ArbLineStopY, 360, 960, 735, 375);

    Command_ArbPoint = makeButton(client, QStringLiteral("Set Point"), "Command_ArbPoint");
    m_layout.add(Command_ArbPoint, 9360, 3120, 975, 375);
    Command_ArbLine = makeButton(client, QStringLiteral("Set Line"), "Command_ArbLine");
    m_layout.add(Command_ArbLine, 10560, 3120, 1095, 375);

    QGroupBox* frame3 = makeFrame(client, QString(), "Frame3");
    m_layout.add(frame3, 9840, 5055 - 975, 1815, 975);
    Command_ArbWaveCls = makeButton(frame3, QString(), "Command_ArbWaveCls");
    m_layout.add(Command_ArbWaveCls, 240, 240, 600, 555);
    Command_ArbWaveOutput = makeButton(frame3, QString(), "Command_ArbWaveOutput");
    m_layout.add(Command_ArbWaveOutput, 1080, 240, 600, 555);

    Command_Exit = makeButton(client, QStringLiteral("Exit"), "Command_Exit");
    m_layout.add(Command_Exit, 10920, 5280, 615, 495);

    Text_Arb_Length->keyPress = [this](int& key) {
        m_entry->lengthKeyPress(*Text_Arb_Length, key);
    };
    Text_ArbLineStartX->keyPress = [this](int& key) {
        m_entry->xKeyPress(*Text_ArbLineStartX, key, m_entry->ArbLineStartX);
    };
    Text_ArbLineStopX->keyPress = [this](int& key) {
        m_entry->xKeyPress(*Text_ArbLineStopX, key, m_entry->ArbLineStopX);
    };
    Text_ArbLineStartY->keyPress = [this](int& key) {
        m_entry->yKeyPress(*Text_ArbLineStartY, key, m_entry->ArbLineStartY);
    };
    Text_ArbLineStopY->keyPress = [this](int& key) {
        m_entry->yKeyPress(*Text_ArbLineStopY, key, m_entry->ArbLineStopY);
    };
    for (QPushButton* b : {Command_ArbPoint, Command_ArbLine, Command_ArbWaveCls,
                           Command_ArbWaveOutput, Command_Exit})
        new LatePressClicks(b);
    connect(Command_ArbPoint, &QPushButton::clicked, this, &FormMain::Command_ArbPoint_Click);
    connect(Command_ArbLine, &QPushButton::clicked, this, &FormMain::Command_ArbLine_Click);
    connect(Command_Exit, &QPushButton::clicked, this, &FormMain::mnuFileExit_Click);
    connect(Command_ArbWaveOutput, &QPushButton::clicked, this, &FormMain::mnuArbOutput_Click);
    connect(Command_ArbWaveCls, &QPushButton::clicked, this, &FormMain::mnuArbClear_Click);
    connect(VScroll_ArbNumber, &QScrollBar::valueChanged, this,
            &FormMain::VScroll_ArbNumber_Change);
    connect(HScroll_XZoom, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_settingScroll)
            m_editor->scrollChanged(value);
    });
}

void FormMain::FitFormToScreen() {
    m_scale = screenScaleFor(m_options.screen());
    QFont f = font();
    f.setPointSizeF(kDesignFontPoints * m_scale.x);
    setFont(f);
    m_formTwips = QRectF(30 * m_scale.x, 0 * m_scale.y, 12000 * m_scale.x, 6840 * m_scale.y);
    m_layout.fit(m_scale);
    const QRect px = TwipsLayout::toPixels(m_formTwips);
    move(px.topLeft());
    setFixedSize(px.width() - 2 * kBorderPixels, px.height() - kCaptionPixels - 2 * kBorderPixels);
}

void FormMain::placeAxisLabels(const ViewState& view) {
    // Every grid repaint places the labels, drawing steps included: only a new view moves them.
    if (m_labelsPlaced && view.ViewStart == m_labelView.ViewStart &&
        view.ViewSpan == m_labelView.ViewSpan)
        return;
    m_labelsPlaced = true;
    m_labelView = view;
    const AxisLabels labels =
        axisLabelsFor(view, m_layout.twips(Picture_Arb), m_scale.x, m_scale.y);
    for (int k = 0; k < 11; ++k) {
        const AxisLabel& vl = labels.values[k];
        QLabel* y = Label_Y_coordinate[k];
        y->setText(vl.caption);
        y->adjustSize();
        y->move(TwipsLayout::toPixels(QRectF(vl.left, vl.top, 0, 0)).topLeft());
        y->show();
        const AxisLabel& il = labels.indices[k];
        QLabel* x = Label_X_coordinate[k];
        x->setText(il.caption);
        x->adjustSize();
        x->move(TwipsLayout::toPixels(QRectF(il.left, il.top, 0, 0)).topLeft());
        x->show();
    }
}

void FormMain::applyScrollRange(const ScrollRange& range) {
    // The zoom commands set the bar to the view they computed; they redraw once themselves.
    m_settingScroll = true;
    HScroll_XZoom->setRange(range.minimum, range.maximum);
    HScroll_XZoom->setValue(range.value);
    if (range.largeChange >= 0)
        HScroll_XZoom->setPageStep(range.largeChange);
    m_settingScroll = false;
}

} // namespace ww
