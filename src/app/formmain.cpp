#include "formmain.h"

#include "compareview.h"
#include "devicesdialog.h"
#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "editor/gridlabels.h"
#include "expressiondialog.h"
#include "files/wavefile.h"
#include "formtds.h"
#include "formteskcom.h"
#include "frmabout.h"
#include "instrumentdialog.h"
#include "latepress.h"
#include "model/numbers.h"
#include "spectrumview.h"
#include "synth/arith.h"
#include "synth/formula.h"
#include "synth/shapes.h"
#include "toolbar1.h"
#include "transfer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>

namespace ww {

namespace {
const QString kMainTitle = QStringLiteral("Vorrel Series Arbitrary Waveform Creation Software");

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

FormMain::FormMain(FormMainOptions options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)) {
    setObjectName(QStringLiteral("FormMain"));
    if (m_options.prompts) {
        m_prompts = m_options.prompts;
    } else {
        m_ownPrompts = std::make_unique<QtPrompts>(this);
        m_prompts = m_ownPrompts.get();
    }
    if (!m_options.screen)
        m_options.screen = primaryScreenInfo();
    if (m_options.settings) {
        m_userSettings = m_options.settings;
    } else {
        m_ownSettings =
            std::make_unique<QSettings>(QStringLiteral("wavewright"), QStringLiteral("wavewright"));
        m_userSettings = m_ownSettings.get();
    }
    // The devices chosen in earlier runs, unless the command line gave one for this run.
    loadPortChoices(*m_userSettings, m_options.ports);
    m_options.ports.hint = QStringLiteral("Choose another device in Rs232 Set > COM > Devices….");
    m_clock = m_options.clock ? m_options.clock : &m_systemClock;
    m_teskLink = std::make_unique<SerialLink>(m_options.ports);
    m_upload = std::make_unique<GeneratorUpload>(*m_teskLink, m_settings, *m_clock);
    m_upload->completionPauseMs = m_options.completionPauseMs;
    m_tdsLink = std::make_unique<SerialLink>(m_options.ports);
    m_tds = std::make_unique<TdsExchange>(*m_tdsLink, m_settings, *m_clock);
    // An exchange's message stays above its window, which stays on top while it works.
    for (Exchange* exchange :
         {static_cast<Exchange*>(m_upload.get()), static_cast<Exchange*>(m_tds.get())})
        connect(exchange, &Exchange::failed, this,
                [this, exchange](const QString& text, const QString& title, BoxIcon icon) {
                    QWidget* owner = exchange == m_tds.get()
                                         ? static_cast<QWidget*>(m_formTDS.get())
                                         : m_formTeskCom.get();
                    m_prompts->message(text,
                                       icon == BoxIcon::Stop ? MsgIcon::Critical : MsgIcon::None,
                                       title, owner);
                });
    connect(m_tds.get(), &TdsExchange::dataTaken, this, &FormMain::takeOscilloscopeData);
    // What went out, for Compare with Sent; a read for the comparison ends with its exchange.
    connect(m_upload.get(), &GeneratorUpload::uploaded, this, [this](const WaveStore& sent) {
        m_lastSent.assign(sent.ArbData.begin(), sent.ArbData.begin() + sent.length());
        m_lastSentFrom = m_lastSent;
    });
    connect(m_tds.get(), &Exchange::finished, this, [this] { m_compareNext = false; });
    m_editor = std::make_unique<WaveEditor>(m_doc);
    m_entry = std::make_unique<EntryRules>(
        m_doc, [this](const QString& text, bool critical) { say(text, critical); });
    m_history = std::make_unique<History>(m_doc);
    // A change that writes the length (a file, a curve, the formula, an undo) shows it in the
    // length field, even when it stays the same, so that no edit pending there outlives it;
    // one of the waveform number (an undo) in its bar.
    connect(&m_doc, &WaveDocument::changed, this, [this](const WaveChange& change) {
        if (change.lengthChanged || change.writesLength)
            Text_Arb_Length->setText(QString::number(m_doc.store().length()));
        if (change.numberChanged) {
            const int number = toInt32(m_doc.store().ArbNumber);
            const QSignalBlocker block(VScroll_ArbNumber);
            VScroll_ArbNumber->setValue(-number);
            Label_ArbNumber->setText(QString::number(number));
        }
    });
    setWindowTitle(kMainTitle);
    setAcceptDrops(true);
    addPictureFormats(); // for Export
    setWindowIcon(programIcon());
    // A fixed single border: no maximise button, the size is set by the layout.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    buildControls();
    buildMenus();
    showDevices();
    showLineSettings();
    // Each exchange window names the device it talks to.
    connect(m_upload.get(), &Exchange::started, this, [this] {
        m_formTeskCom->showDevice(m_options.ports.describe(m_settings.ComPortNumber));
    });
    connect(m_tds.get(), &Exchange::started, this,
            [this] { m_formTDS->showDevice(m_options.ports.describe(m_settings.ComPortNumber)); });

    connect(m_editor.get(), &WaveEditor::currentPositionChanged, this,
            [this](const QString& x, const QString& y) {
                LblArbCurrentXPoint->setText(x);
                LblArbCurrentYPoint->setText(y);
            });
    connect(m_editor.get(), &WaveEditor::gridRepainted, this, &FormMain::placeAxisLabels);
    connect(m_editor.get(), &WaveEditor::scrollRangeChanged, this, &FormMain::applyScrollRange);
    Form_Load();
}

FormMain::~FormMain() {
    delete m_about;
    // The child widgets outlive the members they call into: cut them off first.
    for (EntryField* f : {Text_Arb_Length, Text_ArbLineStartX, Text_ArbLineStartY,
                          Text_ArbLineStopX, Text_ArbLineStopY})
        f->keyPress = nullptr;
    m_editor->disconnect(this);
}

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

void FormMain::Form_Load() {
    FitFormToScreen();
    Text_Arb_Length->setText(QStringLiteral("201"));
    const float length = Text_Arb_Length->text().toFloat();
    // Commit the empty coordinate fields: "0", "0", "0.000", "0.000".
    Text_ArbLineStartX->LostFocus();
    Text_ArbLineStopX->LostFocus();
    Text_ArbLineStartY->LostFocus();
    Text_ArbLineStopY->LostFocus();
    Picture_Arb->setVisible(true);
    // The canvas holds the focus at start, so no field shows the editing look before use.
    Picture_Arb->setFocus(Qt::OtherFocusReason);
    m_doc.change(WaveChange{QStringLiteral("Start"), WaveChange::Redraw::None},
                 [length](WaveStore& s) {
                     s.ArbLength = length;
                     s.ArbNumber = 1.0f;
                 });
    Label_ArbNumber->setAlignment(Qt::AlignCenter);
    // The number bar runs from 8 at the top to 1 at the bottom: the value is held negated.
    {
        const QSignalBlocker block(VScroll_ArbNumber);
        VScroll_ArbNumber->setRange(-8, -1);
        VScroll_ArbNumber->setSingleStep(1);
        VScroll_ArbNumber->setPageStep(1);
        VScroll_ArbNumber->setValue(-1);
    }
    {
        const QSignalBlocker block(HScroll_XZoom);
        HScroll_XZoom->setRange(0, 0);
        HScroll_XZoom->setSingleStep(1);
        HScroll_XZoom->setPageStep(1);
    }
    Command_ArbWaveCls->setText(QStringLiteral("Clear"));
    Command_ArbWaveOutput->setText(QStringLiteral("Send"));
    FormTeskCom_Load();
    FormTDS_Load();
    m_editor->DrawWaveAll();
    m_history->stack().clear(); // the start is no step to undo
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

void FormMain::FormTeskCom_Load() {
    // The serial settings start as SerialSettings says; the windows only need their layout.
    m_formTeskCom = std::make_unique<FormTeskCom>(*m_upload, this);
    m_formTeskCom->FitFormToScreen(m_scale);
}

void FormMain::FormTDS_Load() {
    m_formTDS = std::make_unique<FormTDS>(*m_tds, this);
    m_formTDS->FitFormToScreen(m_scale);
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

void FormMain::mnuFileExit_Click() {
    if (m_exiting)
        return;
    m_exiting = true;
    if (m_teskLink->isOpen())
        m_teskLink->close();
    if (m_options.exitProgram)
        m_options.exitProgram();
    else
        QApplication::exit(0);
}

void FormMain::closeEvent(QCloseEvent* event) {
    mnuFileExit_Click();
    event->accept();
}

void FormMain::mousePressEvent(QMouseEvent* event) {
    Picture_Arb->setFocus(Qt::MouseFocusReason);
    QMainWindow::mousePressEvent(event);
}

namespace {
// The one local file a drag brings, or nothing.
QString droppedFile(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    return urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
}
} // namespace

void FormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void FormMain::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened after the drop has ended, so that the drag source is not held by a dialog.
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}

void FormMain::mnuArbClear_Click() {
    m_doc.change(caption("mnuArbClear"), clearSamples);
}

void FormMain::mnuStandardSqu_Click() {
    m_doc.change(caption("mnuStandardSqu"), makeSquare);
}
void FormMain::mnuStandardSin_Click() {
    m_doc.change(caption("mnuStandardSin"), makeSine);
}
void FormMain::mnuStandardCos_Click() {
    m_doc.change(caption("mnuStandardCos"), makeCosine);
}
void FormMain::mnuStandardTri_Click() {
    m_doc.change(caption("mnuStandardTri"), makeTriangle);
}
void FormMain::mnuStandardUpRamp_Click() {
    m_doc.change(caption("mnuStandardUpRamp"), makePositiveRamp);
}
void FormMain::mnuStandardDownRamp_Click() {
    m_doc.change(caption("mnuStandardDownRamp"), makeNegativeRamp);
}

void FormMain::say(const QString& text, bool critical) {
    m_prompts->message(text, critical ? MsgIcon::Critical : MsgIcon::None, QString());
}

void FormMain::Command_ArbPoint_Click() {
    m_entry->setPoint(*Text_ArbLineStartX, *Text_ArbLineStartY, *Text_ArbLineStopX,
                      *Text_ArbLineStopY);
}

void FormMain::Command_ArbLine_Click() {
    m_entry->setLine();
}

QString FormMain::caption(const char* item) const {
    // The step a command adds to the history is named as its menu item, without the
    // underlined letter's mark and the dots of an item that opens a dialog.
    QString text = action(QLatin1String(item))->text();
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QChar(0x2026)))
        text.chop(1);
    return text;
}

