#include "journalact.h"

#include "certificate.h"

#include "kcc_version.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPdfWriter>

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// 64 hex digits in four groups, so the column can wrap between them.
QString groupedHash(const QString &hash)
{
    QStringList groups;
    for (int i = 0; i < hash.size(); i += 16)
        groups << hash.mid(i, 16);
    return groups.join(QLatin1Char(' '));
}

} // namespace

std::unique_ptr<QTextDocument> actDocument(const ActInput &input, const JournalTexts &texts)
{
    using C = JournalTexts::Column;
    const QString cell = QStringLiteral("<td style=\"padding:2px\">%1</td>");
    QString html = QStringLiteral("<html><body style=\"font-size:8pt\">");
    html += QStringLiteral("<p align=\"center\" style=\"font-size:12pt\"><b>%1</b></p>").arg(texts.actTitle);
    html += QStringLiteral("<p align=\"right\">%1</p>")
                .arg(escaped(texts.actComposed.arg(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")))));
    if (!input.verification.ok() && input.verification.state != VerifyResult::State::TornLast)
        html += QStringLiteral("<p style=\"font-size:11pt;color:#b00000\"><b>%1</b></p>")
                    .arg(escaped(texts.notVouched.arg(input.verification.describe())));
    html += QStringLiteral("<p>%1</p>")
                .arg(escaped(texts.actCommission.arg(QStringLiteral("Kestrik KCC"))));
    if (input.from.isValid() || input.to.isValid()) {
        const auto day = [&texts](const QDate &d) {
            return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : texts.unknown;
        };
        html += QStringLiteral("<p>%1</p>").arg(escaped(texts.actPeriod.arg(day(input.from), day(input.to))));
    }

    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" width=\"100%\"><tr>");
    const QVector<int> shown{C::Number, C::Time, C::Target, C::Algorithm, C::Passes, C::Result, C::Version, C::Hash};
    // Percent of the width, so the hash and the target get the room they need.
    const QVector<int> widths{3, 5, 8, 22, 9, 7, 19, 8, 19};
    html += QStringLiteral("<th width=\"%1%\">%2</th>").arg(widths.at(0)).arg(escaped(texts.actNumber));
    for (int i = 0; i < shown.size(); ++i)
        html += QStringLiteral("<th width=\"%1%\">%2</th>").arg(widths.at(i + 1)).arg(escaped(texts.columns.at(shown.at(i))));
    html += QStringLiteral("</tr>");
    int number = 0;
    for (const JournalRecord &record : input.records) {
        const QStringList row = texts.row(record);
        html += QStringLiteral("<tr>") + cell.arg(++number);
        for (int column : shown) {
            QString value = escaped(row.at(column));
            if (column == C::Result && !row.at(C::Informative).isEmpty())
                value += QStringLiteral("<br>") + escaped(row.at(C::Informative));
            // The certificate of the entry is the same bytes whenever it is
            // made, so its fingerprint identifies it here.
            if (column == C::Hash)
                value = QStringLiteral("<span style=\"font-family:monospace\">%1</span><br>%2")
                            .arg(groupedHash(row.at(column)),
                                 certificateIssued(record.entry)
                                     ? escaped(texts.certificate) + QStringLiteral(" <span style=\"font-family:monospace\">")
                                           + groupedHash(certificateFingerprint(certificateBody(record, input.journalPath)).left(32))
                                           + QStringLiteral("</span>")
                                     : escaped(texts.noCertificate));
            html += cell.arg(value);
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p>%1</p>").arg(escaped(
        texts.actJournal.arg(QDir::toNativeSeparators(input.journalPath), input.verification.describe())));

    // Each certificate's fields as its file has them: what the commission
    // signs is what an auditor checks against the JSON.
    number = 0;
    for (const JournalRecord &record : input.records) {
        ++number;
        if (!certificateIssued(record.entry))
            continue;
        const QJsonObject body = certificateBody(record, input.journalPath);
        html += QStringLiteral("<p><b>%1</b></p><table border=\"1\" cellspacing=\"0\" width=\"100%\">")
                    .arg(escaped(texts.actCertificateOf.arg(number).arg(certificateFingerprint(body))));
        for (const auto &field : certificateFields(body))
            html += QStringLiteral("<tr><td width=\"30%\" style=\"padding:1px;font-family:monospace\">%1</td>"
                                   "<td style=\"padding:1px\">%2</td></tr>")
                        .arg(escaped(field.first),
                             field.second.isEmpty() ? QStringLiteral("______________________") : escaped(field.second));
        html += QStringLiteral("</table>");
    }

    html += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" style=\"margin-top:12px\">");
    for (const QString &role : texts.actSignatures) {
        html += QStringLiteral("<tr><td width=\"30%\" style=\"padding-top:14px\">%1</td>"
                               "<td style=\"padding-top:14px\">______________________ / ______________________________ /</td></tr>"
                               "<tr><td></td><td style=\"font-size:6pt\">%2</td></tr>")
                    .arg(escaped(role), texts.actSignatureHint);
    }
    html += QStringLiteral("</table></body></html>");

    auto document = std::make_unique<QTextDocument>();
    document->setMetaInformation(QTextDocument::DocumentTitle, texts.actFileTitle);
    document->setHtml(html);
    return document;
}

bool writeActPdf(const QString &path, const ActInput &input, QString *error, const JournalTexts &texts)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(texts.actFileTitle);
        writer.setCreator(QStringLiteral("Kestrik KCC " KCC_VERSION));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(15, 15, 15, 15),
                                         QPageLayout::Millimeter));
        const std::unique_ptr<QTextDocument> document = actDocument(input, texts);
        document->print(&writer);
    }
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
