#include "formtds.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace ww {

FormTDS::FormTDS(TdsExchange& exchange, QWidget* mainWindow)
    : ExchangeWindow(mainWindow, "FormTDS", QStringLiteral("Read data from Oscilloscop"),
                     QSizeF(6720, 2430)),
      m_exchange(exchange) {
    Label_TDS = new QLabel(QStringLiteral("Be Reading Data From Oscilloscop......"), this);
    Label_TDS->setObjectName(QStringLiteral("Label_TDS"));
    Label_TDS->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_TDS_percent = new QLabel(this);
    Label_TDS_percent->setObjectName(QStringLiteral("Label_TDS_percent"));
    ProgressBar_TDS = new QProgressBar(this);
    ProgressBar_TDS->setObjectName(QStringLiteral("ProgressBar_TDS"));
    ProgressBar_TDS->setTextVisible(false);
    Command_TDS = new QPushButton(QStringLiteral("OK"), this);
    Command_TDS->setObjectName(QStringLiteral("Command_TDS"));
    m_layout.add(Label_TDS, 240, 120, 6120, 600);
    m_layout.add(Label_TDS_percent, 240, 780, 4200, 255);
    m_layout.add(ProgressBar_TDS, 240, 1140, 6120, 300);
    m_layout.add(Command_TDS, 5160, 1560, 1200, 375);

    connect(Command_TDS, &QPushButton::clicked, &m_exchange, &TdsExchange::Command_TDS_Click);
    connect(&m_exchange, &TdsExchange::statusChanged, this, [this](const QString& t, bool wrap) {
        Label_TDS->setWordWrap(wrap);
        Label_TDS->setText(t);
    });
    connect(&m_exchange, &TdsExchange::statusAppended, this,
            [this](const QString& t) { Label_TDS->setText(Label_TDS->text() + t); });
    connect(&m_exchange, &TdsExchange::percentChanged, this, [this](const QString& t, bool v) {
        Label_TDS_percent->setText(t);
        Label_TDS_percent->setVisible(v);
    });
    connect(&m_exchange, &TdsExchange::progressChanged, this, [this](int max, int value) {
        ProgressBar_TDS->setRange(0, max);
        ProgressBar_TDS->setValue(value);
    });
    connect(&m_exchange, &TdsExchange::buttonChanged, Command_TDS, &QPushButton::setText);
    connect(&m_exchange, &TdsExchange::started, this, &FormTDS::beginExchange);
    connect(&m_exchange, &TdsExchange::finished, this, &FormTDS::endExchange);
}

void FormTDS::closeEvent(QCloseEvent* event) {
    // The close box ends a running exchange as the button does; the window is only hidden.
    event->ignore();
    if (m_exchange.running())
        m_exchange.closeRequested();
    else
        hide();
}

} // namespace ww