void FormMain::dropPendingEdits() {
    Text_Arb_Length->dropPending(QString::number(m_doc.store().length()));
    Text_ArbLineStartX->dropPending(QString::number(m_entry->ArbLineStartX));
    Text_ArbLineStopX->dropPending(QString::number(m_entry->ArbLineStopX));
    Text_ArbLineStartY->dropPending(formatThreeDecimals(m_entry->ArbLineStartY));
    Text_ArbLineStopY->dropPending(formatThreeDecimals(m_entry->ArbLineStopY));
}

void FormMain::mnuFileSave_Click() {
    // Save commits nothing: it writes the length field's text as it stands, and as many
    // samples as that text says. A text that is no length the store can give (none at all, or
    // more samples than it holds) is refused with the length message before the dialog, and
    // nothing is written.
    if (!isSaveableLength(Text_Arb_Length->text())) {
        say(lengthMessage(), true);
        return;
    }
    const QString name = m_prompts->saveFileName(QStringLiteral("Waveform data file(*.txt)"));
    if (name.isEmpty())
        return;
    const QString why = writeWaveFile(name, Text_Arb_Length->text(), m_doc.store());
    if (!why.isEmpty())
        m_prompts->message(QStringLiteral("Save failure!\nPlease Retry.\n\n") + why,
                           MsgIcon::Exclamation, QStringLiteral("ERROR!"));
}

