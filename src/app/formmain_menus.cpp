// The main window's menu bar, from one table.
#include "formmain.h"

#include <QActionGroup>
#include <QMenuBar>
#include <QUndoStack>
#include <variant>

namespace ww {

namespace {
using Handler = void (FormMain::*)();
using IndexHandler = void (FormMain::*)(int);

// An item: a null handler cannot be chosen.
struct Item {
    const char* caption;
    const char* name;
    Handler run;
    QKeySequence key = {};
};
// A submenu whose items are one radio group; the items are named name_0, name_1, ...
struct Group {
    const char* caption;
    const char* menuName;
    const char* name;
    QStringList items;
    int checked;
    IndexHandler run;
    QActionGroup* FormMain::*member;
    QList<int> greyed = {}; // shown, cannot be chosen
    QList<int> hidden = {}; // not shown
};
struct Separator {
    const char* name;
};
using Entry = std::variant<Item, Group, Separator>;
struct Menu {
    const char* caption;
    const char* name;
    std::vector<Entry> entries;
};

QList<int> greyedBauds() {
    QList<int> greyed;
    for (int i = 0; i < baudCaptions().size(); ++i)
        if (!baudAvailable(i))
            greyed << i;
    return greyed;
}
} // namespace

void FormMain::buildMenus() {
    const std::vector<Menu> menus = {
        {"&File",
         "mnuFile",
         {Item{"&Open", "mnuFileOpen", &FormMain::mnuFileOpen_Click, Qt::CTRL | Qt::Key_O},
          Item{"&Save", "mnuFileSave", &FormMain::mnuFileSave_Click, Qt::CTRL | Qt::Key_S},
          Separator{"mnu_bar1"}, Item{"E&xit", "mnuFileExit", &FormMain::mnuFileExit_Click}}},
        {"&Oscilloscope",
         "mnuOscilloscopes",
         {Group{"&EOL String",
                "mnuOscilEOL",
                "mnuOscilEOLString",
                {"LF", "CR", "LF/CR", "CR/LF"},
                0,
                &FormMain::mnuOscilEOLString_Click,
                &FormMain::m_eolGroup},
          Item{"Set &Link", "mnuOscil_Link", &FormMain::mnuOscil_Link_Click},
          Group{"&Source",
                "mnuOscil_Source",
                "mnuOscil_SOURE_CH",
                {"CH1", "CH2", "CH3", "CH4", "REFA", "REFB"},
                0,
                &FormMain::mnuOscil_SOURE_CH_Click,
                &FormMain::m_sourceGroup,
                {2, 3}},
          Item{"&Read Data", "mnuOscil_ReadData", &FormMain::mnuOscil_ReadData_Click}}},
        {"&Rs232 Set",
         "mnuComSet",
         {Group{"&COM",
                "mnuComNumber",
                "mnu_ComNumberCOM",
                {"COM1", "COM2", "COM3", "COM4"},
                0,
                &FormMain::mnu_ComNumberCOM_Click,
                &FormMain::m_comGroup},
          Group{"&Baud", "mnuComBaud", "mnuComBaudNumber", baudCaptions(), 5,
                &FormMain::mnuComBaudNumber_Click, &FormMain::m_baudGroup, greyedBauds()},
          Group{"&Parity",
                "mnuComParity",
                "mnuComParityBits",
                {"None 8BITS", "Odd  7BITS", "Even 7BITS"},
                0,
                &FormMain::mnuComParityBits_Click,
                &FormMain::m_parityGroup},
          // Soft flagging is not offered: not shown (the other unavailable entries are greyed).
          Group{"&Flow Control",
                "mnuComFlowcontrol",
                "mnuComFlowHardSoft",
                {"&Hard Flagging", "&Soft Flagging", "&None"},
                0,
                &FormMain::mnuComFlowHardSoft_Click,
                &FormMain::m_flowGroup,
                {},
                {1}}}},
        {"&Standard Waveform",
         "mnuStandard",
         {Item{"S&quare", "mnuStandardSqu", &FormMain::mnuStandardSqu_Click},
          Item{"&Sine", "mnuStandardSin", &FormMain::mnuStandardSin_Click},
          Item{"&Cosine", "mnuStandardCos", &FormMain::mnuStandardCos_Click},
          Item{"&Triangle", "mnuStandardTri", &FormMain::mnuStandardTri_Click},
          Item{"&Ladder Waveform", "mnuStandardStair", nullptr},
          Item{"&Positive Ramp", "mnuStandardUpRamp", &FormMain::mnuStandardUpRamp_Click},
          Item{"&Negative Ramp", "mnuStandardDownRamp", &FormMain::mnuStandardDownRamp_Click}}},
        {"&Math Waveform",
         "mnuWave",
         {Item{"&Add", "mnuWaveAdd", &FormMain::mnuWaveAdd_Click},
          Item{"&Subtract", "mnuWaveDec", &FormMain::mnuWaveDec_Click},
          Item{"Symmetry of &X-axis", "mnuWaveXSymm", &FormMain::mnuWaveXSymm_Click},
          Item{"Symmetry of &Y-axis", "mnuWaveYSymm", &FormMain::mnuWaveYSymm_Click},
          Item{"Amplitude &Divide", "mnuWaveAmplDiv", &FormMain::mnuWaveAmplDiv_Click},
          Item{"Amplitude &Muitiply", "mnuWaveAmplMul", &FormMain::mnuWaveAmplMul_Click},
          Item{"Amplitude &Normalize", "mnuWaveAmplZoomIn", &FormMain::mnuWaveAmplZoomIn_Click},
          Item{"&Frequency Multiply", "mnuWaveFreqMul", &FormMain::mnuWaveFreqMul_Click},
          Item{"F&ormula of Sine Add", "mnuWaveSinAddFormula",
               &FormMain::mnuWaveSinAddFormula_Click},
          Separator{"mnuWaveBar1"},
          Item{"&Expression…", "mnuWaveExpression", &FormMain::mnuWaveExpression_Click}}},
        {"&View",
         "mnuArb",
         {Item{"Zoom &In", "mnuArbZoomin", &FormMain::mnuArbZoomin_Click},
          Item{"Zoom &Out", "mnuArbZoomout", &FormMain::mnuArbZoomout_Click},
          Item{"&Actul", "mnuArbZoomNo", &FormMain::mnuArbZoomNo_Click}}},
        {"O&ther",
         "mnuBar2",
         {Item{"&Clear", "mnuArbClear", &FormMain::mnuArbClear_Click},
          Item{"&Send Data", "mnuArbOutput", &FormMain::mnuArbOutput_Click}}},
    };

    auto named = [this](QAction* a, const char* name) {
        a->setObjectName(QString::fromLatin1(name));
        m_actions.insert(a->objectName(), a);
        return a;
    };
    auto submenu = [&](QMenu* parent, const char* caption, const char* name) {
        QMenu* m = parent ? parent->addMenu(QString::fromUtf8(caption))
                          : menuBar()->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QString::fromLatin1(name));
        named(m->menuAction(), name);
        return m;
    };
    for (const Menu& menu : menus) {
        QMenu* top = submenu(nullptr, menu.caption, menu.name);
        for (const Entry& entry : menu.entries) {
            if (const auto* item = std::get_if<Item>(&entry)) {
                QAction* a = named(top->addAction(QString::fromUtf8(item->caption)), item->name);
                a->setShortcut(item->key);
                a->setEnabled(item->run != nullptr);
                if (item->run)
                    connect(a, &QAction::triggered, this,
                            [this, run = item->run] { (this->*run)(); });
            } else if (const auto* group = std::get_if<Group>(&entry)) {
                QMenu* m = submenu(top, group->caption, group->menuName);
                auto* g = new QActionGroup(this);
                this->*(group->member) = g;
                for (int i = 0; i < group->items.size(); ++i) {
                    const QByteArray name = QByteArray(group->name) + '_' + QByteArray::number(i);
                    QAction* a = named(m->addAction(group->items[i]), name.constData());
                    a->setCheckable(true);
                    a->setChecked(i == group->checked);
                    a->setEnabled(!group->greyed.contains(i));
                    a->setVisible(!group->hidden.contains(i));
                    g->addAction(a);
                    connect(a, &QAction::triggered, this,
                            [this, run = group->run, i] { (this->*run)(i); });
                }
            } else {
                named(top->addSeparator(), std::get<Separator>(entry).name);
            }
        }
    }
    // Ours, after the File menu's own items and before Exit: import and export.
    QMenu* file = action("mnuFile")->menu();
    QAction* exitSeparator = action("mnu_bar1");
    file->insertSeparator(exitSeparator);
    QAction* import = named(new QAction(QStringLiteral("&Import…"), file), "mnuFileImport");
    QAction* exportAction = named(new QAction(QStringLiteral("Ex&port…"), file), "mnuFileExport");
    file->insertActions(exitSeparator, {import, exportAction});
    connect(import, &QAction::triggered, this, &FormMain::mnuFileImport_Click);
    connect(exportAction, &QAction::triggered, this, &FormMain::mnuFileExport_Click);

