#include "devicesdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ww {

DevicesDialog::DevicesDialog(PortChoices& choices, QWidget* parent)
    : QDialog(parent), m_choices(choices) {
    setWindowTitle(QStringLiteral("Serial devices"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(
        new QLabel(QStringLiteral("Choose a detected port, or type a device path or an address: "
                                  "%1.")
                       .arg(addressSchemes()),
                   this),
        0, 0, 1, 2);
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(QStringLiteral("COM%1").arg(i + 1), this), 1 + 2 * i, 0);
        device[i] = new QComboBox(this);
        device[i]->setEditable(true);
        device[i]->setInsertPolicy(QComboBox::NoInsert);
        device[i]->setMinimumContentsLength(48);
        grid->addWidget(device[i], 1 + 2 * i, 1);
        status[i] = new QLabel(this);
        grid->addWidget(status[i], 2 + 2 * i, 1);
        connect(device[i], &QComboBox::editTextChanged, this,
                [this, i] { status[i]->setText(m_choices.describe(chosen(i))); });
    }
    refresh = new QPushButton(QStringLiteral("&Refresh"), this);
    connect(refresh, &QPushButton::clicked, this, [this] {
        m_choices.refresh();
        fill();
        // Each address asked what it is, without waiting here.
        for (int i = 0; i < 4; ++i) {
            const LineKind* kind = lineKindOf(chosen(i));
            if (!kind || !kind->answersIdn || !addressProblem(chosen(i)).isEmpty())
                continue;
            if (!m_probes[i]) {
                m_probes[i] = new AddressProbe(this);
                connect(m_probes[i], &AddressProbe::said, this,
                        [this, i](const QString& address, bool, const QString& text) {
                            if (chosen(i) == address)
                                status[i]->setText(m_choices.describe(address) +
                                                   QStringLiteral("; ") + text);
                        });
            }
            status[i]->setText(m_choices.describe(chosen(i)) + QStringLiteral("; asking…"));
            m_probes[i]->probe(chosen(i));
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(refresh, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 9, 0, 1, 2);
    for (int i = 0; i < 4; ++i)
        device[i]->setEditText(m_choices.device(i + 1));
    fill();
}

void DevicesDialog::fill() {
    // The detected ports in every list; what each line shows stays as it was.
    for (int i = 0; i < 4; ++i) {
        const QString current = device[i]->currentText();
        const QSignalBlocker block(device[i]);
        device[i]->clear();
        for (const DetectedPort& d : m_choices.detected())
            device[i]->addItem(d.name(), d.name());
        device[i]->setEditText(current);
        status[i]->setText(m_choices.describe(chosen(i)));
    }
}

QString DevicesDialog::chosen(int index) const {
    return device[index]->currentText().trimmed();
}

void DevicesDialog::accept() {
    for (int i = 0; i < 4; ++i)
        m_choices.choose(i + 1, chosen(i));
    QDialog::accept();
}

} // namespace ww