void FormMain::mnuFileImport_Click() {
    importWaveform(*m_prompts, m_doc, this);
}

void FormMain::applyImport(const std::vector<float>& samples) {
    takeImport(m_doc, samples);
}

void FormMain::mnuFileExport_Click() {
    exportWaveform(*m_prompts, m_doc.store());
}

std::optional<WaveFileContent> FormMain::chooseWaveFile(const QString& filter, WaveFileUse use,
                                                        const QString& noFileText) {
    const QString name = m_prompts->openFileName(filter);
    if (name.isEmpty())
        return std::nullopt;
    return readChosenWaveFile(name, use, noFileText);
}

std::optional<WaveFileContent> FormMain::readChosenWaveFile(const QString& name, WaveFileUse use,
                                                            const QString& noFileText) {
    if (!hasWaveFileExtension(name)) {
        m_prompts->message(noFileText, MsgIcon::Exclamation, QStringLiteral("ERROR!"));
        return std::nullopt;
    }
    WaveFileContent content = readWaveFile(name, use);
    if (!content.error.isEmpty()) {
        m_prompts->message(QStringLiteral("Cannot open %1\n%2").arg(name, content.error),
                           MsgIcon::Exclamation, QStringLiteral("ERROR!"));
        return std::nullopt;
    }
    if (content.lengthLimited)
        say(lengthMessage(), true);
    return content;
}

