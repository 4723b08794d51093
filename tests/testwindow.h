#pragma once

#include "app/formmain.h"
#include "editor/canvaswidget.h"
#include "editor/entryfield.h"
#include "fakeprompts.h"
#include "testfiles.h"
#include "virtualgenerator.h"
#include "virtualoscilloscope.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <map>

// Gives a field the focus, replaces its text by typing and presses Enter.
inline void typeInto(ww::EntryField* field, const QString& keys, bool enter = true) {
    field->setFocus();
    field->selectAll();
    field->del();
    QTest::keyClicks(field, keys);
    if (enter)
        QTest::keyClick(field, Qt::Key_Return);
}

// The main window as the tests build it: an 800 x 600 work area, dialogs answered by
// FakePrompts, an exit that only counts, a clock the test moves and ports it chooses.
struct TestWindow {
    struct Setup {
        QSize screen{800, 600};
        std::map<int, QString> ports;
        int completionPauseMs = 0;
        bool show = false;
        bool activate = false;    // for focus and key tests
        bool realDialogs = false; // real message boxes instead of FakePrompts
        static Setup active() {
            Setup s;
            s.activate = true;
            return s;
        }
    };

    FakePrompts prompts;
    ww::ManualClock clock;
    QTemporaryDir settingsDir; // the user's settings, kept away from the real ones
    QSettings settings{settingsDir.filePath("wavewright.ini"), QSettings::IniFormat};
    int exits = 0;
    std::unique_ptr<ww::FormMain> form;

    TestWindow() = default;
    explicit TestWindow(const Setup& setup) { open(setup); }

    void open(const Setup& setup) {
        ww::FormMainOptions o;
        o.screen = [s = setup.screen] { return s; };
        o.prompts = setup.realDialogs ? nullptr : &prompts;
        o.exitProgram = [this] { ++exits; };
        for (const auto& [com, device] : setup.ports)
            o.ports.setDevice(com, device);
        o.clock = &clock;
        o.settings = &settings;
        o.completionPauseMs = setup.completionPauseMs;
        form = std::make_unique<ww::FormMain>(o);
        if (setup.show || setup.activate)
            form->show();
        if (setup.activate) {
            QApplication::setActiveWindow(form.get());
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
        }
    }

    // Oscilloscope > Set Link, OK, then Read Data, OK, on whatever answers the port.
    void linkAndRead() {
        form->mnuOscil_Link_Click();
        QTRY_VERIFY(form->tds().TdsDone);
        form->tds().Command_TDS_Click();
        form->mnuOscil_ReadData_Click();
        QTRY_VERIFY(form->tds().TdsDone);
        form->tds().Command_TDS_Click();
    }

    // The canvas, and the mouse on it at a point in user coordinates (index, value).
    ww::CanvasWidget* canvas() { return form->Picture_Arb; }
    QPointF at(double index, double value) {
        const ww::CanvasMapping& m = form->editor().canvas().mapping();
        return QPointF(m.pixelX(index), m.pixelY(value * 1000000.0)) +
               QPointF(canvas()->contentsRect().topLeft());
    }
    void mouse(QEvent::Type type, double i, double v, Qt::MouseButton b, Qt::MouseButtons held) {
        const QPointF pos = at(i, v);
        QMouseEvent e(type, pos, canvas()->mapToGlobal(pos), b, held, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &e);
    }
    void press(double i, double v, Qt::MouseButton b = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, i, v, b, b);
    }
    void move(double i, double v, Qt::MouseButtons held = Qt::LeftButton) {
        mouse(QEvent::MouseMove, i, v, Qt::NoButton, held);
    }
    void release(double i, double v, Qt::MouseButton b = Qt::LeftButton) {
        mouse(QEvent::MouseButtonRelease, i, v, b, Qt::NoButton);
    }

    ww::FormMain* operator->() { return form.get(); }
    ww::FormMain& f() { return *form; }
    const ww::WaveStore& store() { return form->store(); }
    // A change made behind the user's back, through the document like any other.
    void edit(const std::function<void(ww::WaveStore&)>& change) {
        form->document().change(QStringLiteral("test"), change);
    }
};

// The main window, shown, with a virtual oscilloscope as COM1 and a virtual generator as COM2,
// or with both ports naming a device that does not exist.
struct InstrumentWindow : TestWindow {
    ww::virt::VirtualOscilloscope scope;
    ww::virt::VirtualGenerator generator;
    explicit InstrumentWindow(int completionPauseMs = 0, bool portsMissing = false) {
        const QString missing = QStringLiteral("/dev/wavewright-missing");
        Setup s;
        s.ports = {{1, portsMissing ? missing : scope.devicePath()},
                   {2, portsMissing ? missing : generator.devicePath()}};
        s.show = true;
        s.completionPauseMs = completionPauseMs;
        open(s);
    }
    // Moves the clock and lets both exchanges' timers see it.
    void tick(qint64 ms) {
        clock.advance(ms);
        form->upload().Timer_TeskCom_Timer();
        form->tds().Timer_TDS_Timer();
    }
    bool busy() { return form->upload().running() || form->tds().running(); }
};