    // Ours, after the View menu's own items: the spectrum.
    QMenu* view = action("mnuArb")->menu();
    named(view->addSeparator(), "mnuArbBar1");
    connect(named(view->addAction(QStringLiteral("&Spectrum…")), "mnuArbSpectrum"),
            &QAction::triggered, this, &FormMain::mnuArbSpectrum_Click);

    // Ours, after the Other menu's own items: a SCPI generator through a profile.
    QMenu* other = action("mnuBar2")->menu();
    named(other->addSeparator(), "mnuArbBar2");
    connect(named(other->addAction(QStringLiteral("Send to &Instrument…")), "mnuArbSendInstrument"),
            &QAction::triggered, this, &FormMain::mnuArbSendInstrument_Click);

    // Ours, after the Oscilloscope menu's own items: the comparison with what was sent.
    QMenu* oscilloscope = action("mnuOscilloscopes")->menu();
    named(oscilloscope->addSeparator(), "mnuOscilBar1");
    connect(named(oscilloscope->addAction(QStringLiteral("&Compare with Sent")), "mnuOscilCompare"),
            &QAction::triggered, this, &FormMain::mnuOscilCompare_Click);
    connect(named(oscilloscope->addAction(QStringLiteral("Read from &Instrument…")),
                  "mnuOscilReadInstrument"),
            &QAction::triggered, this, &FormMain::mnuOscilReadInstrument_Click);