void FormMain::mnuFileOpen_Click() {
    takeWaveFile(chooseWaveFile(QStringLiteral("WaveForm Data File(*.txt)"), WaveFileUse::Open,
                                QStringLiteral("No data file.\nPlease open.")));
}

void FormMain::openFile(const QString& path) {
    // The program's own file (by its name and its content) is opened as File > Open opens it;
    // anything else is imported.
    QString why;
    const QByteArray head = readHead(path, kWaveFileMostBytes + 1, why);
    if (hasWaveFileExtension(path) &&
        (!why.isEmpty() || looksLikeWaveFile(head, head.size() <= kWaveFileMostBytes, true)))
        takeWaveFile(readChosenWaveFile(path, WaveFileUse::Open,
                                        QStringLiteral("No data file.\nPlease open.")));
    else
        importFile(*m_prompts, m_doc, path, this);
}

void FormMain::takeWaveFile(const std::optional<WaveFileContent>& content) {
    if (!content)
        return;
    WaveChange how{caption("mnuFileOpen")};
    how.writesLength = true;
    m_doc.change(how, [&content](WaveStore& s) {
        s.ArbLength = static_cast<float>(content->length);
        std::copy(content->samples.begin(), content->samples.end(), s.ArbData.begin());
    });
}

void FormMain::mixWithFileCommand(bool subtract) {
    const auto content =
        chooseWaveFile(QStringLiteral("Waveform data file(*.txt)"), WaveFileUse::Mix,
                       subtract ? QStringLiteral("No file!\nPlese open")
                                : QStringLiteral("No file!\nPlease open"));
    if (!content)
        return;
    WaveChange how{caption(subtract ? "mnuWaveDec" : "mnuWaveAdd")};
    how.writesLength = true;
    m_doc.change(how, [&content, subtract](WaveStore& s) {
        mixWithFile(s, content->samples, content->length, subtract);
    });
}

void FormMain::mnuWaveXSymm_Click() {
    m_doc.change(caption("mnuWaveXSymm"), symmetryX);
}

void FormMain::mnuWaveYSymm_Click() {
    m_doc.change(caption("mnuWaveYSymm"), symmetryY);
}

bool FormMain::factorCommand(
    const char* item, const QString& title, const QString& line1, const QString& line2,
    const QString& refusal,
    const std::function<bool(WaveStore&, const std::optional<QString>&)>& apply) {
    const std::optional<QString> answer =
        m_prompts->input(line1 + QLatin1Char('\n') + line2, title, QStringLiteral("2"));
    if (!m_doc.tryChange(WaveChange{caption(item)},
                         [&](WaveStore& s) { return apply(s, answer); })) {
        m_prompts->message(refusal, MsgIcon::Critical, title);
        return false;
    }
    return true;
}

