#pragma once

#include "reports/ReportCharts.h"
#include "reports/ReportData.h"
#include "reports/ReportRender.h"
#include "support/ScreenWorld.h"
#include "data/StarterReports.h"
#include "synthetic/SyntheticData.h"

#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QTest>

// A program folder whose database holds a synthetic register and whose
// report folder holds the shipped reports, installed as at a first start.
struct ReportWorld : testsupport::ScreenWorld {
    explicit ReportWorld(int persons = 0)
    {
        QDir().mkpath(folder.path(QStringLiteral("reports")));
        const QDir starter(QStringLiteral(VELM_STARTER_REPORT_DIR));
        for (const QString &f : starter.entryList({QStringLiteral("*.rpt")}, QDir::Files))
            QFile::copy(starter.filePath(f), folder.path(QStringLiteral("reports/") + f));
        reports::installStarterReports(store);
        if (persons > 0)
            core::fillSynthetic(store.db(), persons, 7);
    }

    QString reportFile(const QString &name) const { return folder.dataDir() + QLatin1Char('/') + name + QStringLiteral(".rpt"); }
    void writeReport(const QString &name, const QString &text) const
    {
        QFile f(reportFile(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }

    reports::ReportData run(const QString &name, const QMap<QString, QString> &values = {})
    {
        reports::QueryRunner runner([this] { return store.openViewConnection(); });
        return runner.run(reports::readReportFile(reportFile(name)), values,
                          {store.config().pictureDir, {}, QStringLiteral("1445/09/01")});
    }

    // Writes the report as a PDF file.
    static bool writePdf(const reports::ReportData &data, const QString &path, int *pages = nullptr)
    {
        const reports::ReportDocument doc(reports::renderHtml(data),
                                          reports::reportImages(data, reports::drawCharts(data)),
                                          data.def.landscape);
        if (pages)
            *pages = doc.pageCount();
        QPdfWriter writer(path);
        writer.setResolution(300);
        doc.prepareDevice(writer);
        return doc.print(writer);
    }

    // The report's whole text as a PDF reader extracts it.
    static QString pdfText(const reports::ReportData &data, int *pages = nullptr)
    {
        const QString path = QDir::temp().filePath(QStringLiteral("velm-report-%1.pdf").arg(data.def.name));
        if (!writePdf(data, path, pages))
            return QStringLiteral("<print failed>");
        const QString text = pdfToText(path);
        QFile::remove(path);
        return text;
    }

    // A word of a PDF page where a reader finds it (points from the top left).
    struct PdfWord {
        QString text;
        QRectF box;
        int page = 0;
    };
    static QList<PdfWord> pdfWords(const QString &path)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), path,
                                              QStringLiteral("-")});
        p.waitForFinished(60000);
        const QString html = QString::fromUtf8(p.readAllStandardOutput());
        static const QRegularExpression word(QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                                            "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
        QList<PdfWord> words;
        int page = 0;
        for (const QRegularExpressionMatch &m : word.globalMatch(html)) {
            if (m.captured(0).startsWith(QLatin1String("<page"))) {
                ++page;
                continue;
            }
            const QPointF from(m.captured(1).toDouble(), m.captured(2).toDouble());
            const QPointF to(m.captured(3).toDouble(), m.captured(4).toDouble());
            words.append({m.captured(5).normalized(QString::NormalizationForm_KC), QRectF(from, to), page});
        }
        return words;
    }

    // A number standing alone in the text (not part of a longer number or date).
    static bool hasNumber(const QString &text, const QString &number)
    {
        return text.contains(QRegularExpression(QStringLiteral("(^|[^0-9/])%1([^0-9/]|$)").arg(QRegularExpression::escape(number))));
    }

    static QString pdfToText(const QString &path)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
        p.waitForFinished(60000);
        // Arabic comes back in presentation forms with direction marks
        // round each run: compare it as plain text.
        QString text = QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
        static const QRegularExpression marks(QStringLiteral("[\\x{200E}\\x{200F}\\x{202A}-\\x{202E}\\x{2066}-\\x{2069}]"));
        text.remove(marks);
        return text;
    }
};
