#include "formmain.h"

#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "expressiondialog.h"
#include "files/wavefile.h"
#include "formtds.h"
#include "formteskcom.h"
#include "frmabout.h"
#include "lines/devices.h"
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
    m_bench = std::make_unique<Bench>(m_options.ports, m_settings, *m_clock);
    upload().completionPauseMs = m_options.completionPauseMs;
    // An exchange's message stays above its window, which stays on top while it works.
    for (Exchange* exchange : {static_cast<Exchange*>(&upload()), static_cast<Exchange*>(&tds())})
        connect(exchange, &Exchange::failed, this,
                [this, exchange](const QString& text, const QString& title, BoxIcon icon) {
                    QWidget* owner = exchange == &tds() ? static_cast<QWidget*>(m_formTDS.get())
                                                        : m_formTeskCom.get();
                    m_prompts->message(text,
                                       icon == BoxIcon::Stop ? MsgIcon::Critical : MsgIcon::None,
                                       title, owner);
                });
    connect(&tds(), &TdsExchange::dataTaken, this, &FormMain::takeOscilloscopeData);
    // A read for the comparison ends with its exchange.
    connect(&tds(), &Exchange::finished, this, [this] { m_compareNext = false; });
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
    connect(&upload(), &Exchange::started, this, [this] {
        m_formTeskCom->showDevice(m_options.ports.describe(m_settings.ComPortNumber));
    });
    connect(&tds(), &Exchange::started, this,
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

void FormMain::mnuFileExit_Click() {
    if (m_exiting)
        return;
    m_exiting = true;
    if (ActiveComm().isOpen())
        ActiveComm().close();
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

void FormMain::VScroll_ArbNumber_Change(int value) {
    const int number = -value;
    m_doc.change(WaveChange{QStringLiteral("Waveform number"), WaveChange::Redraw::None},
                 [number](WaveStore& s) { s.ArbNumber = static_cast<float>(number); });
    Label_ArbNumber->setText(QString::number(number));
    Label_ArbNumber->setAlignment(Qt::AlignCenter);
}

} // namespace ww