void FormMain::mnuWaveAmplDiv_Click() {
    factorCommand("mnuWaveAmplDiv", QStringLiteral("Amplitude divide"),
                  QStringLiteral("Please enter divisor,"), QStringLiteral("(divisor>=1)"),
                  QStringLiteral("ERROR! divisor<1"),
                  [](WaveStore& s, const std::optional<QString>& a) {
                      return amplitudeDivide(s, factorFromAnswer(a));
                  });
}

void FormMain::mnuWaveAmplMul_Click() {
    factorCommand("mnuWaveAmplMul", QStringLiteral("Amplitude multiply"),
                  QStringLiteral("Please enter multiplier,"), QStringLiteral("(multiplier>=1)"),
                  QStringLiteral("ERROR！multiplier<1"),
                  [](WaveStore& s, const std::optional<QString>& a) {
                      return amplitudeMultiply(s, factorFromAnswer(a));
                  });
}

void FormMain::mnuWaveAmplZoomIn_Click() {
    m_doc.tryChange(WaveChange{caption("mnuWaveAmplZoomIn")}, amplitudeNormalize);
}

void FormMain::mnuWaveFreqMul_Click() {
    factorCommand("mnuWaveFreqMul", QStringLiteral("Frequency multiply"),
                  QStringLiteral("Please enter coefficient,"), QStringLiteral("(coefficient>=1)"),
                  QStringLiteral("ERROR！coefficient<1"),
                  [](WaveStore& s, const std::optional<QString>& a) {
                      return frequencyMultiply(s, coefficientFromAnswer(a));
                  });
}

void FormMain::mnuWaveSinAddFormula_Click() {
    const QString title = QStringLiteral("Formula of Sine Add");
    const std::optional<QString> answer = m_prompts->input(
        QStringLiteral("Formula of Sine Add,\nThe amplitude of first Sine waveform is 1, "
                       "independent variable is x,ω = 1"),
        title, QStringLiteral("sinx+0.5sin2x"));
    const FormulaParse parsed = parseSineSum(answer.value_or(QString()));
    if (parsed.error == FormulaError::Empty) {
        m_prompts->message(QStringLiteral("Wrong Formula！"), MsgIcon::Critical, title);
        return;
    }
    WaveStore result = m_doc.store(); // computed aside: a refused formula adds no undo step
    if (parsed.error != FormulaError::None ||
        applySineSum(result, parsed.terms) != FormulaError::None) {
        m_prompts->message(QStringLiteral("Wrong Formula！"), MsgIcon::Critical,
                           QStringLiteral("Enter Formula"));
        return;
    }
    // The samples and the commit of the new length by the length field are one step to undo.
    m_history->stack().beginMacro(caption("mnuWaveSinAddFormula"));
    m_doc.change(WaveChange{title, WaveChange::Redraw::None},
                 [&result](WaveStore& s) { s = result; });
    Text_Arb_Length->setText(QString::number(m_doc.store().length()));
    Text_Arb_Length->LostFocus();
    m_history->stack().endMacro();
}

void FormMain::mnuWaveExpression_Click() {
    ExpressionDialog dialog(m_doc.store(), *m_userSettings, this);
    if (dialog.exec() == QDialog::Accepted)
        applyExpression(dialog.result());
}

void FormMain::applyExpression(const std::vector<float>& samples) {
    if (samples.empty())
        return;
    WaveChange how{caption("mnuWaveExpression")};
    how.writesLength = true;
    // The dialog's samples close with the sample after the last, as the shapes write it.
    m_doc.change(how, [&samples](WaveStore& s) {
        std::copy_n(samples.begin(), std::min<std::size_t>(samples.size(), kStoreLastIndex + 1),
                    s.ArbData.begin());
    });
}

void FormMain::mnuArbOutput_Click() {
    m_upload->start(m_doc.store());
}

