// Replays the fuzzers' seed corpus through the same targets, in the ordinary test build.
#include "targets.h"

#include <QDir>
#include <QFile>
#include <QTest>

class ReplayCorpus : public QObject {
    Q_OBJECT
  private slots:
    void replay_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        for (const char* target : {"wavefile", "formula", "table", "sound", "expression",
                                   "spiceraw", "bytime", "scopeanswers"}) {
            const QDir dir(QStringLiteral(WAVEWRIGHT_FIXTURES "/fuzz/") + QLatin1String(target));
            const QStringList files = dir.entryList(QDir::Files);
            QVERIFY2(files.size() >= 5, target);
            for (const QString& f : files)
                QTest::newRow(qPrintable(QString::fromLatin1(target) + '/' + f))
                    << QString::fromLatin1(target) << dir.filePath(f);
        }
    }
    void replay() {
        QFETCH(QString, target);
        QFETCH(QString, file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const auto n = static_cast<std::size_t>(bytes.size());
        if (target == QLatin1String("wavefile"))
            ww::fuzz::waveFile(data, n);
        else if (target == QLatin1String("formula"))
            ww::fuzz::formula(data, n);
        else if (target == QLatin1String("table"))
            ww::fuzz::table(data, n);
        else if (target == QLatin1String("sound"))
            ww::fuzz::sound(data, n);
        else if (target == QLatin1String("spiceraw"))
            ww::fuzz::spiceRaw(data, n);
        else if (target == QLatin1String("scopeanswers"))
            ww::fuzz::scopeAnswers(data, n);
        else if (target == QLatin1String("bytime"))
            ww::fuzz::byTime(data, n);
        else
            ww::fuzz::expression(data, n);
    }
};

QTEST_APPLESS_MAIN(ReplayCorpus)
#include "replay_corpus.moc"
