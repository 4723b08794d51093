#pragma once

#include "editor/entryrules.h"
#include "editor/waveeditor.h"
#include "files/wavefile.h"
#include "instruments/bench.h"
#include "lines/clock.h"
#include "lines/seriallink.h"
#include "lines/serialsettings.h"
#include "model/history.h"
#include "model/store.h"
#include "prompts.h"
#include "twipslayout.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QSettings;

namespace ww {

class CanvasWidget;
class EntryField;
class FormTeskCom;
class FormTDS;
class CompareView;
class InstrumentDialog;
class ScopeDialog;
class SpectrumView;
class Toolbar1;
class frmAbout;

// What the main window is built with; tests replace the screen, the dialogs and the exit.
struct FormMainOptions {
    ScreenInfo screen = primaryScreenInfo();
    Prompts* prompts = nullptr;        // null: real dialogs
    std::function<void()> exitProgram; // null: end the application
    PortMap ports;                     // COM1..COM4 and their devices
    Clock* clock = nullptr;            // null: the system clock
    QSettings* settings = nullptr;     // null: the user's configuration
    int completionPauseMs = 2000;      // the pause after "Send complete！"
};

// The main window: owner of the shared program state, the canvas and every command.
class FormMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit FormMain(FormMainOptions options = {}, QWidget* parent = nullptr);
    ~FormMain() override;

    const WaveStore& store() const { return m_doc.store(); }
    WaveDocument& document() { return m_doc; }
    History& history() { return *m_history; }
    WaveEditor& editor() { return *m_editor; }
    const TwipsLayout& layoutTable() const { return m_layout; }
    ScreenScale screenScale() const { return m_scale; }
    // The window's own geometry in twips, as FitFormToScreen set it.
    QRectF formTwips() const { return m_formTwips; }
    // A menu item by its name; an unknown name stops the program (a wrong name never passes
    // silently).
    QAction* action(const QString& objectName) const;

    // Commands (menu, buttons, toolbar).
    void mnuFileExit_Click();
    void mnuArbClear_Click();
    void mnuArbZoomin_Click() { m_editor->zoomIn(); }
    void mnuArbZoomout_Click() { m_editor->zoomOut(); }
    void mnuArbZoomNo_Click() { m_editor->DrawWaveAll(); }
    // Ours: what the waveform contains, in a window beside this one that follows it.
    void mnuArbSpectrum_Click();
    SpectrumView* spectrumView() const { return m_spectrum; }
    void mnuStandardSqu_Click();
    void mnuStandardSin_Click();
    void mnuStandardCos_Click();
    void mnuStandardTri_Click();
    void mnuStandardStair_Click() {}
    void mnuStandardUpRamp_Click();
    void mnuStandardDownRamp_Click();
    void VScroll_ArbNumber_Change(int value);
    void mnuArbOutput_Click();
    void mnu_ComNumberCOM_Click(int index);
    // Ours: the Devices dialog, and what it changed (remembered for the next start).
    void mnuComDevices_Click();
    void applyPortChoices(const QMap<int, QString>& changed);
    const PortMap& ports() const { return m_options.ports; }
    void mnuComBaudNumber_Click(int index);
    void mnuComParityBits_Click(int index);
    void mnuComFlowHardSoft_Click(int index);
    SerialSettings& serialSettings() { return m_settings; }
    SerialLink& ActiveComm() { return m_bench->generatorLine(); }
    GeneratorUpload& upload() { return m_bench->upload(); }
    Bench& bench() { return *m_bench; }
    FormTeskCom* formTeskCom() { return m_formTeskCom.get(); }
    void Toolbar1_ButtonClick(const QString& key);
    void about_Click();
    frmAbout* aboutBox() const;
    void mnuOscilEOLString_Click(int index);
    void mnuOscil_Link_Click();
    void mnuOscil_SOURE_CH_Click(int index);
    void mnuOscil_ReadData_Click();
    // Ours: reads the curve as Read Data does, without taking it into the store, and compares
    // it with the last waveform uploaded (or the current one) in a window of its own.
    void mnuOscilCompare_Click();
    CompareView* compareView() const { return m_compare; }
    // Ours: the curve of any SCPI oscilloscope through a profile, into the waveform or to
    // compare with what was sent.
    void mnuOscilReadInstrument_Click();
    ScopeDialog* scopeDialog() const { return m_scopeDialog; }
    // Ours: the waveform into a SCPI generator through a profile, on any line.
    void mnuArbSendInstrument_Click();
    InstrumentDialog* instrumentDialog() const { return m_instrument; }
    // What Compare with Sent compares with: the last upload of this run, through any line.
    const std::vector<double>& lastSent() const { return m_bench->lastSent(); }
    TdsExchange& tds() { return m_bench->tds(); }
    SerialLink& tdsLink() { return m_bench->scopeLine(); }
    FormTDS* formTDS() { return m_formTDS.get(); }
    void Command_ArbPoint_Click();
    void Command_ArbLine_Click();
    void mnuFileOpen_Click();
    // Ours: a file named on the command line or dropped on the window, opened as Open opens
    // the program's own file and imported otherwise.
    void openFile(const QString& path);
    void mnuFileSave_Click();
    // Ours: a waveform from a CSV, TSV, number or WAV file through a dialog that shows it
    // first; and the waveform out as CSV, WAV, or a PNG or SVG picture.
    void mnuFileImport_Click();
    void mnuFileExport_Click();
    void applyImport(const std::vector<float>& samples);
    void mnuWaveAdd_Click() { mixWithFileCommand(false); }
    void mnuWaveDec_Click() { mixWithFileCommand(true); }
    void mnuWaveXSymm_Click();
    void mnuWaveYSymm_Click();
    void mnuWaveAmplDiv_Click();
    void mnuWaveAmplMul_Click();
    void mnuWaveAmplZoomIn_Click();
    void mnuWaveFreqMul_Click();
    void mnuWaveSinAddFormula_Click();
    // Ours: an expression with a live preview; the samples it made at the current length.
    void mnuWaveExpression_Click();
    void applyExpression(const std::vector<float>& samples);

