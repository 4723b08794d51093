#include "transfer.h"

#include "editor/picture.h"
#include "files/formats.h"
#include "files/nativefile.h"
#include "importdialog.h"

#include <QFileInfo>
#include <QProgressDialog>

namespace ww {

void importWaveform(Prompts& prompts, WaveDocument& doc, QWidget* parent) {
    const QString name = prompts.openFileName(readFilter());
    if (!name.isEmpty())
        importFile(prompts, doc, name, parent);
}

void importFile(Prompts& prompts, WaveDocument& doc, const QString& name, QWidget* parent) {
    // A large file is read with a progress dialog that shows after half a second.
    QProgressDialog progress(QStringLiteral("Reading %1…").arg(name), QStringLiteral("Cancel"), 0,
                             1000, parent);
    progress.setMinimumDuration(500);
    progress.setWindowModality(Qt::WindowModal);
    WaveformRequest request;
    request.keepAll = true; // the dialog offers every column
    request.progress = [&progress](double done) {
        if (done >= 0)
            progress.setValue(static_cast<int>(done * 1000));
        return !progress.wasCanceled();
    };
    FileContent content = readFileContent(name, request);
    progress.reset();
    if (content.error == QLatin1String("Cancelled."))
        return;
    if (!content.error.isEmpty()) {
        prompts.message(QStringLiteral("Cannot import %1\n%2").arg(name, content.error),
                        MsgIcon::Exclamation, QStringLiteral("ERROR!"));
        return;
    }
    if (content.lengthLimited)
        content.notes << QStringLiteral("line 1 holds a length outside 4..16000; the samples "
                                        "up to the nearer limit were read");
    ImportDialog dialog(name, std::move(content), parent);
    if (dialog.exec() == QDialog::Accepted)
        takeImport(doc, dialog.result());
}

void takeImport(WaveDocument& doc, const std::vector<float>& samples) {
    if (samples.empty())
        return;
    WaveChange how{QStringLiteral("Import")};
    how.writesLength = true;
    const WaveStore in = storeOf(samples);
    doc.change(how, [&in](WaveStore& s) {
        const int n = in.length();
        std::copy_n(in.ArbData.begin(), n + 1, s.ArbData.begin());
        s.ArbLength = in.ArbLength;
    });
}

void exportWaveform(Prompts& prompts, const WaveStore& store) {
    QString filter;
    QString name = prompts.saveFileName(writeFilter(), &filter);
    if (name.isEmpty())
        return;
    name = withFilterExtension(name, filter);
    const QString suffix = QFileInfo(name).suffix().toLower();
    WriteOptions options;
    QString why;
    if (suffix == QLatin1String("wav")) {
        const auto rate = prompts.input(QStringLiteral("Samples a second:"),
                                        QStringLiteral("Export"), QStringLiteral("16000"));
        if (!rate)
            return;
        options.rate = rate->trimmed().toInt();
        if (options.rate <= 0)
            why = QStringLiteral("%1 is not a number of samples a second.").arg(*rate);
    } else if (suffix == QLatin1String("png") || suffix == QLatin1String("svg")) {
        const auto size = prompts.input(QStringLiteral("Width x height in pixels:"),
                                        QStringLiteral("Export"), QStringLiteral("1536x720"));
        if (!size)
            return;
        const QStringList wh = size->split(QLatin1Char('x'));
        options.size = QSize(wh.value(0).trimmed().toInt(), wh.value(1).trimmed().toInt());
        if (options.size.width() < 120 || options.size.height() < 80 ||
            options.size.width() > 20000 || options.size.height() > 20000)
            why = QStringLiteral("%1 is not a size from 120x80 to 20000x20000.").arg(*size);
    }
    if (why.isEmpty())
        why = writeWaveform(name, store, options);
    if (!why.isEmpty())
        prompts.message(QStringLiteral("Save failure!\nPlease Retry.\n\n") + why,
                        MsgIcon::Exclamation, QStringLiteral("ERROR!"));
}

void exportPainting(Prompts& prompts, QWidget* owner, QSize size,
                    const std::function<void(QPainter&)>& draw) {
    QString filter;
    QString name =
        prompts.saveFileName(QStringLiteral("PNG picture (*.png);;SVG picture (*.svg)"), &filter);
    if (name.isEmpty())
        return;
    name = withFilterExtension(name, filter);
    const bool svg =
        QFileInfo(name).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
    const QByteArray bytes =
        paintedBytes(svg ? QStringLiteral("svg") : QStringLiteral("png"), size, draw);
    const QString why = bytes.isEmpty() ? QStringLiteral("The picture could not be made.")
                                        : writeWhole(name, bytes);
    if (!why.isEmpty())
        prompts.message(QStringLiteral("Save failure!\nPlease Retry.\n\n") + why,
                        MsgIcon::Exclamation, QStringLiteral("ERROR!"), owner);
}

void addPictureFormats() {
    for (const QString& ext : {QStringLiteral("png"), QStringLiteral("svg")})
        addFormat({ext.toUpper() + QStringLiteral(" picture"),
                   {ext},
                   nullptr,
                   nullptr,
                   [ext](const QString& path, const WaveStore& store, const WriteOptions& o) {
                       const QByteArray bytes = pictureBytes(ext, o.size, store);
                       return bytes.isEmpty() ? QStringLiteral("The picture could not be made.")
                                              : writeWhole(path, bytes);
                   }});
}

} // namespace ww
