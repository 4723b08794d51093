#include "expressiondialog.h"

#include "plotview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace ww {

namespace {
const QString kHistoryKey = QStringLiteral("expression/history");
constexpr int kHistorySize = 10;
} // namespace

ExpressionDialog::ExpressionDialog(const WaveStore& current, QSettings& settings, QWidget* parent)
    : QDialog(parent), m_current(current), m_settings(settings) {
    setWindowTitle(QStringLiteral("Expression"));
    auto* layout = new QVBoxLayout(this);
    auto* help = new QLabel(Expression::help(), this);
    help->setWordWrap(true);
    layout->addWidget(help);
    line = new QComboBox(this);
    line->setEditable(true);
    line->setInsertPolicy(QComboBox::NoInsert);
    line->addItems(m_settings.value(kHistoryKey).toStringList());
    line->setEditText(line->count() ? line->itemText(0) : QStringLiteral("sin(x)"));
    layout->addWidget(line);
    preview = new PlotView(this);
    layout->addWidget(preview, 1);
    message = new QLabel(this);
    message->setTextFormat(Qt::RichText);
    layout->addWidget(message);
    clip = new QRadioButton(QStringLiteral("Clip values beyond -1..+1"), this);
    peak = new QRadioButton(QStringLiteral("Scale the peak to 1"), this);
    clip->setChecked(true);
    layout->addWidget(clip);
    layout->addWidget(peak);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(line, &QComboBox::editTextChanged, this, &ExpressionDialog::update);
    update();
}

void ExpressionDialog::update() {
    const QString text = line->currentText();
    const int length = m_current.length();
    m_ok = false;
    if (const auto error = m_expression.setText(text)) {
        // The expression with the place of the fault marked.
        const int at = std::clamp(error->position, 0, static_cast<int>(text.size()));
        QString shown = text.left(at).toHtmlEscaped() +
                        QStringLiteral("<span style='background:#f33;color:white'>%1</span>")
                            .arg(at < text.size() ? text.mid(at, 1).toHtmlEscaped()
                                                  : QStringLiteral("&nbsp;")) +
                        text.mid(at + 1).toHtmlEscaped();
        message->setText(
            error->message.toHtmlEscaped() +
            (error->position >= 0 ? QStringLiteral("<br><tt>%1</tt>").arg(shown) : QString()));
        m_values = {};
    } else {
        m_values = m_expression.evaluate(length, m_current.ArbData.data());
        if (m_values.nonFiniteAt >= 0) {
            message->setText(
                QStringLiteral("Not a finite number at sample %1.").arg(m_values.nonFiniteAt));
        } else {
            m_ok = true;
            message->setText(QStringLiteral("%1 samples, peak %2%3")
                                 .arg(length)
                                 .arg(m_values.peak, 0, 'f', 3)
                                 .arg(m_values.peak > 1.0
                                          ? QStringLiteral(": beyond -1..+1, see below")
                                          : QString()));
        }
    }
    preview->show(m_values.samples);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(m_ok);
}

std::vector<float> ExpressionDialog::result() const {
    if (!m_ok)
        return {};
    return fitWithClosing(m_values, peak->isChecked() ? Fit::Peak : Fit::Clip);
}

void ExpressionDialog::accept() {
    if (!m_ok)
        return;
    QStringList history = m_settings.value(kHistoryKey).toStringList();
    history.removeAll(line->currentText());
    history.prepend(line->currentText());
    m_settings.setValue(kHistoryKey, history.mid(0, kHistorySize));
    QDialog::accept();
}

} // namespace ww