    EntryRules& entry() { return *m_entry; }
    Prompts& prompts() { return *m_prompts; }
    // Shows a message with the program's title (critical icon or none).
    void say(const QString& text, bool critical);

    // Controls, named as the program names them.
    CanvasWidget* Picture_Arb = nullptr;
    QScrollBar* HScroll_XZoom = nullptr;
    QScrollBar* VScroll_ArbNumber = nullptr;
    QLabel* Label_ArbNumber = nullptr;
    QLabel* LblArbCurrentXPoint = nullptr;
    QLabel* LblArbCurrentYPoint = nullptr;
    EntryField* Text_Arb_Length = nullptr;
    EntryField* Text_ArbLineStartX = nullptr;
    EntryField* Text_ArbLineStartY = nullptr;
    EntryField* Text_ArbLineStopX = nullptr;
    EntryField* Text_ArbLineStopY = nullptr;
    QPushButton* Command_ArbPoint = nullptr;
    QPushButton* Command_ArbLine = nullptr;
    QPushButton* Command_ArbWaveCls = nullptr;
    QPushButton* Command_ArbWaveOutput = nullptr;
    QPushButton* Command_Exit = nullptr;
    ww::Toolbar1* Toolbar1 = nullptr;
    std::array<QLabel*, 11> Label_Y_coordinate{};
    std::array<QLabel*, 11> Label_X_coordinate{};

  protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void FitFormToScreen();
    void placeAxisLabels(const ViewState& view);
    void applyScrollRange(const ScrollRange& range);
    // Undo and redo drop what is typed but not committed, so the fields show what comes back.
    void dropPendingEdits();
    // The name of a command's history step: its menu item's caption.
    QString caption(const char* item) const;
    void mixWithFileCommand(bool subtract);
    // Asks for a waveform file and reads it, telling the user what is wrong with it.
    std::optional<WaveFileContent> chooseWaveFile(const QString& filter, WaveFileUse use,
                                                  const QString& noFileText);
    std::optional<WaveFileContent> readChosenWaveFile(const QString& name, WaveFileUse use,
                                                      const QString& noFileText);
    void takeWaveFile(const std::optional<WaveFileContent>& content);
    void showDevices(); // the COM items say which device they stand for
    void FormTeskCom_Load();
    void FormTDS_Load();
    void takeOscilloscopeData(const std::vector<float>& samples);
    void takeTrace(const ScopeTrace& trace, bool compare);
    void showComparison(const std::vector<double>& captured);
    void placeBeside(QWidget* window);
    void showLineSettings();
    void markMenuArray(QActionGroup* group, int index);
    // Asks for a factor (default "2"); apply answers false to refuse it, with the refusal text.
    bool factorCommand(const char* item, const QString& title, const QString& line1,
                       const QString& line2, const QString& refusal,
                       const std::function<bool(WaveStore&, const std::optional<QString>&)>& apply);

    FormMainOptions m_options;
    std::unique_ptr<QtPrompts> m_ownPrompts;
    std::unique_ptr<QSettings> m_ownSettings;
    QSettings* m_userSettings = nullptr;
    Prompts* m_prompts = nullptr;
    WaveDocument m_doc; // the waveform; every change goes through it
    std::unique_ptr<History> m_history;
    std::unique_ptr<WaveEditor> m_editor;
    std::unique_ptr<EntryRules> m_entry;
    SerialSettings m_settings;
    SystemClock m_systemClock;
    Clock* m_clock = nullptr;
    std::unique_ptr<Bench> m_bench; // the lines, the exchanges and what was last sent
    std::unique_ptr<FormTeskCom> m_formTeskCom;
    std::unique_ptr<FormTDS> m_formTDS;
    QPointer<frmAbout> m_about;
    SpectrumView* m_spectrum = nullptr;
    CompareView* m_compare = nullptr;
    InstrumentDialog* m_instrument = nullptr;
    ScopeDialog* m_scopeDialog = nullptr;
    bool m_compareNext = false; // the curve being read is for the comparison, not the store
    std::vector<double> canvasSamples() const;
    TwipsLayout m_layout;
    ScreenScale m_scale;
    QRectF m_formTwips;
    // The menu's radio groups (Rs232 Set and Oscilloscope) and every item by name.
    QActionGroup* m_comGroup = nullptr;
    QActionGroup* m_baudGroup = nullptr;
    QActionGroup* m_parityGroup = nullptr;
    QActionGroup* m_flowGroup = nullptr;
    QActionGroup* m_eolGroup = nullptr;
    QActionGroup* m_sourceGroup = nullptr;
    QHash<QString, QAction*> m_actions;
    bool m_exiting = false;
    bool m_settingScroll = false;
    bool m_labelsPlaced = false;
    ViewState m_labelView;
};

} // namespace ww