    // Ours, after the COM items: the devices they stand for.
    QMenu* com = action("mnuComNumber")->menu();
    com->setToolTipsVisible(true);
    com->addSeparator();
    connect(named(com->addAction(QStringLiteral("&Devices…")), "mnuComDevices"),
            &QAction::triggered, this, &FormMain::mnuComDevices_Click);

    // Ours, after the File menu: undo and redo of every change to the waveform.
    QMenu* edit = new QMenu(QStringLiteral("&Edit"), this);
    edit->setObjectName(QStringLiteral("mnuEdit"));
    menuBar()->insertMenu(action("mnuOscilloscopes"), edit);
    named(edit->menuAction(), "mnuEdit");
    // An edit still pending in a field is dropped first, so the field shows what comes back.
    QUndoStack& stack = m_history->stack();
    QAction* undo = named(edit->addAction(QStringLiteral("&Undo")), "mnuEditUndo");
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = named(edit->addAction(QStringLiteral("&Redo")), "mnuEditRedo");
    redo->setShortcuts({Qt::CTRL | Qt::Key_Y, Qt::CTRL | Qt::SHIFT | Qt::Key_Z});
    const auto follow = [](QAction* a, const QString& verb, bool can, const QString& what) {
        a->setEnabled(can);
        a->setText(what.isEmpty() ? verb : verb + QLatin1Char(' ') + what);
    };
    const auto followUndo = [=, &stack] {
        follow(undo, QStringLiteral("&Undo"), stack.canUndo(), stack.undoText());
    };
    const auto followRedo = [=, &stack] {
        follow(redo, QStringLiteral("&Redo"), stack.canRedo(), stack.redoText());
    };
    connect(&stack, &QUndoStack::canUndoChanged, undo, followUndo);
    connect(&stack, &QUndoStack::undoTextChanged, undo, followUndo);
    connect(&stack, &QUndoStack::canRedoChanged, redo, followRedo);
    connect(&stack, &QUndoStack::redoTextChanged, redo, followRedo);
    followUndo();
    followRedo();
    connect(undo, &QAction::triggered, this, [this, &stack] {
        dropPendingEdits();
        stack.undo();
    });
    connect(redo, &QAction::triggered, this, [this, &stack] {
        dropPendingEdits();
        stack.redo();
    });

    QAction* about = named(menuBar()->addAction(QStringLiteral("&About")), "about");
    connect(about, &QAction::triggered, this, &FormMain::about_Click);
}

QAction* FormMain::action(const QString& objectName) const {
    QAction* a = m_actions.value(objectName);
    if (!a)
        qFatal("FormMain: no menu item named %s", qPrintable(objectName));
    return a;
}

void FormMain::markMenuArray(QActionGroup* group, int index) {
    // The clicked item carries the mark; an index outside the group changes nothing further.
    if (QAction* a = group->actions().value(index))
        a->setChecked(true);
}

} // namespace ww