void FormMain::Toolbar1_ButtonClick(const QString& key) {
    Picture_Arb->unsetCursor();
    // Compared in this order; a key that matches none ("Help") does nothing more.
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"FileOpen", [this] { mnuFileOpen_Click(); }},
        {"FileSave", [this] { mnuFileSave_Click(); }},
        {"WaveAdd", [this] { mnuWaveAdd_Click(); }},
        {"WaveDec", [this] { mnuWaveDec_Click(); }},
        {"Draw", [this] { Picture_Arb->setCursor(Qt::CrossCursor); }},
        {"Zoomin", [this] { mnuArbZoomin_Click(); }},
        {"Zoomout", [this] { mnuArbZoomout_Click(); }},
        {"ZoomNo", [this] { mnuArbZoomNo_Click(); }},
        {"Waveout", [this] { mnuArbOutput_Click(); }},
        {"Exit", [this] { mnuFileExit_Click(); }},
    };
    for (const auto& [name, run] : actions) {
        if (key == QLatin1String(name)) {
            run();
            return;
        }
    }
}

void FormMain::placeBeside(QWidget* window) {
    // Beside the main window, as far as the screen has room for it.
    const QRect room = screen()->availableGeometry();
    QPoint at = frameGeometry().topRight() + QPoint(8, 0);
    at.setX(std::max(room.left(), std::min(at.x(), room.right() - window->width())));
    at.setY(std::max(room.top(), std::min(at.y(), room.bottom() - window->height())));
    window->move(at);
}

void FormMain::mnuArbSpectrum_Click() {
    if (!m_spectrum) {
        m_spectrum = new SpectrumView(m_doc, *m_prompts, this);
        m_spectrum->adjustSize();
        placeBeside(m_spectrum);
    }
    m_spectrum->show();
    m_spectrum->raise();
}

frmAbout* FormMain::aboutBox() const {
    return m_about.data();
}

