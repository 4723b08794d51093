#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ww {

struct VersionRecord {
    int major = 0;
    int minor = 0;
    int revision = 0;
};
// The program's own version record, kept in the build (CMake's project version).
VersionRecord programVersion();
// 27 blanks, then "Version major.minor.revision".
QString versionLine(const VersionRecord& v);

// The about box: title, version, a description; OK closes it (Enter and Esc alike).
class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(const VersionRecord& version = programVersion(), QWidget* parent = nullptr);

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QPushButton* cmdOK = nullptr;
};

// The program icon, drawn here: a red waveform on a dark screen.
QIcon programIcon();

} // namespace ww
