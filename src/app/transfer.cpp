#include "transfer.h"

#include "editor/picture.h"
#include "files/sound.h"
#include "files/table.h"
#include "files/wavefile.h"
#include "importdialog.h"

#include <QFileInfo>
#include <QProgressDialog>

namespace ww {

void importWaveform(Prompts& prompts, WaveDocument& doc, QWidget* parent) {
    const QString name = prompts.openFileName(
        QStringLiteral("Waveforms (*.csv *.tsv *.dat *.txt *.wav);;All files (*)"));
    if (!name.isEmpty())
        importFile(prompts, doc, name, parent);
}

void importFile(Prompts& prompts, WaveDocument& doc, const QString& name, QWidget* parent) {
    QStringList names;
    std::vector<std::vector<double>> columns;
    int chosen = 0, time = -1;
    QString why;
    if (QFileInfo(name).suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0) {
        const Sound sound = readSound(name);
        why = sound.error;
        columns = sound.channels;
        for (std::size_t c = 0; c < columns.size(); ++c)
            names << QStringLiteral("channel %1").arg(c + 1);
    } else if (const WaveFileContent own = readWaveFile(name);
               own.error.isEmpty() && !own.lengthLimited && hasWaveFileExtension(name)) {
        columns = {std::vector<double>(own.samples.begin(), own.samples.end())};
        names << QStringLiteral("samples");
    } else {
        // A large file is read with a progress dialog that shows after half a second.
        QProgressDialog progress(QStringLiteral("Reading %1…").arg(name), QStringLiteral("Cancel"),
                                 0, 1000, parent);
        progress.setMinimumDuration(500);
        progress.setWindowModality(Qt::WindowModal);
        const Table table = readTable(name, [&progress](double done) {
            progress.setValue(static_cast<int>(done * 1000));
            return !progress.wasCanceled();
        });
        if (progress.wasCanceled())
            return;
        why = table.error;
        names = table.names;
        columns = table.columns;
        chosen = table.signalColumn;
        time = table.timeColumn;
    }
    if (!why.isEmpty()) {
        prompts.message(QStringLiteral("Cannot import %1\n%2").arg(name, why), MsgIcon::Exclamation,
                        QStringLiteral("ERROR!"));
        return;
    }
    ImportDialog dialog(name, names, std::move(columns), chosen, time, parent);
    if (dialog.exec() == QDialog::Accepted)
        takeImport(doc, dialog.result());
}

void takeImport(WaveDocument& doc, const std::vector<float>& samples) {
    WaveChange how{QStringLiteral("Import")};
    how.writesLength = true;
    doc.change(how, [&samples](WaveStore& s) {
        const std::size_t n = std::min<std::size_t>(samples.size(), kMaxLength);
        std::copy_n(samples.begin(), n, s.ArbData.begin());
        s.ArbLength = static_cast<float>(n);
    });
}

void exportWaveform(Prompts& prompts, const WaveStore& store) {
    const QString name = prompts.saveFileName(
        QStringLiteral("CSV (*.csv);;WAV (*.wav);;PNG picture (*.png);;SVG picture (*.svg)"));
    if (name.isEmpty())
        return;
    const QString suffix = QFileInfo(name).suffix().toLower();
    const std::vector<float> samples(store.ArbData.begin(), store.ArbData.begin() + store.length());
    QString why;
    if (suffix == QLatin1String("csv")) {
        why = writeCsv(name, samples);
    } else if (suffix == QLatin1String("wav")) {
        const auto rate = prompts.input(QStringLiteral("Samples a second:"),
                                        QStringLiteral("Export"), QStringLiteral("16000"));
        if (!rate)
            return;
        const int hz = rate->trimmed().toInt();
        why = hz > 0 ? writeSound(name, samples, hz)
                     : QStringLiteral("%1 is not a number of samples a second.").arg(*rate);
    } else if (suffix == QLatin1String("png") || suffix == QLatin1String("svg")) {
        const auto size = prompts.input(QStringLiteral("Width x height in pixels:"),
                                        QStringLiteral("Export"), QStringLiteral("1536x720"));
        if (!size)
            return;
        const QStringList wh = size->split(QLatin1Char('x'));
        const int w = wh.value(0).trimmed().toInt(), h = wh.value(1).trimmed().toInt();
        why = w >= 120 && h >= 80 && w <= 20000 && h <= 20000
                  ? savePicture(name, QSize(w, h), store)
                  : QStringLiteral("%1 is not a size from 120x80 to 20000x20000.").arg(*size);
    } else {
        why = QStringLiteral("Export writes .csv, .wav, .png or .svg files.");
    }
    if (!why.isEmpty())
        prompts.message(QStringLiteral("Save failure!\nPlease Retry.\n\n") + why,
                        MsgIcon::Exclamation, QStringLiteral("ERROR!"));
}

} // namespace ww