void FormMain::about_Click() {
    // One about box: shown again if it is already open.
    if (!m_about)
        m_about = new frmAbout();
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void FormMain::mnuOscilEOLString_Click(int index) {
    markMenuArray(m_eolGroup, index);
    chooseOscilEol(m_settings, index);
}

void FormMain::mnuOscil_Link_Click() {
    m_tds->TDS_Link();
}

void FormMain::mnuOscil_SOURE_CH_Click(int index) {
    markMenuArray(m_sourceGroup, index);
    chooseOscilSource(m_settings, index);
}

void FormMain::mnuOscil_ReadData_Click() {
    m_compareNext = false;
    m_tds->TDS_Readdata();
}

void FormMain::mnuArbSendInstrument_Click() {
    if (!m_instrument) {
        m_instrument =
            new InstrumentDialog(m_options.ports, m_settings, *m_clock, *m_userSettings, this);
        m_instrument->samples = [this] {
            const WaveStore& s = m_doc.store();
            return std::vector<float>(s.ArbData.begin(), s.ArbData.begin() + s.length());
        };
        // Every upload, through any line and profile, is what Compare with Sent compares with.
        connect(m_instrument, &InstrumentDialog::uploaded, this,
                [this](const std::vector<double>& sent) {
                    m_lastSent = sent;
                    m_lastSentFrom = canvasSamples();
                });
    }
    m_instrument->show();
    m_instrument->raise();
}

void FormMain::mnuOscilCompare_Click() {
    m_compareNext = true;
    m_tds->TDS_Readdata();
    if (!m_tds->running()) // refused: not linked yet
        m_compareNext = false;
}

void FormMain::takeOscilloscopeData(const std::vector<float>& samples) {
    if (m_compareNext) {
        showComparison(std::vector<double>(samples.begin(), samples.end()));
        return;
    }
    WaveChange how{caption("mnuOscil_ReadData")};
    how.writesLength = true;
    m_doc.change(how, [&samples](WaveStore& s) {
        std::copy(samples.begin(), samples.end(), s.ArbData.begin());
        s.ArbLength = static_cast<float>(samples.size());
    });
}

std::vector<double> FormMain::canvasSamples() const {
    const WaveStore& s = m_doc.store();
    return std::vector<double>(s.ArbData.begin(), s.ArbData.begin() + s.length());
}

void FormMain::showComparison(const std::vector<double>& captured) {
    if (!m_compare) {
        m_compare = new CompareView(*m_prompts, this);
        m_compare->adjustSize();
        placeBeside(m_compare);
    }
    std::vector<double> sent = m_lastSent;
    const std::vector<double> canvas = canvasSamples();
    QString about;
    if (sent.empty()) {
        sent = canvas;
        about = QStringLiteral("Nothing was uploaded in this run: the capture is compared with "
                               "the current waveform.");
    } else if (m_lastSentFrom != canvas) {
        about = QStringLiteral("The waveform on the canvas has changed since the last upload: "
                               "the capture is compared with what was uploaded.");
    }
    m_compare->compare(sent, captured, about);
    // Once the exchange has ended and put the main window back on top.
    QTimer::singleShot(0, m_compare, [view = m_compare] {
        view->show();
        view->raise();
        view->activateWindow();
    });
}

void FormMain::mnu_ComNumberCOM_Click(int index) {
    markMenuArray(m_comGroup, index);
    if (chooseComPort(m_settings, index))
        m_upload->changePort(m_settings.ComPortNumber); // an open port follows at once
    showLineSettings();
}

void FormMain::showLineSettings() {
    // Baud, parity and flow control are a serial line's; a socket has none.
    const LineKind* kind = lineKindOf(m_options.ports.device(m_settings.ComPortNumber));
    const bool serial = !kind || kind->hasLineSettings;
    for (const char* group : {"mnuComBaud", "mnuComParity", "mnuComFlowcontrol"}) {
        QAction* a = action(group);
        a->setEnabled(serial);
        a->setToolTip(serial ? QString()
                             : QStringLiteral("%1 is not a serial port: no line settings")
                                   .arg(m_options.ports.device(m_settings.ComPortNumber)));
    }
}

void FormMain::mnuComDevices_Click() {
    PortChoices choices(systemPorts, m_options.ports);
    DevicesDialog dialog(choices, this);
    if (dialog.exec() == QDialog::Accepted)
        applyPortChoices(choices.changed());
}

void FormMain::applyPortChoices(const QMap<int, QString>& changed) {
    for (auto it = changed.begin(); it != changed.end(); ++it)
        m_options.ports.setDevice(it.key(), it.value());
    savePortChoices(*m_userSettings, changed);
    showDevices();
    showLineSettings();
}

void FormMain::showDevices() {
    for (int n = 1; n <= 4; ++n) {
        const QString device = m_options.ports.device(n);
        const QString problem = deviceProblem(device);
        const QString tip = QStringLiteral("COM%1 — %2").arg(n).arg(device) +
                            (problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
        QAction* a = action(QStringLiteral("mnu_ComNumberCOM_%1").arg(n - 1));
        a->setToolTip(tip);
        a->setStatusTip(tip);
    }
}

void FormMain::mnuComBaudNumber_Click(int index) {
    markMenuArray(m_baudGroup, index);
    chooseBaud(m_settings, index);
}

void FormMain::mnuComParityBits_Click(int index) {
    markMenuArray(m_parityGroup, index);
    chooseParity(m_settings, index);
}

void FormMain::mnuComFlowHardSoft_Click(int index) {
    markMenuArray(m_flowGroup, index);
    chooseFlowControl(m_settings, index);
}

void FormMain::VScroll_ArbNumber_Change(int value) {
    const int number = -value;
    m_doc.change(WaveChange{QStringLiteral("Waveform number"), WaveChange::Redraw::None},
                 [number](WaveStore& s) { s.ArbNumber = static_cast<float>(number); });
    Label_ArbNumber->setText(QString::number(number));
    Label_ArbNumber->setAlignment(Qt::AlignCenter);
}

} // namespace ww
